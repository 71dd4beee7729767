#include "XlsxFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <zip.h>
#include <zlib.h>

#include <memory>

QByteArray worksheetXml(const QByteArray& body)
{
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
           body + "</worksheet>";
}

XlsxParts minimalXlsx(const QByteArray& worksheetBody)
{
    XlsxParts parts;
    parts.insert("xl/workbook.xml",
                 "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                 "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                 "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    parts.insert("xl/_rels/workbook.xml.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                 "<Relationship Id=\"rId1\" Type=\"worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>");
    parts.insert("xl/worksheets/sheet1.xml", worksheetXml(worksheetBody));
    return parts;
}

void addChart(XlsxParts& parts, const QList<QByteArray>& corners, const QByteArray& chartXml)
{
    const QByteArray relsHead = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    parts.insert("xl/worksheets/_rels/sheet1.xml.rels",
                 relsHead + "<Relationship Id=\"rIdD\" Type=\"t\" Target=\"../drawings/drawing1.xml\"/></Relationships>");
    parts.insert("xl/drawings/drawing1.xml",
                 "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
                 "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                 "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
                 "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><xdr:twoCellAnchor>"
                 "<xdr:from><xdr:col>" + corners.value(0) + "</xdr:col><xdr:row>" + corners.value(1) +
                     "</xdr:row></xdr:from><xdr:to><xdr:col>" + corners.value(2) + "</xdr:col><xdr:row>" +
                     corners.value(3) +
                     "</xdr:row></xdr:to><xdr:graphicFrame><a:graphic><a:graphicData><c:chart r:id=\"rC\"/>"
                     "</a:graphicData></a:graphic></xdr:graphicFrame></xdr:twoCellAnchor></xdr:wsDr>");
    parts.insert("xl/drawings/_rels/drawing1.xml.rels",
                 relsHead + "<Relationship Id=\"rC\" Type=\"t\" Target=\"../charts/chart1.xml\"/></Relationships>");
    parts.insert("xl/charts/chart1.xml", chartXml);
}

