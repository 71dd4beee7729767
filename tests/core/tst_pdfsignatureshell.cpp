// The embedded signature's update on bytes: what is refused, what the update
// keeps of the document, and signed files read back by pdfsig, qpdf and openssl.
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "SignatureService.h"
#include "SigningFixtures.h"
#include "SigningInternal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace signingfixtures;

namespace {

const QStringList kPlainObjects{
    "<< /Type /Catalog /Pages 2 0 R >>",
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
};

// One incremental update of pdf: the objects (number, body) and a classic
// xref section whose trailer holds entries and /Prev.
QByteArray withUpdate(const QByteArray& pdf, const QList<QPair<int, QByteArray>>& objects, const QByteArray& entries)
{
    const qsizetype previous = pdf.mid(pdf.lastIndexOf("startxref") + 10).trimmed().split('\n').first().toLongLong();
    QByteArray out = pdf;
    QByteArray xref = "xref\n";
    for (const auto& [number, body] : objects) {
        xref += QByteArray::number(number) + " 1\n" + QByteArray::number(out.size()).rightJustified(10, '0') + " 00000 n \n";
        out += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    const qsizetype at = out.size();
    return out + xref + "trailer\n<< " + entries + " /Prev " + QByteArray::number(previous) + " >>\nstartxref\n"
        + QByteArray::number(at) + "\n%%EOF\n";
}

// A classic table whose trailer's /XRefStm lists the page (object 3, of
// pageBody) in an object stream: qpdf reads it, its written text is not
// at hand.
QByteArray hybridPdf(const QByteArray& pageBody)
{
    QByteArray out = "%PDF-1.5\n";
    QList<qsizetype> offsets;
    const auto add = [&](int number, const QByteArray& body) {
        offsets << out.size();
        out += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    add(1, kPlainObjects.at(0).toLatin1());
    add(2, kPlainObjects.at(1).toLatin1());
    const QByteArray packed = "3 0 " + pageBody;
    add(4, "<< /Type /ObjStm /N 1 /First 4 /Length " + QByteArray::number(packed.size()) + " >>\nstream\n" + packed
               + "\nendstream");
    const QByteArray entry("\x02\x00\x04\x00", 4);
    add(5, "<< /Type /XRef /Size 6 /W [1 2 1] /Index [3 1] /Length 4 >>\nstream\n" + entry + "\nendstream");
    const qsizetype xref = out.size();
    out += "xref\n0 3\n0000000000 65535 f \n";
    for (qsizetype offset : offsets.mid(0, 2))
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "4 2\n";
    for (qsizetype offset : offsets.mid(2))
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    return out + "trailer\n<< /Size 6 /Root 1 0 R /XRefStm " + QByteArray::number(offsets.last()) + " >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
}

QByteArray plainPdf()
{
    return fixtures::buildPdf(kPlainObjects);
}

QByteArray withTrailer(const QByteArray& trailerEntries)
{
    QByteArray pdf = plainPdf();
    pdf.replace("/Size 4 /Root 1 0 R", trailerEntries);
    return pdf;
}

// The four ByteRange numbers of the newest signature dictionary.
QList<qint64> byteRange(const QByteArray& pdf)
{
    static const QRegularExpression pattern(QStringLiteral("/ByteRange \\[(\\d+) (\\d+) (\\d+) (\\d+)\\]"));
    QRegularExpressionMatch last;
    for (const QRegularExpressionMatch& match : pattern.globalMatch(QString::fromLatin1(pdf)))
        last = match;
    QList<qint64> numbers;
    for (int i = 1; i <= 4 && last.hasMatch(); ++i)
        numbers << last.captured(i).toLongLong();
    return numbers;
}

QString decodedTextString(const QByteArray& hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (!bytes.startsWith("\xFE\xFF"))
        return {};
    QString text;
    for (qsizetype at = 2; at + 1 < bytes.size(); at += 2)
        text += QChar(ushort((uchar(bytes.at(at)) << 8) | uchar(bytes.at(at + 1))));
    return text;
}

// A shell and the signed file it describes: the source followed by the update.
struct Prepared {
    bool ok = false;
    QString error;
    PdfSignatureShell shell;
    QByteArray whole;
};

} // namespace

class PdfSignatureShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusals_data();
    void refusals();
    void updates_data();
    void updates();
    void mutatedCopies();
    void textStrings_data();
    void textStrings();
    void dates_data();
    void dates();
    void reserveBoundary();
    void signedFilesReadBack_data();
    void signedFilesReadBack();
    void signedFileRefusedAgain();
    void selfCheck_data();
    void selfCheck();

private:
    // The shell of pdf, read from a scratch file as signing reads its input.
    Prepared prepare(const QByteArray& pdf, const QString& signer = {})
    {
        const QString path = m_dir.filePath(QStringLiteral("source.pdf"));
        Prepared prepared;
        if (!fixtures::writeFile(path, pdf)) {
            prepared.error = QStringLiteral("scratch file not written");
            return prepared;
        }
        QFile source(path);
        source.open(QIODevice::ReadOnly);
        prepared.ok = preparePdfSignatureShell(&source, signer, &prepared.shell, &prepared.error);
        if (prepared.ok)
            prepared.whole = pdf + prepared.shell.update;
        return prepared;
    }

    SignatureRequest embeddedRequest(const QString& input, const QString& output) const
    {
        SignatureRequest request;
        request.inputPath = input;
        request.outputPath = output;
        request.mode = EmbeddedPdf;
        request.certificatePath = m_keys.certificate;
        request.privateKeyPath = m_keys.key;
        return request;
    }

    QTemporaryDir m_dir;
    KeyPair m_keys;
};

void PdfSignatureShellTest::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-ecp"));
    QSettings().setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    QVERIFY(m_dir.isValid());
    m_keys = selfSigned(m_dir.path(), QStringLiteral("keys"), cyrillicSubject());
    QVERIFY(!m_keys.certificate.isEmpty());
    for (const char* program : {"pdfsig", "qpdf", "openssl"})
        QVERIFY2(pdftools::installed(QLatin1String(program)), program);
}

