#include "XlsxChartReader.h"

#include "XlsxIBudget.h"
#include "XlsxXmlWalker.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Points at or past this index are not kept: each kept index pads its list
// up to itself.
constexpr int kMaxPointIndex = 1 << 20;

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
            m_chart.series.append(m_series);
            m_inSeries = false;
        }
        return true;
    }

    bool storePoint()
    {
        if (m_pointIndex < 0 || m_pointIndex >= kMaxPointIndex || !(m_inCategories || m_inValues))
            return true;
        if (m_inCategories) {
            QList<QString>& categories = m_series.categories;
            if (m_pointIndex >= categories.size() && !m_budget.take(m_pointIndex + 1 - categories.size()))
                return false;
            if (!m_budget.keepText(m_point.size()))
                return false;
            if (m_pointIndex >= categories.size())
                categories.resize(m_pointIndex + 1);
            categories[m_pointIndex] = m_point;
        } else {
            QList<double>& values = m_series.values;
            if (m_pointIndex >= values.size() && !m_budget.take(m_pointIndex + 1 - values.size()))
                return false;
            if (m_pointIndex >= values.size())
                values.resize(m_pointIndex + 1, 0.0);
            values[m_pointIndex] = xlsxDouble(m_point);
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
