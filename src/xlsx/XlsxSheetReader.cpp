#include "XlsxSheetReader.h"

#include "XlsxIBudget.h"
#include "XlsxXmlWalker.h"

#include "StableSort.h"

#include <QDate>

#include <map>
#include <optional>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kSheetRows = 1048576;
constexpr qint64 kSheetColumns = 16384;
constexpr double kDefaultWidth = 8.43;
constexpr double kMaxWidth = 255.0;  // characters
constexpr double kMaxHeight = 409.0; // points

// An integer that saturates at +-ceiling instead of failing on overflow;
// 0 when the text is no integer at all.
qint64 saturatedNumber(QStringView text, qint64 ceiling)
{
    text = text.trimmed();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        return qBound(-ceiling, value, ceiling);
    const bool negative = text.startsWith(u'-');
    const QStringView digits = negative || text.startsWith(u'+') ? text.mid(1) : text;
    if (digits.isEmpty())
        return 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    return negative ? -ceiling : ceiling;
}

// Base-26 column number of letters, "A" = 1, saturating just past the last
// column; a letter outside A-Z lies past it too.
qint64 columnNumber(QStringView letters)
{
    qint64 number = 0;
    for (QChar c : letters) {
        const char16_t upper = c.toUpper().unicode();
        if (upper < u'A' || upper > u'Z')
            return kSheetColumns + 1;
        number = number * 26 + (upper - u'A' + 1);
        if (number > kSheetColumns)
            return kSheetColumns + 1;
    }
    return number;
}

// A1-style corner of a merge: letters anywhere give the column (0-based,
// -1 without letters), the digits in order the row (0 without digits).
void mergeCorner(QStringView ref, qint64& row, qint64& col)
{
    QString letters;
    row = 0;
    for (QChar c : ref) {
        if (c.isLetter())
            letters.append(c);
        else if (c >= u'0' && c <= u'9')
            row = qMin(row * 10 + (c.unicode() - u'0'), kSheetRows + 1);
    }
    col = columnNumber(letters) - 1;
}

// Orders a span and clips it to [low, high]; false when it lies outside.
bool clipSpan(qint64& first, qint64& last, qint64 low, qint64 high)
{
    if (first > last)
        std::swap(first, last);
    if (last < low || first > high)
        return false;
    first = qMax(first, low);
    last = qMin(last, high);
    return true;
}