void PdfSignatureShellTest::refusals_data()
{
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<QString>("error");

    const QString badStartxref = QStringLiteral("В PDF некорректный startxref.");
    const QString rootOrSize = QStringLiteral("В trailer PDF не найдены /Root или /Size.");
    const QString xrefStream = QStringLiteral("Встроенная подпись не поддерживается для PDF, сохранённых с потоком "
                                              "перекрёстных ссылок (сжатой структурой PDF 1.5 и новее).");
    QByteArray plain = plainPdf();
    QTest::newRow("empty") << QByteArray() << "В PDF не найден startxref.";
    QTest::newRow("no startxref") << QByteArray(plain).replace("startxref", "startxrex") << "В PDF не найден startxref.";
    QTest::newRow("startxref without a number") << plain.left(plain.lastIndexOf("startxref") + 10) + "x\n%%EOF"
                                                << badStartxref;
    QTest::newRow("startxref past the end") << plain.left(plain.lastIndexOf("startxref") + 10) + "99999999\n%%EOF"
                                            << badStartxref;
    QTest::newRow("startxref not at an xref") << plain.left(plain.lastIndexOf("startxref") + 10) + "0\n%%EOF"
                                              << badStartxref;
    const QByteArray streamUpdate = plain + "4 0 obj\n<< /Type /XRef /Size 5 /W [1 2 1] /Root 1 0 R /Length 0 "
        "/Prev " + QByteArray::number(plain.indexOf("xref")) + " >>\nstream\n\nendstream\nendobj\nstartxref\n"
        + QByteArray::number(plain.size()) + "\n%%EOF\n";
    QTest::newRow("later update with an xref stream") << streamUpdate << xrefStream;
    QTest::newRow("no /Root") << withTrailer("/Size 4") << rootOrSize;
    QTest::newRow("/Size beyond 64 bits")
        << withTrailer("/Size 99999999999999999999 /Root 1 0 R")
        << "Не удалось прочитать структуру PDF: overflow/underflow converting 99999999999999999999 to 64-bit integer";
    QTest::newRow("/Root beyond an int") << withTrailer("/Size 4 /Root 4294967297 0 R") << rootOrSize;
    QTest::newRow("catalog missing") << withTrailer("/Size 12 /Root 9 0 R") << "Не найден объект каталога PDF 9 0 obj.";
    QTest::newRow("catalog generation differs") << withTrailer("/Size 4 /Root 1 1 R")
                                                << "Не найден объект каталога PDF 1 1 obj.";
    QTest::newRow("catalog not a dictionary")
        << fixtures::buildPdf({"[1 0 R]", kPlainObjects.at(1), kPlainObjects.at(2)}) << "Каталог PDF не является словарём.";
    QTest::newRow("catalog dictionary unclosed")
        << fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R", kPlainObjects.at(1), kPlainObjects.at(2)})
        << "Не удалось прочитать словарь каталога PDF.";
    const QString acroForm =
        QStringLiteral("PDF уже содержит AcroForm. Встроенная подпись для таких PDF будет добавлена отдельным этапом.");
    QTest::newRow("catalog with a form")
        << fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [] >> >>", kPlainObjects.at(1),
                               kPlainObjects.at(2)})
        << acroForm;
    QTest::newRow("form added by a later update")
        << withUpdate(plain, {{1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 5 0 R >>"}}, "/Size 6 /Root 1 0 R")
        << acroForm;
    const QString encrypted = QStringLiteral("Встроенная подпись для зашифрованных PDF не поддерживается.");
    QTest::newRow("encrypted") << withTrailer("/Size 4 /Root 1 0 R /Encrypt 3 0 R") << encrypted;
    const QString clear = m_dir.filePath(QStringLiteral("clear.pdf"));
    fixtures::writeFile(clear, plain);
    for (const char* user : {"", "user"}) {
        const QString locked = m_dir.filePath(QStringLiteral("locked-%1.pdf").arg(QLatin1String(user)));
        pdftools::run(QStringLiteral("qpdf"), {"--encrypt", QLatin1String(user), "owner", "256", "--", clear, locked});
        QTest::newRow(*user ? "encrypted with a user password" : "encrypted, opens without one")
            << fixtures::readFile(locked) << encrypted;
    }
    QTest::newRow("no pages") << fixtures::buildPdf({kPlainObjects.at(0), "<< /Type /Pages /Kids [] /Count 0 >>"})
                              << "В PDF нет страниц, подпись некуда поместить.";
    // Mended by qpdf, read otherwise by others: no signature vouches for it.
    QByteArray offTable = plain;
    const qsizetype catalogEntry = offTable.indexOf("0000000000 65535 f \n") + 20;
    offTable.replace(catalogEntry, 10, "0000000001");
    QTest::newRow("table entry off its object")
        << offTable
        << "PDF повреждён, и программы просмотра могут показать его по-разному: встроенная подпись не добавлена. "
           "Сохраните документ заново и подпишите сохранённый файл.";
    // Held in an object stream, the page can only be written again from
    // qpdf's reading, which would leave the font out.
    QTest::newRow("page in an object stream naming an object not there")
        << hybridPdf("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 9 0 R >> >> >>")
        << "PDF повреждён, и программы просмотра могут показать его по-разному: встроенная подпись не добавлена. "
           "Сохраните документ заново и подпишите сохранённый файл.";
    QTest::newRow("annotation list not a list")
        << fixtures::buildPdf({kPlainObjects.at(0), kPlainObjects.at(1),
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots 4 0 R >>", "<< /A 1 >>"})
        << "Список аннотаций первой страницы PDF повреждён.";
}

void PdfSignatureShellTest::refusals()
{
    QFETCH(QByteArray, pdf);
    QFETCH(QString, error);
    const Prepared prepared = prepare(pdf);
    QVERIFY(!prepared.ok);
    QCOMPARE(prepared.error, error);
    QVERIFY(prepared.shell.update.isEmpty());
}

void PdfSignatureShellTest::updates_data()
{
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<QByteArray>("kept");  // must be in the new catalog or trailer
    QTest::addColumn<int>("firstNumber");  // of the signature dictionary

    const QByteArray plain = plainPdf();
    QTest::newRow("plain") << plain << QByteArray("/Pages 2 0 R") << 4;
    QTest::newRow("no newline at the end") << plain.chopped(1) << QByteArray("/Pages 2 0 R") << 4;
    QTest::newRow("info and identifier kept")
        << withTrailer("/Size 4 /Root 1 0 R /Info 3 0 R /ID [<0A1B> (a]b)]") << QByteArray("/Info 3 0 R /ID [ <0a1b> (a]b) ]")
        << 4;
    QTest::newRow("newest catalog, its form removed")
        << withUpdate(fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R /AcroForm << >> >>", kPlainObjects.at(1),
                                          kPlainObjects.at(2)}),
                      {{1, "<< /Type /Catalog /Pages 2 0 R /Lang (ru) >>"}}, "/Size 4 /Root 1 0 R")
        << QByteArray("/Lang (ru)") << 4;
    QTest::newRow("reserve-like bytes in the source")
        << fixtures::buildPdf({kPlainObjects.at(0), kPlainObjects.at(1),
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [4 0 R] >>",
                               "<< /Type /Annot /Subtype /Text /Rect [0 0 9 9] /Contents <FEFF0041> "
                               "/X [00000000000000000000 00000000000000000000 00000000000000000000 00000000000000000000] >>"})
        << QByteArray("/Annots [4 0 R 6 0 R]") << 5;
    const QByteArray attachedCatalog("1 0 obj\n<< /Type /Catalog /Pages 2 0 R /AcroForm 9 0 R >>\nendobj\n");
    QTest::newRow("a PDF inside a stream after the catalog")
        << fixtures::buildPdf({kPlainObjects.at(0), kPlainObjects.at(1), kPlainObjects.at(2),
                               "<< /Type /EmbeddedFile /Length " + QString::number(attachedCatalog.size()) + " >>\nstream\n"
                                   + QString::fromLatin1(attachedCatalog) + "\nendstream"})
        << QByteArray("/Type /Catalog /Pages 2 0 R /AcroForm << /SigFlags 3") << 5;
    QTest::newRow("/Size just under the limit") << withTrailer("/Size 8388606 /Root 1 0 R") << QByteArray("/Size 8388608")
                                               << 8388606;
    // /Size that says too little or too much: numbers above the objects in use.
    QTest::newRow("/Size beyond an int") << withTrailer("/Size 2147483647 /Root 1 0 R") << QByteArray("/Size 6") << 4;
    QTest::newRow("/Size at the object limit") << withTrailer("/Size 8388607 /Root 1 0 R") << QByteArray("/Size 6") << 4;
    QTest::newRow("/Root at /Size") << withTrailer("/Size 1 /Root 1 0 R") << QByteArray("/Size 6") << 4;
    QTest::newRow("direct annotation list grows")
        << fixtures::buildPdf({kPlainObjects.at(0), kPlainObjects.at(1),
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [4 0 R << /Subtype /Text "
                               "/Rect [1 1 2 2] >>] >>",
                               "<< /Type /Annot /Subtype /Text /Rect [0 0 9 9] >>"})
        << QByteArray("/Annots [4 0 R << /Subtype /Text /Rect [1 1 2 2] >> 6 0 R]") << 5;
    // The rewritten page and catalog are their written text and one entry more.
    QTest::newRow("page with strings and comments, written as it was")
        << fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R % the root >>\n/Lang (ru) >>", kPlainObjects.at(1),
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /PieceInfo << /A (>> ] \\) (n) ) "
                               "/B <3E3E> >> % >> ]\n/Annots [] >>"})
        << QByteArray("/PieceInfo << /A (>> ] \\) (n) ) /B <3E3E> >> % >> ]\n/Annots [ 5 0 R] >>") << 4;
    QTest::newRow("page naming an object that is not there")
        << fixtures::buildPdf({kPlainObjects.at(0), kPlainObjects.at(1),
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 9 0 R >> "
                               ">> /Annots 8 0 R >>"})
        << QByteArray("/Resources << /Font << /F1 9 0 R >> >> /Annots [5 0 R] >>") << 4;
    QTest::newRow("page in an object stream") << hybridPdf(kPlainObjects.at(2).toLatin1())
                                              << QByteArray("/Annots [7 0 R]") << 6;
    QTest::newRow("indirect annotation list gets a revision")
        << fixtures::buildPdf({kPlainObjects.at(0), kPlainObjects.at(1),
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots 4 0 R >>", "[5 0 R]",
                               "<< /Type /Annot /Subtype /Text /Rect [0 0 9 9] >>"})
        << QByteArray("4 0 obj\n[5 0 R 7 0 R]") << 6;
}

