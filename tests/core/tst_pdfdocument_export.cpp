#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>

#include <sys/resource.h>

using fixtures::filesIn;
using fixtures::PageSpec;
using fixtures::readFile;
using fixtures::TextRun;
using fixtures::writeFile;

namespace {

const QByteArray kOldContent = "earlier content that must survive";

// A page whose first line, with markup characters, ends in a hyphen that
// splits a word, which pdfium reports as U+0002.
QByteArray hyphenAndMarkupPdf()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Tom & \"Jerry\" <b>bold</b> inter-"), 72, 700, 12}
              << TextRun{QStringLiteral("national"), 72, 686, 12} << TextRun{QStringLiteral("next line"), 72, 640, 12};
    return fixtures::pagesPdf({page});
}

} // namespace

class TestPdfDocumentExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void pdfFormatSavesInAnyLetterCase_data();
    void pdfFormatSavesInAnyLetterCase();

    void textIsWrittenAsUtf8();
    void textExportsAreEscapedWithOnlyLineFeeds_data();
    void textExportsAreEscapedWithOnlyLineFeeds();
    void pageWithoutTextGivesEmptyFile();

    void pictureResolutionIsClamped_data();
    void pictureResolutionIsClamped();
    void pagePicturesAreNumberedBesideThePath_data();
    void pagePicturesAreNumberedBesideThePath();

    void unrenderablePageIsNamedAndTheRestWritten();
    void failedExportsWriteNothing_data();
    void failedExportsWriteNothing();
    void cancelledExportsLeaveNothing_data();
    void cancelledExportsLeaveNothing();
    void exportsPastTheOpenFileLimit_data();
    void exportsPastTheOpenFileLimit();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    PdfDocument& openFixture(const QByteArray& bytes, const QString& name = QStringLiteral("source.pdf"));

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PdfDocument> m_doc;
};

void TestPdfDocumentExport::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestPdfDocumentExport::init()
{
    m_doc.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

PdfDocument& TestPdfDocumentExport::openFixture(const QByteArray& bytes, const QString& name)
{
    m_doc = std::make_unique<PdfDocument>();
    if (!writeFile(path(name), bytes) || !m_doc->open(path(name)))
        qFatal("fixture does not open");
    return *m_doc;
}

void TestPdfDocumentExport::pdfFormatSavesInAnyLetterCase_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("pdf") << QStringLiteral("pdf");
    QTest::newRow("PDF") << QStringLiteral("PDF");
}

void TestPdfDocumentExport::pdfFormatSavesInAnyLetterCase()
{
    QFETCH(QString, format);
    PdfDocument& doc = openFixture(fixtures::textPdf({QStringLiteral("one"), QStringLiteral("two")}));
    doc.markModified();
    const QString target = path(QStringLiteral("copy.pdf"));
    QVERIFY2(doc.exportDocument(format, target, 150), qPrintable(doc.lastError()));
    QCOMPARE(doc.filePath(), target);
    QVERIFY(!doc.isModified());
    PdfDocument copy;
    QVERIFY(copy.open(target));
    QCOMPARE(copy.pageCount(), 2);
}

void TestPdfDocumentExport::textIsWrittenAsUtf8()
{
    const QString source = path(QStringLiteral("cyrillic.pdf"));
    {
        QPdfWriter writer(source);
        writer.setResolution(72);
        QPainter painter(&writer);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        painter.drawText(72, 100, QStringLiteral("Съешь ещё этих булок"));
    }
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const QString target = path(QStringLiteral("text.txt"));
    QVERIFY2(doc.exportDocument(QStringLiteral("TXT"), target, 150), qPrintable(doc.lastError()));
    QVERIFY(QString::fromUtf8(readFile(target)).contains(QStringLiteral("Съешь ещё этих булок")));
}

// Every export has "\n" line ends and no other control character; pdfium's
// mark for a hyphen at a line end becomes the hyphen the page shows. Markup
// escapes the text and declares UTF-8.
void TestPdfDocumentExport::textExportsAreEscapedWithOnlyLineFeeds_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("declaration");
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<QByteArray>("ending");
    const QByteArray escaped = "<pre>Tom &amp; &quot;Jerry&quot; &lt;b&gt;bold&lt;/b&gt; inter-\n";
    const QByteArray markupEnd = "national\nnext line</pre></body></html>";
    QTest::newRow("txt") << QStringLiteral("txt") << QByteArray() << QByteArray("Tom & \"Jerry\" <b>bold</b> inter-\n")
                         << QByteArray("national\nnext line");
    QTest::newRow("html") << QStringLiteral("html") << QByteArray("<meta charset=\"utf-8\">") << escaped << markupEnd;
    QTest::newRow("xhtml") << QStringLiteral("xhtml") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>")
                           << escaped << markupEnd;
}

