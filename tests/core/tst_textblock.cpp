#include "TextBlock.h"

#include <QtTest>

class TextBlockTest : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void movedForScannedExport_data();
    void movedForScannedExport();
    void insertedImageObject_data();
    void insertedImageObject();
    void richOnlyWhenEditedWithMarkup_data();
    void richOnlyWhenEditedWithMarkup();
    void nativeLine_data();
    void nativeLine();
    void copiesAreIndependent();
};

void TextBlockTest::defaults()
{
    const TextBlock block;
    QCOMPARE(block.fontSize, 10.0f);
    QCOMPARE(block.color, QColor(Qt::black));
    QVERIFY(block.rect.isNull());
    QVERIFY(block.originalRect.isNull());
    QCOMPARE(block.rotation, 0.0);
    QVERIFY(!block.isTable && !block.isImage && !block.inkRegion && !block.textEdited);
    const TextBlock::Line line;
    QCOMPARE(line.fontSize, 10.0f);
    QCOMPARE(line.color, QColor(Qt::black));
    QVERIFY(line.fontFamily.isEmpty());
}

void TextBlockTest::movedForScannedExport_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QRectF>("original");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<double>("originalRotation");
    QTest::addColumn<bool>("moved");
    const QRectF o(100, 200, 50, 20);
    QTest::newRow("unchanged") << o << o << 0.0 << 0.0 << false;
    QTest::newRow("no origin, rotated") << o << QRectF() << 45.0 << 0.0 << false;
    QTest::newRow("flat origin") << o << QRectF(100, 200, 50, 0) << 0.0 << 0.0 << false;
    QTest::newRow("x by 0.5") << o.translated(0.5, 0) << o << 0.0 << 0.0 << false;
    QTest::newRow("x by 0.51") << o.translated(0.51, 0) << o << 0.0 << 0.0 << true;
    QTest::newRow("y by -0.51") << o.translated(0, -0.51) << o << 0.0 << 0.0 << true;
    QTest::newRow("right edge") << o.adjusted(0, 0, 0.51, 0) << o << 0.0 << 0.0 << true;
    QTest::newRow("top edge") << o.adjusted(0, 0, 0, 0.51) << o << 0.0 << 0.0 << true;
    QTest::newRow("rotation 0.1") << o << o << 0.1 << 0.0 << false;
    QTest::newRow("rotation 0.11") << o << o << 0.11 << 0.0 << true;
    QTest::newRow("rotation -0.11") << o << o << -0.11 << 0.0 << true;
    QTest::newRow("read turned, left as read") << o << o << 90.0 << 90.0 << false;
    QTest::newRow("read turned, turned back upright") << o << o << 0.0 << 90.0 << true;
}

void TextBlockTest::movedForScannedExport()
{
    QFETCH(QRectF, rect);
    QFETCH(QRectF, original);
    QFETCH(double, rotation);
    QFETCH(double, originalRotation);
    TextBlock block;
    block.rect = rect;
    block.originalRect = original;
    block.rotation = rotation;
    block.originalRotation = originalRotation;
    QTEST(scannedExportBlockMoved(block), "moved");
}

void TextBlockTest::insertedImageObject_data()
{
    QTest::addColumn<bool>("isImage");
    QTest::addColumn<bool>("hasPicture");
    QTest::addColumn<QRectF>("original");
    QTest::addColumn<bool>("inserted");
    QTest::newRow("placed by the user") << true << true << QRectF() << true;
    QTest::newRow("zero-height origin") << true << true << QRectF(1, 1, 5, 0) << true;
    QTest::newRow("taken from the page") << true << true << QRectF(1, 1, 5, 5) << false;
    QTest::newRow("no picture") << true << false << QRectF() << false;
    QTest::newRow("text block") << false << true << QRectF() << false;
}

void TextBlockTest::insertedImageObject()
{
    QFETCH(bool, isImage);
    QFETCH(bool, hasPicture);
    QFETCH(QRectF, original);
    TextBlock block;
    block.isImage = isImage;
    if (hasPicture)
        block.image = QImage(4, 4, QImage::Format_RGB32);
    block.originalRect = original;
    QTEST(isInsertedImageObject(block), "inserted");
}

void TextBlockTest::richOnlyWhenEditedWithMarkup_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QString>("richText");
    QTest::addColumn<bool>("rich");
    QTest::newRow("edited with markup") << true << QStringLiteral("<b>x</b>") << true;
    QTest::newRow("edited, blanks only") << true << QStringLiteral(" \n\t ") << false;
    QTest::newRow("markup, not edited") << false << QStringLiteral("<b>x</b>") << false;
}

void TextBlockTest::richOnlyWhenEditedWithMarkup()
{
    QFETCH(bool, edited);
    QFETCH(QString, richText);
    TextBlock block;
    block.textEdited = edited;
    block.richText = richText;
    QTEST(isRichTextBlock(block), "rich");
}

void TextBlockTest::nativeLine_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<float>("size");
    QTest::addColumn<bool>("withSpan");
    QTest::addColumn<bool>("native");
    QTest::newRow("native") << QStringLiteral("Arial") << 10.0f << true << true;
    QTest::newRow("blank family") << QStringLiteral("  ") << 10.0f << true << false;
    QTest::newRow("size 1") << QStringLiteral("Arial") << 1.0f << true << false;
    QTest::newRow("no spans (recognised)") << QStringLiteral("Arial") << 10.0f << false << false;
}

void TextBlockTest::nativeLine()
{
    QFETCH(QString, family);
    QFETCH(float, size);
    QFETCH(bool, withSpan);
    TextBlock::Line line;
    line.fontFamily = family;
    line.fontSize = size;
    if (withSpan)
        line.spans.push_back({});
    QTEST(isNativeLine(line), "native");
}

void TextBlockTest::copiesAreIndependent()
{
    TextBlock source;
    TextBlock::Line line;
    line.text = QStringLiteral("строка");
    line.words.push_back({QStringLiteral("строка"), QRectF(1, 2, 3, 4), 90.0f});
    TextBlock::Line::Span span;
    span.text = QStringLiteral("строка");
    line.spans.push_back(span);
    source.lines.push_back(line);

    TextBlock copy = source;
    copy.lines[0].words[0].text = QStringLiteral("другое");
    copy.lines[0].spans[0].bold = true;
    copy.lines.push_back(line);

    QCOMPARE(source.lines.size(), size_t(1));
    QCOMPARE(source.lines[0].words[0].text, QStringLiteral("строка"));
    QVERIFY(!source.lines[0].spans[0].bold);
}

QTEST_APPLESS_MAIN(TextBlockTest)
#include "tst_textblock.moc"
