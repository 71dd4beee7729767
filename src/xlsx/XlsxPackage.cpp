#include "XlsxPackage.h"

#include "XlsxAnchorPlacer.h"
#include "XlsxChartReader.h"
#include "XlsxDrawingReader.h"
#include "XlsxSheetReader.h"
#include "XlsxStylesReader.h"
#include "XlsxXmlWalker.h"

#include <QFile>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <tuple>

#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMaxEntries = 10000;
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kUnsizedReserve = 16 << 20;

const QString kWorkbookPart = QStringLiteral("xl/workbook.xml");

QString notWorkbookReason() { return QStringLiteral("Файл не является книгой XLSX."); }
QString encryptedReason() { return QStringLiteral("Книга зашифрована паролем."); }
QString tooLargeReason() { return QStringLiteral("Книга слишком велика для импорта."); }
QString damagedReason(const QString& part) { return QStringLiteral("Часть книги повреждена: %1").arg(part); }
QString tooMuchTextReason(qint64 chars)
{
    return QStringLiteral("В книге больше %1 знаков текста: она слишком велика для импорта.")
        .arg(QLocale(QLocale::Russian).toString(chars));
}

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

quint64 littleEndian(const char* bytes, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[i]);
    return value;
}

// The entry count the end of the central directory declares, read before
// libzip builds its directory; -1 when the file has no such record.
qint64 declaredEntryCount(QFile& file)
{
    constexpr qint64 kEndRecord = 22;
    constexpr qint64 kMaxComment = 0xffff;
    const qint64 tailSize = qMin(file.size(), kEndRecord + kMaxComment);
    if (tailSize < kEndRecord || !file.seek(file.size() - tailSize))
        return -1;
    const QByteArray tail = file.read(tailSize);
    const qsizetype end = tail.lastIndexOf("PK\x05\x06");
    if (end < 0 || tail.size() - end < kEndRecord)
        return -1;
    const qint64 count = qint64(littleEndian(tail.constData() + end + 10, 2));
    if (count != 0xffff || end < 20 || !tail.mid(end - 20, 4).startsWith("PK\x06\x07"))
        return count;
    const qint64 zip64End = qint64(littleEndian(tail.constData() + end - 20 + 8, 8));
    if (zip64End < 0 || !file.seek(zip64End))
        return -1;
    const QByteArray record = file.read(40);
    if (record.size() < 40 || !record.startsWith("PK\x06\x06"))
        return -1;
    return qint64(qMin<quint64>(littleEndian(record.constData() + 32, 8), quint64(kMaxEntries) + 1));
}

// Why the file cannot be opened as a package; empty when it may be tried.
QString precheck(const QString& path, const XlsxIBudget& budget)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return notWorkbookReason();
    static const QByteArray kCompoundFile("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8);
    if (file.peek(8) == kCompoundFile)
        return encryptedReason();
    if (file.size() > budget.bytesLeft || declaredEntryCount(file) > kMaxEntries)
        return tooLargeReason();
    return QString();
}

QString folderOf(const QString& partPath)
{
    const qsizetype slash = partPath.lastIndexOf(u'/');
    return slash < 0 ? QString() : partPath.left(slash);
}

QString relsPathOf(const QString& partPath)
{
    const qsizetype slash = partPath.lastIndexOf(u'/');
    return partPath.left(slash + 1) + "_rels/"_L1 + partPath.mid(slash + 1) + ".rels"_L1;
}

