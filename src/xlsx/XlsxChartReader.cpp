#include "XlsxChartReader.h"

#include "XlsxIBudget.h"
#include "XlsxXmlWalker.h"

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

// Column index from 0 of letters "A".."XFD"; -1 when not a column.
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
    return col - 1;
}

// (column, row) of a cell reference such as "$B$2"; (-1, -1) when it is none.
QPoint cellOf(QStringView ref)
{
    const QString plain = ref.toString().remove(u'$');
    qsizetype split = 0;
    while (split < plain.size() && plain.at(split).isLetter())
        ++split;
    bool ok = false;
    const int row = QStringView(plain).mid(split).toInt(&ok);
    const int col = columnOf(QStringView(plain).left(split));
    if (!ok || row < 1 || col < 0)
        return QPoint(-1, -1);
    return QPoint(col, row);
}

// The sheet and the cells of a reference to one row or column of cells,
// such as "'Лист 1'!$B$2:$B$6": the cell of each point index. False for
// anything else (several areas, a name, a block).
bool referencedCells(const QString& formula, QString* sheet, QPoint* first, QPoint* last)
{
    const QString f = formula.trimmed();
    const qsizetype bang = f.lastIndexOf(u'!');
    if (bang <= 0 || f.contains(u','))
        return false;
    QString name = f.left(bang);
    if (name.size() >= 2 && name.startsWith(u'\'') && name.endsWith(u'\''))
        name = name.mid(1, name.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    const QStringView range = QStringView(f).mid(bang + 1);
    const qsizetype colon = range.indexOf(u':');
    *first = cellOf(colon < 0 ? range : range.left(colon));
    *last = colon < 0 ? *first : cellOf(range.mid(colon + 1));
    if (first->x() < 0 || last->x() < 0 || last->x() < first->x() || last->y() < first->y())
        return false;
    if (first->x() != last->x() && first->y() != last->y())
        return false;
    *sheet = name;
    return true;
}

// The cell of each point of a list of point indices.
template<typename T>
QList<QPoint> pointCells(const QMap<int, T>& points, const QString& formula, QString* sheet)
{
    QPoint first, last;
    if (!referencedCells(formula, sheet, &first, &last))
        return {};
    const bool down = first.x() == last.x();
    QList<QPoint> cells;
    cells.reserve(points.size());
    for (auto it = points.cbegin(); it != points.cend(); ++it) {
        const qint64 at = qint64(down ? first.y() : first.x()) + it.key();
        const bool inside = at <= (down ? last.y() : last.x());
        cells.append(!inside ? QPoint(-1, -1) : down ? QPoint(first.x(), int(at)) : QPoint(int(at), first.y()));
    }
    return cells;
}

class ChartReader {
public:
    ChartReader(XlsxIBudget& budget, XlsxIChart& chart) : m_budget(budget), m_chart(chart) {}

    void read(XlsxXmlWalker& xml)
    {
        while (xml.next()) {
            if (xml.isStart()) {
                ++m_depth;
                start(xml);
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
            m_inSeries = true;
        } else if (name == u"cat" && m_inSeries) {
            m_inCategories = true;
        } else if (name == u"val" && m_inSeries) {
            m_inValues = true;
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
            m_series.categoryCells = pointCells(m_categories, m_categoriesRef, &m_series.categoriesSheet);
            m_series.valueCells = pointCells(m_values, m_valuesRef, &m_series.valuesSheet);
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

template<typename T>
void dropHidden(QList<T>& points, QList<QPoint>& cells, const XlsxISheetData* sheet)
{
    if (!sheet || cells.size() != points.size())
        return;
    for (qsizetype i = points.size() - 1; i >= 0; --i) {
        const QPoint cell = cells.at(i);
        if (cell.y() >= 1 && (sheet->hiddenRows.contains(cell.y()) || sheet->hiddenCols.contains(cell.x()))) {
            points.removeAt(i);
            cells.removeAt(i);
        }
    }
}

} // namespace

void iDropHiddenPoints(XlsxIChart& chart, const std::function<const XlsxISheetData*(const QString&)>& sheetNamed)
{
    if (!chart.visibleOnly)
        return;
    for (XlsxIChartSeries& s : chart.series) {
        if (!s.valuesSheet.isEmpty())
            dropHidden(s.values, s.valueCells, sheetNamed(s.valuesSheet));
        if (!s.categoriesSheet.isEmpty())
            dropHidden(s.categories, s.categoryCells, sheetNamed(s.categoriesSheet));
    }
}
