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

// Drops the points whose cells are hidden. A cache holding fewer points
// than its reference has cells, and as many as are visible, was written of
// the visible cells alone: its points are the visible ones already.
template<typename T>
void dropHidden(QList<T>& points, const QList<int>& indices, int cachedCount, const QList<XlsxIArea>& areas)
{
    if (indices.size() != points.size())
        return;
    qint64 cells = 0;
    qint64 visible = 0;
    for (const XlsxIArea& a : areas) {
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
            const XlsxIArea& a = areas.at(area);
            const int offset = int(at - areaStart);
            if (a.down() ? a.hidden(a.firstRow + offset, a.firstCol) : a.hidden(a.firstRow, a.firstCol + offset))
                continue;
        }
        kept.append(points.at(i));
    }
    points = std::move(kept);
}

// Whether a sheet a reference may point to hides rows or columns.
bool mayPointToHidden(const QString& ref, const XlsxReferences& references, const QStringList& allSheets)
{
    bool anySheet = false;
    const QStringList named = references.sheetsNamed(ref, &anySheet);
    for (const QString& name : anySheet ? allSheets : named) {
        const XlsxISheetData* sheet = references.sheetNamed(name);
        if (sheet && !(sheet->hiddenRows.isEmpty() && sheet->hiddenCols.isEmpty()))
            return true;
    }
    return false;
}

} // namespace

bool iDropHiddenPoints(XlsxIChart& chart, const XlsxReferences& references, const QStringList& allSheets)
{
    if (!chart.visibleOnly)
        return true;
    for (XlsxIChartSeries& s : chart.series) {
        QList<XlsxIArea> areas;
        if (references.resolve(s.valuesRef, areas))
            dropHidden(s.values, s.valueIndices, s.valueCount, areas);
        else if (!s.valuesRef.isEmpty() && mayPointToHidden(s.valuesRef, references, allSheets))
            return false;
        areas.clear();
        // Categories are not drawn: one not resolved leaves nothing hidden on the page.
        if (references.resolve(s.categoriesRef, areas))
            dropHidden(s.categories, s.categoryIndices, s.categoryCount, areas);
    }
    return true;
}