// A table part: its name as formulas write it, its cells and columns; false
// when it names no table or a limit is reached.
bool parseTable(const QByteArray& xml, XlsxIBudget& budget, XlsxITable& table)
{
    constexpr qsizetype kMaxColumns = 16384;
    bool seen = false;
    XlsxXmlWalker walker(xml, budget);
    while (walker.next()) {
        if (!walker.isStart())
            continue;
        if (walker.name() == u"table" && !seen) {
            seen = true;
            table.name = walker.attribute("displayName"_L1).toString();
            if (table.name.isEmpty())
                table.name = walker.attribute("name"_L1).toString();
            const QStringView headers = walker.attribute("headerRowCount"_L1);
            table.headerRows = headers.isEmpty() ? 1 : std::clamp(xlsxInt(headers), 0, 1);
            table.totalsRows = std::clamp(xlsxInt(walker.attribute("totalsRowCount"_L1)), 0, 1);
            if (!iCellRange(walker.attribute("ref"_L1), table.firstRow, table.firstCol, table.lastRow, table.lastCol) ||
                !budget.keepText(table.name.size()))
                return false;
        } else if (walker.name() == u"tableColumn" && seen) {
            const QString name = xlsxUnescaped(walker.attribute("name"_L1).toString());
            if (table.columns.size() >= kMaxColumns || !budget.take() || !budget.keepText(name.size())) {
                walker.stop();
                return false;
            }
            table.columns.append(name);
        }
    }
    return seen && !table.name.isEmpty();
}

// Reading one package: parts, reasons and the budget they share.
class WorkbookReader {
public:
    WorkbookReader(zip_t* archive, XlsxIBudget& budget, XlsxIWorkbook& book)
        : m_archive(archive), m_budget(budget), m_book(book)
    {
    }

    void read()
    {
        const QList<QString> strings = iSharedStrings(m_archive, &m_budget);
        if (!settle(QStringLiteral("xl/sharedStrings.xml")))
            return;
        XlsxIWorkbookFacts facts;
        const auto refs = iSheetRefs(m_archive, &m_budget, &facts);
        if (!settle(kWorkbookPart))
            return;
        const QMap<QString, QString> rels = iWorkbookRels(m_archive, &m_budget);
        if (!settle(QStringLiteral("xl/_rels/workbook.xml.rels")))
            return;
        const QList<QColor> theme = iParseTheme(iReadEntry(m_archive, QStringLiteral("xl/theme/theme1.xml"), &m_budget),
                                                &m_budget);
        if (!settle(QStringLiteral("xl/theme/theme1.xml")))
            return;
        m_book.styles = iParseStyles(iReadEntry(m_archive, QStringLiteral("xl/styles.xml"), &m_budget), theme,
                                     &m_budget);
        if (!settle(QStringLiteral("xl/styles.xml")))
            return;
        m_book.styles->date1904 = facts.date1904;
        m_date1904 = facts.date1904;
        if (refs.isEmpty())
            note(damagedReason(kWorkbookPart));
        bool more = true;
        for (const auto& [name, id] : refs) {
            more = readSheet(name, rels.value(id), strings);
            if (!more)
                break;
        }
        if (more)
            readChartSources(facts.hiddenSheets, rels, strings);
        dropHiddenPoints(facts.names);
    }

private:
    // Charts that plot visible cells only lose the points of hidden rows and
    // columns of the sheets read; sheet names compare as spreadsheets compare
    // them. A chart that would draw hidden values is left out, and said.
    void dropHiddenPoints(const QList<XlsxIDefinedName>& names)
    {
        QHash<QString, const XlsxISheetData*> byName;
        QStringList allSheets;
        for (auto it = m_hiddenSheets.cbegin(); it != m_hiddenSheets.cend(); ++it) {
            byName.insert(it.key(), it->get());
            allSheets.append(it.key());
        }
        for (const XlsxISheetInfo& sheet : m_book.sheets) {
            byName.insert(sheet.name.toCaseFolded(), sheet.data.get());
            allSheets.append(sheet.name);
        }
        const XlsxReferences references([&byName](const QString& name) { return byName.value(name.toCaseFolded()); },
                                        names, m_tables);
        for (XlsxISheetInfo& sheet : m_book.sheets) {
            QList<XlsxIChart> drawn;
            for (XlsxIChart& chart : sheet.charts) {
                if (iDropHiddenPoints(chart, references, allSheets))
                    drawn.append(std::move(chart));
                else
                    m_book.chartsLeftOut.append(sheet.name);
            }
            sheet.charts = std::move(drawn);
        }
    }