void PdfSignatureShellTest::updates()
{
    QFETCH(QByteArray, pdf);
    QFETCH(QByteArray, kept);
    QFETCH(int, firstNumber);
    const Prepared prepared = prepare(pdf);
    QVERIFY2(prepared.ok, qPrintable(prepared.error));
    const PdfSignatureShell& shell = prepared.shell;
    const QByteArray& whole = prepared.whole;
    const QByteArray base = pdf.endsWith('\n') ? pdf : pdf + '\n';
    QVERIFY(whole.startsWith(base));
    QCOMPARE(shell.sourceSize, pdf.size());
    const QByteArray update = whole.mid(base.size());
    QVERIFY2(update.startsWith(QByteArray::number(firstNumber) + " 0 obj\n<< /Type /Sig"), update.left(40).constData());
    QVERIFY2(update.contains(kept), update.right(700).constData());
    QCOMPARE(update.count("/AcroForm"), 1);
    QVERIFY(update.contains("/Subtype /Widget"));
    QVERIFY(update.contains("/Rect [0 0 0 0]"));

    const QList<qint64> range = byteRange(whole);
    QCOMPARE(range.size(), 4);
    QCOMPARE(range.at(0), 0);
    QCOMPARE(shell.contentsOffset, range.at(1) + 1);
    QCOMPARE(range.at(2), shell.contentsOffset + shell.contentsLength + 1);
    QCOMPARE(range.at(2) + range.at(3), whole.size());
    QVERIFY(range.at(1) > base.size());
    QCOMPARE(whole.at(range.at(1)), '<');
    QCOMPARE(whole.at(range.at(2) - 1), '>');
    QCOMPARE(whole.mid(shell.contentsOffset, shell.contentsLength), QByteArray(131072, '0'));

    // Every offset the new xref section records holds its object.
    const qsizetype xref = whole.lastIndexOf("\nxref\n") + 1;
    const QList<QByteArray> lines = whole.mid(xref, whole.indexOf("trailer", xref) - xref).split('\n');
    int entries = 0;
    int number = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() == 2) {
            number = fields.at(0).toInt();
            continue;
        }
        if (fields.size() < 3)
            continue;
        const qint64 offset = fields.at(0).toLongLong();
        QVERIFY2(whole.mid(offset).startsWith(QByteArray::number(number) + ' ' + QByteArray::number(fields.at(1).toInt())
                                              + " obj\n"),
                 line.constData());
        ++number;
        ++entries;
    }
    QCOMPARE(entries, 4);
    if (pdf.size() < 100000) {
        const QString path = m_dir.filePath(QStringLiteral("shell.pdf"));
        QVERIFY(fixtures::writeFile(path, whole));
        const pdftools::Result check = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
        QVERIFY2(check.exitCode == 0 || check.exitCode == 3, qPrintable(check.out + check.err));
        const pdftools::Result catalog =
            pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--show-object=trailer"), path});
        QVERIFY2(catalog.out.contains(QLatin1String("/Prev")), qPrintable(catalog.out));
    }
}

