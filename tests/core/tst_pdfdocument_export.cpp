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
    void refusedExportsWriteNothing_data();
    void refusedExportsWriteNothing();

    void textIsWrittenAsUtf8();
    void textExportsAreEscapedWithOnlyLineFeeds_data();
    void textExportsAreEscapedWithOnlyLineFeeds();
    void pageWithoutTextGivesEmptyFile();
    void xhtmlIsWellFormedXml();

    void pictureResolutionIsClamped_data();
    void pictureResolutionIsClamped();
    void pagePicturesAreNumberedBesideThePath_data();
    void pagePicturesAreNumberedBesideThePath();

    void ownFileIsNeverOverwritten_data();
    void ownFileIsNeverOverwritten();
    void unrenderablePageIsNamedAndTheRestWritten();
    void unwritableTargetFailsWithReason_data();
    void unwritableTargetFailsWithReason();

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
    QTest::newRow("Pdf") << QStringLiteral("Pdf");
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

void TestPdfDocumentExport::refusedExportsWriteNothing_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("error");
    const QString unknown = QStringLiteral("Export format is not implemented in the PDFium backend yet: %1");
    QTest::newRow("tiff") << true << QStringLiteral("tiff") << unknown.arg(QStringLiteral("tiff"));
    QTest::newRow("letter case kept") << true << QStringLiteral("TiFF") << unknown.arg(QStringLiteral("TiFF"));
    QTest::newRow("empty") << true << QString() << unknown.arg(QString());
    const QString none = QStringLiteral("Нет открытого документа.");
    QTest::newRow("txt without document") << false << QStringLiteral("txt") << none;
    QTest::newRow("xhtml without document") << false << QStringLiteral("xhtml") << none;
    QTest::newRow("png without document") << false << QStringLiteral("png") << none;
}

void TestPdfDocumentExport::refusedExportsWriteNothing()
{
    QFETCH(bool, open);
    QFETCH(QString, format);
    QFETCH(QString, error);
    PdfDocument closed;
    PdfDocument& doc = open ? openFixture(fixtures::textPdf({QStringLiteral("one")})) : closed;
    QVERIFY(!doc.exportDocument(format, path(QStringLiteral("out.") + format), 150));
    QCOMPARE(doc.lastError(), error);
    QCOMPARE(filesIn(m_dir->path()), open ? QStringList{QStringLiteral("source.pdf")} : QStringList());
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
    const QString target = path(QStringLiteral("page.") + format);
    QVERIFY2(doc.exportDocument(format, target, 150), qPrintable(doc.lastError()));
    const QByteArray bytes = readFile(target);
    for (char c : bytes)
        QVERIFY2(uchar(c) >= 0x20 || c == '\n', qPrintable(QStringLiteral("control character %1").arg(int(c))));
    QVERIFY(bytes.contains(declaration));
    QVERIFY2(bytes.contains(firstLine) && bytes.trimmed().endsWith(ending), bytes.constData());
    QVERIFY(!doc.extractAllText(0).contains(QChar(0x02)));
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

void TestPdfDocumentExport::xhtmlIsWellFormedXml()
{
    PdfDocument& doc = openFixture(hyphenAndMarkupPdf());
    const QString target = path(QStringLiteral("page & <more>.xhtml"));
    QVERIFY2(doc.exportDocument(QStringLiteral("xhtml"), target, 150), qPrintable(doc.lastError()));
    QXmlStreamReader reader(readFile(target));
    bool sawHtml = false;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("html")) {
            sawHtml = true;
            QCOMPARE(reader.namespaceUri().toString(), QStringLiteral("http://www.w3.org/1999/xhtml"));
        }
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QVERIFY(sawHtml);
    if (!pdftools::installed(QStringLiteral("xmllint")))
        QSKIP("xmllint is not installed (scripts/setup.sh installs it)");
    const pdftools::Result lint = pdftools::run(QStringLiteral("xmllint"), {QStringLiteral("--noout"), target});
    QVERIFY2(lint.exitCode == 0, qPrintable(lint.err));
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
    QTest::newRow("one page is the path itself") << QStringLiteral("png") << QStringLiteral("scan.png")
                                                 << QStringList{QStringLiteral("scan.png")} << QByteArray("png");
    QTest::newRow("png") << QStringLiteral("png") << QStringLiteral("scan.png")
                         << QStringList{QStringLiteral("scan_001.png"), QStringLiteral("scan_002.png")}
                         << QByteArray("png");
    QTest::newRow("JPEG") << QStringLiteral("JPEG") << QStringLiteral("a.b.jpeg")
                          << QStringList{QStringLiteral("a.b_001.jpeg"), QStringLiteral("a.b_002.jpeg")}
                          << QByteArray("jpeg");
    QTest::newRow("bmp") << QStringLiteral("bmp") << QStringLiteral("pages.bmp")
                         << QStringList{QStringLiteral("pages_001.bmp"), QStringLiteral("pages_002.bmp")}
                         << QByteArray("bmp");
    QTest::newRow("suffix from path") << QStringLiteral("png") << QStringLiteral("scan.jpg")
                                      << QStringList{QStringLiteral("scan_001.jpg"), QStringLiteral("scan_002.jpg")}
                                      << QByteArray("png");
    QTest::newRow("no suffix takes the format's") << QStringLiteral("jpeg") << QStringLiteral("scan")
                                                  << QStringList{QStringLiteral("scan_001.jpg"),
                                                                 QStringLiteral("scan_002.jpg")}
                                                  << QByteArray("jpeg");
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

void TestPdfDocumentExport::ownFileIsNeverOverwritten_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("target");
    QTest::newRow("txt") << QStringLiteral("txt") << QStringLiteral("doc.pdf") << 1 << QStringLiteral("doc.pdf");
    QTest::newRow("html") << QStringLiteral("html") << QStringLiteral("doc.pdf") << 1 << QStringLiteral("doc.pdf");
    QTest::newRow("xhtml") << QStringLiteral("xhtml") << QStringLiteral("doc.pdf") << 1 << QStringLiteral("doc.pdf");
    QTest::newRow("one picture") << QStringLiteral("png") << QStringLiteral("doc.pdf") << 1 << QStringLiteral("doc.pdf");
    QTest::newRow("numbered picture") << QStringLiteral("png") << QStringLiteral("doc_002.png") << 2
                                      << QStringLiteral("doc.png");
    QTest::newRow("other spelling") << QStringLiteral("txt") << QStringLiteral("doc.pdf") << 1
                                    << QStringLiteral("./sub/../doc.pdf");
}

