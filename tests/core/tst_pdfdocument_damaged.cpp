#include "PdfDocument.h"
#include "BlockFixtures.h"
#include "LimitedChild.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <set>

#include <sys/resource.h>

using fixtures::readFile;
using fixtures::realPdf;
using fixtures::writeFile;

namespace {

QByteArray digest(const QString& path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

QString damagedPdf(const QString& name)
{
    return realPdf(QStringLiteral("damaged/") + name);
}

// The file's cross-reference offset pointing nowhere: readers rebuild the table.
QByteArray withLostCrossReference(QByteArray bytes)
{
    const qsizetype at = bytes.lastIndexOf("startxref");
    bytes.replace(at, bytes.size() - at, "startxref\n17\n%%EOF\n");
    return bytes;
}

// A later revision of the first page that carries an array nested depth
// deep, in the page itself or in its resources (ghostscript writes them into
// the page).
QByteArray withNestedArrays(const QByteArray& bytes, int depth, bool inResources = false)
{
    const qsizetype pageAt = bytes.indexOf("4 0 obj");
    const qsizetype start = bytes.indexOf("<<", pageAt);
    const qsizetype end = bytes.indexOf("endobj", start);
    QByteArray page = bytes.mid(start, end - start).trimmed();
    const QByteArray nest = "/Nest " + QByteArray(depth, '[') + QByteArray(depth, ']');
    if (inResources) {
        page.replace("/Resources<<", "/Resources<<" + nest);
    } else {
        page.chop(2);
        page += nest + "\n>>";
    }
    const qsizetype previous = bytes.mid(bytes.lastIndexOf("startxref") + 9).trimmed().split('\n').first().toLongLong();
    QByteArray out = bytes;
    if (!out.endsWith('\n'))
        out += '\n';
    const qsizetype objectAt = out.size();
    out += "4 0 obj\n" + page + "\nendobj\n";
    const qsizetype xrefAt = out.size();
    out += "xref\n4 1\n" + QByteArray::number(objectAt).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size 11 /Root 1 0 R /Prev " + QByteArray::number(previous) + " >>\nstartxref\n" +
           QByteArray::number(xrefAt) + "\n%%EOF\n";
    return out;
}

// A later revision in which the one page hangs depth nodes below the root
// of the page tree.
QByteArray withDeepPageTree(const QByteArray& bytes, int depth)
{
    constexpr int kFirstNode = 100;
    const qsizetype previous = bytes.mid(bytes.lastIndexOf("startxref") + 9).trimmed().split('\n').first().toLongLong();
    QByteArray out = bytes;
    if (!out.endsWith('\n'))
        out += '\n';
    const auto offset = [&out] { return QByteArray::number(out.size()).rightJustified(10, '0') + " 00000 n \n"; };
    QByteArray rows = "3 1\n" + offset();
    out += "3 0 obj\n<< /Type /Pages /Kids [" + QByteArray::number(kFirstNode) + " 0 R] /Count 1 >>\nendobj\n";
    rows += QByteArray::number(kFirstNode) + ' ' + QByteArray::number(depth) + '\n';
    for (int level = 0; level < depth; ++level) {
        rows += offset();
        const QByteArray kid = level + 1 < depth ? QByteArray::number(kFirstNode + level + 1) : QByteArray("4");
        out += QByteArray::number(kFirstNode + level) + " 0 obj\n<< /Type /Pages /Kids [" + kid + " 0 R] /Count 1 >>\nendobj\n";
    }
    const qsizetype xrefAt = out.size();
    out += "xref\n" + rows + "trailer\n<< /Size " + QByteArray::number(kFirstNode + depth) + " /Root 1 0 R /Prev " +
           QByteArray::number(previous) + " >>\nstartxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    return out;
}

// Form fields of a saved file by their full names, as qpdf reads them.
QStringList fieldNames(const QString& path)
{
    QStringList names;
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    try {
        pdf.processFile(path.toLocal8Bit().constData());
        QPDFAcroFormDocumentHelper form(pdf);
        for (QPDFFormFieldObjectHelper& field : form.getFormFields())
            names << QString::fromStdString(field.getFullyQualifiedName());
    } catch (const std::exception& e) {
        names << QStringLiteral("error: %1").arg(QString::fromUtf8(e.what()));
    }
    return names;
}

// Whether every complaint of qpdf's check is about stream data: it does not
// decode, or the page content it holds does not parse.
bool onlyStreamDataDamaged(const QString& said)
{
    bool complained = false;
    for (const QString& line : said.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("WARNING")) && !line.startsWith(QLatin1String("ERROR")))
            continue;
        complained = true;
        if (!line.contains(QLatin1String("decoding")) && !line.contains(QLatin1String("(content, offset")))
            return false;
    }
    return complained;
}

