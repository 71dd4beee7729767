#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::PageSpec;

namespace {

// The part of a displayed-page render under rect (points).
QImage renderedArea(const PdfDocument& doc, const QRectF& rect, double scale)
{
    const QImage page = doc.renderPage(0, scale, 0);
    const double height = doc.pageSize(0).height();
    return page.copy(QRectF(rect.x() * scale, (height - rect.y() - rect.height()) * scale, rect.width() * scale,
                            rect.height() * scale)
                         .toAlignedRect());
}

// Mean difference per channel of two pictures brought to the size of b.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.scaled(b.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    for (int row = 0; row < y.height(); ++row)
        for (int col = 0; col < y.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    return double(sum) / (3.0 * qMax(1, y.width() * y.height()));
}

int countInk(const std::vector<TextBlock>& blocks)
{
    return int(std::count_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.inkRegion; }));
}

// A page whose image sits `depth` forms deep below the page-level form.
QByteArray nestedFormPdf(int depth)
{
    QStringList objects;
    objects << QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>");
    objects << QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
                              "/Resources << /XObject << /Fx 5 0 R >> >> >>");
    objects << QStringLiteral("<< /Length 7 >>\nstream\n/Fx Do\n\nendstream");
    // Forms 5 .. 5 + depth, each calling the next, then the image.
    for (int level = 0; level <= depth; ++level) {
        const bool innermost = level == depth;
        const QString content = innermost ? QStringLiteral("q 100 0 0 80 100 100 cm /Im Do Q") : QStringLiteral("/Fx Do");
        objects << QStringLiteral("<< /Type /XObject /Subtype /Form /BBox [0 0 595 842] /Resources << /XObject << /%1 %2 0 R >> >> "
                                  "/Length %3 >>\nstream\n%4\nendstream")
                       .arg(innermost ? QStringLiteral("Im") : QStringLiteral("Fx"))
                       .arg(6 + level)
                       .arg(content.size() + 1)
                       .arg(content);
    }
    objects << QStringLiteral("<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray "
                              "/BitsPerComponent 8 /Length 4 >>\nstream\n@@@@\nendstream");
    return fixtures::buildPdf(objects);
}

// Two pages drawing one shared grey image object at the same place.
QByteArray sharedImagePdf()
{
    QStringList objects;
    objects << QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>");
    objects << QStringLiteral("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    for (int page = 0; page < 2; ++page)
        objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 5 0 R "
                                  "/Resources << /XObject << /Im 6 0 R >> >> >>");
    const QString content = QStringLiteral("q 200 0 0 100 100 400 cm /Im Do Q");
    objects << QStringLiteral("<< /Length %1 >>\nstream\n%2\nendstream").arg(content.size() + 1).arg(content);
    objects << QStringLiteral("<< /Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceGray "
                              "/BitsPerComponent 8 /Length 8 >>\nstream\n@@@@@@@@\nendstream");
    return fixtures::buildPdf(objects);
}

// Left half red, right half blue: a turned or mirrored copy shows.
QImage halvesPicture(const QSize& size)
{
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::blue);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            picture.setPixel(x, y, qRgb(255, 0, 0));
    return picture;
}

} // namespace

class TestPdfDocumentImages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void imageObjectSizes_data();
    void imageObjectSizes();
    void redStampBecomesInkRegion();
    void inkRegionCount_data();
    void inkRegionCount();
    void imagesInFormsAreFoundFourDeep_data();
    void imagesInFormsAreFoundFourDeep();
    void imagesOnTurnedPageLieWhereShown();
    void picturesShowWhatTheTurnedPageShows_data();
    void picturesShowWhatTheTurnedPageShows();
    void movedFinePictureKeepsItsPixels();
    void editedPictureIsWrittenInPlace_data();
    void editedPictureIsWrittenInPlace();
    void editedInkRegionCoversItsOldInk_data();
    void editedInkRegionCoversItsOldInk();

private:
    std::vector<TextBlock> extractFrom(const QByteArray& pdf);
    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestPdfDocumentImages::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