// Cut and altered copies of a real file: each is refused with a text or gets
// a whole update after its own bytes, never anything else.
void PdfSignatureShellTest::mutatedCopies()
{
    const QByteArray original = fixtures::readFile(fixtures::realPdf(QStringLiteral("libreoffice-heading.pdf")));
    QVERIFY(!original.isEmpty());
    const QByteArray tailStart = original.right(1200);
    const qsizetype tailAt = original.size() - tailStart.size();
    QList<QByteArray> copies;
    for (qsizetype cut = 0; cut < original.size(); cut += 193)
        copies << original.left(cut);
    for (qsizetype at = tailAt; at < original.size(); at += 7) {
        for (const char c : {'\0', '9', '>', 'R'}) {
            QByteArray copy = original;
            copy[at] = c;
            copies << copy;
        }
    }
    int signedCopies = 0;
    for (const QByteArray& copy : std::as_const(copies)) {
        const Prepared prepared = prepare(copy);
        if (!prepared.ok) {
            QVERIFY(!prepared.error.isEmpty());
            continue;
        }
        ++signedCopies;
        QCOMPARE(prepared.shell.sourceSize, copy.size());
        QCOMPARE(prepared.whole.mid(prepared.shell.contentsOffset - 1, 1), QByteArray("<"));
        QCOMPARE(prepared.whole.mid(prepared.shell.contentsOffset + prepared.shell.contentsLength, 1), QByteArray(">"));
    }
    QVERIFY(signedCopies > 0);
}