int distinct(const QStringList& names)
{
    return int(std::set<QString>(names.begin(), names.end()).size());
}

}  // namespace

class TestPdfDocumentDamaged : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void operationsOnDamagedFilesNeverCrash_data();
    void operationsOnDamagedFilesNeverCrash();
    void damagedFilesOpenRepaired_data();
    void damagedFilesOpenRepaired();
    void fileKeptWholeThroughEdits_data();
    void fileKeptWholeThroughEdits();
    void failedImportsChangeNothing_data();
    void failedImportsChangeNothing();
    void refusedPageChangesSayWhy_data();
    void refusedPageChangesSayWhy();
    void damagedContentIsNotWritten_data();
    void damagedContentIsNotWritten();
    void importedFormKeepsItsFields_data();
    void importedFormKeepsItsFields();
    void damagedPageKnownPastPicturePages_data();
    void damagedPageKnownPastPicturePages();
    void hostileEditsEndInTime_data();
    void hostileEditsEndInTime();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

namespace {

// The damaged-file child run with arguments, held to processor time and
// memory rather than to the clock: a child that spins or grows without end
// is ended by the system (a signal), one that works is only later on a busy
// machine. Far above what any row takes; the operations' own bounds are
// tighter.
limitedchild::Outcome boundedChild(const QStringList& arguments)
{
    constexpr int kProcessorSeconds = 120;
    // The address sanitizer reserves its shadow memory as address space:
    // under it only the processor bound holds.
#ifdef __SANITIZE_ADDRESS__
    constexpr qint64 kMemoryLimit = qint64(RLIM_INFINITY);
#else
    constexpr qint64 kMemoryLimit = 1536ll * 1024 * 1024;
#endif
    return limitedchild::run(QStringLiteral(VORN_DAMAGED_CHILD), arguments, -1, kMemoryLimit,
                             QProcessEnvironment::systemEnvironment(), kProcessorSeconds);
}

}  // namespace

void TestPdfDocumentDamaged::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfDocumentDamaged::operationsOnDamagedFilesNeverCrash_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("operations");  // empty: all
    QTest::addColumn<QString>("refusal");         // what every refusal begins with; empty: any reason
    const QDir kept(realPdf(QStringLiteral("damaged")));
    const QStringList names = kept.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString& name : names)
        QTest::newRow(qPrintable(name)) << kept.filePath(name) << QStringList() << QString();
    const QString nested = path(QStringLiteral("nested-arrays.pdf"));
    QVERIFY(writeFile(nested, withNestedArrays(readFile(realPdf(QStringLiteral("gs-helvetica.pdf"))), 100000)));
    // Where it crashed: a save after its pages came in (each pass over it takes a second).
    QTest::newRow("100,000 nested arrays") << nested << QStringList{QStringLiteral("import")} << QString();
    // Where it crashed: a page put in whose sticky note's pop-up names it
    // back, its lines edited and saved. Each file's page put in, and edited.
    const QStringList putIn{QStringLiteral("import"), QStringLiteral("append"), QStringLiteral("put-in-edit")};
    for (const char* name : {"qpdf-comment-annotation.pdf", "qpdf-comment-annotation-direct.pdf",
                             "qpdf-comment-annotation-out.pdf", "qpdf-appearances-a.pdf", "qpdf-attach-file.pdf",
                             "layers-off.pdf", "pdftex-ocg-layers.pdf"})
        QTest::addRow("%s put in", name) << realPdf(QLatin1String(name)) << putIn << QString();
    // Deeper than pdfium reads: refused for its depth, never for want of pages.
    const QString tooDeep = QStringLiteral("Страницы файла вложены в дерево страниц глубже 1024 уровней");
    for (const int levels : {1025, 20000}) {
        const QString deep = path(QStringLiteral("deep-tree-%1.pdf").arg(levels));
        QVERIFY(writeFile(deep, withDeepPageTree(readFile(realPdf(QStringLiteral("gs-helvetica.pdf"))), levels - 1)));
        QTest::addRow("page tree %d levels deep", levels)
            << deep << QStringList{QStringLiteral("open"), QStringLiteral("import")} << tooDeep;
    }
}

