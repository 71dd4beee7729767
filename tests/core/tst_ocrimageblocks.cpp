#include "OcrImageBlocks.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QtTest>

namespace {

constexpr double kScale = 1.0; // 1 px per point keeps the geometry readable
constexpr int kPageW = 400;
constexpr int kPageH = 600;

QImage blankPage()
{
    QImage image(kPageW, kPageH, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// A checker picture: ink density 0.5.
void drawPicture(QImage &image, const QRect &r)
{
    QPainter painter(&image);
    for (int y = r.top(); y <= r.bottom(); y += 2)
        for (int x = r.left() + (y / 2) % 2; x <= r.right(); x += 2)
            painter.fillRect(x, y, 1, 2, Qt::black);
}

QRectF pointsOf(const QRect &r)
{
    return QRectF(r.left(), kPageH - r.bottom() - 1, r.width(), r.height());
}

TextBlock textBlock(std::vector<TextBlock::Line::Word> words)
{
    TextBlock block;
    TextBlock::Line line;
    QStringList texts;
    for (const auto &w : words) {
        texts << w.text;
        line.rect = line.rect.isNull() ? w.rect : line.rect.united(w.rect);
    }
    line.text = texts.join(' ');
    line.words = std::move(words);
    block.lines.push_back(line);
    block.text = line.text;
    block.rect = block.originalRect = line.rect;
    return block;
}

TextBlock imageBlock(const QRectF &rect)
{
    TextBlock block;
    block.isImage = true;
    block.rect = block.originalRect = rect;
    return block;
}

// A strip of a page rendered at 300 dpi, drawn in points (top-down), with the
// ink box of every word drawn on it.
struct TextStrip {
    static constexpr double kScale = 300.0 / 72.0;
    static constexpr double kWidthPt = 300;
    static constexpr double kHeightPt = 80;
    QImage image;
    QPainter painter;
    QFont font{QStringLiteral("Liberation Serif")};
    std::vector<QRectF> inkBoxes; // points, top-down

    TextStrip() : image(int(kWidthPt * kScale), int(kHeightPt * kScale), QImage::Format_RGB32)
    {
        image.fill(Qt::white);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(kScale, kScale);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        font.setPixelSize(12);
    }

    // Words left to right from x on the baseline; returns the x after the last.
    double row(const QStringList &words, double x, double baseline)
    {
        const QFontMetricsF metrics(font);
        for (const QString &w : words) {
            QPainterPath path;
            path.addText(QPointF(x, baseline), font, w);
            painter.drawPath(path);
            inkBoxes.push_back(path.boundingRect());
            x += metrics.horizontalAdvance(w + QLatin1Char(' '));
        }
        return x;
    }

    static QRectF toPdf(const QRectF &topDown)
    {
        return QRectF(topDown.x(), kHeightPt - topDown.bottom(), topDown.width(), topDown.height());
    }
};

} // namespace

class OcrImageBlocksTest : public QObject {
    Q_OBJECT
private slots:
    void regions_data();
    void regions();
    void pictureBecomesImageBlock();
    void offsetOneLetterBoxInTextRow();
    void inkOffRecognisedWordsIsImage();
    void componentFilter_data();
    void componentFilter();
    void noiseWords_data();
    void noiseWords();
    void noiseText_data();
    void noiseText();
};

void OcrImageBlocksTest::regions_data()
{
    QTest::addColumn<QImage>("image");  // 1 px per point
    QTest::addColumn<QList<QRectF>>("words");
    QTest::addColumn<int>("regions");
    QTest::addColumn<int>("width");  // of the one region's picture; 0: not checked
    QImage tiny(16, 16, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    QTest::newRow("tiny page") << tiny << QList<QRectF>() << 0 << 0;
    QTest::newRow("null image") << QImage() << QList<QRectF>() << 0 << 0;
    QImage covered = blankPage();
    drawPicture(covered, QRect(50, 50, 120, 60));
    QTest::newRow("ink inside words is text") << covered << QList<QRectF>{pointsOf(QRect(50, 50, 120, 60))} << 0 << 0;
    // A 13 px stroke is 17 px wide after dilation, below the 18 px minimum; a
    // second stroke 3 px away joins it through the dilation, wide enough.
    QImage stroke = blankPage();
    QPainter(&stroke).fillRect(100, 300, 13, 40, Qt::black);
    QTest::newRow("narrow stroke") << stroke << QList<QRectF>() << 0 << 0;
    QImage strokes = blankPage();
    {
        QPainter p(&strokes);
        for (int x : {100, 116})
            for (int y = 300; y < 340; y += 3)
                p.fillRect(x, y, 13, 1, Qt::black);
    }
    QTest::newRow("two strokes join") << strokes << QList<QRectF>() << 1 << 0;
    // Dilated regions 1 px apart, within g = 5 px: one picture over both.
    QImage near = blankPage();
    drawPicture(near, QRect(100, 100, 30, 30));
    drawPicture(near, QRect(135, 100, 30, 30));
    QTest::newRow("near pictures merge") << near << QList<QRectF>() << 1 << 65 + 2 * 5;
    QImage tall = blankPage();
    drawPicture(tall, QRect(100, 100, 100, int(0.38 * kPageH) + 2));
    QTest::newRow("taller than 0.38 of the page") << tall << QList<QRectF>() << 0 << 0;
    QImage grid = blankPage();
    {
        QPainter p(&grid);
        for (int y = 100; y <= 220; y += 30)
            p.fillRect(40, y, 320, 2, Qt::black);
        for (int x : {40, 140, 358})
            p.fillRect(x, 100, 2, 122, Qt::black);
    }
    QTest::newRow("table grid") << grid << QList<QRectF>() << 0 << 0;
}

void OcrImageBlocksTest::regions()
{
    QFETCH(QImage, image);
    QFETCH(QList<QRectF>, words);
    QFETCH(int, width);
    const auto blocks = detectImageBlocks(image, {words.begin(), words.end()}, 0, kScale, image.height());
    QTEST(int(blocks.size()), "regions");
    if (width)
        QCOMPARE(blocks[0].image.width(), width);
}

void OcrImageBlocksTest::pictureBecomesImageBlock()
{
    QImage image = blankPage();
    const QRect picture(100, 200, 120, 80);
    drawPicture(image, picture);
    const auto blocks = detectImageBlocks(image, {}, 4, kScale, kPageH);
    QCOMPARE(blocks.size(), size_t(1));
    const TextBlock &b = blocks[0];
    QVERIFY(b.isImage);
    QCOMPARE(b.pageIndex, 4);
    // Dilated by 2 px and grown by 3 px on every side.
    const QRect grown = picture.adjusted(-5, -5, 5, 5);
    QCOMPARE(b.rect, pointsOf(grown));
    QCOMPARE(b.image.size(), grown.size());
}

void OcrImageBlocksTest::offsetOneLetterBoxInTextRow()
{
    // The recogniser boxes a one-letter word half a glyph left of its ink; the
    // uncovered half is no picture, and as one it would delete the word.
    TextStrip strip;
    strip.row({QStringLiteral("в"), QStringLiteral("количестве"), QStringLiteral("и"), QStringLiteral("в"),
               QStringLiteral("сроки")},
              10, 40);
    strip.painter.end();
    std::vector<QRectF> words;
    for (const QRectF &box : strip.inkBoxes)
        words.push_back(TextStrip::toPdf(box));
    QRectF &letter = words[2];
    letter.translate(-0.5 * letter.width(), 0);
    const auto blocks = detectImageBlocks(strip.image, words, 0, TextStrip::kScale, TextStrip::kHeightPt);
    QVERIFY2(blocks.empty(), qPrintable(QString::number(blocks.size())));
}

void OcrImageBlocksTest::inkOffRecognisedWordsIsImage()
{
    // A letter with no recognised word beside it, and a signature beside a
    // word but taller than the text: each stays one (small) image.
    for (const bool signature : {false, true}) {
        TextStrip strip;
        const double x = strip.row({signature ? QStringLiteral("Подпись") : QStringLiteral("количестве")}, 10, signature ? 45 : 25);
        QPainterPath extra(QPointF(x, 50));
        if (signature) {
            extra.cubicTo(x + 10, 15, x + 20, 70, x + 30, 30);
            extra.cubicTo(x + 40, 10, x + 50, 60, x + 60, 40);
            strip.painter.setBrush(Qt::NoBrush);
            strip.painter.setPen(QPen(Qt::black, 1.5));
            strip.painter.drawPath(extra);
        } else {
            strip.row({QStringLiteral("и")}, 150, 65);
        }
        strip.painter.end();
        const QRectF ink = signature ? extra.boundingRect() : strip.inkBoxes[1];
        const auto blocks = detectImageBlocks(strip.image, {TextStrip::toPdf(strip.inkBoxes[0])}, 0,
                                              TextStrip::kScale, TextStrip::kHeightPt);
        QCOMPARE(blocks.size(), size_t(1));
        QVERIFY(blocks[0].rect.contains(TextStrip::toPdf(ink).center()));
    }
}

void OcrImageBlocksTest::componentFilter_data()
{
    QTest::addColumn<ImageComponent>("component");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("ordinary") << ImageComponent{0, 0, 49, 39, 500} << true;
    QTest::newRow("17 wide") << ImageComponent{0, 0, 16, 39, 300} << false;
    QTest::newRow("15 high") << ImageComponent{0, 0, 49, 14, 300} << false;
    QTest::newRow("69 ink pixels") << ImageComponent{0, 0, 49, 39, 69} << false;
    QTest::newRow("too dense") << ImageComponent{0, 0, 49, 39, 1441} << false;
    QTest::newRow("density 0.72") << ImageComponent{0, 0, 49, 39, 1440} << true;
    QTest::newRow("too sparse") << ImageComponent{0, 0, 99, 99, 299} << false;
    QTest::newRow("too elongated") << ImageComponent{0, 0, 379, 16, 1000} << false;
    QTest::newRow("too tall for the page") << ImageComponent{0, 0, 49, 228, 2000} << false;
    QTest::newRow("inverted bounds") << ImageComponent{10, 0, 5, 30, 200} << false;
}

void OcrImageBlocksTest::componentFilter()
{
    QFETCH(ImageComponent, component);
    QTEST(isImageLikeComponent(component, QSize(kPageW, kPageH)), "accepted");
}

void OcrImageBlocksTest::noiseWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("confidence");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<bool>("removed");
    const QRectF onStamp(110, 110, 40, 10);
    // A word read with confidence 60 or more is never noise.
    QTest::newRow("two letters, sure") << QStringLiteral("РФ") << 90.0f << onStamp << false;
    QTest::newRow("two letters, unsure") << "ab" << 59.0f << onStamp << true;
    QTest::newRow("eight letters, 60") << QStringLiteral("Печатный") << 60.0f << onStamp << false;
    QTest::newRow("eight letters, 55") << QStringLiteral("Печатный") << 55.0f << onStamp << true;
    QTest::newRow("off the stamp") << "ab" << 40.0f << QRectF(300, 300, 40, 10) << false;
    QTest::newRow("touching by 15 %") << "ab" << 40.0f << QRectF(66, 110, 40, 10) << false;
}

void OcrImageBlocksTest::noiseWords()
{
    QFETCH(QString, text);
    QFETCH(float, confidence);
    QFETCH(QRectF, rect);
    std::vector<TextBlock> blocks = {textBlock({{QStringLiteral("Директор"), QRectF(0, 110, 80, 10), 95},
                                                {text, rect, confidence}})};
    removeImageNoiseWords(blocks, {imageBlock(QRectF(100, 100, 100, 100))});
    QFETCH(bool, removed);
    QCOMPARE(blocks[0].lines[0].words.size(), removed ? size_t(1) : size_t(2));
    if (removed) {
        QCOMPARE(blocks[0].text, QStringLiteral("Директор"));
        QCOMPARE(blocks[0].rect, QRectF(0, 110, 80, 10));
    }
}

void OcrImageBlocksTest::noiseText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("overlap");
    QTest::addColumn<float>("confidence");
    QTest::addColumn<bool>("removed");
    QTest::newRow("3 chars, 13 %") << "abc" << 0.13 << 50.0f << true;
    QTest::newRow("3 chars, 11 %") << "abc" << 0.11 << 50.0f << false;
    QTest::newRow("5 chars, 50 %") << "abcde" << 0.5 << 50.0f << false;
    QTest::newRow("5 chars, 60 %") << "abcde" << 0.6 << 50.0f << true;
    QTest::newRow("12 chars, whole") << "abcdefghijkl" << 1.0 << 50.0f << false;
    QTest::newRow("3 chars, whole, sure") << QStringLiteral("ИНН") << 1.0 << 60.0f << false;
}

void OcrImageBlocksTest::noiseText()
{
    QFETCH(QString, text);
    QFETCH(double, overlap);
    QFETCH(float, confidence);
    TextBlock block = textBlock({{text, QRectF(100 - 100 * (1 - overlap), 150, 100, 10), confidence}});
    std::vector<TextBlock> blocks = {block, imageBlock(QRectF(300, 300, 10, 10))};
    removeImageNoiseText(blocks, {imageBlock(QRectF(100, 100, 100, 100))});
    QFETCH(bool, removed);
    QCOMPARE(blocks.size(), removed ? size_t(1) : size_t(2));
    QVERIFY(blocks.back().isImage);
}

QTEST_MAIN(OcrImageBlocksTest)
#include "tst_ocrimageblocks.moc"
