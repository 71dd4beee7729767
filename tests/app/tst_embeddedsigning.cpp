// Embedded signatures of small hand-made PDFs through the real signing
// worker, each in its own child under a time and a memory limit: a signed
// file is whole for qpdf, pdfsig and pdftotext (every page reads as before),
// and a refusal says why and changes nothing.
#include "LimitedChild.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "SigningFixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace signingfixtures;

namespace {

const QString kExecutable = QStringLiteral(VORN_PDF_EXECUTABLE);
constexpr int kTimeLimitMs = 60000;
constexpr int kCpuSeconds = 60;
constexpr qint64 kAddressSpace = qint64(4) * 1024 * 1024 * 1024;

const QString kFont = QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");

QString page(int contents, const QString& more = {})
{
    return QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents %1 0 R "
                          "/Resources << /Font << /F1 4 0 R >> >> %2>>")
        .arg(contents)
        .arg(more);
}

QString textStream(const QString& text)
{
    const QString content = QStringLiteral("BT /F1 20 Tf 20 150 Td (%1) Tj ET").arg(text);
    return QStringLiteral("<< /Length %1 >>\nstream\n%2\nendstream").arg(content.size()).arg(content);
}

// A catalog whose JavaScript holds ">>" inside a string.
QByteArray javaScriptCatalog()
{
    return fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R /OpenAction << /S /JavaScript /JS (var a = 8; a >> 2;) >> >>",
                               "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page(5), kFont,
                               textStream(QStringLiteral("Hello JS"))});
}

// Objects 1 to 10 in use, the trailer's /Size 5: new objects numbered from
// /Size would replace the page's content (object 6).
QByteArray smallSize()
{
    QByteArray pdf = fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                         page(6), kFont, "<< /Producer (hand) >>", textStream(QStringLiteral("Small Size")),
                                         "[1 2 3]", "(seven)", "(eight)", "(nine)"});
    pdf.replace("/Size 11", "/Size 5");
    return pdf;
}

// "/Root 9 0 R" inside a string of the trailer, object 9 a font.
QByteArray rootInTrailerString()
{
    QByteArray pdf = fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                         page(5), kFont, textStream(QStringLiteral("Comment Root")), "(six)", "(seven)",
                                         "(eight)", kFont});
    pdf.replace("trailer\n<< ", "trailer\n<< /Comment (/Root 9 0 R) ");
    return pdf;
}

// Two pages, the first with an annotation list of its own object.
QByteArray twoPagesWithAnnotations()
{
    return fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 8 0 R] /Count 2 >>",
                               page(5, QStringLiteral("/Annots 6 0 R ")), kFont, textStream(QStringLiteral("First")),
                               "[7 0 R]", "<< /Type /Annot /Subtype /Text /Rect [10 10 30 30] /Contents (note) >>",
                               page(9), textStream(QStringLiteral("Second"))});
}

// The page's content listed at a wrong offset: readers rebuild the table,
// and the signed file reads as well as the source.
QByteArray contentOffTable()
{
    QByteArray pdf = javaScriptCatalog();
    const qsizetype entry = pdf.indexOf("0000000000 65535 f \n") + 20 * 5;
    pdf.replace(entry, 10, "0000000002");
    return pdf;
}

const QString kCatalog = QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>");

QByteArray onePage(const QStringList& more = {}, const QString& catalog = kCatalog)
{
    return fixtures::buildPdf(QStringList{catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page(5), kFont,
                                          textStream(QStringLiteral("Noted"))}
                              + more);
}

// Sound files qpdf only notes something about; every reader shows them
// alike. kind: "duplicated key", "stray #", "stream white space", "xref
// white space", "direct kid", "empty object".
QByteArray notedPdf(const QString& kind)
{
    if (kind == QLatin1String("duplicated key"))
        return onePage({"<< /Producer (pdfTeX-1.40.25) /Creator (TeX) /Producer (pdfTeX) >>"})
            .replace("/Root 1 0 R", "/Root 1 0 R /Info 6 0 R");
    if (kind == QLatin1String("stray #"))
        return onePage({}, QStringLiteral("<< /Type /Catalog /Pages 2 0 R /PTEX.Fullbanner /pdfTeX# >>"));
    if (kind == QLatin1String("stream white space"))
        return fixtures::buildPdf({kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page(5), kFont,
                                   textStream(QStringLiteral("Noted")).replace("\nstream\n", "\nstream  \r\n")});
    if (kind == QLatin1String("xref white space")) {
        // startxref names the blank line before the keyword.
        QByteArray pdf = onePage();
        return pdf.insert(pdf.lastIndexOf("\nxref\n") + 1, "   \n");
    }
    if (kind == QLatin1String("direct kid"))
        return fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                   "<< /Type /Pages /Kids [" + page(5) + "] /Count 1 >>", "(three)", kFont,
                                   textStream(QStringLiteral("Direct Kid"))});
    return onePage({QString()});
}