// The operations run in a child process, each on a fresh document: it ends
// normally, each operation done or refused with a reason, what was saved
// passes qpdf's check, and the file is as it was.
void TestPdfDocumentDamaged::operationsOnDamagedFilesNeverCrash()
{
    QFETCH(QString, file);
    QFETCH(QStringList, operations);
    QFETCH(QString, refusal);
    const QStringList all{QStringLiteral("open"),   QStringLiteral("move"),      QStringLiteral("delete"),
                                 QStringLiteral("insert"), QStringLiteral("rotate"),    QStringLiteral("duplicate"),
                                 QStringLiteral("layer"),  QStringLiteral("import"),    QStringLiteral("append"),
                                 QStringLiteral("save")};
    if (operations.isEmpty())
        operations = all;
    const QByteArray before = digest(file);
    QTemporaryDir scratch;
    const limitedchild::Outcome child = boundedChild(QStringList{file, scratch.path()} + operations);
    const QString said = QString::fromUtf8(child.out).trimmed();
    QVERIFY2(!child.signal, qPrintable(QStringLiteral("crashed in: ") + said));
    QVERIFY2(child.exitCode == 0, qPrintable(said));
    const QStringList lines = said.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), operations.size());
    const bool qpdfInstalled = pdftools::installed(QStringLiteral("qpdf"));
    const int originalCheck =
        qpdfInstalled ? pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), file}).exitCode : 0;
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].startsWith(operations[i] + QStringLiteral(" done ")) ||
                     lines[i].startsWith(operations[i] + QStringLiteral(" refused: ") + refusal),
                 qPrintable(lines[i]));
        const QString saved = QDir(scratch.path()).filePath(operations[i] + QStringLiteral(".pdf"));
        if (!qpdfInstalled || !QFileInfo::exists(saved))
            continue;
        // A repaired copy is clean but for stream data that did not decode in
        // the file either; damage of a page no one touched is carried over as it was.
        const pdftools::Result check = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), saved});
        const bool clean = check.exitCode == 0 || onlyStreamDataDamaged(check.out + check.err) ||
                           (!lines[i].endsWith(QLatin1String(" repaired")) && check.exitCode == originalCheck);
        QVERIFY2(clean, qPrintable(lines[i] + QLatin1Char('\n') + check.out + check.err));
    }
    QCOMPARE(digest(file), before);
}

