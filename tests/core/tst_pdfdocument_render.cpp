#include "PdfDocument.h"
#include "PdfFixtures.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::writeFile;

namespace {

int darkPixels(const QImage& image, const QRect& area = {})
{
    const QRect r = area.isNull() ? image.rect() : area.intersected(image.rect());
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128 && qGray(image.pixel(x, y)) < 100)
                ++count;
    return count;
}

bool fullyTransparent(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

} // namespace

class TestPdfDocumentRender : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pictureSizes_data();
    void pictureSizes();
    void layersSplitTextFromTheRest();
    void regionCropsThePage();
    void badRequestsGiveNullImages_data();
    void badRequestsGiveNullImages();
    void pdfiumAndQtTextShareTheProcess();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    PdfDocument m_doc;  // page 0: text and a grey box; page 1: the box only
};

void TestPdfDocumentRender::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    fixtures::PageSpec mixed;
    mixed.drawBox = true;
    mixed.runs << fixtures::TextRun{QStringLiteral("Layered text"), 72, 700, 36};
    fixtures::PageSpec boxOnly;
    boxOnly.drawBox = true;
    QVERIFY(writeFile(path(QStringLiteral("layers.pdf")), fixtures::pagesPdf({mixed, boxOnly})));
    QVERIFY(m_doc.open(path(QStringLiteral("layers.pdf"))));
}

void TestPdfDocumentRender::pictureSizes_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QSize>("size");
    QTest::newRow("A4 at 0.18") << 0.18 << 0 << QSize(108, 152);
    QTest::newRow("turned 90") << 0.18 << 90 << QSize(152, 108);
    QTest::newRow("turned -270") << 0.18 << -270 << QSize(152, 108);
    QTest::newRow("45 is no turn") << 0.18 << 45 << QSize(108, 152);
    QTest::newRow("tiny scale") << 0.0001 << 0 << QSize(1, 1);
    QTest::newRow("zoom 1") << 1.0 << 180 << QSize(595, 842);
    QTest::newRow("zoom 8 stays within the budget") << 8.0 << 0 << QSize(4760, 6736);
}

void TestPdfDocumentRender::pictureSizes()
{
    QFETCH(double, scale);
    QFETCH(int, rotation);
    QFETCH(QSize, size);
    const QImage image = m_doc.renderPage(0, scale, rotation);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_ARGB32);
}

// Box at (300, 300)-(400, 400) in points; text near the top-left. Drawing a
// layer leaves the page as it was.
void TestPdfDocumentRender::layersSplitTextFromTheRest()
{
    const QImage before = m_doc.renderPage(0, 1.0, 0);
    const QRect textArea(72, 842 - 740, 250, 50);
    const QRect boxArea(310, 842 - 390, 80, 80);
    const QImage all = m_doc.renderPageLayer(0, 1.0, 0, PdfRenderAll, false);
    const QImage withoutText = m_doc.renderPageLayer(0, 1.0, 0, PdfRenderWithoutText, false);
    const QImage textOnly = m_doc.renderPageLayer(0, 1.0, 0, PdfRenderTextOnly, true);
    QVERIFY(darkPixels(all, textArea) > 100);
    QCOMPARE(darkPixels(withoutText, textArea), 0);
    QVERIFY(darkPixels(textOnly, textArea) > 100);
    QCOMPARE(qGray(withoutText.pixel(boxArea.center())), qGray(all.pixel(boxArea.center())));
    QCOMPARE(qAlpha(textOnly.pixel(boxArea.center())), 0);
    QCOMPARE(qAlpha(textOnly.pixel(5, 5)), 0);
    QCOMPARE(withoutText.pixel(5, 5), qRgb(255, 255, 255));
    QCOMPARE(m_doc.renderPage(0, 1.0, 0), before);
    QVERIFY(!m_doc.isModified());
    QCOMPARE(m_doc.extractAllText(0), QStringLiteral("Layered text"));
    // The text layer of a page without text is blank; any other layer value draws everything.
    QVERIFY(fullyTransparent(m_doc.renderPageLayer(1, 0.3, 0, PdfRenderTextOnly, true)));
    QCOMPARE(darkPixels(m_doc.renderPageLayer(1, 0.3, 0, PdfRenderTextOnly, false)), 0);
    QCOMPARE(m_doc.renderPageLayer(1, 0.3, 0, PdfRenderLayer(7), false), m_doc.renderPage(1, 0.3, 0));
}

