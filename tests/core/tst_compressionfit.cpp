// The size fit on real documents: a text manual, the same manual encrypted,
// and a scanned page, under limits below, at and above the source; the copy
// written with the chosen settings is read back from outside.
#include "CompressionFit.h"
#include "PdfFixtures.h"
#include "PdfTools.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Options = PdfDocument::CompressionOptions;

constexpr int kThreads = 2;

int wordCount(const QString& pdf)
{
    const pdftools::Result result = pdftools::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf,
                                                                                  QStringLiteral("-")});
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return int(result.out.split(space, Qt::SkipEmptyParts).size());
}

int outlineCount(const QList<PdfDocument::OutlineItem>& items)
{
    int count = int(items.size());
    for (const PdfDocument::OutlineItem& item : items)
        count += outlineCount(item.children);
    return count;
}

struct Entry {
    qint64 bytes;
    bool keepsText;
};

} // namespace

class TestCompressionFit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void choice_data();
    void choice();
    void fitOverRealDocuments_data();
    void fitOverRealDocuments();
    void rasterEstimatesMatchTheEngine();
    void encryptedFileIsNamed();

private:
    QTemporaryDir m_dir;
};

void TestCompressionFit::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char* tool : {"pdftotext", "pdfimages"})
        QVERIFY2(pdftools::installed(QLatin1String(tool)), tool);
}

void TestCompressionFit::choice_data()
{
    QTest::addColumn<QList<qint64>>("bytes");
    QTest::addColumn<QList<bool>>("keepsText");
    QTest::addColumn<qint64>("target");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("fits");

    const QList<qint64> falling{1000, 990, 980, 970, 960, 950};
    const QList<bool> noText(falling.size(), false);
    QTest::newRow("first that fits, not the smallest") << falling << noText << qint64(995) << 1 << true;
    QTest::newRow("a target equal to an estimate fits") << falling << noText << qint64(960) << 4 << true;
    QTest::newRow("none fits: the smallest") << falling << noText << qint64(5) << 5 << false;
    QTest::newRow("a tie for the smallest keeps the earlier")
        << QList<qint64>{500, 100, 500, 100} << QList<bool>(4, false) << qint64(50) << 1 << false;
    QTest::newRow("none fits: the smallest that keeps the text, not a smaller picture")
        << QList<qint64>{900, 800, 300, 200} << QList<bool>{true, true, false, false} << qint64(10) << 1 << false;
    QTest::newRow("a picture that fits is still first to fit")
        << QList<qint64>{900, 800, 300, 200} << QList<bool>{true, true, false, false} << qint64(350) << 2 << true;
    QTest::newRow("sizes below one never count")
        << QList<qint64>{0, -1, 700} << QList<bool>{true, true, false} << qint64(10) << 2 << false;
    QTest::newRow("nothing with a size") << QList<qint64>{0, -1} << QList<bool>{true, false} << qint64(10) << -1
                                         << false;
}

void TestCompressionFit::choice()
{
    QFETCH(QList<qint64>, bytes);
    QFETCH(QList<bool>, keepsText);
    QFETCH(qint64, target);
    QFETCH(int, index);
    QFETCH(bool, fits);
    QList<Entry> entries;
    for (int i = 0; i < bytes.size(); ++i)
        entries.append({bytes.at(i), keepsText.at(i)});
    const CompressionFitChoice choice = chooseCompressionFitEntry(entries, target);
    QCOMPARE(choice.index, index);
    QCOMPARE(choice.fits, fits);
}

// limit: the target as a share of the source size in per mille (0: one byte).
void TestCompressionFit::fitOverRealDocuments_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<bool>("rasterized");
    QTest::addColumn<bool>("picturesKept");  // the pictures come back byte for byte

    QTest::newRow("manual, limit above the source") << "pdftex-manual.pdf" << 2000 << true << false << true;
    QTest::newRow("manual, limit at the source") << "pdftex-manual.pdf" << 1000 << true << false << true;
    QTest::newRow("manual, limit of one byte: the text stays") << "pdftex-manual.pdf" << 0 << false << false
                                                               << false;
    QTest::newRow("manual, limit below the source: pictures of pages") << "pdftex-manual.pdf" << 700 << true
                                                                        << true << false;
    QTest::newRow("scan, limit above the source") << "gs-scan.pdf" << 2000 << true << false << true;
    QTest::newRow("scan, limit at the source") << "gs-scan.pdf" << 1000 << true << false << true;
    QTest::newRow("scan, limit below the source") << "gs-scan.pdf" << 600 << true << true << false;
}