void TestPdfDocumentDamaged::damagedFilesOpenRepaired_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("repaired");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QList<int>>("lost");  // pages of the file the document lacks
    QTest::addColumn<bool>("changed");     // the page list is not the file's tree
    QTest::newRow("sound") << readFile(realPdf(QStringLiteral("tex-type1.pdf"))) << false << 1 << QList<int>() << false;
    QTest::newRow("sound, object streams") << readFile(realPdf(QStringLiteral("pdftex-objstm-manual.pdf"))) << false
                                           << 12 << QList<int>() << false;
    // Pages below a chain of /Pages nodes, down to the deepest pdfium reads.
    for (const int levels : {66, 100, 1000})
        QTest::addRow("sound, page tree %d levels deep", levels)
            << readFile(realPdf(QStringLiteral("unusual/groff-tree-%1.pdf").arg(levels))) << false << 2 << QList<int>()
            << false;
    QTest::newRow("sound, page tree 1,024 levels deep")
        << withDeepPageTree(readFile(realPdf(QStringLiteral("gs-helvetica.pdf"))), 1023) << false << 1 << QList<int>()
        << false;
    QTest::newRow("sound, /Size below the highest object")
        << readFile(realPdf(QStringLiteral("pdfunite-merged.pdf"))) << false << 3 << QList<int>() << false;
    QTest::newRow("cross-reference lost")
        << withLostCrossReference(readFile(realPdf(QStringLiteral("groff-columns.pdf")))) << true << 2 << QList<int>()
        << false;
    // qpdf cannot rebuild a table kept in a stream; pdfium reads the file as it is.
    QTest::newRow("cross-reference stream lost")
        << withLostCrossReference(readFile(realPdf(QStringLiteral("pdftex-objstm-manual.pdf")))) << false << 12
        << QList<int>() << false;
    // Its second page is an object of the broken object stream: no reader but poppler finds it.
    QTest::newRow("page tree broken by a flipped byte")
        << readFile(damagedPdf(QStringLiteral("groff-flipped-a.pdf"))) << true << 1 << QList<int>{1} << false;
    // The first page's content does not decode to its end; poppler reads its first part.
    QTest::newRow("content that does not decode, cross-reference lost")
        << withLostCrossReference(readFile(damagedPdf(QStringLiteral("groff-content-flipped.pdf")))) << true << 2
        << QList<int>() << false;
    QTest::newRow("offsets zeroed") << readFile(realPdf(QStringLiteral("xref/registry-zero-offsets.pdf"))) << true
                                    << 60 << QList<int>() << false;
    QTest::newRow("offsets shifted") << readFile(realPdf(QStringLiteral("xref/registry-shifted.pdf"))) << true << 60
                                     << QList<int>() << false;
    QTest::newRow("manual, a page reference of the tree flipped")
        << readFile(damagedPdf(QStringLiteral("registry-flipped-kids.pdf"))) << true << 60 << QList<int>() << false;
    QTest::newRow("manual, its object stream flipped")
        << readFile(damagedPdf(QStringLiteral("pdftex-objstm-flipped.pdf"))) << true << 12 << QList<int>() << false;
    // Three of the first node's six pages are found outside the tree: the lost ones are the three after them.
    QTest::newRow("manual, pages of its first node lost")
        << readFile(damagedPdf(QStringLiteral("tree-first-pages-lost.pdf"))) << true << 9 << QList<int>{3, 4, 5}
        << false;
    // The tree reads whole: a page object outside it is no page.
    QTest::newRow("manual, object streams, a page copy outside the tree")
        << readFile(damagedPdf(QStringLiteral("objstm-orphan-page.pdf"))) << true << 12 << QList<int>() << false;
    // Each page once, as other readers show them; the file's tree says otherwise.
    QTest::newRow("manual, a node listing itself")
        << readFile(damagedPdf(QStringLiteral("tree-loop-self.pdf"))) << true << 12 << QList<int>() << true;
    QTest::newRow("manual, a node listed twice")
        << readFile(damagedPdf(QStringLiteral("tree-subtree-twice.pdf"))) << true << 12 << QList<int>() << true;
    // A font listed as a page is no page: other readers pass over it.
    QTest::newRow("manual, a font among the pages of its tree")
        << readFile(damagedPdf(QStringLiteral("tree-font-kid.pdf"))) << true << 12 << QList<int>() << false;
    QTest::newRow("manual, /Count below its pages")
        << readFile(damagedPdf(QStringLiteral("tree-count-below.pdf"))) << true << 12 << QList<int>() << true;
    // qpdf reads the page as nothing, pdfium reads it: the file is kept as pdfium reads it.
    QTest::newRow("50,000 nested arrays in the resources")
        << withNestedArrays(readFile(realPdf(QStringLiteral("gs-helvetica.pdf"))), 50000, true) << false << 1
        << QList<int>() << false;
}

