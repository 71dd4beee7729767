// Signed documents on save: the signatures a file carries are found when it
// is opened; changes that only add are appended after the signed revision,
// so every signature stays valid for it (checked with pdfsig and qpdf); a
// change that cannot be appended is refused until the caller agrees, and
// leaves the file as it was meanwhile.
#include "BlockFixtures.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfSignatures.h"
#include "PdfTools.h"
#include "QpdfFile.h"
#include "SignatureService.h"
#include "SigningFixtures.h"
#include "TextBlock.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDFWriter.hh>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using fixtures::readFile;
using fixtures::realPdf;
using fixtures::writeFile;

namespace {

const QString kSigner = QStringLiteral("Иванов Иван");

// Each signature pdfsig lists, and how many of them it finds valid.
struct SignatureCheck {
    int listed = 0;
    int valid = 0;
};

SignatureCheck pdfsig(const QString& pdf)
{
    const pdftools::Result run = pdftools::run(QStringLiteral("pdfsig"), {pdf});
    return {int(run.out.count(QStringLiteral("Signature #"))), int(run.out.count(QStringLiteral("Signature is Valid.")))};
}

bool qpdfClean(const QString& pdf)
{
    return pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).exitCode == 0;
}

QByteArray pdfTextString(const QString& text)
{
    QByteArray utf16("\xFE\xFF", 2);
    for (const QChar c : text)
        utf16 += char(c.unicode() >> 8), utf16 += char(c.unicode() & 0xFF);
    return '<' + utf16.toHex() + '>';
}

// A one-page PDF whose form holds the field "Подписи" with a kid
// "Директор" that carries a signature value (the kid inherits /FT), named
// by its dictionary only; its contents are `digits` zeros. gapShift moves
// the range's gap off the contents.
QByteArray fieldTreeSignedPdf(int gapShift, int digits = 64)
{
    QByteArray pdf = "%PDF-1.7\n";
    QList<qsizetype> offsets;
    const auto object = [&](const QByteArray& body) {
        offsets << pdf.size();
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] /SigFlags 3 >> >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    object("<< /FT /Sig /T " + pdfTextString(QStringLiteral("Подписи")) + " /Kids [5 0 R] >>");
    object("<< /Parent 4 0 R /T " + pdfTextString(QStringLiteral("Директор")) + " /V 6 0 R >>");
    object("<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /Name " +
           pdfTextString(QStringLiteral("Петров")) + " /ByteRange [0000000000 0000000000 0000000000 0000000000]" +
           " /Contents <" + QByteArray(digits, '0') + "> >>");
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    const qsizetype gapStart = pdf.indexOf("/Contents <") + 10 + gapShift;
    const qsizetype gapEnd = pdf.indexOf('>', gapStart) + 1;
    const auto number = [](qsizetype n) { return QByteArray::number(n).rightJustified(10, '0'); };
    const QByteArray range = "[" + number(0) + ' ' + number(gapStart) + ' ' + number(gapEnd) + ' ' +
                             number(pdf.size() - gapEnd) + "]";
    pdf.replace(pdf.indexOf("[0000000000"), range.size(), range);
    return pdf;
}

// The field-tree PDF signed as another producer signs: a detached CMS
// signature over its byte range, made by the openssl program. Empty on failure.
QByteArray signedElsewhere(const QString& folder, const signingfixtures::KeyPair& keys)
{
    constexpr int kReservedDigits = 16384;
    QByteArray pdf = fieldTreeSignedPdf(0, kReservedDigits);
    const qsizetype gapStart = pdf.indexOf("/Contents <") + 10;
    const qsizetype gapEnd = pdf.indexOf('>', gapStart) + 1;
    const QString covered = QDir(folder).filePath(QStringLiteral("covered.bin"));
    const QString signature = QDir(folder).filePath(QStringLiteral("covered.der"));
    if (!writeFile(covered, pdf.left(gapStart) + pdf.mid(gapEnd)))
        return {};
    const signingfixtures::Run made = signingfixtures::openssl(
        folder, {"cms", "-sign", "-binary", "-outform", "DER", "-in", covered, "-signer", keys.certificate, "-inkey",
                 keys.key, "-out", signature});
    const QByteArray hex = readFile(signature).toHex().toUpper();
    if (made.exitCode != 0 || hex.isEmpty() || hex.size() > kReservedDigits)
        return {};
    pdf.replace(gapStart + 1, hex.size(), hex);
    return pdf;
}

