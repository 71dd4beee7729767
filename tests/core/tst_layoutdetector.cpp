#include "LayoutDetector.h"

#include <QtTest>

namespace {

// The decoders compute in single precision.
bool sameRect(const QRectF &a, const QRectF &b)
{
    const auto near = [](double x, double y) { return qAbs(x - y) < 1e-6; };
    return near(a.left(), b.left()) && near(a.top(), b.top()) && near(a.right(), b.right())
           && near(a.bottom(), b.bottom());
}

} // namespace

class LayoutDetectorTest : public QObject {
    Q_OBJECT
private slots:
    void neverLoadsNorDetects();
    void preprocessPlanes();
    void decodeYolo();
    void postNmsRows();
    void suppressionAcrossClasses();
    void classSchemes_data();
    void classSchemes();
};

void LayoutDetectorTest::neverLoadsNorDetects()
{
    LayoutDetector detector;
    QVERIFY(!detector.load(QStringLiteral("layout.onnx")));
    QVERIFY(!detector.isLoaded());
    QVERIFY(!detector.lastError().isEmpty());
    QImage page(50, 50, QImage::Format_RGB32);
    page.fill(Qt::white);
    QVERIFY(detector.detect(page, 0.1f, 0.5f).empty());
}

void LayoutDetectorTest::preprocessPlanes()
{
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 51));
    image.setPixel(1, 0, qRgb(0, 102, 255));
    const std::vector<float> t = LayoutDetector::preprocess(image, 2, 1);
    const std::vector<float> expected = {1.0f, 0.0f, 0.0f, 0.4f, 0.2f, 1.0f};
    QCOMPARE(t.size(), expected.size());
    for (size_t i = 0; i < t.size(); ++i)
        QVERIFY2(qAbs(t[i] - expected[i]) < 1e-6f, qPrintable(QString::number(i)));
    QVERIFY(LayoutDetector::preprocess(QImage(), 2, 2).empty());
    QVERIFY(LayoutDetector::preprocess(image, 0, 2).empty());
}

void LayoutDetectorTest::decodeYolo()
{
    // Two classes, three candidates: rows cx, cy, w, h, score0, score1.
    const float data[] = {
        0.5f, 1.5f, 0.2f,  // cx
        0.5f, 1.5f, 0.2f,  // cy
        0.2f, 0.2f, 0.2f,  // w
        0.4f, 0.2f, 0.2f,  // h
        0.1f, 0.9f, 0.3f,  // class 0
        0.8f, 0.2f, 0.3f,  // class 1
    };
    const auto blocks = LayoutDetector::decodeYolo(data, 6, 3, 2, 0.3f);
    // Candidate 1 lies wholly outside [0, 1]; candidate 2 ties at 0.3 and takes class 0.
    QCOMPARE(blocks.size(), size_t(2));
    QCOMPARE(blocks[0].classId, 1);
    QCOMPARE(blocks[0].score, 0.8f);
    QVERIFY(sameRect(blocks[0].rect, QRectF(QPointF(0.4, 0.3), QPointF(0.6, 0.7))));
    QCOMPARE(blocks[1].classId, 0);

    // Candidate-first rows: cx, cy, w, h, then the class scores.
    const float rows[] = {
        0.05f, 0.5f, 0.2f, 0.2f, 0.7f, 0.1f, 0.0f, // clamped at the left edge
        0.5f,  0.5f, 0.2f, 0.2f, 0.2f, 0.1f, 0.0f, // under the threshold
    };
    const auto edge = LayoutDetector::decodeYolo(rows, 2, 7, 3, 0.5f);
    QCOMPARE(edge.size(), size_t(1));
    QCOMPARE(edge[0].rect.left(), 0.0);
    QVERIFY(qAbs(edge[0].rect.right() - 0.15) < 1e-6);
    // Malformed shapes are refused.
    QVERIFY(LayoutDetector::decodeYolo(rows, 1, 4, 3, 0.0f).empty()); // rows shorter than 4 + 3
    QVERIFY(LayoutDetector::decodeYolo(nullptr, 7, 1, 3, 0.0f).empty());
    QVERIFY(LayoutDetector::decodeYolo(rows, -1, 4, 3, 0.0f).empty());
}