// Opening alone leaves the document unmodified; a repaired one knows that its
// bytes differ from the file, and what it writes passes qpdf's check but for
// stream data that did not decode in the file either. No page other readers
// count is missing unless the document says so, and the text poppler reads
// from the damaged file is still there after a save.
void TestPdfDocumentDamaged::damagedFilesOpenRepaired()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, repaired);
    QFETCH(int, pages);
    QFETCH(QList<int>, lost);
    QFETCH(bool, changed);
    const QString file = path(QStringLiteral("opened.pdf"));
    QVERIFY(writeFile(file, bytes));
    PdfDocument doc;
    QVERIFY2(doc.open(file), qPrintable(doc.lastError()));
    QCOMPARE(doc.wasRepaired(), repaired);
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.pageCount(), pages);
    const std::vector<int> lostPages = doc.lostPages();
    QCOMPARE(QList<int>(lostPages.begin(), lostPages.end()), lost);
    QCOMPARE(doc.lostPagesText().isEmpty(), lost.isEmpty());
    QCOMPARE(doc.pageListChanged(), changed);
    QCOMPARE(doc.holdsSourceWhole(), lost.isEmpty() && !changed);
    QCOMPARE(readFile(file), bytes);
    const pdftools::ReaderPageCounts source = pdftools::readerPageCounts(file);
    QVERIFY2(pages + int(lost.size()) >= source.qpdf, qPrintable(QString::number(source.qpdf)));
    // The sizes read while opening are those of the pages opened.
    std::vector<QSizeF> sizes;
    quint64 revision = 0;
    QVERIFY(doc.readPageSizes(&sizes, &revision, -1));
    QCOMPARE(int(sizes.size()), pages);
    for (int i = 0; i < pages; ++i)
        QCOMPARE(sizes[size_t(i)], doc.pageSize(i));
    // The file still holds what the document lacks: a save goes anywhere but over it.
    if (!doc.holdsSourceWhole()) {
        QVERIFY(doc.insertBlankPage(pages, QSizeF(595, 842)));
        QVERIFY(!doc.save(file));
        QCOMPARE(doc.lastError(), doc.sourceGuardText());
        QCOMPARE(readFile(file), bytes);
    }
    const QString saved = path(QStringLiteral("opened-saved.pdf"));
    QVERIFY(doc.saveAs(saved));
    if (pdftools::installed(QStringLiteral("qpdf"))) {
        // An unchanged sound file is copied as it is, warnings and all (qpdf's 3).
        const pdftools::Result check = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), saved});
        QVERIFY2(check.exitCode == 0 || (!repaired && check.exitCode == 3) || onlyStreamDataDamaged(check.out + check.err),
                 qPrintable(check.out + check.err));
    }
    if (QByteArray(QTest::currentDataTag()).startsWith("sound"))
        QCOMPARE(readFile(saved), bytes);
    const pdftools::ReaderPageCounts written = pdftools::readerPageCounts(saved);
    QCOMPARE(written.qpdf, doc.pageCount());
    QCOMPARE(written.poppler, doc.pageCount());
    QCOMPARE(written.mupdf, doc.pageCount());
    // Each page kept against the page of the file it was read from; where a
    // stream does not decode to its end, poppler's part of it is kept too.
    if (source.poppler == pages + int(lost.size())) {
        QList<int> from;
        for (int page = 0; page < source.poppler; ++page)
            if (!lost.contains(page))
                from << page;
        for (int page = 0; page < pages; ++page) {
            const QStringList read = pdftools::words(file, from[page]);
            const QStringList kept = pdftools::words(saved, page);
            QVERIFY2(read.isEmpty() || !kept.isEmpty(), qPrintable(QStringLiteral("page %1 lost its text").arg(page + 1)));
            for (const QString& word : lost.isEmpty() ? read : QStringList())
                QVERIFY2(kept.contains(word), qPrintable(QStringLiteral("page %1: %2").arg(page + 1).arg(word)));
        }
    }
    QVERIFY(doc.open(saved));
    QVERIFY(!doc.wasRepaired());
}

void TestPdfDocumentDamaged::fileKeptWholeThroughEdits_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("operation");
    const QString pageLost = damagedPdf(QStringLiteral("groff-flipped-c.pdf"));
    const QString listChanged = damagedPdf(QStringLiteral("tree-subtree-twice.pdf"));
    QTest::newRow("a page lost, text edited") << pageLost << "edit";
    QTest::newRow("a page lost, page turned") << pageLost << "rotate";
    QTest::newRow("a page lost, a form brought in") << pageLost << "form";
    QTest::newRow("pages read otherwise, text edited") << listChanged << "edit";
    QTest::newRow("pages read otherwise, page deleted") << listChanged << "delete";
}

