#include "XlsxChartReader.h"

#include "XlsxIBudget.h"
#include "XlsxXmlWalker.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {


XlsxIChart::Type kindOf(QStringView element)
{
    static const QMap<QString, XlsxIChart::Type> kinds = {
        {QStringLiteral("barChart"), XlsxIChart::Bar},     {QStringLiteral("bar3DChart"), XlsxIChart::Bar},
        {QStringLiteral("lineChart"), XlsxIChart::Line},   {QStringLiteral("line3DChart"), XlsxIChart::Line},
        {QStringLiteral("pieChart"), XlsxIChart::Pie},     {QStringLiteral("pie3DChart"), XlsxIChart::Pie},
        {QStringLiteral("areaChart"), XlsxIChart::Area},   {QStringLiteral("scatterChart"), XlsxIChart::Line},
    };
    return kinds.value(element.toString(), XlsxIChart::NoChart);
}

class ChartReader {
public:
    ChartReader(XlsxIBudget& budget, XlsxIChart& chart) : m_budget(budget), m_chart(chart) {}

    void read(XlsxXmlWalker& xml)
    {
        while (xml.next()) {
            if (xml.isStart()) {
                ++m_depth;
                // What an extension list holds is not drawn: the series the
                // author filtered out of the chart are kept there.
                if (m_extensionDepth < 0 && xml.name() == u"extLst")
                    m_extensionDepth = m_depth;
                if (m_extensionDepth < 0)
                    start(xml);
            } else if (m_extensionDepth >= 0) {
                if (xml.isEnd() && m_depth-- == m_extensionDepth)
                    m_extensionDepth = -1;
            } else if (xml.isText()) {
                if (m_inTitle && m_inTitleText && !m_inFormula)
                    xlsxAppendBounded(m_chart.title, xml.text().trimmed());
                else if (m_inPoint)
                    xlsxAppendBounded(m_point, xml.text());
                else if (m_inReference)
                    xlsxAppendBounded(m_reference, xml.text());
            } else {
                const bool more = end(xml.name());
                --m_depth;
                if (!more) {
                    xml.stop();
                    return;
                }
            }
        }
        if (!m_budget.keepText(m_chart.title.size()))
            m_chart.title.clear();
    }

private:
    void start(const XlsxXmlWalker& xml)
    {
        const QStringView name = xml.name();
        if (m_chart.type == XlsxIChart::NoChart)
            m_chart.type = kindOf(name);
        if (name == u"barDir" && xml.attribute("val"_L1) == u"bar") {
            m_chart.type = XlsxIChart::BarHorizontal;
        } else if (name == u"chart" && m_chartDepth == -1) {
            m_chartDepth = m_depth;
        } else if (name == u"title") {
            // Only the chart's own title: axis titles are titles too.
            m_inTitle = m_chartDepth >= 0 && m_depth == m_chartDepth + 1;
        } else if (name == u"tx" && m_inTitle) {
            m_inTitleText = true;
        } else if (name == u"f" && m_inTitle) {
            // The reference a title is taken from, not its text.
            m_inFormula = true;
        } else if (name == u"f" && m_inSeries && (m_inCategories || m_inValues)) {
            m_inReference = true;
            m_reference.clear();
        } else if (name == u"plotVisOnly") {
            const QStringView value = xml.attribute("val"_L1).trimmed();
            m_chart.visibleOnly = !(value == u"0" || value == u"false");
        } else if (name == u"ser") {
            m_series = XlsxIChartSeries();
            m_categoriesRef.clear();
            m_valuesRef.clear();
            m_categories.clear();
            m_values.clear();
            m_categoriesCount = -1;
            m_valuesCount = -1;
            m_inSeries = true;
        } else if (name == u"cat" && m_inSeries) {
            m_inCategories = true;
        } else if (name == u"val" && m_inSeries) {
            m_inValues = true;
        } else if (name == u"ptCount" && m_inSeries && (m_inCategories || m_inValues)) {
            bool ok = false;
            const int count = xml.attribute("val"_L1).trimmed().toInt(&ok);
            (m_inCategories ? m_categoriesCount : m_valuesCount) = ok && count >= 0 ? count : -1;
        } else if (name == u"pt") {
            // An index that is no number names no point: the point is skipped.
            bool ok = false;
            m_pointIndex = xml.attribute("idx"_L1).trimmed().toInt(&ok);
            if (!ok)
                m_pointIndex = -1;
            m_inPoint = true;
            m_point.clear();
        }
    }