// A block on the first page that replaces the line holding phrase.
bool rewriteLine(std::vector<TextBlock>& blocks, const QString& phrase, const QString& text)
{
    for (TextBlock& block : blocks) {
        if (block.isImage || !block.text.contains(phrase))
            continue;
        block.textEdited = true;
        block.text = text;
        return true;
    }
    return false;
}

TextBlock invisibleLine()
{
    TextBlock block = fixtures::oneLineBlock(QStringLiteral("Проверка слоя"), QRectF(72, 700, 200, 14), 12);
    block.invisibleText = true;
    block.lines[0].invisibleText = true;
    block.lines[0].words.push_back({block.text, block.rect, 90});
    return block;
}

QImage facsimile()
{
    QImage picture(120, 60, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int x = 10; x < 110; ++x)
        picture.setPixel(x, 30 + (x % 7), qRgba(20, 40, 160, 255));
    return picture;
}

using Change = std::function<bool(PdfDocument&)>;

} // namespace

class TestSignedSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void signaturesAreRead_data();
    void signaturesAreRead();
    void addedChangesKeepSignatures_data();
    void addedChangesKeepSignatures();
    void removalsWaitForConsent_data();
    void removalsWaitForConsent();
    void savedTwiceKeepsEachRevision();
    void signatureOfAnotherProducerKept();

private:
    QString signedCopy(const QString& fixture, const QString& name);

    QTemporaryDir m_dir;
    signingfixtures::KeyPair m_keys;
    QMap<QString, QString> m_signed;  // fixture name → its signed copy, made once
};

void TestSignedSave::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(pdftools::installed(QStringLiteral("pdfsig")) && pdftools::installed(QStringLiteral("qpdf")),
             "poppler-utils and qpdf are needed to check the saved files");
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("settings")));
    QSettings().setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    m_keys = signingfixtures::selfSigned(m_dir.path(), QStringLiteral("keys"), signingfixtures::cyrillicSubject());
    QVERIFY(!m_keys.certificate.isEmpty());
    for (const QString fixture : {"groff-columns.pdf", "gs-helvetica.pdf", "libreoffice-heading.pdf"}) {
        SignatureRequest request;
        request.inputPath = realPdf(fixture);
        request.outputPath = m_dir.filePath(QStringLiteral("signed-") + fixture);
        request.mode = EmbeddedPdf;
        request.certificatePath = m_keys.certificate;
        request.privateKeyPath = m_keys.key;
        const SignatureResult result = SignatureService::signFile(request);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(pdfsig(request.outputPath).valid, 1);
        m_signed.insert(fixture, request.outputPath);
    }
}

// A fresh copy of the signed fixture to change and save over.
QString TestSignedSave::signedCopy(const QString& fixture, const QString& name)
{
    const QString path = m_dir.filePath(name + QStringLiteral(".pdf"));
    QFile::remove(path);
    return QFile::copy(m_signed.value(fixture), path) ? path : QString();
}