// A document that lacks part of its file knows it through every edit,
// including those that read the document again from new bytes: the file is
// never written over, by a save or a copy, until the document was saved
// under another name.
void TestPdfDocumentDamaged::fileKeptWholeThroughEdits()
{
    QFETCH(QString, file);
    QFETCH(QString, operation);
    const QString source = path(QStringLiteral("source.pdf"));
    const QByteArray bytes = readFile(file);
    QVERIFY(writeFile(source, bytes));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    QVERIFY(!doc.holdsSourceWhole());
    bool done = false;
    if (operation == QLatin1String("edit")) {
        std::vector<TextBlock> blocks = doc.extractText(0);
        QVERIFY(!blocks.empty());
        blocks.front().text = QStringLiteral("Replaced words");
        blocks.front().textEdited = true;
        done = doc.overlayOcrText(0, blocks, false);
    } else if (operation == QLatin1String("rotate")) {
        done = doc.rotatePage(0, 90);
    } else if (operation == QLatin1String("delete")) {
        done = doc.deletePage(1);
    } else {
        done = doc.importDocument(realPdf(QStringLiteral("libreoffice-form.pdf")));
    }
    QVERIFY2(done, qPrintable(doc.lastError()));
    QVERIFY(!doc.holdsSourceWhole());
    QVERIFY(!doc.save(source));
    QCOMPARE(doc.lastError(), doc.sourceGuardText());
    QVERIFY(!doc.saveCopy(source));
    QCOMPARE(readFile(source), bytes);
    const QString rescued = path(QStringLiteral("rescued.pdf"));
    QVERIFY2(doc.saveAs(rescued), qPrintable(doc.lastError()));
    QVERIFY(doc.holdsSourceWhole());
    QCOMPARE(pdftools::pageCount(rescued), doc.pageCount());
    QCOMPARE(readFile(source), bytes);
}

void TestPdfDocumentDamaged::failedImportsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pageIndex");  // -1: importDocument
    QTest::addColumn<QString>("reason");  // what the error begins with; empty: any
    const QByteArray noPages = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                               "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n"
                               "trailer << /Root 1 0 R >>\n%%EOF\n";
    QTest::newRow("no pages") << noPages << -1 << QString();
    QTest::newRow("no pages, one page asked") << noPages << 0 << QString();
    QTest::newRow("page past the end") << readFile(realPdf(QStringLiteral("tex-type1.pdf"))) << 3 << QString();
    QTest::newRow("not a pdf") << QByteArray("plain words, no PDF here\n") << -1 << QString();
    QTest::newRow("garbage after the header") << QByteArray("%PDF-1.7\n") + QByteArray(2000, '\x07') << -1
                                              << QString();
    // A manual whose page tree lists its first page's resources: read as a
    // page too, they would lose their fonts in pdfium's copy of the page.
    const QByteArray resourcesListed = readFile(damagedPdf(QStringLiteral("tree-resources-kid.pdf")));
    const QString fontLost = QStringLiteral("Страница 1 файла при переносе теряет ресурс /F1");
    QTest::newRow("page whose copy would lose its fonts") << resourcesListed << 0 << fontLost;
    QTest::newRow("pages of which one would lose its fonts") << resourcesListed << -1 << fontLost;
}

// A failed import leaves the document's pages, flag and revision as they
// were and always says why.
void TestPdfDocumentDamaged::failedImportsChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, pageIndex);
    QFETCH(QString, reason);
    const QString source = path(QStringLiteral("source.pdf"));
    QVERIFY(writeFile(source, bytes));
    PdfDocument doc;
    QVERIFY(doc.open(realPdf(QStringLiteral("groff-columns.pdf"))));
    const int pages = doc.pageCount();
    const quint64 revision = doc.revision();
    const bool imported = pageIndex < 0 ? doc.importDocument(source) : doc.appendPage(source, pageIndex);
    QVERIFY(!imported);
    QVERIFY(!doc.lastError().trimmed().isEmpty());
    QVERIFY2(doc.lastError().startsWith(reason), qPrintable(doc.lastError()));
    QCOMPARE(doc.pageCount(), pages);
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.revision(), revision);
}

void TestPdfDocumentDamaged::refusedPageChangesSayWhy_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("delete past the end") << QStringLiteral("delete");
    QTest::newRow("move from past the end") << QStringLiteral("move-from");
    QTest::newRow("move to past the end") << QStringLiteral("move-to");
    QTest::newRow("rotate past the end") << QStringLiteral("rotate");
}

void TestPdfDocumentDamaged::refusedPageChangesSayWhy()
{
    QFETCH(QString, operation);
    PdfDocument doc;
    QVERIFY(doc.open(realPdf(QStringLiteral("groff-columns.pdf"))));
    const int pages = doc.pageCount();
    bool done = true;
    if (operation == QLatin1String("delete"))
        done = doc.deletePage(pages);
    else if (operation == QLatin1String("move-from"))
        done = doc.movePage(pages, 0);
    else if (operation == QLatin1String("move-to"))
        done = doc.movePage(0, pages + 3);
    else
        done = doc.rotatePage(pages, 90);
    QVERIFY(!done);
    QVERIFY(!doc.lastError().isEmpty());
    QCOMPARE(doc.pageCount(), pages);
    QVERIFY(!doc.isModified());
}

