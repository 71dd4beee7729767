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
        } else if (name == u"ser") {
            m_series = XlsxIChartSeries();
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