// The last update frees the font (object 4) that the page's own resources
// still name; with more, the page has an annotation list of its own too.
QByteArray fontFreed(const QString& more = {})
{
    QByteArray pdf = fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                         page(5, more), kFont, textStream(QStringLiteral("Freed Font")),
                                         "<< /Type /Annot /Subtype /Text /Rect [10 10 30 30] /Contents (note) >>"});
    const QByteArray previous = pdf.mid(pdf.lastIndexOf("startxref") + 10).split('\n').first();
    const qsizetype xref = pdf.size();
    return pdf + "xref\n0 1\n0000000000 65535 f \n4 1\n0000000000 00001 f \ntrailer\n<< /Size 7 /Root 1 0 R /Prev "
        + previous + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
}

struct Outcome {
    bool finished = false;
    bool crashed = false;
    int exitCode = -1;
    QJsonObject answer;
};

} // namespace

class EmbeddedSigningTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void reproducers_data();
    void reproducers();

private:
    Outcome sign(const QString& input, const QString& output);
    QString write(const QString& name, const QByteArray& bytes);

    QTemporaryDir m_dir;
    QString m_certificate;
    QString m_key;
};

void EmbeddedSigningTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char* program : {"pdfsig", "qpdf", "pdftotext", "openssl"})
        QVERIFY2(pdftools::installed(QLatin1String(program)), program);
    const KeyPair keys = selfSigned(m_dir.path(), QStringLiteral("keys"),
                                    QStringLiteral("/C=RU/O=ООО Ромашка/CN=Иванов Иван Иванович/SN=Иванов/GN=Иван Иванович"));
    QVERIFY(!keys.certificate.isEmpty());
    m_certificate = keys.certificate;
    m_key = keys.key;
    const QString store = m_dir.filePath(QStringLiteral("xdg/vorn"));
    QVERIFY(QDir().mkpath(store));
    QFile settings(store + QStringLiteral("/vorn-ecp.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[signing]\nrevocationMode=never\n");
}

QString EmbeddedSigningTest::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    return fixtures::writeFile(path, bytes) ? path : QString();
}

// The worker in a child that may use so much time and memory, no more.
Outcome EmbeddedSigningTest::sign(const QString& input, const QString& output)
{
    const QString request = write(QStringLiteral("request.json"),
                                  QJsonDocument(QJsonObject{{"inputPath", input},
                                                            {"outputPath", output},
                                                            {"mode", 4},
                                                            {"certificatePath", m_certificate},
                                                            {"privateKeyPath", m_key}})
                                      .toJson());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("xdg")));
    const limitedchild::Outcome child = limitedchild::run(kExecutable, {QStringLiteral("--vorn-sign-file"), request},
                                                          kTimeLimitMs, kAddressSpace, environment, kCpuSeconds);
    Outcome outcome;
    outcome.finished = child.inTime;
    if (!outcome.finished)
        return outcome;
    outcome.crashed = child.signal;
    outcome.exitCode = child.exitCode;
    outcome.answer = QJsonDocument::fromJson(child.out).object();
    return outcome;
}