void TestPdfDocumentDamaged::damagedContentIsNotWritten_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("written");
    QTest::newRow("turning the damaged page") << QStringLiteral("rotate") << 0 << false;
    QTest::newRow("text layer on the damaged page") << QStringLiteral("layer") << 0 << false;
    QTest::newRow("text layer on the sound page") << QStringLiteral("layer") << 1 << true;
    QTest::newRow("turning the sound page") << QStringLiteral("rotate") << 1 << true;
    QTest::newRow("damaged page moved first, then turned") << QStringLiteral("move, rotate") << 1 << false;
}

// A page whose content reads only in part is never written again (pdfium
// would write back only the part it read); the other pages still are.
void TestPdfDocumentDamaged::damagedContentIsNotWritten()
{
    QFETCH(QString, operation);
    QFETCH(int, page);
    QFETCH(bool, written);
    const QString file = damagedPdf(QStringLiteral("groff-content-flipped.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    QVERIFY(!doc.wasRepaired());
    if (operation.startsWith(QLatin1String("move"))) {
        QVERIFY(doc.movePage(0, 1));
        operation = QStringLiteral("rotate");
    }
    const bool movedFirst = doc.isModified();
    bool done = false;
    if (operation == QLatin1String("rotate")) {
        done = doc.rotatePage(page, 90);
    } else {
        TextBlock block = fixtures::oneLineBlock(QStringLiteral("Recognised line"), QRectF(72, 700, 200, 14), 12);
        block.invisibleText = true;
        for (TextBlock::Line& line : block.lines)
            line.invisibleText = true;
        done = doc.overlayOcrText(page, {block}, false);
    }
    QCOMPARE(done, written);
    QCOMPARE(doc.isModified(), written || movedFirst);
    if (!written)
        QVERIFY(!doc.lastError().isEmpty());
}

void TestPdfDocumentDamaged::damagedPageKnownPastPicturePages_data()
{
    QTest::addColumn<bool>("fromFile");
    QTest::newRow("scanned page") << false;
    QTest::newRow("picture file") << true;
}

// Pages of pictures come between the file's pages: the damaged page is still
// known as the file's first page, and only it refuses a write.
void TestPdfDocumentDamaged::damagedPageKnownPastPicturePages()
{
    QFETCH(bool, fromFile);
    PdfDocument doc;
    QVERIFY(doc.open(damagedPdf(QStringLiteral("groff-content-flipped.pdf"))));
    QVERIFY(doc.movePage(0, 1));  // the damaged page second
    if (fromFile) {
        QVERIFY2(doc.importDocument(realPdf(QStringLiteral("pictures/photo-exif6.jpg"))), qPrintable(doc.lastError()));
    } else {
        QImage scan(100, 140, QImage::Format_Grayscale8);
        scan.fill(230);
        QVERIFY(doc.appendRenderedPage(scan, QSizeF(100, 140)));
    }
    QVERIFY(doc.movePage(2, 0));  // picture, sound page, damaged page
    TextBlock block = fixtures::oneLineBlock(QStringLiteral("Recognised line"), QRectF(10, 20, 60, 10), 8);
    block.invisibleText = true;
    for (TextBlock::Line& line : block.lines)
        line.invisibleText = true;
    QVERIFY2(doc.overlayOcrText(0, {block}, false), qPrintable(doc.lastError()));
    QVERIFY2(doc.overlayOcrText(1, {block}, false), qPrintable(doc.lastError()));
    QVERIFY(!doc.overlayOcrText(2, {block}, false));
    QVERIFY(!doc.lastError().isEmpty());
}

void TestPdfDocumentDamaged::importedFormKeepsItsFields_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("fields");
    QTest::newRow("imported into a document without a form") << QStringLiteral("import") << 3;
    QTest::newRow("imported twice: clashing names renamed") << QStringLiteral("twice") << 6;
    QTest::newRow("one page appended") << QStringLiteral("append") << 3;
    QTest::newRow("page duplicated") << QStringLiteral("duplicate") << 6;
}

// Fields counted from the saved file: each widget stays a field, under a
// name no other field has.
void TestPdfDocumentDamaged::importedFormKeepsItsFields()
{
    QFETCH(QString, how);
    QFETCH(int, fields);
    const QString form = realPdf(QStringLiteral("libreoffice-form.pdf"));
    PdfDocument doc;
    if (how == QLatin1String("duplicate")) {
        QVERIFY(doc.open(form));
        const QString copy = path(QStringLiteral("copy.pdf"));
        QVERIFY(doc.extractPageSubset({0}, copy));
        QVERIFY2(doc.appendPage(copy, 0), qPrintable(doc.lastError()));
    } else {
        QVERIFY(doc.open(realPdf(QStringLiteral("gs-helvetica.pdf"))));
        const bool imported = how == QLatin1String("append") ? doc.appendPage(form, 0) : doc.importDocument(form);
        QVERIFY2(imported, qPrintable(doc.lastError()));
        if (how == QLatin1String("twice"))
            QVERIFY2(doc.importDocument(form), qPrintable(doc.lastError()));
    }
    QVERIFY(doc.isModified());
    const QString saved = path(QStringLiteral("form-saved.pdf"));
    QVERIFY(doc.saveAs(saved));
    const QStringList names = fieldNames(saved);
    QCOMPARE(names.size(), fields);
    QCOMPARE(distinct(names), fields);
    QVERIFY(names.contains(QStringLiteral("surname")));
}

void TestPdfDocumentDamaged::hostileEditsEndInTime_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal");  // how the refusal must end; empty: done or refused
    const QByteArray samples(2000, 'x');
    // poppler reads ten billion samples past the 2,000 there are: its processor bound ends it.
    QTest::newRow("inline image of 100000 x 100000 pixels")
        << fixtures::twoLinePagePdf(QStringLiteral("q 100 0 0 100 72 400 cm BI /W 100000 /H 100000 /BPC 8 /CS /G ID ") +
                       QString::fromLatin1(samples) + QStringLiteral(" EI Q\n"))
        << QStringLiteral("страница слишком сложна для проверки");
    QTest::newRow("twenty thousand inline pictures")
        << fixtures::twoLinePagePdf(QStringLiteral("q 1 0 0 1 72 400 cm BI /W 1 /H 1 /CS /G /BPC 8 ID x EI Q\n")
                                        .repeated(20000))
        << QString();
    QTest::newRow("image 2147483647 pixels wide")
        << fixtures::twoLinePagePdf(QStringLiteral("q 200 0 0 100 72 400 cm /Im1 Do Q\n"),
                       fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Image /Width 2147483647 "
                                                             "/Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray"),
                                              samples))
        << QString();
    QTest::newRow("text at x = 2147483648")
        << fixtures::twoLinePagePdf(QStringLiteral("BT /F1 12 Tf 2147483648 660 Td (Far away) Tj ET\n")) << QString();
    QTest::newRow("a page a hundred kilometres wide")
        << fixtures::twoLinePagePdf(QString(), QString(), QStringLiteral("0 0 283464567 842")) << QString();
}

// Editing a hostile page's lines ends, in a child process held to its
// processor time and memory, without a signal: done, or refused with its
// reason and the document as it was. What ends a hostile edit is its work,
// never the clock: a busy machine only makes it later.
void TestPdfDocumentDamaged::hostileEditsEndInTime()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    const QString file = path(QStringLiteral("hostile.pdf"));
    QVERIFY(writeFile(file, bytes));
    QTemporaryDir scratch;
    const limitedchild::Outcome child = boundedChild({file, scratch.path(), QStringLiteral("edit")});
    const QString said = QString::fromUtf8(child.out).trimmed();
    QVERIFY2(!child.signal, qPrintable(QStringLiteral("ended by a signal (its processor time or memory ran out) in: ") + said));
    QVERIFY2(child.exitCode == 0, qPrintable(said));
    if (refusal.isEmpty())
        QVERIFY2(said.startsWith(QStringLiteral("edit done ")) || said.startsWith(QStringLiteral("edit refused: ")),
                 qPrintable(said));
    else
        QVERIFY2(said.startsWith(QStringLiteral("edit refused: ")) && said.endsWith(refusal), qPrintable(said));
}

QTEST_MAIN(TestPdfDocumentDamaged)
#include "tst_pdfdocument_damaged.moc"