void LayoutDetectorTest::postNmsRows()
{
    const float data[] = {
        100, 200, 300, 600, 0.9f, 3.7f,
        0, 0, 10, 10, 0.49f, 1,
        -50, -50, -10, -10, 0.9f, 1, // empty after clamping
    };
    QVERIFY(LayoutDetector::decodePostNMS(data, 3, 0, 1000, 0.5f).empty());
    QVERIFY(LayoutDetector::decodePostNMS(data, 0, 1000, 1000, 0.5f).empty());
    const auto blocks = LayoutDetector::decodePostNMS(data, 3, 1000, 1000, 0.5f);
    QCOMPARE(blocks.size(), size_t(1));
    QCOMPARE(blocks[0].classId, 3);
    QVERIFY(sameRect(blocks[0].rect, QRectF(QPointF(0.1, 0.2), QPointF(0.3, 0.6))));
}

void LayoutDetectorTest::suppressionAcrossClasses()
{
    QCOMPARE(LayoutDetector::iou(QRectF(0, 0, 2, 1), QRectF(1, 0, 2, 1)), 1.0f / 3.0f);
    QCOMPARE(LayoutDetector::iou(QRectF(0, 0, 1, 1), QRectF(2, 2, 1, 1)), 0.0f);
    QCOMPARE(LayoutDetector::iou(QRectF(0, 0, 0, 1), QRectF(0, 0, 1, 1)), 0.0f);
    std::vector<LayoutBlock> blocks = {{QRectF(0, 0, 1, 0.5), 2, 0.7f},
                                       {QRectF(0, 0, 1, 0.8), 5, 0.9f},
                                       {QRectF(0.9, 0.9, 0.1, 0.1), 1, 0.3f}};
    QCOMPARE(LayoutDetector::iou(blocks[0].rect, blocks[1].rect), 0.625f);
    LayoutDetector::nms(blocks, 0.5f);
    QCOMPARE(blocks.size(), size_t(2));
    QCOMPARE(blocks[0].classId, 5);
    QCOMPARE(blocks[1].classId, 1);
}

void LayoutDetectorTest::classSchemes_data()
{
    QTest::addColumn<int>("classCount");
    QTest::addColumn<bool>("alternative");
    QTest::addColumn<int>("modelClass");
    QTest::addColumn<LayoutClass>("expected");
    QTest::newRow("few: 4") << 5 << false << 4 << LayoutClass::Figure;
    QTest::newRow("few: 5") << 5 << false << 5 << LayoutClass::Unknown;
    QTest::newRow("many: 0") << 10 << false << 0 << LayoutClass::Caption;
    QTest::newRow("many: 9") << 10 << false << 9 << LayoutClass::Text;
    QTest::newRow("many: 10") << 10 << false << 10 << LayoutClass::Title;
    QTest::newRow("many: 11") << 10 << false << 11 << LayoutClass::Unknown;
    QTest::newRow("alternative: 5") << 10 << true << 5 << LayoutClass::Table;
    QTest::newRow("alternative: 9") << 10 << true << 9 << LayoutClass::Caption;
    QTest::newRow("alternative: 10") << 10 << true << 10 << LayoutClass::Unknown;
    QTest::newRow("negative") << 10 << false << -1 << LayoutClass::Unknown;
}

void LayoutDetectorTest::classSchemes()
{
    QFETCH(int, classCount);
    QFETCH(bool, alternative);
    QFETCH(int, modelClass);
    LayoutDetector detector;
    detector.setClassCount(classCount);
    detector.setAlternativeClassScheme(alternative);
    QTEST(detector.mapClass(modelClass), "expected");
}

QTEST_APPLESS_MAIN(LayoutDetectorTest)
#include "tst_layoutdetector.moc"