void TestSignedSave::signaturesAreRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("field");  // its start
    QTest::addColumn<QString>("signer");
    QTest::addColumn<qint64>("end");     // -1: the whole file

    const QByteArray signedBytes = readFile(m_signed.value(QStringLiteral("groff-columns.pdf")));
    QTest::newRow("signed by the program") << signedBytes << 1 << "VornSignature" << kSigner << qint64(-1);
    QTest::newRow("inherited type, named by its dictionary")
        << fieldTreeSignedPdf(0) << 1 << "Подписи.Директор" << "Петров" << qint64(-1);

    PdfDocument later;
    QVERIFY(later.open(m_signed.value(QStringLiteral("groff-columns.pdf"))));
    QVERIFY(later.rotatePage(0, 90));
    const QString appended = m_dir.filePath(QStringLiteral("later-update.pdf"));
    QVERIFY(later.save(appended));
    QTest::newRow("a later update appended") << readFile(appended) << 1 << "VornSignature" << kSigner
                                             << qint64(signedBytes.size());

    pdfengine::QpdfFile file;
    QByteArray rewritten;
    QVERIFY(file.load(signedBytes, nullptr));
    QVERIFY(file.write(&rewritten, [](QPDFWriter&) {}, nullptr));
    QTest::newRow("written anew") << rewritten << 0 << "" << "" << qint64(0);
    QTest::newRow("cut short") << signedBytes.left(signedBytes.size() - 40) << 0 << "" << "" << qint64(0);
    QTest::newRow("gap beside the contents") << fieldTreeSignedPdf(1) << 0 << "" << "" << qint64(0);
    QTest::newRow("no form") << readFile(realPdf(QStringLiteral("groff-columns.pdf"))) << 0 << "" << ""
                             << qint64(0);
}

void TestSignedSave::signaturesAreRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    QFETCH(QString, field);
    QFETCH(QString, signer);
    QFETCH(qint64, end);
    const std::vector<PdfSignature> found = PdfSignatures::read(bytes);
    QCOMPARE(int(found.size()), count);
    if (count == 0)
        return;
    QVERIFY2(found[0].fieldName.startsWith(field), qPrintable(found[0].fieldName));
    QCOMPARE(found[0].signer, signer);
    QCOMPARE(found[0].revisionEnd, end < 0 ? qint64(bytes.size()) : end);

    // The document knows them as soon as it is open.
    const QString path = m_dir.filePath(QStringLiteral("read.pdf"));
    QVERIFY(writeFile(path, bytes));
    PdfDocument document;
    QVERIFY2(document.open(path), qPrintable(document.lastError()));
    QCOMPARE(int(document.signatures().size()), count);
    QCOMPARE(document.signatures()[0].signer, signer);
}

void TestSignedSave::addedChangesKeepSignatures_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("pages");  // after the change; the file grows unless the change undid itself

    const QString picture = m_dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(facsimile().save(picture));
    QTest::newRow("page turned") << "groff-columns.pdf" << Change([](PdfDocument& d) { return d.rotatePage(1, 90); })
                                 << 2;
    QTest::newRow("page moved") << "groff-columns.pdf" << Change([](PdfDocument& d) { return d.movePage(0, 1); }) << 2;
    QTest::newRow("blank page inserted")
        << "gs-helvetica.pdf" << Change([](PdfDocument& d) { return d.insertBlankPage(0, QSizeF(595, 842)); }) << 2;
    QTest::newRow("facsimile placed") << "libreoffice-heading.pdf" << Change([](PdfDocument& d) {
        return d.addImageToPage(0, QPointF(300, 80), QSizeF(120, 60), facsimile());
    }) << 1;
    QTest::newRow("pages of a PDF imported") << "gs-helvetica.pdf" << Change([](PdfDocument& d) {
        return d.importDocument(realPdf(QStringLiteral("groff-columns.pdf")));
    }) << 3;
    QTest::newRow("picture imported as a page")
        << "groff-columns.pdf" << Change([picture](PdfDocument& d) { return d.importDocument(picture); }) << 3;
    QTest::newRow("text highlighted") << "libreoffice-heading.pdf" << Change([](PdfDocument& d) {
        return d.addHighlightAnnot(0, QRectF(70, 700, 200, 20), QColor(255, 230, 0));
    }) << 1;
    QTest::newRow("free text added") << "gs-helvetica.pdf" << Change([](PdfDocument& d) {
        return d.addFreeText(0, QRectF(72, 100, 300, 30), QStringLiteral("Принято к исполнению"),
                             QStringLiteral("DejaVu Sans"), 12, Qt::black);
    }) << 1;
    QTest::newRow("searchable layer written")
        << "groff-columns.pdf" << Change([](PdfDocument& d) { return d.overlayOcrText(0, {invisibleLine()}, false); })
        << 2;
    QTest::newRow("page added and deleted again") << "gs-helvetica.pdf" << Change([](PdfDocument& d) {
        return d.insertBlankPage(1, QSizeF(595, 842)) && d.deletePage(1);
    }) << 1;
}