void TestPdfDocumentRender::regionCropsThePage()
{
    // The grey box, given bottom-left: 300, 300, 100 x 100 points.
    const QImage region = m_doc.renderPageRegion(0, 2.0, QRectF(300, 300, 100, 100));
    QCOMPARE(region.size(), QSize(200, 200));
    QVERIFY(qGray(region.pixel(100, 100)) < 160);
    QVERIFY(qGray(region.pixel(100, 100)) > 100);
    // Half outside the page: clipped to the page.
    QCOMPARE(m_doc.renderPageRegion(0, 1.0, QRectF(-50, 0, 100, 100)).size(), QSize(50, 100));
    QVERIFY(m_doc.renderPageRegion(0, 1.0, QRectF(700, 900, 50, 50)).isNull());
}

void TestPdfDocumentRender::badRequestsGiveNullImages_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRectF>("region");  // the whole page when null
    QTest::addColumn<QString>("error");  // "*": any reason; null: not checked
    QTest::newRow("page past the end") << 2 << 1.0 << QRectF() << QStringLiteral("Не удалось отрисовать страницу 3.");
    QTest::newRow("negative page") << -1 << 1.0 << QRectF() << QString();
    QTest::newRow("zero scale") << 0 << 0.0 << QRectF() << QString();
    QTest::newRow("negative scale") << 0 << -2.0 << QRectF() << QString();
    QTest::newRow("NaN scale") << 0 << qQNaN() << QRectF() << QString();
    QTest::newRow("over the pixel budget") << 0 << 1000.0 << QRectF() << QStringLiteral("*");
    QTest::newRow("absurd scale") << 0 << 1e300 << QRectF() << QString();
    // Region edges that no pixel index can hold are refused before they become one.
    QTest::newRow("region: NaN corner") << 0 << 1.0 << QRectF(qQNaN(), 0, 10, 10) << QStringLiteral("*");
    QTest::newRow("region: infinite width") << 0 << 1.0 << QRectF(0, 0, qInf(), 10) << QStringLiteral("*");
    QTest::newRow("region: beyond int") << 0 << 1.0 << QRectF(0, 0, 1e12, 1e12) << QStringLiteral("*");
    QTest::newRow("region: far below") << 0 << 1.0 << QRectF(-1e300, -1e300, 10, 10) << QStringLiteral("*");
    QTest::newRow("region: huge scale") << 0 << 1e300 << QRectF(0, 0, 100, 100) << QStringLiteral("*");
}

void TestPdfDocumentRender::badRequestsGiveNullImages()
{
    QFETCH(int, page);
    QFETCH(double, scale);
    QFETCH(QRectF, region);
    QFETCH(QString, error);
    const QImage image = region.isNull() ? m_doc.renderPage(page, scale, 0) : m_doc.renderPageRegion(page, scale, region);
    QVERIFY(image.isNull());
    if (error == QLatin1String("*"))
        QVERIFY(!m_doc.lastError().isEmpty());
    else if (!error.isNull())
        QCOMPARE(m_doc.lastError(), error);
    PdfDocument closed;
    QVERIFY(closed.renderPage(0, 1.0, 0).isNull());
}

// pdfium carries its own FreeType and allocator; both must stay inside the
// library while Qt draws text with the system's fonts in the same process.
void TestPdfDocumentRender::pdfiumAndQtTextShareTheProcess()
{
    const QImage before = m_doc.renderPage(0, 1.0, 0);
    for (const char* family : {"DejaVu Sans", "Liberation Serif", "Noto Sans"}) {
        QImage canvas(400, 80, QImage::Format_ARGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            painter.setPen(Qt::black);
            painter.setFont(QFont(QString::fromLatin1(family), 28));
            painter.drawText(canvas.rect(), Qt::AlignCenter, QStringLiteral("Проверка Qt"));
        }
        QVERIFY2(darkPixels(canvas) > 200, family);
        QCOMPARE(m_doc.renderPage(0, 1.0, 0), before);
    }
}

QTEST_MAIN(TestPdfDocumentRender)
#include "tst_pdfdocument_render.moc"