std::vector<TextBlock> TestPdfDocumentImages::extractFrom(const QByteArray& pdf)
{
    const QString file = m_dir.filePath(QStringLiteral("images-%1.pdf").arg(++m_files));
    PdfDocument doc;
    if (!fixtures::writeFile(file, pdf) || !doc.open(file))
        return {};
    return doc.extractImages(0);
}

void TestPdfDocumentImages::imageObjectSizes_data()
{
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("found");
    const QColor grey(120, 120, 120);
    QTest::newRow("ordinary picture") << QSizeF(200, 150) << grey << true;
    QTest::newRow("coloured picture: an object, no ink region") << QSizeF(120, 120) << QColor(220, 30, 30) << true;
    QTest::newRow("rule 3 points high") << QSizeF(100, 3) << grey << false;
    QTest::newRow("rule 5 points high, ratio 20") << QSizeF(100, 5) << grey << true;
    QTest::newRow("ratio 40") << QSizeF(200, 5) << grey << false;
    QTest::newRow("full-page scan") << QSizeF(590, 830) << grey << false;
    QTest::newRow("more than 0.6 of the page") << QSizeF(500, 620) << grey << false;
}

void TestPdfDocumentImages::imageObjectSizes()
{
    QFETCH(QSizeF, size);
    QFETCH(QColor, colour);
    QFETCH(bool, found);
    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.insertBlankPage(0, QSizeF(595, 842)));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(colour);
    QVERIFY(doc.addImageToPage(0, QPointF(2, 4), size, picture));
    const std::vector<TextBlock> blocks = doc.extractImages(0);
    QCOMPARE(blocks.size(), size_t(found ? 1 : 0));
    if (found) {
        const TextBlock& block = blocks.front();
        QVERIFY(block.isImage && !block.inkRegion && !isInsertedImageObject(block));
        QVERIFY(qAbs(block.rect.x() - 2) < 0.01 && qAbs(block.rect.y() - 4) < 0.01);
        QVERIFY(qAbs(block.rect.width() - size.width()) < 0.01);
    }
}

void TestPdfDocumentImages::redStampBecomesInkRegion()
{
    PageSpec page;
    page.extraContent = QStringLiteral("1 0 0 rg 20 20 40 40 re f 0 0 1 RG 4 w 500 700 m 560 760 l S\n");
    const std::vector<TextBlock> blocks = extractFrom(fixtures::pagesPdf({page}));
    QCOMPARE(blocks.size(), size_t(2));
    QCOMPARE(countInk(blocks), 2);
    const TextBlock& stamp = blocks[0].rect.x() < 100 ? blocks[0] : blocks[1];
    // Grown by 2 pixels at scale 2: one point on every side.
    QVERIFY(qAbs(stamp.rect.x() - 19) < 1.01 && qAbs(stamp.rect.width() - 42) < 1.51);
    const QImage& picture = stamp.image;
    QVERIFY(!picture.isNull());
    QCOMPARE(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 255);
    QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);  // the white page around the stamp is transparent
}

void TestPdfDocumentImages::inkRegionCount_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("regions");
    QTest::newRow("strokes 5 points apart merge") << "0.8 0 0 rg 100 400 30 20 re f 100 375 30 20 re f" << 1;
    QTest::newRow("strokes 12 points apart stay apart") << "0.8 0 0 rg 100 400 30 20 re f 100 368 30 20 re f" << 2;
    QTest::newRow("pale tint and dark grey")
        << "0.99 0.985 0.975 rg 100 100 200 200 re f 0.3 0.3 0.3 rg 350 100 100 100 re f" << 0;
    QTest::newRow("coloured, over 0.2 of the page") << "0 0.6 0 rg 50 50 300 350 re f" << 0;
}

// Grey text beside them is no stamp either.
void TestPdfDocumentImages::inkRegionCount()
{
    QFETCH(QString, content);
    PageSpec page;
    page.runs << fixtures::TextRun{QStringLiteral("Grey text is not a stamp"), 72, 700, 30};
    page.runs[0].color = QColor(100, 100, 110);
    page.extraContent = content + QLatin1Char('\n');
    const std::vector<TextBlock> blocks = extractFrom(fixtures::pagesPdf({page}));
    QCOMPARE(int(blocks.size()), countInk(blocks));
    QTEST(countInk(blocks), "regions");
}