QMap<QString, XlsxParts> hostileWorkbooks()
{
    const QByteArray oneCell = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>";
    const auto chartOf = [](const QByteArray& kind, const QByteArray& points) {
        return "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea><c:" +
               kind + "><c:ser><c:val><c:numRef><c:numCache>" + points + "</c:numCache></c:numRef></c:val></c:ser></c:" +
               kind + "></c:plotArea></c:chart></c:chartSpace>";
    };
    QMap<QString, XlsxParts> books;

    XlsxParts farChart = minimalXlsx(oneCell + "<drawing r:id=\"rIdD\"/>");
    addChart(farChart, {"2147483647", "2147483647", "2147483647", "2147483647"},
             chartOf("barChart", "<c:pt idx=\"0\"><c:v>1</c:v></c:pt>"));
    books.insert(QStringLiteral("far-chart"), farChart);

    books.insert(QStringLiteral("same-merges"),
                 minimalXlsx(oneCell + "<mergeCells>" + QByteArray("<mergeCell ref=\"A1:C3\"/>").repeated(200000) +
                             "</mergeCells>"));

    QByteArray nested;
    for (int r = 2; r <= 60001; ++r)
        nested += "<mergeCell ref=\"A1:B" + QByteArray::number(r) + "\"/>";
    books.insert(QStringLiteral("nested-merges"), minimalXlsx(oneCell + "<mergeCells>" + nested + "</mergeCells>"));

    // Disjoint merges are all kept: one of two cells on each of 100,000 rows.
    QByteArray rowMerges;
    for (int r = 1; r <= 100000; ++r)
        rowMerges += "<mergeCell ref=\"A" + QByteArray::number(r) + ":B" + QByteArray::number(r) + "\"/>";
    books.insert(QStringLiteral("row-merges"),
                 minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"100000\">"
                             "<c r=\"B100000\"><v>2</v></c></row></sheetData><mergeCells>" + rowMerges +
                             "</mergeCells>"));

    XlsxParts listed = minimalXlsx(oneCell);
    QByteArray sheets, rels;
    for (int i = 1; i <= 20000; ++i) {
        const QByteArray n = QByteArray::number(i);
        sheets += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"t\" Target=\"worksheets/sheet1.xml\"/>";
    }
    listed.insert("xl/workbook.xml",
                  "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" +
                      sheets + "</sheets></workbook>");
    listed.insert("xl/_rels/workbook.xml.rels",
                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + rels +
                      "</Relationships>");
    books.insert(QStringLiteral("listed"), listed);

    XlsxParts farPoint = minimalXlsx(oneCell + "<drawing r:id=\"rIdD\"/>");
    addChart(farPoint, {"1", "0", "5", "10"}, chartOf("lineChart", "<c:pt idx=\"1048575\"><c:v>7</c:v></c:pt>"));
    books.insert(QStringLiteral("far-point"), farPoint);

    // A chart over a name that counts over the next name 500 times, seven
    // names deep: read out, 500^7 names.
    XlsxParts nestedNames = minimalXlsx(oneCell + "<drawing r:id=\"rIdD\"/>");
    const QByteArray chart = chartOf("barChart", "<c:pt idx=\"0\"><c:v>7</c:v></c:pt>");
    addChart(nestedNames, {"1", "0", "5", "10"},
             QByteArray(chart).replace("<c:numRef>", "<c:numRef><c:f>[0]!Ряд0</c:f>").replace("</c:chart>",
                                                                                     "<c:plotVisOnly val=\"1\"/></c:chart>"));
    QByteArray names;
    for (int k = 0; k < 7; ++k) {
        const QByteArray next = "Ряд" + QByteArray::number(k + 1) + ",";
        names += "<definedName name=\"Ряд" + QByteArray::number(k) + "\">OFFSET(S!$A$1,0,0,COUNTA(" +
                 next.repeated(500) + "S!$A:$A),1)</definedName>";
    }
    names += "<definedName name=\"Ряд7\">S!$A:$A</definedName>";
    nestedNames["xl/workbook.xml"].replace("</sheets>", "</sheets><definedNames>" + names + "</definedNames>");
    books.insert(QStringLiteral("nested-names"), nestedNames);

    // 20,000 table parts naming one table of 16,384 columns, and a chart over
    // 200 structured references to its last column: the table is read once.
    XlsxParts tables = minimalXlsx(oneCell + "<drawing r:id=\"rIdD\"/><tableParts>" +
                                   QByteArray("<tablePart r:id=\"rIdT\"/>").repeated(20000) + "</tableParts>");
    addChart(tables, {"1", "0", "5", "10"},
             QByteArray(chart).replace("<c:numRef>", "<c:numRef><c:f>[0]!Ряд</c:f>"));
    tables["xl/worksheets/_rels/sheet1.xml.rels"].replace(
        "</Relationships>", "<Relationship Id=\"rIdT\" Type=\"t\" Target=\"../tables/table1.xml\"/></Relationships>");
    QByteArray columns;
    for (int c = 1; c <= 16384; ++c)
        columns += "<tableColumn id=\"" + QByteArray::number(c) + "\" name=\"К" + QByteArray::number(c) + "\"/>";
    tables.insert("xl/tables/table1.xml", "<table name=\"Т\" displayName=\"Т\" ref=\"A1:XFD3\"><tableColumns>" +
                                              columns + "</tableColumns></table>");
    tables["xl/workbook.xml"].replace("</sheets>", "</sheets><definedNames><definedName name=\"Ряд\">(" +
                                                       QByteArray("Т[[#All],[К16384]],").repeated(199) +
                                                       "Т[К16384])</definedName></definedNames>");
    books.insert(QStringLiteral("many-tables"), tables);

    // 200,000 hidden rows under 3,000 charts placed by a cell and an
    // extent, by a position and an extent and by two cells over the hidden
    // rows alone: each placed with a few looks at the rows, not a walk over
    // them.
    QByteArray hiddenRows = "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>";
    for (int r = 2; r <= 200001; ++r)
        hiddenRows += "<row r=\"" + QByteArray::number(r) + "\" hidden=\"1\"/>";
    XlsxParts hiddenAnchors = minimalXlsx("<sheetData>" + hiddenRows + "</sheetData><drawing r:id=\"rIdD\"/>");
    addChart(hiddenAnchors, {"1", "1", "2", "2"}, chart);
    const QByteArray frame = "<xdr:graphicFrame><a:graphic><a:graphicData><c:chart r:id=\"rC\"/></a:graphicData>"
                             "</a:graphic></xdr:graphicFrame><xdr:clientData/>";
    QByteArray anchors;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray n = QByteArray::number(i % 10);
        anchors += "<xdr:oneCellAnchor><xdr:from><xdr:col>" + n + "</xdr:col><xdr:row>1</xdr:row></xdr:from>"
                   "<xdr:ext cx=\"1219200\" cy=\"571500\"/>" + frame + "</xdr:oneCellAnchor>";
        anchors += "<xdr:absoluteAnchor><xdr:pos x=\"" + QByteArray::number(i % 10 * 609600) + "\" y=\"190500\"/>"
                   "<xdr:ext cx=\"1219200\" cy=\"571500\"/>" + frame + "</xdr:absoluteAnchor>";
        anchors += "<xdr:twoCellAnchor><xdr:from><xdr:col>" + n + "</xdr:col><xdr:row>1</xdr:row></xdr:from><xdr:to>"
                   "<xdr:col>" + QByteArray::number(i % 10 + 2) + "</xdr:col><xdr:row>200001</xdr:row></xdr:to>" +
                   frame + "</xdr:twoCellAnchor>";
    }
    QByteArray& drawingPart = hiddenAnchors["xl/drawings/drawing1.xml"];
    drawingPart = drawingPart.left(drawingPart.indexOf("<xdr:twoCellAnchor>")) + anchors + "</xdr:wsDr>";
    books.insert(QStringLiteral("hidden-anchors"), hiddenAnchors);

    // 2,000 cells showing one text of 30,000 characters, wrapped at 409
    // points in a column half a digit wide: every row grows to its cap.
    QByteArray wrappedRows;
    for (int r = 1; r <= 2000; ++r)
        wrappedRows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                       "\" t=\"s\" s=\"1\"><v>0</v></c></row>";
    XlsxParts wrapped =
        minimalXlsx("<cols><col min=\"1\" max=\"1\" width=\"0.5\"/></cols><sheetData>" + wrappedRows + "</sheetData>");
    wrapped.insert("xl/sharedStrings.xml", "<sst><si><t>" + QByteArray("word ").repeated(6000) + "</t></si></sst>");
    wrapped.insert("xl/styles.xml", "<styleSheet><fonts><font><sz val=\"11\"/></font><font><sz val=\"409\"/></font>"
                                    "</fonts><cellXfs><xf/><xf fontId=\"1\"><alignment wrapText=\"1\"/></xf></cellXfs>"
                                    "</styleSheet>");
    books.insert(QStringLiteral("long-wrapped"), wrapped);

    // The same rows unwrapped: each text would run over every column to the
    // sheet's last.
    QByteArray spillingRows;
    for (int r = 1; r <= 2000; ++r)
        spillingRows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                        "\" t=\"s\"><v>0</v></c></row>";
    XlsxParts spilling = minimalXlsx("<sheetData>" + spillingRows + "</sheetData>");
    spilling.insert("xl/sharedStrings.xml", "<sst><si><t>" + QByteArray("word ").repeated(6000) + "</t></si></sst>");
    books.insert(QStringLiteral("long-spilling"), spilling);
    return books;
}

