#include "XlsxDrawingReader.h"

#include "XlsxIBudget.h"
#include "XlsxXmlWalker.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kAnchorRows = 1048576;
constexpr int kAnchorColumns = 16384;
// Lengths past any sheet's size (a million rows of 409 points is 5.4e15
// EMU) are cut here, so sums of them never overflow.
constexpr qint64 kMaxEmu = qint64(1) << 53;

// A length or coordinate in EMU; 0 when it is no integer.
qint64 emu(QStringView text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? std::clamp(value, -kMaxEmu, kMaxEmu) : 0;
}

// A rectangle given as offset and extent.
struct Frame {
    double x = 0;
    double y = 0;
    double cx = 0;
    double cy = 0;
};

// A group: whether it is hidden, the share of the anchor's box it takes and
// the coordinates its children are given in.
struct Group {
    bool hidden = false;
    QRectF box = QRectF(0, 0, 1, 1);
    Frame own;      // in its parent's child coordinates
    Frame children; // chOff and chExt
    bool hasChildren = false;

    // The share of the anchor's box of a child placed at `frame`.
    QRectF map(const Frame& frame) const
    {
        if (!hasChildren || children.cx <= 0 || children.cy <= 0)
            return box;
        const double left = std::clamp((frame.x - children.x) / children.cx, 0.0, 1.0);
        const double right = std::clamp((frame.x + frame.cx - children.x) / children.cx, left, 1.0);
        const double top = std::clamp((frame.y - children.y) / children.cy, 0.0, 1.0);
        const double bottom = std::clamp((frame.y + frame.cy - children.y) / children.cy, top, 1.0);
        return QRectF(box.x() + left * box.width(), box.y() + top * box.height(), (right - left) * box.width(),
                      (bottom - top) * box.height());
    }
};

class DrawingReader {
public:
    DrawingReader(const QByteArray& xml, XlsxIBudget& budget) : m_xml(xml, budget), m_budget(budget) {}

    QList<XlsxIDrawnChart> read()
    {
        while (m_xml.next()) {
            if (m_xml.isStart()) {
                m_path.append(m_xml.name().toString());
                start();
            } else if (m_xml.isEnd()) {
                end();
                if (!m_path.isEmpty())
                    m_path.removeLast();
            }
        }
        return m_charts;
    }

private:
    QStringView parent(int up = 1) const
    {
        return m_path.size() > up ? QStringView(m_path.at(m_path.size() - 1 - up)) : QStringView();
    }

    void start()
    {
        const QStringView name = m_xml.name();
        if (name == u"twoCellAnchor" || name == u"oneCellAnchor" || name == u"absoluteAnchor") {
            m_anchor = XlsxIAnchor();
            m_anchor.kind = name == u"twoCellAnchor"   ? XlsxIAnchor::TwoCell
                            : name == u"oneCellAnchor" ? XlsxIAnchor::OneCell
                                                       : XlsxIAnchor::Absolute;
            m_anchorDepth = int(m_path.size());
            m_pending.clear();
            m_ownChart = -1;
            m_groups.clear();
            m_prints = true;
            m_frameHidden = m_inGroupProperties = false;
            return;
        }
        if (m_anchorDepth < 0)
            return;
        const bool atAnchor = m_path.size() == m_anchorDepth + 1;
        if (name == u"grpSp") {
            Group group;
            group.box = m_groups.isEmpty() ? QRectF(0, 0, 1, 1) : m_groups.last().box;
            m_groups.append(group);
        } else if (name == u"nvGrpSpPr") {
            m_inGroupProperties = true;
        } else if (name == u"graphicFrame") {
            m_frameHidden = false;
            m_frame = Frame();
            m_framePlaced = false;
        } else if (name == u"cNvPr") {
            const bool hidden = xlsxBool(m_xml.attribute("hidden"_L1));
            (m_inGroupProperties && !m_groups.isEmpty() ? m_groups.last().hidden : m_frameHidden) = hidden;
        } else if (name == u"clientData") {
            m_prints = xlsxBool(m_xml.attribute("fPrintsWithSheet"_L1), true);
        } else if (atAnchor && name == u"pos") {
            m_anchor.hasPosition = true;
            m_anchor.x = std::max<qint64>(emu(m_xml.attribute("x"_L1)), 0);
            m_anchor.y = std::max<qint64>(emu(m_xml.attribute("y"_L1)), 0);
        } else if (atAnchor && name == u"ext") {
            m_anchor.hasExtent = true;
            m_anchor.cx = emu(m_xml.attribute("cx"_L1));
            m_anchor.cy = emu(m_xml.attribute("cy"_L1));
        } else if (parent() == u"xfrm") {
            readTransform(name);
        } else if (parent(2) == u"twoCellAnchor" || parent(2) == u"oneCellAnchor") {
            readCorner(name);
        } else if (name == u"chart") {
            addChart();
        }
    }