    // What charts may plot besides the shown cells is read only when there
    // are charts: the tables, and the hidden sheets for their hidden rows and
    // columns, the cells names count and their tables. What is left of the
    // budget bounds each. One unreadable is left out without a word, as it is
    // never shown, and once the budget is reached the rest are.
    void readChartSources(const QList<std::pair<QString, QString>>& hidden, const QMap<QString, QString>& rels,
                          const QList<QString>& strings)
    {
        const bool charted = std::any_of(m_book.sheets.cbegin(), m_book.sheets.cend(),
                                         [](const XlsxISheetInfo& sheet) { return !sheet.charts.isEmpty(); });
        if (!charted)
            return;
        for (const auto& [path, name, ids] : std::as_const(m_tableIds))
            readTables(path, name, ids);
        for (const auto& [name, id] : hidden) {
            const QString target = rels.value(id);
            if (target.isEmpty())
                continue;
            const QString path = iResolvePartPath(QStringLiteral("xl"), target);
            if (m_sheetPaths.contains(path))
                continue;
            m_sheetPaths.insert(path);
            XlsxIBudget budget = m_budget;
            const QByteArray content = iReadEntry(m_archive, path, &budget);
            m_budget.bytesLeft = budget.bytesLeft;
            if (budget.tooLarge)
                return;
            if (content.isEmpty())
                continue;
            QStringList tableIds;
            std::shared_ptr<const XlsxISheetData> data =
                iParseSheet(content, strings, &budget, nullptr, &tableIds, m_date1904);
            if (budget.tooLarge)
                return;
            budget.damaged = false;
            m_budget = budget;
            m_hiddenSheets.insert(name.toCaseFolded(), std::move(data));
            readTables(path, name, tableIds);
        }
    }

    // Tables are read for the references charts make to them; one that
    // cannot be read is left out without a word, as nothing of it prints.
    void readTables(const QString& sheetPath, const QString& sheetName, const QStringList& ids)
    {
        if (ids.isEmpty())
            return;
        XlsxIBudget budget = m_budget;
        const QMap<QString, QString> rels = iParseRels(iReadEntry(m_archive, relsPathOf(sheetPath), &budget), &budget);
        for (const QString& id : ids) {
            const QString target = rels.value(id);
            if (budget.tooLarge)
                break;
            // A part listed again is read once.
            const QString path = iResolvePartPath(folderOf(sheetPath), target);
            if (target.isEmpty() || m_tablePaths.contains(path) || !budget.take())
                continue;
            m_tablePaths.insert(path);
            XlsxITable table;
            if (parseTable(iReadEntry(m_archive, path, &budget), budget, table)) {
                table.sheet = sheetName;
                m_tables.append(table);
            }
        }
        if (budget.tooLarge) {
            m_budget.bytesLeft = budget.bytesLeft;
            return;
        }
        budget.damaged = false;
        m_budget = budget;
    }

    // Turns how the last part ended into the reason; false when reading must stop.
    bool settle(const QString& part)
    {
        if (m_budget.tooLarge) {
            note(m_budget.tooMuchText ? tooMuchTextReason(m_budget.textChars) : tooLargeReason());
            return false;
        }
        if (m_budget.damaged)
            note(damagedReason(part));
        m_budget.damaged = false;
        return true;
    }

    void note(const QString& reason)
    {
        if (m_book.reason.isEmpty())
            m_book.reason = reason;
    }

    // A referenced part: a missing one is damage.
    QByteArray readPart(const QString& path)
    {
        bool found = false;
        const QByteArray content = iReadEntry(m_archive, path, &m_budget, &found);
        if (!found)
            m_budget.damaged = true;
        return content;
    }

    bool readSheet(const QString& name, const QString& target, const QList<QString>& strings)
    {
        if (target.isEmpty()) {
            note(damagedReason(QStringLiteral("xl/_rels/workbook.xml.rels")));
            return true;
        }
        const QString sheetPath = iResolvePartPath(QStringLiteral("xl"), target);
        // A part listed again would be read again, as often as it is listed.
        if (m_sheetPaths.contains(sheetPath)) {
            note(damagedReason(kWorkbookPart));
            return true;
        }
        m_sheetPaths.insert(sheetPath);
        QString drawingId;
        QStringList tableIds;
        XlsxISheetInfo sheet{name, nullptr, {}};
        {
            const QByteArray content = readPart(sheetPath);
            if (content.isEmpty())
                return settle(sheetPath);
            if (isChartSheet(content)) {
                m_book.chartSheets.append(name);
                return settle(sheetPath);
            }
            sheet.data = iParseSheet(content, strings, &m_budget, &drawingId, &tableIds, m_date1904);
        }
        bool more = settle(sheetPath);
        if (!tableIds.isEmpty())
            m_tableIds.append({sheetPath, name, tableIds});
        if (more && !drawingId.isEmpty())
            more = readCharts(sheetPath, drawingId, *sheet.data, sheet.charts);
        m_book.sheets.push_back(std::move(sheet));
        return more;
    }