    bool end(QStringView name)
    {
        if (name == u"chart" && m_depth == m_chartDepth) {
            m_chartDepth = kAfterChart;
        } else if (name == u"title") {
            m_inTitle = false;
        } else if (name == u"f") {
            m_inFormula = false;
            if (m_inReference)
                (m_inCategories ? m_categoriesRef : m_valuesRef) = m_reference;
            m_inReference = false;
        } else if (name == u"tx" && m_inTitle) {
            m_inTitleText = false;
        } else if (name == u"cat") {
            m_inCategories = false;
        } else if (name == u"val") {
            m_inValues = false;
        } else if (name == u"pt" && m_inSeries) {
            m_inPoint = false;
            return storePoint();
        } else if (name == u"ser") {
            m_series.categories = m_categories.values();
            m_series.values = m_values.values();
            m_series.categoriesRef = m_categoriesRef;
            m_series.categoryIndices = m_categories.keys();
            m_series.categoryCount = m_categoriesCount;
            m_series.valuesRef = m_valuesRef;
            m_series.valueIndices = m_values.keys();
            m_series.valueCount = m_valuesCount;
            m_chart.series.append(m_series);
            m_inSeries = false;
        }
        return true;
    }

    // Points are kept in index order without padding the gaps between them,
    // so a series is never longer than the points its cache holds.
    bool storePoint()
    {
        if (m_pointIndex < 0 || !(m_inCategories || m_inValues))
            return true;
        if (m_inCategories) {
            if (!m_categories.contains(m_pointIndex) && !m_budget.take())
                return false;
            if (!m_budget.keepText(m_point.size()))
                return false;
            m_categories.insert(m_pointIndex, m_point);
        } else {
            if (!m_values.contains(m_pointIndex) && !m_budget.take())
                return false;
            m_values.insert(m_pointIndex, xlsxDouble(m_point));
        }
        return true;
    }

    // Depth of the chart element once seen; a value no depth takes after it.
    static constexpr int kAfterChart = std::numeric_limits<int>::min();

    XlsxIBudget& m_budget;
    XlsxIChart& m_chart;
    int m_depth = 0;
    int m_chartDepth = -1;
    int m_extensionDepth = -1; // of the extension list being skipped
    bool m_inTitle = false;
    bool m_inFormula = false;
    bool m_inTitleText = false;
    bool m_inSeries = false;
    bool m_inCategories = false;
    bool m_inValues = false;
    bool m_inPoint = false;
    bool m_inReference = false;
    QString m_reference;
    QString m_categoriesRef;
    QString m_valuesRef;
    int m_pointIndex = 0;
    QString m_point;
    XlsxIChartSeries m_series;
    int m_categoriesCount = -1;
    int m_valuesCount = -1;
    QMap<int, QString> m_categories; // point index -> text
    QMap<int, double> m_values;
};

} // namespace

XlsxIChart iParseChart(const QByteArray& xml, XlsxIBudget* budget)
{
    XlsxIChart chart;
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    XlsxXmlWalker walker(xml, limits);
    ChartReader(limits, chart).read(walker);
    return chart;
}