void TestPdfDocumentExport::textExportsAreEscapedWithOnlyLineFeeds()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, declaration);
    QFETCH(QByteArray, firstLine);
    QFETCH(QByteArray, ending);
    PdfDocument& doc = openFixture(hyphenAndMarkupPdf());
    const QString target = path(QStringLiteral("page & <more>.") + format);
    QVERIFY2(doc.exportDocument(format, target, 150), qPrintable(doc.lastError()));
    const QByteArray bytes = readFile(target);
    for (char c : bytes)
        QVERIFY2(uchar(c) >= 0x20 || c == '\n', qPrintable(QStringLiteral("control character %1").arg(int(c))));
    QVERIFY(bytes.contains(declaration));
    QVERIFY2(bytes.contains(firstLine) && bytes.trimmed().endsWith(ending), bytes.constData());
    QVERIFY(!doc.extractAllText(0).contains(QChar(0x02)));
    if (format != QLatin1String("xhtml"))
        return;
    // Well-formed XML in the XHTML namespace, by our reader and by xmllint.
    QXmlStreamReader reader(bytes);
    bool sawHtml = false;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("html")) {
            sawHtml = true;
            QCOMPARE(reader.namespaceUri().toString(), QStringLiteral("http://www.w3.org/1999/xhtml"));
        }
    }
    QVERIFY2(!reader.hasError() && sawHtml, qPrintable(reader.errorString()));
    QVERIFY2(pdftools::installed(QStringLiteral("xmllint")), "xmllint is missing; scripts/setup.sh installs it");
    const pdftools::Result lint = pdftools::run(QStringLiteral("xmllint"), {QStringLiteral("--noout"), target});
    QVERIFY2(lint.exitCode == 0, qPrintable(lint.err));
}

void TestPdfDocumentExport::pageWithoutTextGivesEmptyFile()
{
    PdfDocument& doc = openFixture(fixtures::textPdf({QString()}));
    const QString target = path(QStringLiteral("empty.txt"));
    QVERIFY(writeFile(target, kOldContent));
    QVERIFY2(doc.exportDocument(QStringLiteral("txt"), target, 150), qPrintable(doc.lastError()));
    QVERIFY(QFileInfo::exists(target));
    QCOMPARE(readFile(target), QByteArray());
}

void TestPdfDocumentExport::pictureResolutionIsClamped_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("pixels");  // of a 72-point square page
    QTest::newRow("10 renders at 36") << 10 << 36;
    QTest::newRow("36") << 36 << 36;
    QTest::newRow("150") << 150 << 150;
    QTest::newRow("1200 renders at 600") << 1200 << 600;
}

void TestPdfDocumentExport::pictureResolutionIsClamped()
{
    QFETCH(int, dpi);
    QFETCH(int, pixels);
    PageSpec page;
    page.width = 72;
    page.height = 72;
    PdfDocument& doc = openFixture(fixtures::pagesPdf({page}));
    const QString target = path(QStringLiteral("page.png"));
    QVERIFY2(doc.exportDocument(QStringLiteral("png"), target, dpi), qPrintable(doc.lastError()));
    const QImage picture = QImageReader(target).read();
    QCOMPARE(picture.size(), QSize(pixels, pixels));
    // The picture says the resolution it was rendered at.
    QCOMPARE(picture.dotsPerMeterX(), qRound(pixels / 0.0254));
    QCOMPARE(picture.dotsPerMeterY(), qRound(pixels / 0.0254));
}

void TestPdfDocumentExport::pagePicturesAreNumberedBesideThePath_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QByteArray>("readerFormat");
    const auto row = [](const char* tag, const char* format, const char* name, const QStringList& written,
                        const char* readerFormat) {
        QTest::newRow(tag) << QString::fromLatin1(format) << QString::fromLatin1(name) << written
                           << QByteArray(readerFormat);
    };
    const auto two = [](const char* stem, const char* suffix) {
        return QStringList{QStringLiteral("%1_001.%2").arg(QLatin1String(stem), QLatin1String(suffix)),
                           QStringLiteral("%1_002.%2").arg(QLatin1String(stem), QLatin1String(suffix))};
    };
    row("one page is the path itself", "png", "scan.png", {QStringLiteral("scan.png")}, "png");
    row("png", "png", "scan.png", two("scan", "png"), "png");
    row("JPEG", "JPEG", "a.b.jpeg", two("a.b", "jpeg"), "jpeg");
    row("bmp", "bmp", "pages.bmp", two("pages", "bmp"), "bmp");
    row("suffix from path", "png", "scan.jpg", two("scan", "jpg"), "png");
    row("no suffix takes the format's", "jpeg", "scan", two("scan", "jpg"), "jpeg");
}