    // One number of the from or to corner of a cell anchor.
    void readCorner(QStringView name)
    {
        if (m_path.size() != m_anchorDepth + 2 || (parent() != u"from" && parent() != u"to"))
            return;
        const bool to = parent() == u"to";
        // Kept within the sheet: past its last row or column the grid's
        // arithmetic would overflow.
        qint64* offset = nullptr;
        int* line = nullptr;
        int last = 0;
        if (name == u"col") {
            line = to ? &m_anchor.toCol : &m_anchor.fromCol;
            last = kAnchorColumns - 1;
        } else if (name == u"row") {
            line = to ? &m_anchor.toRow : &m_anchor.fromRow;
            last = kAnchorRows - 1;
        } else if (name == u"colOff") {
            offset = to ? &m_anchor.toColOff : &m_anchor.fromColOff;
        } else if (name == u"rowOff") {
            offset = to ? &m_anchor.toRowOff : &m_anchor.fromRowOff;
        } else {
            return;
        }
        qint64 value = 0;
        if (m_xml.next()) {
            // The token after the start is taken here: the path follows it.
            if (m_xml.isText())
                value = emu(m_xml.text());
            else if (m_xml.isStart())
                m_path.append(m_xml.name().toString());
            else if (!m_path.isEmpty())
                m_path.removeLast();
        }
        if (line)
            *line = int(std::clamp<qint64>(value, 0, last));
        else
            *offset = std::max<qint64>(value, 0);
    }

    // Offset and extent of a group or of a chart's frame in a group.
    void readTransform(QStringView name)
    {
        const QStringView owner = parent(2);
        const double x = double(emu(m_xml.attribute(name.endsWith(u"ff") ? "x"_L1 : "cx"_L1)));
        const double y = double(emu(m_xml.attribute(name.endsWith(u"ff") ? "y"_L1 : "cy"_L1)));
        Frame* frame = nullptr;
        if (owner == u"grpSpPr" && !m_groups.isEmpty()) {
            Group& group = m_groups.last();
            group.hasChildren = group.hasChildren || name.startsWith(u"ch");
            frame = name.startsWith(u"ch") ? &group.children : &group.own;
        } else if (owner == u"graphicFrame") {
            m_framePlaced = true;
            frame = &m_frame;
        }
        if (!frame)
            return;
        if (name == u"off" || name == u"chOff") {
            frame->x = x;
            frame->y = y;
        } else if (name == u"ext" || name == u"chExt") {
            frame->cx = x;
            frame->cy = y;
        }
    }

    void addChart()
    {
        const bool hidden = m_frameHidden ||
                            std::any_of(m_groups.cbegin(), m_groups.cend(), [](const Group& g) { return g.hidden; });
        Pending pending{{m_xml.relationshipId(), XlsxIAnchor(), QRectF(0, 0, 1, 1)}, hidden, !m_groups.isEmpty()};
        if (pending.grouped) {
            const Group& group = m_groups.last();
            pending.chart.share = m_framePlaced ? group.map(m_frame) : group.box;
        } else if (m_ownChart >= 0) {
            // An anchor holds one chart of its own: a later one takes its place.
            m_pending[m_ownChart] = pending;
            return;
        }
        if (!m_budget.take()) {
            m_xml.stop();
            return;
        }
        if (!pending.grouped)
            m_ownChart = m_pending.size();
        m_pending.append(pending);
    }

    void end()
    {
        const QStringView name = m_xml.name();
        if (m_anchorDepth < 0)
            return;
        if (name == u"xfrm" && parent() == u"grpSpPr" && m_groups.size() >= 2) {
            // A group within a group takes its share of the outer one's box;
            // the outermost fills the anchor.
            Group& group = m_groups.last();
            group.box = m_groups.at(m_groups.size() - 2).map(group.own);
        } else if (name == u"grpSp" && !m_groups.isEmpty()) {
            m_groups.removeLast();
        } else if (name == u"nvGrpSpPr") {
            m_inGroupProperties = false;
        } else if (m_path.size() == m_anchorDepth) {
            for (Pending& pending : m_pending) {
                if (pending.hidden || !m_prints || pending.chart.relationshipId.isEmpty())
                    continue;
                pending.chart.anchor = m_anchor;
                m_charts.append(pending.chart);
            }
            m_pending.clear();
            m_anchorDepth = -1;
        }
    }

    XlsxXmlWalker m_xml;
    XlsxIBudget& m_budget;
    QList<QString> m_path; // names of the open elements
    int m_anchorDepth = -1;
    XlsxIAnchor m_anchor;
    // The anchor's charts as they are met.
    struct Pending {
        XlsxIDrawnChart chart;
        bool hidden = false;
        bool grouped = false;
    };
    QList<Pending> m_pending;
    qsizetype m_ownChart = -1; // the one not in a group, in m_pending
    QList<Group> m_groups;
    bool m_prints = true;
    bool m_frameHidden = false;
    bool m_inGroupProperties = false;
    Frame m_frame;
    bool m_framePlaced = false;
    QList<XlsxIDrawnChart> m_charts;
};

} // namespace

QList<XlsxIDrawnChart> iParseDrawing(const QByteArray& xml, XlsxIBudget& budget)
{
    return DrawingReader(xml, budget).read();
}