void TestCompressionFit::fitOverRealDocuments()
{
    QFETCH(QString, name);
    QFETCH(int, limit);
    QFETCH(bool, fits);
    QFETCH(bool, rasterized);
    QFETCH(bool, picturesKept);

    const QString source = fixtures::realPdf(name);
    const qint64 sourceSize = QFileInfo(source).size();
    const qint64 target = limit == 0 ? 1 : sourceSize * limit / 1000;
    const CompressionFit::Outcome outcome = CompressionFit::run(source, target, kThreads);
    QVERIFY2(outcome.choice.index >= 0, qPrintable(outcome.error));
    QCOMPARE(outcome.choice.fits, fits);
    for (const CompressionFitEstimate& estimate : outcome.estimates)
        QVERIFY2(estimate.bytes > 0 && estimate.bytes <= sourceSize, qPrintable(estimate.label));
    if (fits)  // the search stops at its choice
        QCOMPARE(outcome.choice.index, int(outcome.estimates.size()) - 1);
    const CompressionFitEstimate& chosen = outcome.estimates.at(outcome.choice.index);
    QCOMPARE(chosen.options.rasterizePages, rasterized);
    QVERIFY(!fits || chosen.bytes <= target);

    PdfDocument document;
    QVERIFY(document.open(source));
    const QString written = m_dir.filePath(QStringLiteral("%1-%2.pdf").arg(QFileInfo(name).baseName()).arg(limit));
    QVERIFY2(document.compressTo(written, chosen.options), qPrintable(document.lastError()));
    QCOMPARE(QFileInfo(written).size(), chosen.bytes);
    PdfDocument copy;
    QVERIFY(copy.open(written));
    if (!rasterized) {
        QCOMPARE(wordCount(written), wordCount(source));
        QCOMPARE(outlineCount(copy.outline()), outlineCount(document.outline()));
    } else {
        QCOMPARE(wordCount(written), 0);
    }
    if (picturesKept) {
        const QList<pdftools::ImageRow> before = pdftools::listImages(source);
        const QList<pdftools::ImageRow> after = pdftools::listImages(written);
        QCOMPARE(after.size(), before.size());
        for (int i = 0; i < before.size(); ++i) {
            QCOMPARE(after.at(i).width, before.at(i).width);
            QCOMPARE(after.at(i).encoding, before.at(i).encoding);
            QCOMPARE(after.at(i).xPpi, before.at(i).xPpi);
        }
    }
}

// Shared renders give every rasterising preset the engine's own forecast.
void TestCompressionFit::rasterEstimatesMatchTheEngine()
{
    const QString source = fixtures::realPdf(QStringLiteral("gs-scan.pdf"));
    const CompressionFit::Outcome outcome = CompressionFit::run(source, 1, kThreads);
    PdfDocument document;
    QVERIFY(document.open(source));
    int compared = 0;
    for (const CompressionFitEstimate& estimate : outcome.estimates) {
        if (!estimate.options.rasterizePages)
            continue;
        QCOMPARE(estimate.bytes, document.estimateCompressedSize(estimate.options));
        ++compared;
    }
    QVERIFY(compared >= 4);
}

// The copy that keeps the text of an encrypted file is the file itself, and
// its label says so.
void TestCompressionFit::encryptedFileIsNamed()
{
    const QString source = fixtures::realPdf(QStringLiteral("pdftex-manual-encrypted.pdf"));
    QVERIFY(CompressionFit::isEncryptedFile(source));
    QVERIFY(!CompressionFit::isEncryptedFile(fixtures::realPdf(QStringLiteral("pdftex-manual.pdf"))));
    // Neither a missing file nor one that is no PDF throws or counts.
    QVERIFY(!CompressionFit::isEncryptedFile(m_dir.filePath(QStringLiteral("missing.pdf"))));
    QVERIFY(!CompressionFit::isEncryptedFile(fixtures::realPdf(QStringLiteral("make-fixtures.sh"))));
    const qint64 sourceSize = QFileInfo(source).size();
    const CompressionFit::Outcome outcome = CompressionFit::run(source, sourceSize, kThreads);
    QVERIFY(outcome.encrypted);
    QVERIFY(outcome.choice.fits);
    const CompressionFitEstimate& chosen = outcome.estimates.at(outcome.choice.index);
    QVERIFY(!chosen.options.rasterizePages);
    QCOMPARE(chosen.bytes, sourceSize);
    QVERIFY2(chosen.label.contains(QStringLiteral("без сжатия")), qPrintable(chosen.label));
}

QTEST_MAIN(TestCompressionFit)
#include "tst_compressionfit.moc"