void TestPdfDocumentImages::imagesInFormsAreFoundFourDeep_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("found");
    QTest::newRow("in the page-level form") << 0 << true;
    QTest::newRow("four forms below") << 4 << true;
    QTest::newRow("five forms below") << 5 << false;
}

void TestPdfDocumentImages::imagesInFormsAreFoundFourDeep()
{
    QFETCH(int, depth);
    QFETCH(bool, found);
    const std::vector<TextBlock> blocks = extractFrom(nestedFormPdf(depth));
    QCOMPARE(blocks.size(), size_t(found ? 1 : 0));
    if (found) {
        QVERIFY(qAbs(blocks[0].rect.x() - 100) < 0.5);
        QVERIFY(qAbs(blocks[0].rect.height() - 80) < 0.5);
        QVERIFY(!blocks[0].image.isNull());  // cut from the render
    }
}

void TestPdfDocumentImages::imagesOnTurnedPageLieWhereShown()
{
    PageSpec page;
    page.rotate = 90;
    page.extraContent = QStringLiteral("0 0 0.9 rg 50 700 60 40 re f\n");  // near the unrotated top-left
    const QString file = m_dir.filePath(QStringLiteral("turned-images.pdf"));
    QVERIFY(fixtures::writeFile(file, fixtures::pagesPdf({page})));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const std::vector<TextBlock> blocks = doc.extractImages(0);
    QCOMPARE(blocks.size(), size_t(1));
    // Displayed top-right corner after a clockwise quarter turn.
    const QRectF expected = doc.pageTransform(0).toPage(QRectF(50, 700, 60, 40));
    QVERIFY2(blocks[0].rect.adjusted(-0.01, -0.01, 0.01, 0.01).contains(expected.adjusted(1, 1, -1, -1)), "region on the shown stroke");
    QVERIFY(expected.x() >= 699);
}

void TestPdfDocumentImages::picturesShowWhatTheTurnedPageShows_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("turn");  // rotatePage after opening
    QTest::newRow("upright") << "gs-image.pdf" << 0;
    QTest::newRow("/Rotate 90 from qpdf") << "gs-image-rot90.pdf" << 0;
    QTest::newRow("turned 180 by rotatePage") << "gs-image.pdf" << 180;
    QTest::newRow("turned 270 by rotatePage") << "gs-image.pdf" << 270;
}

// The block's picture is what the page shows at its place, and moving the
// block neither turns nor stretches it nor leaves a second copy to be found.
void TestPdfDocumentImages::picturesShowWhatTheTurnedPageShows()
{
    QFETCH(QString, fixture);
    QFETCH(int, turn);
    constexpr double kScale = 2.0;
    constexpr double kSamePicture = 12.0;  // mean difference per channel, of 255
    PdfDocument doc;
    QVERIFY(doc.open(QStringLiteral(VORN_TEST_DATA "/") + fixture));
    if (turn)
        QVERIFY(doc.rotatePage(0, turn));
    const std::vector<TextBlock> blocks = doc.extractImages(0);
    const auto object = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return !b.inkRegion; });
    QVERIFY(object != blocks.end());
    const QRectF place = object->rect;
    const double pictureAspect = double(object->image.width()) / object->image.height();
    QVERIFY2(qAbs(pictureAspect / (place.width() / place.height()) - 1) < 0.05,
             qPrintable(QStringLiteral("picture %1, place %2").arg(pictureAspect).arg(place.width() / place.height())));
    const QImage shown = renderedArea(doc, place, kScale);
    const double asShown = meanDifference(object->image, shown);
    QVERIFY2(asShown < kSamePicture, qPrintable(QString::number(asShown)));

    TextBlock moved = *object;
    moved.rect.translate(30, -30);
    QVERIFY(doc.overlayOcrText(0, {moved}, false));
    const double afterMove = meanDifference(shown, renderedArea(doc, moved.rect, kScale));
    QVERIFY2(afterMove < kSamePicture, qPrintable(QString::number(afterMove)));
    // The object left under the white-out is not found again.
    std::vector<QRectF> found;
    for (const TextBlock& b : doc.extractImages(0))
        if (!b.inkRegion)
            found.push_back(b.rect);
    QCOMPARE(found.size(), size_t(1));
    QVERIFY(QLineF(found[0].center(), moved.rect.center()).length() < 1);
}

