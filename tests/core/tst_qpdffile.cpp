#include "PdfFixtures.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <QtTest>

#include <stdexcept>

using pdfengine::QpdfFile;

class TestQpdfFile : public QObject {
    Q_OBJECT
private slots:
    void loadsOrSaysWhy_data();
    void loadsOrSaysWhy();
    void exceptionsStayInside();
    void writesWhatItRead();
    void sealedAttachmentsSurviveTheWrite_data();
    void sealedAttachmentsSurviveTheWrite();
    void decodedStreamsStopAtTheirLimit_data();
    void decodedStreamsStopAtTheirLimit();
};

void TestQpdfFile::loadsOrSaysWhy_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("pages");
    QTest::newRow("real producer") << fixtures::readFile(fixtures::realPdf(QStringLiteral("groff-columns-objstm.pdf"))) << true << 2;
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("not a pdf") << QByteArray("hello, this is no PDF at all") << false << 0;
    QByteArray broken = fixtures::readFile(fixtures::realPdf(QStringLiteral("tex-type1.pdf")));
    const qsizetype at = broken.lastIndexOf("startxref");
    broken.replace(at, broken.size() - at, "startxref\n17\n%%EOF\n");
    QTest::newRow("cross-reference lost, rebuilt") << broken << true << -1;
}

void TestQpdfFile::loadsOrSaysWhy()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    QFETCH(int, pages);
    QpdfFile file;
    QString error;
    QCOMPARE(file.load(bytes, &error), loads);
    QCOMPARE(file.isLoaded(), loads);
    if (!loads) {
        QVERIFY(!error.isEmpty());
        return;
    }
    int count = -1;
    const bool ran = file.run([&](QPDF& pdf) { count = int(pdf.getAllPages().size()); }, &error);
    if (pages >= 0) {
        QVERIFY2(ran, qPrintable(error));
        QCOMPARE(count, pages);
        QCOMPARE(file.warningCount(), 0);
    } else {
        QVERIFY(!ran || file.warningCount() > 0);
    }
}

void TestQpdfFile::exceptionsStayInside()
{
    QpdfFile file;
    QString error;
    QVERIFY(!file.run([](QPDF&) {}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(file.load(fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))), &error));
    error.clear();
    QVERIFY(!file.run([](QPDF&) { throw std::runtime_error("boom"); }, &error));
    QCOMPARE(error, QStringLiteral("boom"));
}

void TestQpdfFile::writesWhatItRead()
{
    QpdfFile file;
    QString error;
    QVERIFY(file.load(fixtures::readFile(fixtures::realPdf(QStringLiteral("groff-columns-objstm.pdf"))), &error));
    QByteArray written;
    QVERIFY2(file.write(&written, [](QPDFWriter& w) { w.setObjectStreamMode(qpdf_o_preserve); }, &error),
             qPrintable(error));
    QVERIFY(written.contains("/ObjStm"));
    QpdfFile again;
    QVERIFY2(again.load(written, &error), qPrintable(error));
    int count = 0;
    QVERIFY(again.run([&](QPDF& pdf) { count = int(pdf.getAllPages().size()); }, &error));
    QCOMPARE(count, 2);
}

void TestQpdfFile::sealedAttachmentsSurviveTheWrite_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("decrypts");  // false: readers take /EFF for no filter and give the stored bytes
    QTest::newRow("own crypt filter, password of its own") << "groff-attachment-crypt-filter.pdf" << "attach" << true;
    QTest::newRow("crypt filter for attachments, password of its own")
        << "groff-attachment-password.pdf" << "attach" << false;
    QTest::newRow("crypt filter for attachments, empty password") << "groff-encrypted-attachment.pdf" << "" << false;
}

