// A page rendered with the view's blocks painted over it, checked by pixel
// regions of generated pages.
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "ScannedPageRender.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr double kScale = 2.0;
constexpr double kPageHeight = 842;

// A4 pages whose content stream is content.
bool openPage(PdfDocument& doc, const QTemporaryDir& dir, const QString& content)
{
    fixtures::PageSpec page;
    page.extraContent = content;
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    return fixtures::writeFile(path, fixtures::pagesPdf({page})) && doc.open(path);
}

// A page rectangle (points, origin bottom left) in image pixels.
QRect pixels(const QRectF& r)
{
    return QRectF(r.x() * kScale, (kPageHeight - r.y() - r.height()) * kScale, r.width() * kScale,
                  r.height() * kScale)
        .toAlignedRect();
}

// Share of the pixels of area whose grey lies within 20 of grey.
double shareNear(const QImage& image, const QRect& area, int grey)
{
    int near = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            near += qAbs(qGray(image.pixel(x, y)) - grey) <= 20 ? 1 : 0;
    return double(near) / double(area.width() * area.height());
}

const QRectF kBox(300, 300, 100, 100);  // the grey square drawn by kGreyBox
const QString kGreyBox = QStringLiteral("0.5 g 300 300 100 100 re f\n");

TextBlock textBlockOver(const QRectF& original, const QRectF& now)
{
    TextBlock block;
    block.rect = now;
    block.originalRect = original;
    return block;
}

// Rows from the first to the last holding a dark pixel.
int inkRows(const QImage& image)
{
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 100) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
        }
    }
    return bottom - top + 1;
}

} // namespace