void TestPdfDocumentExport::ownFileIsNeverOverwritten()
{
    QFETCH(QString, format);
    QFETCH(QString, sourceName);
    QFETCH(int, pages);
    QFETCH(QString, target);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    const QByteArray bytes = fixtures::textPdf(QStringList(pages, QStringLiteral("text")));
    PdfDocument& doc = openFixture(bytes, sourceName);
    QVERIFY(!doc.exportDocument(format, path(target), 36));
    QCOMPARE(doc.lastError(), QStringLiteral("Нельзя записать результат поверх открытого документа."));
    QCOMPARE(readFile(path(sourceName)), bytes);
    QCOMPARE(filesIn(m_dir->path()), QStringList{sourceName});
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

void TestPdfDocumentExport::unwritableTargetFailsWithReason_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("error");  // empty: any non-empty reason
    QTest::newRow("txt, missing folder") << QStringLiteral("txt") << QStringLiteral("missing/out.txt") << QString();
    QTest::newRow("xhtml, folder as target") << QStringLiteral("xhtml") << QStringLiteral("folder") << QString();
    QTest::newRow("png, missing folder") << QStringLiteral("png") << QStringLiteral("missing/out.png")
                                         << QStringLiteral("Не удалось сохранить изображение:\n%1\nNo such file or directory");
}

void TestPdfDocumentExport::unwritableTargetFailsWithReason()
{
    QFETCH(QString, format);
    QFETCH(QString, target);
    QFETCH(QString, error);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    PdfDocument& doc = openFixture(fixtures::textPdf({QStringLiteral("one")}));
    QVERIFY(!doc.exportDocument(format, path(target), 36));
    if (error.isEmpty())
        QVERIFY(!doc.lastError().isEmpty());
    else
        QCOMPARE(doc.lastError(), error.arg(path(target)));
    QVERIFY(QFileInfo(path(QStringLiteral("folder"))).isDir());
}

QTEST_MAIN(TestPdfDocumentExport)
#include "tst_pdfdocument_export.moc"