// A file whose attachments only are encrypted, changed where a writer
// numbering objects anew would move them and written: each attachment is
// read with its password as before, its crypt filter kept, and the pages
// stay clear.
void TestQpdfFile::sealedAttachmentsSurviveTheWrite()
{
    QFETCH(QString, fixture);
    QFETCH(QString, password);
    QFETCH(bool, decrypts);
    // Whether the pages are encrypted; the attachment's data and filter. qpdf's refusals are test failures.
    const auto attached = [&password](const QByteArray& bytes, QByteArray* data, std::string* filter) {
        try {
            QPDF pdf;
            pdf.setSuppressWarnings(true);
            pdf.processMemoryFile("sealed", bytes.constData(), size_t(bytes.size()), password.toUtf8().constData());
            QPDFObjectHandle stream = pdf.getRoot().getKey("/Names").getKey("/EmbeddedFiles").getKey("/Names")
                                          .getArrayItem(1).getKey("/EF").getKey("/F");
            const std::shared_ptr<Buffer> decoded = stream.getStreamData(qpdf_dl_generalized);
            *data = QByteArray(reinterpret_cast<const char*>(decoded->getBuffer()), qsizetype(decoded->getSize()));
            *filter = stream.getDict().getKey("/Filter").unparse();
            return !pdf.getTrailer().getKey("/Encrypt").getKey("/StmF").isNameAndEquals("/Identity");
        } catch (const std::exception& e) {
            *data = QByteArray("qpdf: ") + e.what();
            return true;
        }
    };
    const QByteArray source = fixtures::readFile(fixtures::realPdf(fixture));
    QpdfFile file;
    QString error;
    QVERIFY2(file.load(source, &error), qPrintable(error));
    QVERIFY(file.attachmentsSealed());
    QVERIFY(file.run([](QPDF& pdf) {
        pdf.getRoot().replaceKey("/AA", pdf.makeIndirectObject(QPDFObjectHandle::newDictionary()));
    }, &error));
    QByteArray written;
    QVERIFY2(file.write(&written, {}, &error), qPrintable(error));

    QByteArray before, after;
    std::string filterBefore, filterAfter;
    QVERIFY(!attached(source, &before, &filterBefore));
    QVERIFY(!attached(written, &after, &filterAfter));
    const QByteArray text = fixtures::readFile(QStringLiteral(VORN_TEST_DATA_DIR "/src/scan-ru.txt"));
    QCOMPARE(before.startsWith(text.left(700)), decrypts);
    QCOMPARE(after, before);
    QCOMPARE(filterAfter, filterBefore);
}

void TestQpdfFile::decodedStreamsStopAtTheirLimit_data()
{
    QTest::addColumn<qsizetype>("decoded");
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<bool>("whole");
    QTest::newRow("under the limit") << qsizetype(1000) << qsizetype(4096) << true;
    QTest::newRow("at the limit") << qsizetype(4096) << qsizetype(4096) << true;
    QTest::newRow("one byte over") << qsizetype(4097) << qsizetype(4096) << false;
    // 64 MiB packed into some tens of kilobytes.
    QTest::newRow("inflates far past it") << qsizetype(64) * 1024 * 1024 << qsizetype(1024 * 1024) << false;
}

// A packed stream is decoded no further than asked, and says whether it was whole.
void TestQpdfFile::decodedStreamsStopAtTheirLimit()
{
    QFETCH(qsizetype, decoded);
    QFETCH(qsizetype, limit);
    QFETCH(bool, whole);
    const QByteArray plain(decoded, 'x');
    const QByteArray packed = qCompress(plain, 9).mid(4);  // zlib data without Qt's length prefix
    QpdfFile file;
    QString error;
    QVERIFY(file.load(fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))), &error));
    std::string out;
    bool read = !whole;
    QVERIFY2(file.run([&](QPDF& pdf) {
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
        stream.replaceStreamData(packed.toStdString(), QPDFObjectHandle::newName("/FlateDecode"),
                                 QPDFObjectHandle::newNull());
        read = pdfengine::readDecodedStream(stream, size_t(limit), &out);
    }, &error), qPrintable(error));
    QCOMPARE(read, whole);
    QCOMPARE(qsizetype(out.size()), std::min(decoded, limit));
}

QTEST_GUILESS_MAIN(TestQpdfFile)
#include "tst_qpdffile.moc"