    // A chart sheet holds one chart on a page of its own and no cells.
    bool isChartSheet(const QByteArray& content)
    {
        XlsxXmlWalker xml(content, m_budget);
        while (xml.next() && !xml.isStart()) {
        }
        const bool chart = xml.isStart() && xml.name() == u"chartsheet";
        xml.stop();
        return chart;
    }

    bool readCharts(const QString& sheetPath, const QString& drawingId, const XlsxISheetData& sheet,
                    QList<XlsxIChart>& charts)
    {
        const QString sheetRels = relsPathOf(sheetPath);
        const QString drawingTarget = iParseRels(readPart(sheetRels), &m_budget).value(drawingId);
        if (drawingTarget.isEmpty()) {
            m_budget.damaged = m_budget.damaged || !m_budget.tooLarge;
            return settle(sheetRels);
        }
        if (!settle(sheetRels))
            return false;
        const QString drawingPath = iResolvePartPath(folderOf(sheetPath), drawingTarget);
        const QString drawingRelsPath = relsPathOf(drawingPath);
        const QMap<QString, QString> drawingRels = iParseRels(iReadEntry(m_archive, drawingRelsPath, &m_budget),
                                                              &m_budget);
        if (!settle(drawingRelsPath))
            return false;
        const QByteArray drawing = readPart(drawingPath);
        if (!settle(drawingPath))
            return false;
        return readAnchors(drawing, drawingPath, drawingRels, sheet, charts);
    }

    bool readAnchors(const QByteArray& drawing, const QString& drawingPath, const QMap<QString, QString>& rels,
                     const XlsxISheetData& sheet, QList<XlsxIChart>& charts)
    {
        constexpr double kDefaultFontPt = 11.0;
        const QList<XlsxIDrawnChart> drawn = iParseDrawing(drawing, m_budget);
        if (!settle(drawingPath))
            return false;
        if (drawn.isEmpty())
            return true;
        const QList<XlsxIFont>& fonts = m_book.styles->fonts;
        const XlsxAnchorPlacer placer(sheet, fonts.isEmpty() ? kDefaultFontPt : fonts.first().size);
        for (const XlsxIDrawnChart& placed : drawn) {
            // A chart the sheet does not show is not read.
            XlsxICellBox cells;
            if (!placer.place(placed.anchor, placed.share, cells))
                continue;
            const QString target = rels.value(placed.relationshipId);
            if (target.isEmpty()) {
                note(damagedReason(relsPathOf(drawingPath)));
                continue;
            }
            if (!m_budget.take())
                return settle(drawingPath);
            const QString chartPath = iResolvePartPath(folderOf(drawingPath), target);
            XlsxIChart chart = iParseChart(readPart(chartPath), &m_budget);
            chart.fromRow = cells.fromRow;
            chart.fromCol = cells.fromCol;
            chart.toRow = cells.toRow;
            chart.toCol = cells.toCol;
            charts.append(chart);
            if (!settle(chartPath))
                return false;
        }
        return true;
    }

    zip_t* m_archive;
    XlsxIBudget& m_budget;
    XlsxIWorkbook& m_book;
    bool m_date1904 = false;
    QSet<QString> m_sheetPaths;
    QHash<QString, std::shared_ptr<const XlsxISheetData>> m_hiddenSheets; // by case-folded name
    QList<XlsxITable> m_tables;
    QSet<QString> m_tablePaths;
    QList<std::tuple<QString, QString, QStringList>> m_tableIds; // of the shown sheets: path, name, ids
};

} // namespace

