#include "IncrementalUpdate.h"
#include "PageRemovalTrial.h"
#include "PdfEngineInternal.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QtTest>

namespace {

// The file's bytes with a black rectangle (points) drawn over its first page,
// appended as an update.
QByteArray withMark(const QByteArray& original, const QRectF& mark)
{
    pdfengine::QpdfFile file;
    QString error;
    if (!file.load(original, &error))
        return {};
    QByteArray out;
    bool appended = false;
    file.run([&](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().front();
        const std::string draw = QStringLiteral("q 0 g %1 %2 %3 %4 re f Q\n")
                                     .arg(mark.x()).arg(mark.y()).arg(mark.width()).arg(mark.height())
                                     .toStdString();
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf, draw);
        page.addPageContents(stream, false);
        appended = pdfengine::IncrementalUpdate::append(
            pdf, original,
            {{stream.getObjectID(), stream.getGeneration()}, {page.getObjectID(), page.getGeneration()}}, &out, &error);
    }, &error);
    return appended ? out : QByteArray();
}

} // namespace

class TestPageRemovalTrial : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void changesOutsideTheAreasAreFound_data();
    void changesOutsideTheAreasAreFound();
};

void TestPageRemovalTrial::initTestCase()
{
    PdfDocument warm;  // loads pdfium
    QVERIFY(warm.open(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))));
}

void TestPageRemovalTrial::changesOutsideTheAreasAreFound_data()
{
    QTest::addColumn<QRectF>("mark");
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<bool>("kept");
    const QRectF mark(300, 400, 24, 24);
    QTest::newRow("inside the edited box") << mark << mark.adjusted(-2, -2, 2, 2) << true;
    QTest::newRow("half outside it") << mark << mark.adjusted(12, -2, 2, 2) << false;
    QTest::newRow("far from it") << mark << QRectF(72, 700, 200, 20) << false;
    QTest::newRow("a speck, under edge noise") << QRectF(300, 400, 2, 2) << QRectF(72, 700, 200, 20) << true;
    QTest::newRow("in the page's corner") << QRectF(0, 0, 24, 24) << QRectF(72, 700, 200, 20) << false;
}

// A page is kept only where nothing outside the edited boxes looks different,
// for pdfium and poppler alike.
void TestPageRemovalTrial::changesOutsideTheAreasAreFound()
{
    QFETCH(QRectF, mark);
    QFETCH(QRectF, area);
    QFETCH(bool, kept);
    const QByteArray before = fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")));
    const QByteArray after = withMark(before, mark);
    QVERIFY(!after.isEmpty());
    QString reason;
    QMutexLocker lock(&pdfiumMutex());
    QCOMPARE(pdfengine::bytesChangeOnlyInside(before, after, 0, {area}, true, &reason), kept);
    QCOMPARE(reason.isEmpty(), kept);
}

QTEST_GUILESS_MAIN(TestPageRemovalTrial)
#include "tst_pageremovaltrial.moc"