// Saved over the signed file: the signed revision stays its prefix, every
// signature stays valid for it, the file passes qpdf's check and holds the
// change.
void TestSignedSave::addedChangesKeepSignatures()
{
    QFETCH(QString, fixture);
    QFETCH(Change, change);
    QFETCH(int, pages);
    const bool undone = QByteArray(QTest::currentDataTag()).contains("again");
    const QString path = signedCopy(fixture, QStringLiteral("added"));
    const QByteArray before = readFile(path);
    PdfDocument document;
    QVERIFY(document.open(path));
    QCOMPARE(int(document.signatures().size()), 1);
    QVERIFY2(change(document), qPrintable(document.lastError()));
    QVERIFY2(document.save(path), qPrintable(document.lastError()));
    QVERIFY(!document.saveRefusedForSignatures());

    const QByteArray after = readFile(path);
    QCOMPARE(after.size() > before.size(), !undone);
    QVERIFY(after.startsWith(before));
    const SignatureCheck check = pdfsig(path);
    QCOMPARE(check.listed, 1);
    QCOMPARE(check.valid, 1);
    QVERIFY(qpdfClean(path));
    QCOMPARE(pdftools::pageCount(path), pages);
    QCOMPARE(int(document.signatures().size()), 1);
    QVERIFY(!document.isModified());
}

void TestSignedSave::removalsWaitForConsent_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<Change>("change");

    QTest::newRow("page of the file deleted")
        << "groff-columns.pdf" << Change([](PdfDocument& d) { return d.deletePage(0); });
    QTest::newRow("line replaced") << "libreoffice-heading.pdf" << Change([](PdfDocument& d) {
        std::vector<TextBlock> blocks = d.extractText(0);
        return rewriteLine(blocks, QStringLiteral("ТЕХНИЧЕСКОЕ"), QStringLiteral("ПРОЕКТ")) &&
               d.overlayOcrText(0, blocks, false);
    });
    QTest::newRow("line deleted") << "gs-helvetica.pdf" << Change([](PdfDocument& d) {
        std::vector<TextBlock> blocks = d.extractText(0);
        return rewriteLine(blocks, QStringLiteral("All files were carried"), QString()) &&
               d.overlayOcrText(0, blocks, false);
    });
}