void PdfSignatureShellTest::textStrings_data()
{
    QTest::addColumn<QString>("signer");
    QTest::addColumn<QString>("name");

    QTest::newRow("empty signer") << "" << "Подписант";
    QTest::newRow("Cyrillic") << "CN=Иванов Иван,O=ООО Ромашка" << "CN=Иванов Иван,O=ООО Ромашка";
    QTest::newRow("brackets, backslashes, line breaks") << "a(b)\\c\r\nd" << "a(b)\\c\r\nd";
    QTest::newRow("outside the basic plane") << "𝔸 ok" << "𝔸 ok";
}

void PdfSignatureShellTest::textStrings()
{
    QFETCH(QString, signer);
    QFETCH(QString, name);
    const Prepared prepared = prepare(plainPdf(), signer);
    QVERIFY(prepared.ok);
    static const QRegularExpression pattern(QStringLiteral("/Name <([0-9A-F]+)>\n/Reason <([0-9A-F]+)>"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(prepared.shell.update));
    QVERIFY(match.hasMatch());
    QCOMPARE(decodedTextString(match.captured(1).toLatin1()), name);
    QCOMPARE(decodedTextString(match.captured(2).toLatin1()), QStringLiteral("Документ подписан в vorn PDF Reader"));
}

void PdfSignatureShellTest::dates_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("east of UTC, day 5") << QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3, 999), QTimeZone(3 * 3600))
                                        << QByteArray("(D:20260305090703+03'00')");
    QTest::newRow("half an hour west") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59), QTimeZone(-(5 * 3600 + 1800)))
                                       << QByteArray("(D:20261231235959-05'30')");
    QTest::newRow("UTC") << QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc())
                         << QByteArray("(D:20260101000000+00'00')");
}