class ScannedPageRenderTest : public QObject {
    Q_OBJECT

private slots:
    void noBlocksIsThePlainRender()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, kGreyBox));
        const QImage plain = doc.renderPage(0, kScale, 0).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(renderPageWithBlocks(doc, 0, kScale, {}), plain);
    }

    void untouchedBlockChangesNothing()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, kGreyBox));
        TextBlock block = textBlockOver(kBox, kBox);
        block.text = QStringLiteral("same");
        TextBlock::Line line;
        line.text = QStringLiteral("same");
        line.rect = kBox;
        block.lines.push_back(line);
        const QImage plain = renderPageWithBlocks(doc, 0, kScale, {});
        QCOMPARE(renderPageWithBlocks(doc, 0, kScale, {block}), plain);
    }

    // Half a point is the tolerance: beyond it the old place is whited out.
    void movedBeyondHalfAPoint_data()
    {
        QTest::addColumn<double>("shift");
        QTest::addColumn<bool>("whitedOut");
        QTest::newRow("0.4") << 0.4 << false;
        QTest::newRow("0.6") << 0.6 << true;
    }

    void movedBeyondHalfAPoint()
    {
        QFETCH(double, shift);
        QFETCH(bool, whitedOut);
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, kGreyBox));
        const TextBlock block = textBlockOver(kBox, kBox.translated(shift, shift));
        const QImage image = renderPageWithBlocks(doc, 0, kScale, {block});
        const QRect inner = pixels(kBox).adjusted(4, 4, -4, -4);
        QCOMPARE(shareNear(image, inner, 255) > 0.99, whitedOut);
        QCOMPARE(shareNear(image, inner, 128) > 0.99, !whitedOut);
    }

    // Turned in place: whited out, and a picture drawn turned about its centre.
    void turnedBlock()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, kGreyBox));
        TextBlock turnedText = textBlockOver(kBox, kBox);
        turnedText.rotation = 15;
        QImage black(50, 50, QImage::Format_ARGB32);
        black.fill(Qt::black);
        TextBlock picture;
        picture.isImage = true;
        picture.image = black;
        picture.rect = QRectF(100, 500, 100, 100);
        picture.rotation = 15;
        const QImage image = renderPageWithBlocks(doc, 0, kScale, {turnedText, picture});
        QVERIFY(shareNear(image, pixels(kBox).adjusted(4, 4, -4, -4), 255) > 0.99);
        const QRect drawn = pixels(picture.rect);
        QCOMPARE(qGray(image.pixel(drawn.center())), 0);
        // The turned corners leave the rectangle's corners, and reach past its edges.
        QVERIFY(qGray(image.pixel(drawn.topLeft() + QPoint(2, 2))) > 200);
        QVERIFY(qGray(image.pixel(drawn.left() - 8, drawn.center().y() + 60)) < 60 ||
                qGray(image.pixel(drawn.right() + 8, drawn.center().y() - 60)) < 60);
    }

    // An inserted text block covers what lies under it, 2 pixels beyond.
    void insertedBlockWhiteMargin()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, QStringLiteral("0 g 0 0 595 842 re f\n")));
        TextBlock block;
        block.rect = QRectF(100, 100, 200, 50);
        block.textEdited = true;
        const QImage image = renderPageWithBlocks(doc, 0, kScale, {block});
        const QRect r = pixels(block.rect);
        const int y = r.center().y();
        QCOMPARE(qGray(image.pixel(r.left() - 1, y)), 255);
        QCOMPARE(qGray(image.pixel(r.left() - 2, y)), 255);
        QCOMPARE(qGray(image.pixel(r.left() - 4, y)), 0);
        QCOMPARE(qGray(image.pixel(r.right() + 2, y)), 255);
        QCOMPARE(qGray(image.pixel(r.right() + 4, y)), 0);
    }

    // Moving an ink cut-out erases only its ink: the paper around stays.
    void inkRegionMoveKeepsThePaper()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, QStringLiteral("0.75 g 0 0 595 842 re f 0 g 320 320 60 60 re f\n")));
        QImage ink(200, 200, QImage::Format_ARGB32);
        ink.fill(Qt::transparent);
        for (int y = 40; y < 160; ++y)
            for (int x = 40; x < 160; ++x)
                ink.setPixel(x, y, qRgba(0, 0, 0, 255));
        TextBlock block = textBlockOver(kBox, kBox.translated(0, 300));
        block.isImage = true;
        block.inkRegion = true;
        block.image = ink;
        const QImage image = renderPageWithBlocks(doc, 0, kScale, {block});
        const QRect old = pixels(kBox);
        QVERIFY(shareNear(image, QRect(old.x() + 90, old.y() + 90, 20, 20), 255) > 0.99);
        QVERIFY(shareNear(image, QRect(old.x() + 4, old.y() + 4, 20, 20), 191) > 0.99);
        QVERIFY(shareNear(image, pixels(block.rect).adjusted(90, 90, -90, -90), 0) > 0.99);
    }

    // A plain moved image block is erased with its rectangle grown by 2 pixels.
    void movedPictureWhiteOut()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, QStringLiteral("0 g 0 0 595 842 re f\n")));
        QImage picture(10, 10, QImage::Format_ARGB32);
        picture.fill(Qt::black);
        TextBlock block = textBlockOver(kBox, kBox.translated(0, 300));
        block.isImage = true;
        block.image = picture;
        const QImage image = renderPageWithBlocks(doc, 0, kScale, {block});
        const QRect old = pixels(kBox);
        QCOMPARE(qGray(image.pixel(old.left() - 2, old.center().y())), 255);
        QCOMPARE(qGray(image.pixel(old.left() - 4, old.center().y())), 0);
    }

    // Three parts, two lines: the third part goes into the third slot from the top.
    void extraPartTakesASlot()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, QStringLiteral("0.5 g 0 0 595 842 re f\n")));
        TextBlock block;
        block.rect = QRectF(100, 400, 300, 90);
        block.originalRect = block.rect;
        block.text = QStringLiteral("MMMM\nMMMM\nMMMM");
        block.fontSize = 20;
        block.textEdited = true;
        for (int i = 0; i < 2; ++i) {
            TextBlock::Line line;
            line.text = QStringLiteral("MMMM");
            line.rect = QRectF(100, 460 - i * 30, 300, 30);
            line.fontSize = 20;
            block.lines.push_back(line);
        }
        const QImage image = renderPageWithBlocks(doc, 0, kScale, {block});
        // Slot height max(90 / 3, 6) = 30: the third from 400 to 430 points.
        QVERIFY(shareNear(image, pixels(QRectF(100, 400, 120, 30)), 0) > 0.05);
        QVERIFY(shareNear(image, pixels(QRectF(100, 340, 120, 50)), 128) > 0.99);
    }

    // Rich text is scaled with the page: its glyphs at scale 4 stand twice
    // as tall as at scale 2, and at scale 2 a 24-point font is 48 pixels.
    void richTextFollowsTheScale()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, QString()));
        TextBlock block;
        block.rect = QRectF(100, 600, 300, 60);
        block.textEdited = true;
        block.text = QStringLiteral("HHHH");
        block.richText = QStringLiteral("<p><span style='font-size:24pt'>HHHH</span></p>");
        auto inkHeight = [&](double scale) {
            return inkRows(renderPageWithBlocks(doc, 0, scale, {block}));
        };
        const int single = inkHeight(2.0);
        const int twice = inkHeight(4.0);
        QVERIFY2(single > 30 && single < 40, qPrintable(QString::number(single)));
        QVERIFY2(qAbs(twice - 2 * single) <= 3, qPrintable(QStringLiteral("%1 %2").arg(single).arg(twice)));
    }

    // Without sizes, a line's text takes 0.82 of its height.
    void lineSizeFromItsHeight()
    {
        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(openPage(doc, dir, QString()));
        TextBlock block;
        block.rect = QRectF(100, 500, 400, 100);
        block.originalRect = block.rect;
        block.fontSize = 0;
        block.text = QStringLiteral("HHHH");
        block.textEdited = true;
        TextBlock::Line line;
        line.text = QStringLiteral("HHHH");
        line.rect = QRectF(100, 500, 400, 100);
        line.fontSize = 0;
        block.lines.push_back(line);
        const QImage image = renderPageWithBlocks(doc, 0, 1.0, {block});
        // An 82-pixel font: capitals about 55 to 62 pixels tall.
        const int rows = inkRows(image) - 1;
        QVERIFY2(rows > 45 && rows < 75, qPrintable(QString::number(rows)));
    }
};

QTEST_MAIN(ScannedPageRenderTest)
#include "tst_scannedpagerender.moc"