bool writeZip(const QString& path, const XlsxParts& parts)
{
    QFile::remove(path);
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        zip_source_t* source = zip_source_buffer(archive, it->constData(), zip_uint64_t(it->size()), 0);
        if (!source || zip_file_add(archive, it.key().toUtf8().constData(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

namespace {

void put(QByteArray& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

uLong crcOf(const QByteArray& bytes, uLong crc = 0)
{
    return crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()));
}

// A raw deflate stream of head, unit repeated count times and tail. The
// repeats go in full-flushed blocks of about a mebibyte: after a full flush
// the same input gives the same bytes, so gigabytes cost a few megabytes and
// little compression time.
QByteArray repeatedStream(const XlsxRepeated& entry, quint32* crc)
{
    constexpr qint64 kBlock = 1 << 20;
    const qint64 perBlock = qMax<qint64>(1, kBlock / qMax<qsizetype>(1, entry.unit.size()));
    const QByteArray block = entry.unit.repeated(qsizetype(qMin(perBlock, qMax<qint64>(entry.count, 1))));
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    auto run = [&z](const QByteArray& in, int flush) {
        QByteArray out(int(deflateBound(&z, uLong(in.size())) + 64), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        deflate(&z, flush);
        out.truncate(out.size() - qsizetype(z.avail_out));
        return out;
    };
    QByteArray stream = run(entry.head, Z_FULL_FLUSH);
    uLong total = crcOf(entry.head);
    const qint64 blocks = entry.count / perBlock;
    if (blocks > 0) {
        stream.append(run(block, Z_FULL_FLUSH));
        const QByteArray repeated = blocks > 1 ? run(block, Z_FULL_FLUSH) : QByteArray();
        for (qint64 i = 2; i < blocks; ++i)
            stream.append(repeated);
        stream.append(repeated);
        const uLong blockCrc = crcOf(block);
        for (qint64 i = 0; i < blocks; ++i)
            total = crc32_combine(total, blockCrc, block.size());
    }
    const QByteArray rest = entry.unit.repeated(qsizetype(entry.count - blocks * perBlock)) + entry.tail;
    stream.append(run(rest, Z_FINISH));
    total = crc32_combine(total, crcOf(rest), rest.size());
    deflateEnd(&z);
    *crc = quint32(total);
    return stream;
}

// Writes stored parts and deflated repeated entries; declaredSizes gives a
// part's size as the directory states it.
bool writeZipFile(const QString& path, const XlsxParts& parts, const QMap<QString, qint64>& declaredSizes,
                  const QMap<QString, XlsxRepeated>& repeated)
{
    QByteArray file;
    QByteArray directory;
    qint64 count = 0;
    auto add = [&](const QString& name, const QByteArray& data, int method, quint32 crc, qint64 size) {
        const QByteArray encoded = name.toUtf8();
        const qint64 stated = declaredSizes.value(name, size);
        QByteArray header;
        put(header, 20, 2);     // version needed
        put(header, 0, 2);      // flags
        put(header, method, 2);
        put(header, 0, 2);      // time
        put(header, 0x21, 2);   // date: 1980-01-01
        put(header, crc, 4);
        put(header, quint64(data.size()), 4);
        put(header, quint64(stated), 4);
        put(header, quint64(encoded.size()), 2);
        put(header, 0, 2);      // extra length
        const qint64 offset = file.size();
        file.append("PK\x03\x04").append(header).append(encoded).append(data);
        directory.append("PK\x01\x02");
        put(directory, 20, 2);  // version made by
        directory.append(header);
        put(directory, 0, 2);   // comment length
        put(directory, 0, 2);   // disk
        put(directory, 0, 2);   // internal attributes
        put(directory, 0, 4);   // external attributes
        put(directory, quint64(offset), 4);
        directory.append(encoded);
        ++count;
    };
    for (auto it = parts.cbegin(); it != parts.cend(); ++it)
        add(it.key(), *it, 0, quint32(crcOf(*it)), it->size());
    for (auto it = repeated.cbegin(); it != repeated.cend(); ++it) {
        quint32 crc = 0;
        const QByteArray stream = repeatedStream(*it, &crc);
        add(it.key(), stream, 8, crc, it->head.size() + it->unit.size() * it->count + it->tail.size());
    }
    const qint64 directoryOffset = file.size();
    file.append(directory).append("PK\x05\x06");
    put(file, 0, 4); // disks
    put(file, quint64(count), 2);
    put(file, quint64(count), 2);
    put(file, quint64(directory.size()), 4);
    put(file, quint64(directoryOffset), 4);
    put(file, 0, 2); // comment length
    QFile out(path);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(file) == file.size();
}

} // namespace

bool writeRawZip(const QString& path, const XlsxParts& parts, const QMap<QString, qint64>& declaredSizes,
                 const QString& bombName, qint64 inflatedBytes, const QByteArray& head, const QByteArray& tail)
{
    QMap<QString, XlsxRepeated> repeated;
    if (!bombName.isEmpty())
        repeated.insert(bombName, XlsxRepeated{head, QByteArray(" "), inflatedBytes, tail});
    return writeZipFile(path, parts, declaredSizes, repeated);
}

bool writeRepeatedZip(const QString& path, const XlsxParts& parts, const QMap<QString, XlsxRepeated>& repeated)
{
    return writeZipFile(path, parts, {}, repeated);
}

bool convertWithLibreOffice(const QStringList& files, const QString& outDir, QString* why, const QString& format,
                            const QString& profileDir)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        *why = QStringLiteral("soffice is not installed (libreoffice-calc-nogui)");
        return false;
    }
    QTemporaryDir profile;
    const QString profilePath = profileDir.isEmpty() ? profile.path() : profileDir;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(soffice, QStringList{"-env:UserInstallation=" + QUrl::fromLocalFile(profilePath).toString(),
                                       "--headless", "--norestore", "--convert-to", format, "--outdir", outDir} +
                               files);
    if (!process.waitForFinished(180000) || process.exitCode() != 0) {
        *why = "soffice failed: " + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    for (const QString& file : files) {
        if (!QFile::exists(outDir + u'/' + QFileInfo(file).completeBaseName() + u'.' + format)) {
            *why = "soffice made no " + format + " of " + file + ": " + QString::fromLocal8Bit(process.readAll());
            return false;
        }
    }
    return true;
}
