#include "IncrementalUpdate.h"
#include "PdfFixtures.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFWriter.hh>

#include <QtTest>

#include <sys/resource.h>

using pdfengine::IncrementalUpdate;
using pdfengine::QpdfFile;

namespace {

// The process's peak resident size so far, in KiB.
long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// megabytes of zeros packed at a zlib level, a megabyte at a time, so the
// unpacked data is never held.
QByteArray packedZeros(int megabytes, int level)
{
    Pl_Buffer out("packed");
    Pl_Flate::setCompressionLevel(level);
    Pl_Flate flate("flate", &out, Pl_Flate::a_deflate);
    const std::string chunk(size_t(1024 * 1024), '\0');
    for (int i = 0; i < megabytes; ++i)
        flate.write(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
    flate.finish();
    Pl_Flate::setCompressionLevel(-1);
    const std::shared_ptr<Buffer> data = out.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
}

} // namespace

class TestIncrementalUpdate : public QObject {
    Q_OBJECT
private slots:
    void packedStreamsAreNeverInflated();
    void comparisonCanStop_data();
    void comparisonCanStop();
};

// A small stream that unpacks to far more than the editor reads (192 MiB of
// zeros in a few hundred kilobytes), changed in an update: the update keeps
// its packed bytes, comparing it with the file's own stops at the limit, and
// neither costs memory near its unpacked size (the comparison holds at
// most the editor's limit of it).
void TestIncrementalUpdate::packedStreamsAreNeverInflated()
{
    const QByteArray first = packedZeros(192, 9);
    const QByteArray second = packedZeros(192, 1);
    QVERIFY(first != second && first.size() < 512 * 1024 && second.size() < 2 * 1024 * 1024);
    const long peakBefore = peakKiB();

    // A file holding the packed stream, reachable from its catalogue.
    QpdfFile source;
    QString error;
    QVERIFY(source.load(fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))), &error));
    QPDFObjGen id;
    QVERIFY2(source.run([&](QPDF& pdf) {
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
        stream.replaceStreamData(first.toStdString(), QPDFObjectHandle::newName("/FlateDecode"),
                                 QPDFObjectHandle::newNull());
        pdf.getRoot().replaceKey("/Packed", stream);
        id = stream.getObjGen();
        QVERIFY(stream.isIndirect());
    }, &error), qPrintable(error));
    QByteArray original;
    QVERIFY2(source.write(&original, [](QPDFWriter& writer) {
        writer.setStreamDataMode(qpdf_s_preserve);
        writer.setObjectStreamMode(qpdf_o_disable);
    }, &error), qPrintable(error));

    // The stream packed anew, appended as an update.
    QpdfFile edited;
    QVERIFY(edited.load(original, &error));
    QByteArray updated;
    bool appended = false;
    QVERIFY2(edited.run([&](QPDF& pdf) {
        QPDFObjectHandle stream = pdf.getRoot().getKey("/Packed");
        stream.replaceStreamData(second.toStdString(), QPDFObjectHandle::newName("/FlateDecode"),
                                 QPDFObjectHandle::newNull());
        appended = IncrementalUpdate::append(pdf, original, {{stream.getObjectID(), stream.getGeneration()}},
                                             &updated, &error);
    }, &error), qPrintable(error));
    QVERIFY2(appended, qPrintable(error));
    QVERIFY(updated.startsWith(original));
    QVERIFY(updated.mid(original.size()).contains(second));

    // The update compared with the file: the stream counts as changed.
    QByteArray trimmed;
    int changed = 0;
    QVERIFY2(IncrementalUpdate::trimmed(original, updated, &trimmed, &changed, &error), qPrintable(error));
    QCOMPARE(changed, 1);
    QVERIFY(trimmed.mid(original.size()).contains(second));

    QpdfFile reread;  // what qpdf reads back is the stream as changed
    QVERIFY2(reread.load(trimmed, &error), qPrintable(error));
    QVERIFY(reread.run([&](QPDF& pdf) {
        const std::shared_ptr<Buffer> raw = pdf.getRoot().getKey("/Packed").getRawStreamData();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(raw->getBuffer()), qsizetype(raw->getSize())), second);
    }, &error));

    const long grown = peakKiB() - peakBefore;
    QVERIFY2(grown < 96 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(grown)));
}

void TestIncrementalUpdate::comparisonCanStop_data()
{
    QTest::addColumn<int>("allowed");  // objects compared before the stop; -1 never stops
    QTest::newRow("before the first object") << 0;
    QTest::newRow("after one object") << 1;
    QTest::newRow("after three objects") << 3;
    QTest::newRow("never") << -1;
}

// Asked before each object, a stop ends the comparison with false and
// leaves the output as it was; without one the update is trimmed.
void TestIncrementalUpdate::comparisonCanStop()
{
    QFETCH(int, allowed);
    const QByteArray original = fixtures::textPdf({QStringLiteral("One"), QStringLiteral("Two")});
    QpdfFile edited;
    QString error;
    QVERIFY(edited.load(original, &error));
    QByteArray updated;
    bool appended = false;
    QVERIFY2(edited.run([&](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().front();
        page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
        appended = IncrementalUpdate::append(pdf, original, {{page.getObjectID(), page.getGeneration()}},
                                             &updated, &error);
    }, &error), qPrintable(error));
    QVERIFY2(appended, qPrintable(error));

    QByteArray out("untouched");
    int changed = -1;
    int asked = 0;
    const bool trimmed = IncrementalUpdate::trimmed(original, updated, &out, &changed, &error, [&] {
        ++asked;
        return allowed < 0 || asked <= allowed;
    });
    if (allowed >= 0) {
        QVERIFY(!trimmed);
        QVERIFY(!error.isEmpty());
        QCOMPARE(out, QByteArray("untouched"));
        QCOMPARE(asked, allowed + 1);
        return;
    }
    QVERIFY2(trimmed, qPrintable(error));
    QVERIFY(asked > 3);
    QCOMPARE(changed, 1);
    QVERIFY(out.startsWith(original) && out.size() > original.size());
}

QTEST_GUILESS_MAIN(TestIncrementalUpdate)
#include "tst_incrementalupdate.moc"