void PdfSignatureShellTest::dates()
{
    QFETCH(QDateTime, time);
    QFETCH(QByteArray, text);
    QCOMPARE(pdfDateString(time), text);
}

void PdfSignatureShellTest::reserveBoundary()
{
    Prepared prepared = prepare(plainPdf());
    QVERIFY(prepared.ok);
    PdfSignatureShell& shell = prepared.shell;
    const QByteArray before = shell.update;
    const qint64 reserveAt = shell.contentsOffset - shell.sourceSize;
    QString error;
    QVERIFY(!embedSignature(&shell, QByteArray(65537, '\x01'), &error));
    QCOMPARE(error, QStringLiteral("CMS-подпись слишком большая для зарезервированного поля PDF."));
    QCOMPARE(shell.update, before);
    QVERIFY(embedSignature(&shell, QByteArray(65535, '\xAB') + '\xCD', &error));
    QCOMPARE(shell.update.size(), before.size());
    QCOMPARE(shell.update.mid(reserveAt + shell.contentsLength - 4, 5), QByteArray("ABCD>"));
    QCOMPARE(shell.update.at(reserveAt - 1), '<');
    Prepared small = prepare(plainPdf());
    QVERIFY(small.ok);
    QVERIFY(embedSignature(&small.shell, QByteArray("\x0f\xa0", 2), &error));
    QCOMPARE(small.shell.update.mid(small.shell.contentsOffset - small.shell.sourceSize, 6), QByteArray("0FA000"));
}