void TestPdfDocumentExport::pagePicturesAreNumberedBesideThePath()
{
    QFETCH(QString, format);
    QFETCH(QString, name);
    QFETCH(QStringList, written);
    QFETCH(QByteArray, readerFormat);
    PdfDocument& doc = openFixture(fixtures::textPdf(QStringList(written.size(), QStringLiteral("page"))));
    QVERIFY2(doc.exportDocument(format, path(name), 36), qPrintable(doc.lastError()));
    QCOMPARE(filesIn(m_dir->path()), written + QStringList{QStringLiteral("source.pdf")});
    for (const QString& file : written) {
        QImageReader reader(path(file));
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), readerFormat);
    }
}

// A page too large to render at 600 dpi is named and skipped: the file
// already at its name stays as it was, the other pages are written.
void TestPdfDocumentExport::unrenderablePageIsNamedAndTheRestWritten()
{
    PageSpec small;
    small.width = 72;
    small.height = 72;
    PageSpec huge;
    huge.width = 14400;
    huge.height = 14400;
    PdfDocument& doc = openFixture(fixtures::pagesPdf({small, huge, small}));
    QVERIFY(writeFile(path(QStringLiteral("out_002.png")), kOldContent));
    QVERIFY(!doc.exportDocument(QStringLiteral("png"), path(QStringLiteral("out.png")), 600));
    QCOMPARE(doc.lastError(), QStringLiteral("Не удалось отрисовать страницу 2; остальные страницы записаны."));
    QCOMPARE(readFile(path(QStringLiteral("out_002.png"))), kOldContent);
    QCOMPARE(filesIn(m_dir->path()), (QStringList{QStringLiteral("out_001.png"), QStringLiteral("out_002.png"),
                                                  QStringLiteral("out_003.png"), QStringLiteral("source.pdf")}));
}

void TestPdfDocumentExport::failedExportsWriteNothing_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("error");  // empty: any reason; %1 the target's path
    const auto row = [](const char* name, bool open, const char* format, const char* target, const QString& error,
                        const char* sourceName = "doc.pdf", int pages = 1) {
        QTest::newRow(name) << open << QString::fromLatin1(format) << QString::fromLatin1(sourceName) << pages
                            << QString::fromLatin1(target) << error;
    };
    const QString unknown = QStringLiteral("Export format is not implemented in the PDFium backend yet: %1");
    row("tiff", true, "tiff", "out.tiff", unknown.arg(QStringLiteral("tiff")));
    row("letter case kept", true, "TiFF", "out.TiFF", unknown.arg(QStringLiteral("TiFF")));
    row("empty format", true, "", "out", unknown.arg(QString()));
    const QString none = QStringLiteral("Нет открытого документа.");
    row("txt without document", false, "txt", "out.txt", none);
    row("xhtml without document", false, "xhtml", "out.xhtml", none);
    row("png without document", false, "png", "out.png", none);
    const QString own = QStringLiteral("Нельзя записать результат поверх открытого документа.");
    row("own file, txt", true, "txt", "doc.pdf", own);
    row("own file, html", true, "html", "doc.pdf", own);
    row("own file, xhtml", true, "xhtml", "doc.pdf", own);
    row("own file, one picture", true, "png", "doc.pdf", own);
    row("own file, numbered picture", true, "png", "doc.png", own, "doc_002.png", 2);
    row("own file, other spelling", true, "txt", "./sub/../doc.pdf", own);
    row("txt, missing folder", true, "txt", "missing/out.txt", QString());
    row("xhtml, folder as target", true, "xhtml", "folder", QString());
    row("png, missing folder", true, "png", "missing/out.png",
        QStringLiteral("Не удалось сохранить изображение:\n%1\nНет такого файла или папки"));
}