// A 400 x 200 pixel image shown 100 x 50 points large (288 dpi) on a turned
// page: the block carries its pixels, not a 72 dpi copy, and so does the file
// once the block is moved.
void TestPdfDocumentImages::movedFinePictureKeepsItsPixels()
{
    fixtures::ImageSpec fine;
    fine.width = 400;
    fine.height = 200;
    for (int y = 0; y < fine.height; ++y)
        for (int x = 0; x < fine.width; ++x)
            fine.samples += QByteArray(1, char(x * 255 / 399)) + char(y) + char((x ^ y) & 0xFF);
    fine.matrix = fixtures::placement(100, 400, 100, 50);
    const QString file = m_dir.filePath(QStringLiteral("fine.pdf"));
    QVERIFY(fixtures::writeFile(file, fixtures::imagePdf({fine}, {}, 595, 842, 90)));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const std::vector<TextBlock> blocks = doc.extractImages(0);
    QCOMPARE(blocks.size(), size_t(1));
    QVERIFY2(qAbs(blocks[0].image.width() - 200) <= 2 && qAbs(blocks[0].image.height() - 400) <= 2,
             qPrintable(QStringLiteral("%1 x %2").arg(blocks[0].image.width()).arg(blocks[0].image.height())));

    TextBlock moved = blocks[0];
    moved.rect.translate(0, -100);
    QVERIFY(doc.overlayOcrText(0, {moved}, false));
    const QString saved = m_dir.filePath(QStringLiteral("fine-moved.pdf"));
    QVERIFY(doc.saveCopy(saved));
    QVERIFY2(pdftools::installed(QStringLiteral("pdfimages")), "poppler-utils (pdfimages) must be installed by scripts/setup.sh");
    const QList<pdftools::ImageRow> rows = pdftools::listImages(saved);
    QVERIFY(std::any_of(rows.begin(), rows.end(), [](const pdftools::ImageRow& row) {
        return row.type == QLatin1String("image") && row.width * row.height >= 400 * 200 * 9 / 10;
    }));
}

void TestPdfDocumentImages::editedPictureIsWrittenInPlace_data()
{
    QTest::addColumn<QString>("fixture");  // a file of tests/data, or "shared" or "form"
    QTest::addColumn<int>("turn");
    QTest::newRow("ghostscript picture") << "gs-image.pdf" << 0;
    QTest::newRow("ghostscript picture, /Rotate 90 from qpdf") << "gs-image-rot90.pdf" << 0;
    QTest::newRow("ghostscript picture turned 180 by rotatePage") << "gs-image.pdf" << 180;
    QTest::newRow("object shared with another page") << "shared" << 0;
    QTest::newRow("picture inside a form") << "form" << 0;
}

