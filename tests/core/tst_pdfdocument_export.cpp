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

// A page whose first line ends in a hyphen that splits a word, which pdfium
// reports as U+0002, and a line with markup characters.
QByteArray hyphenAndMarkupPdf()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Tom & \"Jerry\" <b>bold</b> inter-"), 72, 700, 12}
              << TextRun{QStringLiteral("national"), 72, 686, 12};
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
    void unknownFormatIsRefusedWithItsName_data();
    void unknownFormatIsRefusedWithItsName();
    void nothingIsExportedWithoutDocument_data();
    void nothingIsExportedWithoutDocument();

    void textIsWrittenAsUtf8();
    void exportsHaveOnlyLineFeeds_data();
    void exportsHaveOnlyLineFeeds();
    void pageWithoutTextGivesEmptyFile();
    void markupEscapesTextAndDeclaresUtf8_data();
    void markupEscapesTextAndDeclaresUtf8();
    void xhtmlIsWellFormedXml();

    void pictureResolutionIsClamped_data();
    void pictureResolutionIsClamped();
    void onePagePictureIsThePathItself();
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

void TestPdfDocumentExport::unknownFormatIsRefusedWithItsName_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("tiff") << QStringLiteral("tiff");
    QTest::newRow("letter case kept") << QStringLiteral("TiFF");
    QTest::newRow("empty") << QString();
    QTest::newRow("docx") << QStringLiteral("docx");
}

void TestPdfDocumentExport::unknownFormatIsRefusedWithItsName()
{
    QFETCH(QString, format);
    PdfDocument& doc = openFixture(fixtures::textPdf({QStringLiteral("one")}));
    QVERIFY(!doc.exportDocument(format, path(QStringLiteral("out.bin")), 150));
    QCOMPARE(doc.lastError(), QStringLiteral("Export format is not implemented in the PDFium backend yet: %1").arg(format));
    QCOMPARE(filesIn(m_dir->path()), QStringList{QStringLiteral("source.pdf")});
}

void TestPdfDocumentExport::nothingIsExportedWithoutDocument_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("txt") << QStringLiteral("txt");
    QTest::newRow("xhtml") << QStringLiteral("xhtml");
    QTest::newRow("png") << QStringLiteral("png");
}

void TestPdfDocumentExport::nothingIsExportedWithoutDocument()
{
    QFETCH(QString, format);
    PdfDocument doc;
    QVERIFY(!doc.exportDocument(format, path(QStringLiteral("out.") + format), 150));
    QCOMPARE(doc.lastError(), QStringLiteral("Нет открытого документа."));
    QVERIFY(filesIn(m_dir->path()).isEmpty());
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
// mark for a hyphen at a line end becomes the hyphen the page shows.
void TestPdfDocumentExport::exportsHaveOnlyLineFeeds_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("txt") << QStringLiteral("txt");
    QTest::newRow("html") << QStringLiteral("html");
    QTest::newRow("xhtml") << QStringLiteral("xhtml");
}

void TestPdfDocumentExport::exportsHaveOnlyLineFeeds()
{
    QFETCH(QString, format);
    PageSpec page;
    page.runs << TextRun{QStringLiteral("inter-"), 72, 700, 12} << TextRun{QStringLiteral("national"), 72, 686, 12}
              << TextRun{QStringLiteral("next line"), 72, 640, 12};
    PdfDocument& doc = openFixture(fixtures::pagesPdf({page}));
    const QString target = path(QStringLiteral("page.") + format);
    QVERIFY2(doc.exportDocument(format, target, 150), qPrintable(doc.lastError()));
    const QByteArray bytes = readFile(target);
    for (char c : bytes)
        QVERIFY2(uchar(c) >= 0x20 || c == '\n', qPrintable(QStringLiteral("control character %1").arg(int(c))));
    QVERIFY2(bytes.contains("inter-") && bytes.contains("national\nnext line"), bytes.constData());
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

void TestPdfDocumentExport::markupEscapesTextAndDeclaresUtf8_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("declaration");
    QTest::newRow("html") << QStringLiteral("html") << QByteArray("<meta charset=\"utf-8\">");
    QTest::newRow("xhtml") << QStringLiteral("xhtml") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

void TestPdfDocumentExport::markupEscapesTextAndDeclaresUtf8()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, declaration);
    PdfDocument& doc = openFixture(hyphenAndMarkupPdf());
    const QString target = path(QStringLiteral("page.") + format);
    QVERIFY2(doc.exportDocument(format, target, 150), qPrintable(doc.lastError()));
    const QByteArray page = readFile(target);
    QVERIFY(page.contains(declaration));
    QVERIFY(page.contains("<pre>Tom &amp; &quot;Jerry&quot; &lt;b&gt;bold&lt;/b&gt; inter-"));
    QVERIFY(page.endsWith("national</pre></body></html>") || page.endsWith("national</pre></body></html>\n"));
    // pdfium's mark for the hyphen at the line end is carried neither into page text nor into markup.
    QVERIFY(!doc.extractAllText(0).contains(QChar(0x02)));
    QVERIFY(!page.contains('\x02'));
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
    QVERIFY(readFile(target).contains("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\""));
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

void TestPdfDocumentExport::onePagePictureIsThePathItself()
{
    PdfDocument& doc = openFixture(fixtures::textPdf({QStringLiteral("one")}));
    QVERIFY(doc.exportDocument(QStringLiteral("png"), path(QStringLiteral("scan.png")), 36));
    QCOMPARE(filesIn(m_dir->path()), (QStringList{QStringLiteral("scan.png"), QStringLiteral("source.pdf")}));
}

void TestPdfDocumentExport::pagePicturesAreNumberedBesideThePath_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QByteArray>("readerFormat");
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
    PdfDocument& doc = openFixture(fixtures::textPdf({QStringLiteral("one"), QStringLiteral("two")}));
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