namespace {

constexpr int kSheetRows = 1048576;
constexpr int kSheetLastCol = 16383;
// Names that name names go no deeper than this; areas no more than that.
constexpr int kMaxNameDepth = 8;
constexpr qsizetype kMaxAreas = 256;

// One row or column of cells of a reference on a known sheet: rows from 1,
// columns from 0.
struct Area {
    const XlsxISheetData* sheet = nullptr;
    int firstRow = 0;
    int lastRow = 0;
    int firstCol = 0;
    int lastCol = 0;
    bool down() const { return firstCol == lastCol; }
    int size() const { return down() ? lastRow - firstRow + 1 : lastCol - firstCol + 1; }
    bool hidden(int row, int col) const { return sheet->hiddenRows.contains(row) || sheet->hiddenCols.contains(col); }
    int visible() const
    {
        const QSet<int>& across = down() ? sheet->hiddenCols : sheet->hiddenRows;
        if (across.contains(down() ? firstCol : firstRow))
            return 0;
        int hiddenInside = 0;
        const int from = down() ? firstRow : firstCol;
        const int to = down() ? lastRow : lastCol;
        for (int k : down() ? sheet->hiddenRows : sheet->hiddenCols)
            hiddenInside += k >= from && k <= to ? 1 : 0;
        return size() - hiddenInside;
    }
};

// Column from 0 of letters "A".."XFD"; -1 when they are none.
int columnOf(QStringView letters)
{
    if (letters.isEmpty() || letters.size() > 3)
        return -1;
    int col = 0;
    for (QChar c : letters) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            return -1;
        col = col * 26 + (u - u'A' + 1);
    }
    return col <= kSheetLastCol + 1 ? col - 1 : -1;
}

// One end of a range: a cell "$B$2", a column "$B" or a row "$2"; the
// missing part -1. False when it is none of them.
bool rangeEnd(QStringView text, int* col, int* row)
{
    QString plain = text.trimmed().toString().remove(u'$');
    qsizetype split = 0;
    while (split < plain.size() && plain.at(split).isLetter())
        ++split;
    *col = split > 0 ? columnOf(QStringView(plain).left(split)) : -1;
    *row = -1;
    if (split < plain.size()) {
        bool ok = false;
        *row = QStringView(plain).mid(split).toInt(&ok);
        if (!ok || *row < 1 || *row > kSheetRows)
            return false;
    }
    return (split == 0 || *col >= 0) && (*col >= 0 || *row >= 0);
}

// The cells of a range text: "B2", "$B$2:$B$12", whole columns "$B:$B" and
// rows "$2:$2". False when it is no range, or a block of several rows and
// columns, which is no series.
bool rangeOf(QStringView text, Area* area)
{
    const qsizetype colon = text.indexOf(u':');
    int c1 = -1, r1 = -1, c2 = -1, r2 = -1;
    if (!rangeEnd(colon < 0 ? text : text.left(colon), &c1, &r1))
        return false;
    if (colon < 0) {
        // A lone column or row is a name, not a reference.
        if (c1 < 0 || r1 < 0)
            return false;
        c2 = c1;
        r2 = r1;
    } else if (!rangeEnd(text.mid(colon + 1), &c2, &r2)) {
        return false;
    }
    if ((c1 < 0) != (c2 < 0) || (r1 < 0) != (r2 < 0))
        return false;
    area->firstCol = c1 < 0 ? 0 : std::min(c1, c2);
    area->lastCol = c1 < 0 ? kSheetLastCol : std::max(c1, c2);
    area->firstRow = r1 < 0 ? 1 : std::min(r1, r2);
    area->lastRow = r1 < 0 ? kSheetRows : std::max(r1, r2);
    return area->firstCol == area->lastCol || area->firstRow == area->lastRow;
}

// Positions of a character outside quoted sheet names.
QList<qsizetype> outsideQuotes(QStringView text, QChar c)
{
    QList<qsizetype> at;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\'')
            quoted = !quoted; // a doubled quote inside toggles twice
        else if (!quoted && text.at(i) == c)
            at.append(i);
    }
    return at;
}

QStringView withoutParentheses(QStringView text)
{
    text = text.trimmed();
    while (text.size() >= 2 && text.front() == u'(' && text.back() == u')')
        text = text.mid(1, text.size() - 2).trimmed();
    return text;
}