// A block whose picture was edited in place is written at once: the saved page
// shows the new picture upright at the old place, as the one image drawn there.
void TestPdfDocumentImages::editedPictureIsWrittenInPlace()
{
    QFETCH(QString, fixture);
    QFETCH(int, turn);
    constexpr double kScale = 2.0;
    constexpr double kSamePicture = 20.0;
    QString source = QStringLiteral(VORN_TEST_DATA "/") + fixture;
    if (fixture == QLatin1String("shared") || fixture == QLatin1String("form")) {
        source = m_dir.filePath(fixture + QStringLiteral(".pdf"));
        QVERIFY(fixtures::writeFile(source, fixture == QLatin1String("shared") ? sharedImagePdf() : nestedFormPdf(1)));
    }
    PdfDocument doc;
    QVERIFY(doc.open(source));
    if (turn)
        QVERIFY(doc.rotatePage(0, turn));
    std::vector<TextBlock> blocks = doc.extractImages(0);
    const auto object = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return !b.inkRegion; });
    QVERIFY(object != blocks.end());
    TextBlock edited = *object;
    const QImage picture = halvesPicture(QSize(60, 30));
    edited.image = picture;
    edited.imageEdited = true;
    QVERIFY2(doc.overlayOcrText(0, {edited}, false), qPrintable(doc.lastError()));
    QVERIFY(doc.isModified());
    const QString saved = m_dir.filePath(QStringLiteral("edited-%1-%2.pdf").arg(fixture.section('.', 0, 0)).arg(turn));
    QVERIFY(doc.saveCopy(saved));

    PdfDocument reread;
    QVERIFY(reread.open(saved));
    const double difference = meanDifference(picture, renderedArea(reread, edited.rect, kScale));
    QVERIFY2(difference < kSamePicture, qPrintable(QString::number(difference)));
    std::vector<QRectF> found;
    for (const TextBlock& b : reread.extractImages(0))
        if (!b.inkRegion)
            found.push_back(b.rect);
    QCOMPARE(found.size(), size_t(1));
    QVERIFY(QLineF(found[0].center(), edited.rect.center()).length() < 1);

    QVERIFY2(pdftools::installed(QStringLiteral("pdfimages")), "poppler-utils (pdfimages) must be installed by scripts/setup.sh");
    QList<QSize> pageOne, pageTwo;
    for (const pdftools::ImageRow& row : pdftools::listImages(saved))
        if (row.type == QLatin1String("image"))
            (row.page == 1 ? pageOne : pageTwo) << QSize(row.width, row.height);
    if (fixture == QLatin1String("form")) {
        QVERIFY(pageOne.contains(QSize(60, 30)));  // drawn over the covered form
    } else {
        QCOMPARE(pageOne, QList<QSize>{QSize(60, 30)});
    }
    if (fixture == QLatin1String("shared"))
        QCOMPARE(pageTwo, QList<QSize>{QSize(4, 2)});
}

void TestPdfDocumentImages::editedInkRegionCoversItsOldInk_data()
{
    QTest::addColumn<QPointF>("shift");
    QTest::newRow("in place") << QPointF(0, 0);
    QTest::newRow("moved") << QPointF(200, 0);
}

// A red stamp is an ink region; its picture erased but for a blue dot leaves
// no red on the page, wherever the block ends up: the old ink is covered by
// the picture the page showed, not by the new one.
void TestPdfDocumentImages::editedInkRegionCoversItsOldInk()
{
    QFETCH(QPointF, shift);
    constexpr double kScale = 2.0;
    PageSpec page;
    page.extraContent = QStringLiteral("1 0 0 rg 100 500 40 40 re f\n");
    const QString file = m_dir.filePath(QStringLiteral("stamp-%1.pdf").arg(shift.x()));
    QVERIFY(fixtures::writeFile(file, fixtures::pagesPdf({page})));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    std::vector<TextBlock> blocks = doc.extractImages(0);
    QCOMPARE(blocks.size(), size_t(1));
    TextBlock edited = blocks[0];
    QVERIFY(edited.inkRegion);
    QImage dot(edited.image.size(), QImage::Format_ARGB32_Premultiplied);
    dot.fill(Qt::transparent);
    const QRect centre(dot.width() / 2 - 4, dot.height() / 2 - 4, 8, 8);
    for (int y = centre.top(); y <= centre.bottom(); ++y)
        for (int x = centre.left(); x <= centre.right(); ++x)
            dot.setPixel(x, y, qRgb(0, 0, 255));
    edited.originalImage = edited.image;
    edited.image = dot;
    edited.imageEdited = true;
    edited.rect.translate(shift);
    QVERIFY2(doc.overlayOcrText(0, {edited}, false), qPrintable(doc.lastError()));

    const auto count = [](const QImage& area, auto test) {
        int n = 0;
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x)
                n += test(area.pixel(x, y));
        return n;
    };
    const auto red = [](QRgb p) { return qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100; };
    const auto blue = [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100; };
    QCOMPARE(count(renderedArea(doc, blocks[0].originalRect, kScale), red), 0);
    QVERIFY(count(renderedArea(doc, edited.rect, kScale), blue) > 16);
}

QTEST_GUILESS_MAIN(TestPdfDocumentImages)
#include "tst_pdfdocument_images.moc"