void EmbeddedSigningTest::reproducers_data()
{
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<QString>("error");  // empty: signed; "*": any reason

    QTest::newRow("'>>' in a string of the catalog") << javaScriptCatalog() << "";
    QTest::newRow("/Size below the objects in use") << smallSize() << "";
    QTest::newRow("/Root in a string of the trailer") << rootInTrailerString() << "";
    QTest::newRow("annotation list of its own, two pages") << twoPagesWithAnnotations() << "";
    // qpdf rebuilds its table; other readers may not: refused.
    QTest::newRow("content listed at a wrong offset")
        << contentOffTable()
        << "PDF повреждён, и программы просмотра могут показать его по-разному: встроенная подпись не добавлена. "
           "Сохраните документ заново и подпишите сохранённый файл.";
    // qpdf's notes that change no reader's view: signed.
    for (const char* kind : {"duplicated key", "stray #", "stream white space", "xref white space", "direct kid",
                             "empty object"})
        QTest::newRow(qPrintable(QStringLiteral("noted: ") + QLatin1String(kind))) << notedPdf(QLatin1String(kind)) << "";
    // The page is kept as written: its font stays named for the readers
    // that still find it.
    QTest::newRow("font freed by the last update") << fontFreed() << "";
    QTest::newRow("font freed, annotation list in the page") << fontFreed(QStringLiteral("/Annots [6 0 R] ")) << "";
    QTest::newRow("a form already") << fixtures::buildPdf({"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [] >> >>",
                                                           "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page(5), kFont,
                                                           textStream(QStringLiteral("Form"))})
                                    << "PDF уже содержит AcroForm. Встроенная подпись для таких PDF будет добавлена "
                                       "отдельным этапом.";
    const QString source = write(QStringLiteral("plain.pdf"), javaScriptCatalog());
    const QString packed = m_dir.filePath(QStringLiteral("packed.pdf"));
    pdftools::run(QStringLiteral("qpdf"), {"--object-streams=generate", source, packed});
    QTest::newRow("cross-reference stream")
        << fixtures::readFile(packed)
        << "Встроенная подпись не поддерживается для PDF, сохранённых с потоком перекрёстных ссылок (сжатой "
           "структурой PDF 1.5 и новее).";
    const QString locked = m_dir.filePath(QStringLiteral("locked.pdf"));
    pdftools::run(QStringLiteral("qpdf"), {"--encrypt", "", "owner", "256", "--", source, locked});
    QTest::newRow("encrypted") << fixtures::readFile(locked)
                               << "Встроенная подпись для зашифрованных PDF не поддерживается.";
    QTest::newRow("cut short") << javaScriptCatalog().left(300) << "В PDF не найден startxref.";
    QTest::newRow("catalog object damaged") << javaScriptCatalog().replace("1 0 obj", "1 0 obx") << "*";
}

void EmbeddedSigningTest::reproducers()
{
    QFETCH(QByteArray, pdf);
    QFETCH(QString, error);
    QVERIFY(!pdf.isEmpty());
    const QString input = write(QStringLiteral("input.pdf"), pdf);
    const QString output = m_dir.filePath(QStringLiteral("input.signed.pdf"));
    QFile::remove(output);

    const Outcome outcome = sign(input, output);
    QVERIFY2(outcome.finished, "the worker ran past its time limit");
    QVERIFY2(!outcome.crashed, "the worker ended by a signal");
    QCOMPARE(fixtures::readFile(input), pdf);
    const QString said = outcome.answer.value(QStringLiteral("error")).toString();
    if (!error.isEmpty()) {
        QCOMPARE(outcome.exitCode, 5);
        QCOMPARE(outcome.answer.value(QStringLiteral("ok")), QJsonValue(false));
        QVERIFY(!said.isEmpty());
        if (error != QLatin1String("*"))
            QCOMPARE(said, error);
        QVERIFY(!QFile::exists(output));
        return;
    }
    QVERIFY2(outcome.exitCode == 0, qPrintable(said));
    QCOMPARE(outcome.answer.value(QStringLiteral("outputPath")).toString(), output);

    // As sound as the source for qpdf and poppler, no less.
    const pdftools::Result sourceCheck = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), input});
    const pdftools::Result check = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), output});
    QVERIFY2(check.exitCode == 0 || check.exitCode == sourceCheck.exitCode, qPrintable(check.out + check.err));
    const pdftools::Result sig = pdftools::run(QStringLiteral("pdfsig"), {output});
    QVERIFY2(sig.out.contains(QLatin1String("Signature is Valid.")), qPrintable(sig.out));
    QVERIFY2(sig.out.contains(QLatin1String("Total document signed")), qPrintable(sig.out));
    QVERIFY2(sig.out.contains(QStringLiteral("Иванов Иван Иванович")), qPrintable(sig.out));
    if (pdftools::run(QStringLiteral("pdfinfo"), {input}).err.trimmed().isEmpty())
        QVERIFY2(sig.err.trimmed().isEmpty(), qPrintable(sig.err));
    const int pages = pdftools::pageCount(input);
    QVERIFY(pages > 0);
    QCOMPARE(pdftools::pageCount(output), pages);
    // Each page reads as before in poppler and in mupdf; poppler shows no
    // page that is a direct kid, mupdf does.
    for (int index = 0; index < pages; ++index) {
        const QStringList before = pdftools::words(input, index);
        const QString mupdfBefore = pdftools::mupdfText(input, index).simplified();
        QVERIFY(!before.isEmpty() || !mupdfBefore.isEmpty());
        QCOMPARE(pdftools::words(output, index), before);
        QCOMPARE(pdftools::mupdfText(output, index).simplified(), mupdfBefore);
    }
}

QTEST_GUILESS_MAIN(EmbeddedSigningTest)
#include "tst_embeddedsigning.moc"