XlsxIWorkbook iReadWorkbook(const QString& path, XlsxIBudget budget)
{
    XlsxIWorkbook book;
    book.reason = precheck(path, budget);
    if (!book.reason.isEmpty())
        return book;
    int error = 0;
    ZipArchive archive(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
    if (!archive || zip_name_locate(archive.get(), kWorkbookPart.toUtf8().constData(), 0) < 0) {
        book.reason = notWorkbookReason();
        return book;
    }
    WorkbookReader(archive.get(), budget, book).read();
    if (!book.styles)
        book.styles = std::make_unique<XlsxIStyles>();
    return book;
}

QByteArray iReadEntry(zip* archive, const QString& name, XlsxIBudget* budget, bool* found)
{
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    if (found)
        *found = false;
    const zip_int64_t index = zip_name_locate(archive, name.toUtf8().constData(), 0);
    if (index < 0)
        return QByteArray();
    if (found)
        *found = true;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0) {
        limits.damaged = true;
        return QByteArray();
    }
    const qint64 allowed = qMin(limits.entryBytes, limits.bytesLeft);
    const bool sized = stat.valid & ZIP_STAT_SIZE;
    if (sized && stat.size > zip_uint64_t(allowed)) {
        limits.tooLarge = true;
        return QByteArray();
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive, zip_uint64_t(index), 0));
    if (!file) {
        limits.damaged = true;
        return QByteArray();
    }
    // The stated size bounds the read: content beyond it is a lie, found
    // before it costs memory.
    const qint64 limit = sized ? qint64(stat.size) : allowed;
    QByteArray content;
    content.reserve(qsizetype(sized ? limit : qMin(limit, kUnsizedReserve)));
    char chunk[kReadChunk];
    for (;;) {
        const zip_int64_t read = zip_fread(file.get(), chunk, sizeof chunk);
        if (read < 0) {
            limits.damaged = true;
            return QByteArray();
        }
        if (read == 0)
            break;
        if (content.size() + read > limit) {
            (sized ? limits.damaged : limits.tooLarge) = true;
            return QByteArray();
        }
        content.append(chunk, qsizetype(read));
    }
    // A present part is never empty XML.
    if (content.isEmpty())
        limits.damaged = true;
    limits.bytesLeft -= content.size();
    return content;
}

QList<QString> iSharedStrings(zip* archive, XlsxIBudget* budget)
{
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    QList<QString> strings;
    QString current;
    bool inText = false;
    // Phonetic runs are a reading guide shown only on request: not the text.
    bool inPhonetic = false;
    XlsxXmlWalker xml(iReadEntry(archive, QStringLiteral("xl/sharedStrings.xml"), &limits), limits);
    while (xml.next()) {
        if (xml.isText()) {
            if (inText)
                xlsxAppendBounded(current, xml.text());
        } else if (xml.name() == u"t") {
            inText = xml.isStart() && !inPhonetic;
        } else if (xml.name() == u"rPh") {
            inPhonetic = xml.isStart();
        } else if (xml.name() == u"si") {
            if (xml.isStart()) {
                current.clear();
            } else if (limits.take() && limits.keepText(current.size())) {
                current = xlsxUnescaped(std::move(current));
                current.squeeze();
                strings.append(std::move(current));
                current = QString();
            } else {
                xml.stop();
            }
        }
    }
    return strings;
}