// The save that would write the file anew is refused, naming the signer; the
// file, a copy for the timer and the document wait. With consent the file is
// written anew and carries no valid signature any more.
void TestSignedSave::removalsWaitForConsent()
{
    QFETCH(QString, fixture);
    QFETCH(Change, change);
    const QString path = signedCopy(fixture, QStringLiteral("removed"));
    const QByteArray before = readFile(path);
    PdfDocument document;
    QVERIFY(document.open(path));
    QVERIFY2(change(document), qPrintable(document.lastError()));

    QVERIFY(!document.save(path));
    QVERIFY(document.saveRefusedForSignatures());
    QVERIFY2(document.lastError().contains(kSigner), qPrintable(document.lastError()));
    QCOMPARE(readFile(path), before);
    QVERIFY(document.isModified());
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.pdf"));
    QFile::remove(elsewhere);
    QVERIFY(!document.saveAs(elsewhere));
    QVERIFY(!document.saveCopy(elsewhere, PdfDocument::SignedRevisions::Keep));
    QVERIFY(!QFileInfo::exists(elsewhere));
    QCOMPARE(document.filePath(), path);

    QVERIFY2(document.save(path, PdfDocument::SignedRevisions::MayInvalidate), qPrintable(document.lastError()));
    QVERIFY(!document.saveRefusedForSignatures());
    QVERIFY(!readFile(path).startsWith(before));
    QVERIFY(qpdfClean(path));
    QCOMPARE(pdfsig(path).valid, 0);
    QVERIFY(document.signatures().empty());
    // Nothing is left to protect: the next save goes ahead.
    QVERIFY(document.rotatePage(0, 90));
    QVERIFY2(document.save(path), qPrintable(document.lastError()));
}

// Turned and saved, then a facsimile placed and saved, then saved as another
// file: each file keeps the signed revision as its prefix and the signature
// valid, each save appending after the last.
void TestSignedSave::savedTwiceKeepsEachRevision()
{
    const QString path = signedCopy(QStringLiteral("groff-columns.pdf"), QStringLiteral("twice"));
    const QByteArray signedBytes = readFile(path);
    PdfDocument document;
    QVERIFY(document.open(path));
    QVERIFY(document.rotatePage(0, 90));
    QVERIFY2(document.save(path), qPrintable(document.lastError()));
    const QByteArray turned = readFile(path);
    QVERIFY(document.addImageToPage(1, QPointF(200, 100), QSizeF(120, 60), facsimile()));
    QVERIFY2(document.save(path), qPrintable(document.lastError()));
    const QByteArray placed = readFile(path);
    QVERIFY(turned.startsWith(signedBytes));
    QVERIFY(placed.startsWith(turned) && placed.size() > turned.size());
    QCOMPARE(pdfsig(path).valid, 1);
    QVERIFY(qpdfClean(path));

    const QString copy = m_dir.filePath(QStringLiteral("twice-copy.pdf"));
    QVERIFY(document.insertBlankPage(0, QSizeF(595, 842)));
    QVERIFY2(document.saveAs(copy), qPrintable(document.lastError()));
    QVERIFY(readFile(copy).startsWith(placed));
    QCOMPARE(pdfsig(copy).valid, 1);
    QCOMPARE(readFile(path), placed);
    QCOMPARE(pdftools::pageCount(copy), 3);
}

// A signature this program did not make, on a field of a field tree: the
// page turned and a facsimile placed, saved over the file, it stays valid.
void TestSignedSave::signatureOfAnotherProducerKept()
{
    const QByteArray signedBytes = signedElsewhere(m_dir.path(), m_keys);
    QVERIFY(!signedBytes.isEmpty());
    const QString path = m_dir.filePath(QStringLiteral("elsewhere-signed.pdf"));
    QVERIFY(writeFile(path, signedBytes));
    QCOMPARE(pdfsig(path).valid, 1);
    PdfDocument document;
    QVERIFY(document.open(path));
    QCOMPARE(int(document.signatures().size()), 1);
    QCOMPARE(document.signatures()[0].signer, kSigner);
    QCOMPARE(document.signatures()[0].fieldName, QStringLiteral("Подписи.Директор"));
    QVERIFY(document.rotatePage(0, 90));
    QVERIFY(document.addImageToPage(0, QPointF(20, 20), QSizeF(120, 60), facsimile()));
    QVERIFY2(document.save(path), qPrintable(document.lastError()));
    QVERIFY(readFile(path).startsWith(signedBytes));
    QCOMPARE(pdfsig(path).valid, 1);
    QVERIFY(qpdfClean(path));
}

QTEST_GUILESS_MAIN(TestSignedSave)
#include "tst_signedsave.moc"