// Refused formats, no document, the open file as target (however it is
// spelled) and targets that cannot be written: each fails with its reason and
// leaves the folder as it was.
void TestPdfDocumentExport::failedExportsWriteNothing()
{
    QFETCH(bool, open);
    QFETCH(QString, format);
    QFETCH(QString, sourceName);
    QFETCH(int, pages);
    QFETCH(QString, target);
    QFETCH(QString, error);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")) && QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    const QByteArray bytes = fixtures::textPdf(QStringList(pages, QStringLiteral("text")));
    PdfDocument closed;
    PdfDocument& doc = open ? openFixture(bytes, sourceName) : closed;
    QVERIFY(!doc.exportDocument(format, path(target), 36));
    if (error.isEmpty())
        QVERIFY(!doc.lastError().isEmpty());
    else
        QCOMPARE(doc.lastError(), error.contains(QLatin1String("%1")) ? error.arg(path(target)) : error);
    QCOMPARE(filesIn(m_dir->path()), open ? QStringList{sourceName} : QStringList());
    if (open)
        QCOMPARE(readFile(path(sourceName)), bytes);
    QVERIFY(QFileInfo(path(QStringLiteral("folder"))).isDir());
}

void TestPdfDocumentExport::cancelledExportsLeaveNothing_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("stopAt");  // pages done when the answer is no
    QTest::newRow("pictures, at once") << "png" << 0;
    QTest::newRow("pictures, after two pages") << "jpg" << 2;
    QTest::newRow("text, half-way") << "txt" << 2;
    QTest::newRow("html, at the end") << "html" << 4;
}

// The progress is told page by page; a "no" stops the export, takes back the
// pictures already written and leaves an earlier file at the target whole.
void TestPdfDocumentExport::cancelledExportsLeaveNothing()
{
    QFETCH(QString, format);
    QFETCH(int, stopAt);
    PdfDocument& doc = openFixture(fixtures::textPdf(QStringList(4, QStringLiteral("text"))));
    const QString target = path(QStringLiteral("out.") + format);
    QVERIFY(writeFile(target, kOldContent));
    QList<int> told;
    const bool done = doc.exportDocument(format, target, 36, [&told, stopAt](int pages, int total) {
        told << pages;
        return total == 4 && pages < stopAt;
    });
    QVERIFY(!done);
    QCOMPARE(doc.lastError(), QStringLiteral("Экспорт отменён."));
    QCOMPARE(told.constLast(), stopAt);
    for (int i = 0; i < told.size(); ++i)
        QCOMPARE(told[i], i);
    QCOMPARE(filesIn(m_dir->path()), QStringList({QStringLiteral("out.") + format, QStringLiteral("source.pdf")}));
    QCOMPARE(readFile(target), kOldContent);
}

void TestPdfDocumentExport::exportsPastTheOpenFileLimit_data()
{
    QTest::addColumn<int>("stopAt");  // pages done when the answer is no; -1: never
    QTest::newRow("whole") << -1;
    QTest::newRow("stopped near the end") << 290;
}

// More pages than the process may hold files open: the export is whole, or,
// stopped, leaves nothing (no picture, no hidden file or folder).
void TestPdfDocumentExport::exportsPastTheOpenFileLimit()
{
    QFETCH(int, stopAt);
    constexpr int kPages = 300;
    constexpr rlim_t kOpenFiles = 256;
    PageSpec small;
    small.width = 36;
    small.height = 36;
    PdfDocument& doc = openFixture(fixtures::pagesPdf(QList<PageSpec>(kPages, small)));
    rlimit usual{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &usual), 0);
    const rlimit lowered{std::min(kOpenFiles, usual.rlim_cur), usual.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const bool done = doc.exportDocument(QStringLiteral("png"), path(QStringLiteral("pic.png")), 36,
                                         [stopAt](int pages, int) { return pages != stopAt; });
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &usual), 0);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    if (stopAt >= 0) {
        QVERIFY(!done);
        QCOMPARE(filesIn(m_dir->path()), QStringList{QStringLiteral("source.pdf")});
        return;
    }
    QVERIFY2(done, qPrintable(doc.lastError()));
    const QStringList written = filesIn(m_dir->path());
    QCOMPARE(written.size(), kPages + 1);
    QCOMPARE(written.at(kPages - 1), QStringLiteral("pic_300.png"));
    QCOMPARE(QImage(path(QStringLiteral("pic_300.png"))).size(), QSize(18, 18));
}

QTEST_MAIN(TestPdfDocumentExport)
#include "tst_pdfdocument_export.moc"