void PdfSignatureShellTest::signedFilesReadBack_data()
{
    QTest::addColumn<QString>("source");

    QTest::newRow("LibreOffice") << fixtures::realPdf(QStringLiteral("libreoffice-heading.pdf"));
    QTest::newRow("Ghostscript") << fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"));
    QTest::newRow("TeX Type 1") << fixtures::realPdf(QStringLiteral("tex-type1.pdf"));
    QTest::newRow("groff") << fixtures::realPdf(QStringLiteral("groff-columns.pdf"));
}

void PdfSignatureShellTest::signedFilesReadBack()
{
    QFETCH(QString, source);
    const QByteArray original = fixtures::readFile(source);
    QVERIFY(!original.isEmpty());
    const QString input = m_dir.filePath(QStringLiteral("in.PDF"));
    QFile::remove(input);
    QVERIFY(fixtures::writeFile(input, original));
    const SignatureRequest request = embeddedRequest(input, m_dir.filePath(QStringLiteral("signed.pdf")));
    const SignatureResult result = SignatureService::signFile(request);
    QVERIFY2(result.ok, qPrintable(result.error));
    const QByteArray written = fixtures::readFile(result.outputPath);
    QCOMPARE(result.outputSize, written.size());
    QCOMPARE(result.documentSha256, QCryptographicHash::hash(written, QCryptographicHash::Sha256));
    QCOMPARE(result.signer, opensslSubject(m_keys.certificate));
    QVERIFY(written.startsWith(original));
    QCOMPARE(fixtures::readFile(input), original);

    const pdftools::Result sig = pdftools::run(QStringLiteral("pdfsig"), {result.outputPath});
    QVERIFY2(sig.out.contains(QLatin1String("Signature is Valid.")), qPrintable(sig.out));
    QVERIFY2(sig.out.contains(QLatin1String("Total document signed")), qPrintable(sig.out));
    QVERIFY2(sig.err.trimmed().isEmpty(), qPrintable(sig.err));  // the field has its widget
    const int pages = pdftools::pageCount(input);
    QCOMPARE(pdftools::pageCount(result.outputPath), pages);
    for (int index = 0; index < pages; ++index)
        QCOMPARE(pdftools::words(result.outputPath, index), pdftools::words(input, index));
    const pdftools::Result check = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), result.outputPath});
    QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    const pdftools::Result infoBefore = pdftools::run(QStringLiteral("pdfinfo"), {input});
    const pdftools::Result infoAfter = pdftools::run(QStringLiteral("pdfinfo"), {result.outputPath});
    for (const QString& line : infoBefore.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Creator")) || line.startsWith(QLatin1String("Producer")))
            QVERIFY2(infoAfter.out.contains(line), qPrintable(line));
    }

    const QList<qint64> range = byteRange(written);
    QCOMPARE(range.size(), 4);
    QVERIFY(fixtures::writeFile(m_dir.filePath(QStringLiteral("cov.bin")),
                                written.left(range.at(1)) + written.mid(range.at(2))));
    QByteArray hex = written.mid(range.at(1) + 1, range.at(2) - range.at(1) - 2);
    QVERIFY(fixtures::writeFile(m_dir.filePath(QStringLiteral("sig.der")), QByteArray::fromHex(hex)));
    const Run verify = openssl(m_dir.path(), {"cms", "-verify", "-binary", "-inform", "DER", "-in", "sig.der", "-content",
                                              "cov.bin", "-CAfile", m_keys.certificate, "-out", "/dev/null"});
    QVERIFY2(verify.exitCode == 0, verify.output.constData());
}