// Digits of a fixed count at pos, as a number; -1 when they are not all there.
int fixedDigits(QStringView text, qsizetype pos, qsizetype count)
{
    if (pos < 0 || pos + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = pos; i < pos + count; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// Minutes a zone after an ISO 8601 date or time puts the time ahead of UTC:
// 0 for none or "Z", the offset of "+03:00" or "-05:00" up to fourteen
// hours; nullopt for any other text.
std::optional<int> isoZoneMinutes(QStringView zone)
{
    constexpr int kLargestZone = 14 * 60;
    if (zone.isEmpty() || zone.compare(u"Z", Qt::CaseInsensitive) == 0)
        return 0;
    const int hours = fixedDigits(zone, 1, 2);
    const int minutes = fixedDigits(zone, 4, 2);
    if (zone.size() != 6 || (zone.front() != u'+' && zone.front() != u'-') || zone.at(3) != u':' || hours < 0 ||
        minutes < 0 || minutes > 59 || hours * 60 + minutes > kLargestZone)
        return std::nullopt;
    return (zone.front() == u'-' ? -1 : 1) * (hours * 60 + minutes);
}

// The serial day number an ISO 8601 date cell names, read as LibreOffice
// reads it: "2023-03-15", then "T12:30:00" (seconds required, "24:00:00"
// the end of the day, a fraction of a second dropped), then a zone ("Z",
// "+03:00"), the time told in UTC; counted from the workbook's day zero.
// *ok false for any other text, a time without its day included, which
// stays text.
double isoDateSerial(QStringView text, bool date1904, bool* ok)
{
    *ok = false;
    text = text.trimmed();
    const auto isDigit = [&text](qsizetype i) { return text.at(i) >= u'0' && text.at(i) <= u'9'; };
    qsizetype yearDigits = 0;
    while (yearDigits < text.size() && yearDigits < 6 && isDigit(yearDigits))
        ++yearDigits;
    const int year = yearDigits >= 4 ? fixedDigits(text, 0, yearDigits) : -1;
    text = text.mid(yearDigits);
    if (year <= 0 || text.size() < 6 || text.at(0) != u'-' || text.at(3) != u'-')
        return 0.0;
    const QDate date(year, fixedDigits(text, 1, 2), fixedDigits(text, 4, 2));
    if (!date.isValid())
        return 0.0;
    text = text.mid(6);
    int seconds = 0;
    if (!text.isEmpty() && (text.front() == u'T' || text.front() == u't')) {
        const int h = fixedDigits(text, 1, 2);
        const int m = text.size() > 3 && text.at(3) == u':' ? fixedDigits(text, 4, 2) : -1;
        const int s = text.size() > 6 && text.at(6) == u':' ? fixedDigits(text, 7, 2) : -1;
        if (h < 0 || h > 24 || m < 0 || m > 59 || s < 0 || s > 59)
            return 0.0;
        text = text.mid(9);
        bool fraction = false;
        if (!text.isEmpty() && (text.front() == u'.' || text.front() == u',')) {
            qsizetype digits = 1;
            while (digits < text.size() && isDigit(digits)) {
                fraction = fraction || text.at(digits) != u'0';
                ++digits;
            }
            if (digits == 1)
                return 0.0;
            text = text.mid(digits);
        }
        if (h == 24 && (m > 0 || s > 0 || fraction))
            return 0.0;
        seconds = h * 3600 + m * 60 + s;
    }
    const std::optional<int> zone = isoZoneMinutes(text);
    if (!zone)
        return 0.0;
    *ok = true;
    return double((date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30)).daysTo(date)) +
           double(seconds - *zone * 60) / 86400.0;
}

class SheetReader {
public:
    SheetReader(const QList<QString>& sharedStrings, XlsxIBudget& budget, XlsxISheetData& sheet, bool date1904)
        : m_strings(sharedStrings), m_budget(budget), m_sheet(sheet), m_date1904(date1904)
    {
    }

    void read(XlsxXmlWalker& xml, QString* drawingId, QStringList* tableIds)
    {
        while (xml.next()) {
            if (xml.isStart()) {
                if (!start(xml, drawingId, tableIds)) {
                    xml.stop();
                    return;
                }
            } else if (xml.isText()) {
                if (m_inValue)
                    xlsxAppendBounded(m_value, xml.text());
                else if (m_inInlineText)
                    xlsxAppendBounded(m_inline, xml.text());
            } else if (!end(xml.name())) {
                xml.stop();
                return;
            }
        }
    }

private:
    bool start(const XlsxXmlWalker& xml, QString* drawingId, QStringList* tableIds)
    {
        const QStringView name = xml.name();
        if (name == u"c") {
            startCell(xml);
        } else if (name == u"v") {
            m_inValue = true;
        } else if (name == u"f") {
            m_hasFormula = true;
        } else if (name == u"is") {
            m_inInline = true;
        } else if (name == u"t") {
            m_inInlineText = m_inInline && !m_inPhonetic;
        } else if (name == u"rPh") {
            // A reading guide, shown only on request: not the cell's text.
            m_inPhonetic = true;
        } else if (name == u"row") {
            startRow(xml);
        } else if (name == u"col") {
            return readColumns(xml);
        } else if (name == u"mergeCell") {
            return readMerge(xml.attribute("ref"_L1));
        } else if (name == u"drawing" && drawingId && !m_drawingSeen) {
            m_drawingSeen = true;
            *drawingId = xml.relationshipId();
        } else if (name == u"tablePart" && tableIds) {
            const QString id = xml.relationshipId();
            if (!m_budget.take() || !m_budget.keepText(id.size()))
                return false;
            tableIds->append(id);
        }
        return true;
    }

    bool end(QStringView name)
    {
        if (name == u"v") {
            m_inValue = false;
        } else if (name == u"t") {
            if (m_inInline)
                m_inInlineText = false;
        } else if (name == u"rPh") {
            m_inPhonetic = false;
        } else if (name == u"is") {
            m_value = std::move(m_inline);
            m_inline = QString();
            m_inInline = false;
        } else if (name == u"c") {
            return storeCell();
        }
        return true;
    }

    void startRow(const XlsxXmlWalker& xml)
    {
        const QStringView r = xml.attribute("r"_L1);
        m_row = r.isNull() ? qMin(m_row + 1, kSheetRows + 1) : qMax<qint64>(saturatedNumber(r, kSheetRows + 1), 1);
        m_column = -1;
        if (xlsxBool(xml.attribute("hidden"_L1)) && m_row <= kSheetRows && m_budget.take())
            m_sheet.hiddenRows.insert(int(m_row));
        const QStringView ht = xml.attribute("ht"_L1);
        if (ht.isEmpty() || m_row > kSheetRows)
            return;
        // A height that is no finite number, or a negative one, is no
        // height: taken as 0 it would hide the row.
        bool ok = false;
        const double height = xlsxDouble(ht, &ok);
        if (!ok || !std::isfinite(height) || height < 0.0 || !m_budget.take())
            return;
        // A row 0 high is how some writers hide a row: hidden, whatever its flag says.
        if (height == 0.0 && !m_sheet.hiddenRows.contains(int(m_row)) && m_budget.take())
            m_sheet.hiddenRows.insert(int(m_row));
        m_sheet.rowHeights.insert(int(m_row), qMin(height, kMaxHeight));
        // Without customHeight the height is the writing program's fit of
        // the row to its fonts, not a height the user chose.
        if (!xlsxBool(xml.attribute("customHeight"_L1)) && m_budget.take())
            m_sheet.fittedRows.insert(int(m_row));
    }

    void startCell(const XlsxXmlWalker& xml)
    {
        m_ref = xml.attribute("r"_L1).toString();
        m_type = xml.attribute("t"_L1).toString();
        m_style = xlsxInt(xml.attribute("s"_L1));
        m_value.clear();
        m_inline.clear();
        m_inValue = false;
        m_inInline = false;
        m_inInlineText = false;
        m_inPhonetic = false;
        m_hasFormula = false;
    }

    bool storeCell()
    {
        qint64 column = m_column + 1;
        if (!m_ref.isEmpty()) {
            qsizetype letters = 0;
            while (letters < m_ref.size() && m_ref.at(letters).isLetter())
                ++letters;
            if (letters == 0)
                return true;
            column = columnNumber(QStringView(m_ref).left(letters)) - 1;
        }
        m_column = qMin(column, kSheetColumns);
        const qint64 row = qMax<qint64>(m_row, 1);
        if (m_column >= kSheetColumns || row > kSheetRows)
            return true;
        // A formula whose result was never saved (written by a program that
        // does not calculate) has nothing to show.
        if (m_hasFormula && m_value.isEmpty() && m_type != u"inlineStr")
            ++m_sheet.formulasWithoutValue;
        auto rowCells = m_sheet.cells.find(int(row));
        const bool known = rowCells != m_sheet.cells.end() && rowCells->contains(int(m_column));
        if (!known && !m_budget.take())
            return false;
        XlsxICell cell = makeCell();
        if (!m_budget.keepText(m_keepsText ? cell.text.size() : 0))
            return false;
        if (rowCells == m_sheet.cells.end())
            rowCells = m_sheet.cells.insert(int(row), {});
        rowCells->insert(int(m_column), std::move(cell));
        return true;
    }

    // Takes the value text into the cell; m_keepsText tells whether the
    // cell holds text of its own (a shared string's is held once, by the list).
    XlsxICell makeCell()
    {
        m_keepsText = false;
        XlsxICell cell;
        cell.style = m_style;
        if (m_type == u"s") {
            bool ok = false;
            const qint64 index = QStringView(m_value).trimmed().toLongLong(&ok);
            if (ok && index >= 0 && index < m_strings.size())
                cell.text = m_strings.at(index);
        } else if (m_type == u"b") {
            cell.text = m_value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        } else {
            const bool plain = m_type != u"e" && m_type != u"str" && m_type != u"inlineStr";
            bool ok = false;
            const double number = m_type == u"d" ? isoDateSerial(m_value, m_date1904, &ok)
                                  : plain        ? xlsxDouble(m_value, &ok)
                                                 : 0.0;
            if (ok) {
                cell.number = number;
                cell.isNumber = true;
            }
            cell.text = plain || m_type == u"e" ? std::move(m_value) : xlsxUnescaped(std::move(m_value));
            cell.text.squeeze();
            m_value = QString();
            m_keepsText = true;
        }
        return cell;
    }

    bool readColumns(const XlsxXmlWalker& xml)
    {
        qint64 first = saturatedNumber(xml.attribute("min"_L1), kSheetColumns + 1) - 1;
        qint64 last = saturatedNumber(xml.attribute("max"_L1), kSheetColumns + 1) - 1;
        if (!clipSpan(first, last, 0, kSheetColumns - 1))
            return true;
        if (!m_budget.take(last - first + 1))
            return false;
        double width = xlsxDouble(xml.attribute("width"_L1));
        // A column written 0 wide is hidden, as spreadsheet programs show it.
        const bool zeroWide = !xml.attribute("width"_L1).isEmpty() && width == 0.0;
        if (!(width > 0.0))
            width = kDefaultWidth;
        width = qMin(width, kMaxWidth);
        const bool hidden = xlsxBool(xml.attribute("hidden"_L1)) || zeroWide;
        if (hidden && !m_budget.take(last - first + 1))
            return false;
        for (qint64 c = first; c <= last; ++c) {
            m_sheet.colWidths.insert(int(c), width);
            if (hidden)
                m_sheet.hiddenCols.insert(int(c));
        }
        return true;
    }

    bool readMerge(QStringView ref)
    {
        const qsizetype colon = ref.indexOf(u':');
        if (colon <= 0)
            return true;
        qint64 firstRow, firstCol, lastRow, lastCol;
        mergeCorner(ref.left(colon), firstRow, firstCol);
        mergeCorner(ref.mid(colon + 1), lastRow, lastCol);
        if (!clipSpan(firstRow, lastRow, 1, kSheetRows) || !clipSpan(firstCol, lastCol, 0, kSheetColumns - 1))
            return true;
        if (firstRow == lastRow && firstCol == lastCol)
            return true; // one cell: nothing merged
        // A range listed again is the same merge; the copies cost every paint.
        const std::pair<quint64, quint64> key{quint64(firstRow) << 16 | quint64(firstCol),
                                              quint64(lastRow) << 16 | quint64(lastCol)};
        if (m_mergeKeys.contains(key))
            return true;
        if (!m_budget.take())
            return false;
        m_mergeKeys.insert(key);
        m_sheet.merges.append({int(firstRow), int(firstCol), int(lastRow), int(lastCol)});
        return true;
    }

    const QList<QString>& m_strings;
    XlsxIBudget& m_budget;
    XlsxISheetData& m_sheet;
    const bool m_date1904;

    qint64 m_row = 0;     // 1-based; past the last row when outside the sheet
    qint64 m_column = -1; // of the previous cell in the row
    QString m_ref;
    QString m_type;
    int m_style = 0;
    QString m_value;
    QString m_inline;
    bool m_inValue = false;
    bool m_inInline = false;
    bool m_inInlineText = false;
    bool m_inPhonetic = false;
    bool m_drawingSeen = false;
    bool m_keepsText = false;
    bool m_hasFormula = false;
    QSet<std::pair<quint64, quint64>> m_mergeKeys;
};

// Drops every merge that overlaps one kept before it, the kept ones taken in
// the order of their top rows (then columns, then as written). A sweep over
// the rows keeps the column spans of the merges still open, which never
// overlap one another, so each test is one look at a neighbour.
QList<XlsxIMerge> nonOverlapping(const QList<XlsxIMerge>& merges)
{
    std::vector<qsizetype> order(size_t(merges.size()));
    for (qsizetype i = 0; i < merges.size(); ++i)
        order[size_t(i)] = i;
    vorn::safeStableSort(order.begin(), order.end(), [&merges](qsizetype a, qsizetype b) {
        const XlsxIMerge& x = merges.at(a);
        const XlsxIMerge& y = merges.at(b);
        return x.firstRow != y.firstRow ? x.firstRow < y.firstRow : x.firstCol < y.firstCol;
    });
    std::map<int, const XlsxIMerge*> open; // first column -> merge
    std::multimap<int, int> closing;        // last row -> first column
    std::vector<bool> keep(size_t(merges.size()), false);
    for (qsizetype i : order) {
        const XlsxIMerge& m = merges.at(i);
        while (!closing.empty() && closing.begin()->first < m.firstRow) {
            open.erase(closing.begin()->second);
            closing.erase(closing.begin());
        }
        auto after = open.upper_bound(m.lastCol);
        if (after != open.begin() && std::prev(after)->second->lastCol >= m.firstCol)
            continue;
        open.emplace(m.firstCol, &m);
        closing.emplace(m.lastRow, m.firstCol);
        keep[size_t(i)] = true;
    }
    QList<XlsxIMerge> kept;
    for (qsizetype i = 0; i < merges.size(); ++i) {
        if (keep[size_t(i)])
            kept.append(merges.at(i));
    }
    return kept;
}

} // namespace

std::unique_ptr<XlsxISheetData> iParseSheet(const QByteArray& xml, const QList<QString>& sharedStrings,
                                            XlsxIBudget* budget, QString* drawingId, QStringList* tableIds,
                                            bool date1904)
{
    auto sheet = std::make_unique<XlsxISheetData>();
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    XlsxXmlWalker walker(xml, limits);
    SheetReader(sharedStrings, limits, *sheet, date1904).read(walker, drawingId, tableIds);
    sheet->merges = nonOverlapping(sheet->merges);
    return sheet;
}