// A sheet as a reference writes it: quoted with doubled quotes inside, and
// "[0]" naming this very workbook.
QString sheetOf(QStringView text)
{
    QString name = text.trimmed().toString();
    if (name.startsWith(u'[')) {
        const qsizetype close = name.indexOf(u']');
        name = close < 0 ? QString() : name.mid(close + 1);
    }
    if (name.size() >= 2 && name.startsWith(u'\'') && name.endsWith(u'\''))
        name = name.mid(1, name.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    return name;
}

class References {
public:
    References(const std::function<const XlsxISheetData*(const QString&)>& sheetNamed,
               const QList<XlsxIDefinedName>& names)
        : m_sheetNamed(sheetNamed), m_names(names)
    {
    }

    // The areas of a reference, several ones and defined names resolved;
    // false when any part of it is no row or column of a known sheet.
    bool resolve(QStringView formula, QList<Area>& areas, int depth = 0) const
    {
        formula = withoutParentheses(formula);
        if (formula.startsWith(u'='))
            formula = withoutParentheses(formula.mid(1));
        if (formula.isEmpty())
            return false;
        qsizetype from = 0;
        QList<qsizetype> commas = outsideQuotes(formula, u',');
        commas.append(formula.size());
        for (qsizetype comma : commas) {
            const QStringView piece = withoutParentheses(formula.mid(from, comma - from));
            from = comma + 1;
            const QList<qsizetype> bangs = outsideQuotes(piece, u'!');
            const QString sheet = bangs.isEmpty() ? QString() : sheetOf(piece.left(bangs.last()));
            const QStringView rest = bangs.isEmpty() ? piece : piece.mid(bangs.last() + 1);
            Area area;
            if (rangeOf(rest, &area)) {
                area.sheet = sheet.isEmpty() ? nullptr : m_sheetNamed(sheet);
                if (!area.sheet || areas.size() >= kMaxAreas)
                    return false;
                areas.append(area);
                continue;
            }
            const QString named = nameFormula(rest.trimmed().toString(), sheet);
            if (depth >= kMaxNameDepth || named.isEmpty() || !resolve(named, areas, depth + 1))
                return false;
        }
        return !areas.isEmpty();
    }

private:
    // A name of the sheet's own first, then of the workbook.
    QString nameFormula(const QString& name, const QString& sheet) const
    {
        const QString wanted = name.toCaseFolded();
        const QString scope = sheet.toCaseFolded();
        QString global;
        for (const XlsxIDefinedName& n : m_names) {
            if (n.name.toCaseFolded() != wanted)
                continue;
            if (n.sheet.isEmpty())
                global = n.formula;
            else if (!scope.isEmpty() && n.sheet.toCaseFolded() == scope)
                return n.formula;
        }
        return global;
    }

    const std::function<const XlsxISheetData*(const QString&)>& m_sheetNamed;
    const QList<XlsxIDefinedName>& m_names;
};

// Drops the points whose cells are hidden. A cache holding fewer points
// than its reference has cells, and as many as are visible, was written of
// the visible cells alone: its points are the visible ones already.
template<typename T>
void dropHidden(QList<T>& points, const QList<int>& indices, int cachedCount, const QString& ref,
                const References& references)
{
    QList<Area> areas;
    if (ref.isEmpty() || indices.size() != points.size() || !references.resolve(ref, areas))
        return;
    qint64 cells = 0;
    qint64 visible = 0;
    for (const Area& a : areas) {
        cells += a.size();
        visible += a.visible();
    }
    const qint64 count = cachedCount >= 0 ? cachedCount : points.size();
    if (count < cells && count == visible)
        return;
    // Indices ascend: the areas are walked once.
    QList<T> kept;
    kept.reserve(points.size());
    qsizetype area = 0;
    qint64 areaStart = 0;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const qint64 at = indices.at(i);
        while (area < areas.size() && at >= areaStart + areas.at(area).size())
            areaStart += areas.at(area++).size();
        if (area < areas.size() && at >= areaStart) {
            const Area& a = areas.at(area);
            const int offset = int(at - areaStart);
            if (a.down() ? a.hidden(a.firstRow + offset, a.firstCol) : a.hidden(a.firstRow, a.firstCol + offset))
                continue;
        }
        kept.append(points.at(i));
    }
    points = std::move(kept);
}

} // namespace

void iDropHiddenPoints(XlsxIChart& chart, const std::function<const XlsxISheetData*(const QString&)>& sheetNamed,
                       const QList<XlsxIDefinedName>& names)
{
    if (!chart.visibleOnly)
        return;
    const References references(sheetNamed, names);
    for (XlsxIChartSeries& s : chart.series) {
        dropHidden(s.values, s.valueIndices, s.valueCount, s.valuesRef, references);
        dropHidden(s.categories, s.categoryIndices, s.categoryCount, s.categoriesRef, references);
    }
}