void PdfSignatureShellTest::signedFileRefusedAgain()
{
    const QString input = m_dir.filePath(QStringLiteral("first.pdf"));
    QVERIFY(fixtures::writeFile(input, plainPdf()));
    SignatureRequest request = embeddedRequest(input, m_dir.filePath(QStringLiteral("once.pdf")));
    QVERIFY(SignatureService::signFile(request).ok);

    request.inputPath = request.outputPath;
    request.outputPath = m_dir.filePath(QStringLiteral("twice.pdf"));
    const SignatureResult again = SignatureService::signFile(request);
    QVERIFY2(again.error.startsWith(QStringLiteral("PDF уже содержит AcroForm.")), qPrintable(again.error));
    QVERIFY(!QFile::exists(request.outputPath));

    const QString packed = m_dir.filePath(QStringLiteral("packed.pdf"));
    const pdftools::Result pack = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--object-streams=generate"),
                                                                          request.inputPath, packed});
    QVERIFY2(pack.exitCode == 0 || pack.exitCode == 3, qPrintable(pack.err));
    request.inputPath = packed;
    QCOMPARE(SignatureService::signFile(request).error,
             QStringLiteral("Встроенная подпись не поддерживается для PDF, сохранённых с потоком перекрёстных ссылок "
                            "(сжатой структурой PDF 1.5 и новее)."));
    QVERIFY(!QFile::exists(request.outputPath));
}

void PdfSignatureShellTest::selfCheck_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("error");

    QTest::newRow("as written") << "" << "";
    QTest::newRow("signature never put in") << "unsigned" << "подпись не сходится с документом";
    QTest::newRow("a page's content expected otherwise") << "page" << "содержимое страницы 1 изменилось";
    QTest::newRow("a page more expected") << "pages" << "число страниц изменилось";
    QTest::newRow("an object expected elsewhere") << "object" << "объект 2 0 заменён";
    QTest::newRow("source changed after signing") << "source" << "подпись не сходится с документом";
}

// The check of a signed file before it counts: each way the result can
// differ from what was meant is found and named.
void PdfSignatureShellTest::selfCheck()
{
    QFETCH(QString, change);
    QFETCH(QString, error);
    const QString path = m_dir.filePath(QStringLiteral("checked.pdf"));
    QVERIFY(fixtures::writeFile(path, fixtures::readFile(fixtures::realPdf(QStringLiteral("libreoffice-heading.pdf")))));
    QFile source(path);
    QVERIFY(source.open(QIODevice::ReadWrite));
    PdfSignatureShell shell;
    QString message;
    QVERIFY2(preparePdfSignatureShell(&source, QString(), &shell, &message), qPrintable(message));

    KeyMaterial material;
    QVERIFY2(loadCheckedKeyMaterial(embeddedRequest(path, QString()), &material, nullptr, &message), qPrintable(message));
    const SplicedFile whole(&source, shell.sourceSize, shell.update);
    const qint64 after = shell.contentsOffset + shell.contentsLength + 1;
    const BioPtr covered = rangesBio(&whole, {{0, shell.contentsOffset - 1}, {after, whole.size() - after}});
    const CmsPtr cms = cadesSignature(material, covered.get(), false, &message);
    QVERIFY2(cms, qPrintable(message));
    if (change != QLatin1String("unsigned"))
        QVERIFY(embedSignature(&shell, cmsDer(cms.get(), &message), &message));
    if (change == QLatin1String("page"))
        shell.pageDigests[0] = QByteArray(32, 'x');
    if (change == QLatin1String("pages"))
        shell.pageDigests << shell.pageDigests.first();
    if (change == QLatin1String("object"))
        shell.keptObjects[qMakePair(2, 0)] = "1 17";
    if (change == QLatin1String("source")) {
        // A byte of the first line's binary comment: the document still reads.
        QVERIFY(source.seek(10));
        QVERIFY(source.write("x", 1) == 1);
        QVERIFY(source.flush());
    }
    message.clear();
    QCOMPARE(checkSignedPdf(&source, shell, &message), error.isEmpty());
    QCOMPARE(message, error);
}

QTEST_GUILESS_MAIN(PdfSignatureShellTest)
#include "tst_pdfsignatureshell.moc"