QList<std::pair<QString, QString>> iSheetRefs(zip* archive, XlsxIBudget* budget, XlsxIWorkbookFacts* facts)
{
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    XlsxIWorkbookFacts localFacts;
    XlsxIWorkbookFacts& found = facts ? *facts : localFacts;
    QList<std::pair<QString, QString>> refs;
    QStringList allSheets; // a name's scope counts the hidden sheets too
    XlsxIDefinedName defined;
    bool inName = false;
    XlsxXmlWalker xml(iReadEntry(archive, kWorkbookPart, &limits), limits);
    while (xml.next()) {
        if (xml.isText()) {
            if (inName)
                xlsxAppendBounded(defined.formula, xml.text());
            continue;
        }
        if (xml.name() == u"definedName") {
            inName = xml.isStart();
            if (inName) {
                bool scoped = false;
                const int sheet = xml.attribute("localSheetId"_L1).trimmed().toInt(&scoped);
                defined = {xml.attribute("name"_L1).toString(), scoped ? allSheets.value(sheet) : QString(), QString()};
            } else if (limits.take() &&
                       limits.keepText(defined.name.size() + defined.sheet.size() + defined.formula.size())) {
                found.names.append(defined);
            } else {
                xml.stop();
                break;
            }
            continue;
        }
        if (!xml.isStart())
            continue;
        if (xml.name() == u"workbookPr") {
            const QStringView value = xml.attribute("date1904"_L1).trimmed();
            found.date1904 = value == u"1" || value == u"true";
            continue;
        }
        if (xml.name() != u"sheet")
            continue;
        const QStringView name = xml.attribute("name"_L1);
        const QString id = xml.relationshipId();
        if (!limits.take() || !limits.keepText(name.size() + id.size())) {
            xml.stop();
            break;
        }
        allSheets.append(name.toString());
        // Hidden sheets are neither shown nor printed.
        const QStringView state = xml.attribute("state"_L1);
        if (state == u"hidden" || state == u"veryHidden")
            found.hiddenSheets.append({name.toString(), id});
        else
            refs.append({name.toString(), id});
    }
    return refs;
}

QMap<QString, QString> iWorkbookRels(zip* archive, XlsxIBudget* budget)
{
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    return iParseRels(iReadEntry(archive, QStringLiteral("xl/_rels/workbook.xml.rels"), &limits), &limits);
}

QMap<QString, QString> iParseRels(const QByteArray& xml, XlsxIBudget* budget)
{
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    QMap<QString, QString> rels;
    XlsxXmlWalker walker(xml, limits);
    while (walker.next()) {
        if (!walker.isStart() || walker.name() != u"Relationship")
            continue;
        const QString id = walker.attribute("Id"_L1).toString();
        const QStringView target = walker.attribute("Target"_L1);
        if ((!rels.contains(id) && !limits.take()) || !limits.keepText(id.size() + target.size())) {
            walker.stop();
            break;
        }
        rels.insert(id, target.toString());
    }
    return rels;
}

QList<QColor> iParseTheme(const QByteArray& xml, XlsxIBudget* budget)
{
    static const QStringList kSchemeNames = {"dk1"_L1,     "lt1"_L1,     "dk2"_L1,     "lt2"_L1,
                                             "accent1"_L1, "accent2"_L1, "accent3"_L1, "accent4"_L1,
                                             "accent5"_L1, "accent6"_L1, "hlink"_L1,   "folHlink"_L1};
    QList<QColor> colours = {QColor(QRgb(0x000000)), QColor(0xffffff), QColor(0x44546a), QColor(0xe7e6e6),
                             QColor(0x4472c4), QColor(0xed7d31), QColor(0xa9d18e), QColor(0xffc000),
                             QColor(0x5b9bd5), QColor(0x70ad47), QColor(0x0563c1), QColor(0x954f72)};
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    XlsxXmlWalker walker(xml, limits);
    while (walker.next()) {
        if (!walker.isStart())
            continue;
        const qsizetype slot = kSchemeNames.indexOf(walker.name());
        if (slot < 0)
            continue;
        while (walker.next() && walker.isText()) {
        }
        if (!walker.isStart())
            continue;
        QStringView text = walker.attribute("lastClr"_L1);
        if (text.isEmpty())
            text = walker.attribute("val"_L1);
        if (text.size() == 8)
            text = text.mid(2);
        if (text.size() != 6)
            continue;
        const QColor colour = QColor::fromString(QLatin1Char('#') + text.toString().toLower());
        if (colour.isValid())
            colours[slot] = colour;
    }
    return colours;
}

QString iResolvePartPath(const QString& sourceFolder, const QString& target)
{
    const QString joined = target.startsWith(u'/') ? target.mid(1)
                           : sourceFolder.isEmpty() ? target
                                                    : sourceFolder + u'/' + target;
    QStringList parts;
    for (const QString& part : joined.split(u'/')) {
        if (part == ".."_L1) {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (part != "."_L1) {
            parts.append(part);
        }
    }
    return parts.join(u'/');
}
