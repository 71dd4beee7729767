// Stamped PDF copies with the real engine: where the stamp lands, which page,
// the placeholder values and the failures.
#include "PdfDocument.h"
#include "StampTestSupport.h"
#include "StampedPdfCopy.h"
#include "TextBlock.h"

#include <QCryptographicHash>
#include <QTest>

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(VORN_TEST_DATA "/") + QLatin1String(name);
}

SigningCertificate testCertificate()
{
    SigningCertificate certificate;
    certificate.subject = QStringLiteral("CN=Test Signer,O=Org,C=RU");
    certificate.issuer = QStringLiteral("CN=Test CA,O=Org");
    certificate.validTo = QDateTime(QDate(2030, 1, 5), QTime(12, 0));
    return certificate;
}

// The images on a page the source did not have (y upwards).
QList<QRectF> addedImages(const QString& source, const QString& copy, int page)
{
    PdfDocument before;
    PdfDocument after;
    if (!before.open(source) || !after.open(copy))
        return {};
    QList<QRectF> old;
    for (const TextBlock& block : before.extractImages(page))
        old << block.rect;
    QList<QRectF> added;
    for (const TextBlock& block : after.extractImages(page)) {
        if (!old.contains(block.rect))
            added << block.rect;
    }
    return added;
}

bool near(const QRectF& a, const QRectF& b)
{
    constexpr double kSlack = 0.6;
    return qAbs(a.left() - b.left()) < kSlack && qAbs(a.top() - b.top()) < kSlack
        && qAbs(a.width() - b.width()) < kSlack && qAbs(a.height() - b.height()) < kSlack;
}

} // namespace

class TestStampedCopy : public QObject {
    Q_OBJECT
private slots:
    void init() { m_data = std::make_unique<stamptest::DataFolder>(); }
    void cleanup() { m_data.reset(); }

    // Expected rectangles are x, y of the lower-left corner (y upwards), w, h.
    void positions_data()
    {
        QTest::addColumn<QString>("position");
        QTest::addColumn<double>("widthMm");
        QTest::addColumn<QRectF>("expected");
        const double w = 82 * 72 / 25.4;
        const double h = 34 * 72 / 25.4;
        const double m = 12 * 72 / 25.4;
        QTest::newRow("default") << QStringLiteral("bottom-right") << 82.0 << QRectF(595 - w - m, m, w, h);
        QTest::newRow("other case") << QStringLiteral("Top-Left") << 82.0 << QRectF(595 - w - m, m, w, h);
        QTest::newRow("underscore") << QStringLiteral("bottom_right") << 82.0 << QRectF(595 - w - m, m, w, h);
        QTest::newRow("top-left") << QStringLiteral("top-left") << 82.0 << QRectF(m, 842 - h - m, w, h);
        QTest::newRow("top-right") << QStringLiteral("top-right") << 82.0 << QRectF(595 - w - m, 842 - h - m, w, h);
        QTest::newRow("bottom-left") << QStringLiteral("bottom-left") << 82.0 << QRectF(m, m, w, h);
        QTest::newRow("center") << QStringLiteral("center") << 82.0 << QRectF((595 - w) / 2, (842 - h) / 2, w, h);
        QTest::newRow("wider than page") << QStringLiteral("top-right") << 300.0 << QRectF(0, 842 - h - m, 595, h);
    }
    void positions()
    {
        QFETCH(QString, position);
        QFETCH(double, widthMm);
        QFETCH(QRectF, expected);
        const QString source = fixture("gs-helvetica.pdf");
        const QByteArray sourceBytes = stamptest::fileBytes(source);
        const QString out = QDir(m_data->path()).filePath(QStringLiteral("out.pdf"));
        SignatureStampOptions options;
        options.position = position;
        options.widthMm = widthMm;
        QString error;
        QVERIFY2(createStampedPdfCopy(source, out, testCertificate(), QByteArray(32, '\x11'), QDateTime::currentDateTime(),
                                      options, &error),
                 qPrintable(error));
        const QList<QRectF> added = addedImages(source, out, 0);
        QCOMPARE(added.size(), 1);
        QVERIFY2(near(added.first(), expected),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(added.first().x()).arg(added.first().y())
                                .arg(added.first().width()).arg(added.first().height())));
        QCOMPARE(stamptest::fileBytes(source), sourceBytes);
    }

    void placementArithmetic()
    {
        const StampPlacement placed = signatureStampPlacement(QSizeF(595, 842), SignatureStampOptions{});
        QVERIFY(qAbs(placed.origin.x() - 328.54) < 0.01);
        QVERIFY(qAbs(placed.origin.y() - 34.02) < 0.01);
        QVERIFY(qAbs(placed.size.width() - 232.44) < 0.01);
        QVERIFY(qAbs(placed.size.height() - 96.38) < 0.01);
        SignatureStampOptions tall;
        tall.heightMm = 400;
        tall.position = QStringLiteral("center");
        const StampPlacement clamped = signatureStampPlacement(QSizeF(595, 842), tall);
        QCOMPARE(clamped.origin.y(), 0.0);
        QCOMPARE(clamped.size.height(), 842.0);
    }

    void pages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("stamped");
        QTest::newRow("beyond the end") << fixture("pdfunite-merged.pdf") << 7 << 2;
        QTest::newRow("far beyond") << fixture("pdfunite-merged.pdf") << 1000000 << 2;
        QTest::newRow("negative") << fixture("pdfunite-merged.pdf") << -1 << 0;
        QTest::newRow("middle") << fixture("pdfunite-merged.pdf") << 1 << 1;
        // Unusual but sound: every reader reads them alike, so they are stamped.
        QTest::newRow("a reused object number") << fixture("xref/groff-reused-number.pdf") << 1 << 1;
        QTest::newRow("generation 1 objects") << fixture("xref/registry-gen1.pdf") << 2 << 2;
        // Every page draws with one /ExtGState: the stamp's page gets its own, the others keep theirs.
        QTest::newRow("pages sharing their graphics states") << fixture("pdftex-tikz-shared-states.pdf") << 0 << 0;
    }
    void pages()
    {
        QFETCH(QString, file);
        QFETCH(int, asked);
        QFETCH(int, stamped);
        const QString out = QDir(m_data->path()).filePath(QStringLiteral("pages.pdf"));
        SignatureStampOptions options;
        options.page = asked;
        QVERIFY(createStampedPdfCopy(file, out, testCertificate(), QByteArray(32, 0), QDateTime::currentDateTime(),
                                     options, nullptr));
        for (int page = 0; page < 3; ++page)
            QCOMPARE(addedImages(file, out, page).size(), page == stamped ? 1 : 0);
    }

    // On a page shown turned the stamp sits at the shown page's corner.
    void turnedPage()
    {
        const QString source = fixture("gs-helvetica-rot90.pdf");
        const QString out = QDir(m_data->path()).filePath(QStringLiteral("turned.pdf"));
        QVERIFY(createStampedPdfCopy(source, out, testCertificate(), QByteArray(32, 0), QDateTime::currentDateTime(),
                                     SignatureStampOptions{}, nullptr));
        PdfDocument copy;
        QVERIFY(copy.open(out));
        const QSizeF shown = copy.pageSize(0);
        QCOMPARE(shown, QSizeF(842, 595));
        const QList<QRectF> added = addedImages(source, out, 0);
        QCOMPARE(added.size(), 1);
        const double w = 82 * 72 / 25.4;
        const double h = 34 * 72 / 25.4;
        const double m = 12 * 72 / 25.4;
        QVERIFY2(near(added.first(), QRectF(842 - w - m, m, w, h)),
                 qPrintable(QStringLiteral("%1,%2").arg(added.first().x()).arg(added.first().y())));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");
        QTest::newRow("not a pdf") << QStringLiteral("notpdf.pdf") << QStringLiteral("out.pdf")
                                   << QStringLiteral("Не удалось открыть PDF для нанесения штампа: ");
        QTest::newRow("missing") << QStringLiteral("nothing-here.pdf") << QStringLiteral("out.pdf")
                                 << QStringLiteral("Не удалось открыть PDF для нанесения штампа: ");
        QTest::newRow("no pages") << QStringLiteral("empty.pdf") << QStringLiteral("out.pdf")
                                  << QStringLiteral("В PDF нет страниц для нанесения штампа.");
        QTest::newRow("unwritable") << fixture("gs-helvetica.pdf") << QStringLiteral("no/such/folder/out.pdf")
                                    << QStringLiteral("Не удалось сохранить PDF со штампом: ");
        // Mended on opening, read otherwise by other readers: as for an
        // embedded signature, no signed copy vouches for the engine's mending.
        const QString damaged = QStringLiteral("PDF повреждён, и программы просмотра могут показать его по-разному: "
                                               "PDF со штампом не создан.");
        QTest::newRow("damaged: table rebuilt") << fixture("damaged/groff-trailer-nosize.pdf")
                                                << QStringLiteral("out.pdf") << damaged;
        QTest::newRow("damaged: objects off their places") << fixture("xref/registry-shifted.pdf")
                                                           << QStringLiteral("out.pdf") << damaged;
    }
    void failures()
    {
        QFETCH(QString, source);
        QFETCH(QString, output);
        QFETCH(QString, error);
        const QDir dir(m_data->path());
        {
            QFile notPdf(dir.filePath(QStringLiteral("notpdf.pdf")));
            QVERIFY(notPdf.open(QIODevice::WriteOnly));
            notPdf.write("just some words\n");
            QFile empty(dir.filePath(QStringLiteral("empty.pdf")));
            QVERIFY(empty.open(QIODevice::WriteOnly));
            empty.write(emptyPdf());
        }
        const QString input = QFileInfo(source).isAbsolute() ? source : dir.filePath(source);
        const QString out = dir.filePath(output);
        QString message;
        QVERIFY(!createStampedPdfCopy(input, out, testCertificate(), QByteArray(32, 0), QDateTime::currentDateTime(),
                                      SignatureStampOptions{}, &message));
        QVERIFY2(message.startsWith(error), qPrintable(message));
        QVERIFY(!QFileInfo::exists(out));
    }

    // A file encrypted with an empty user password opens, so it is stamped.
    void encryptedWithoutPassword()
    {
        const QString out = QDir(m_data->path()).filePath(QStringLiteral("encrypted.pdf"));
        QString error;
        QVERIFY2(createStampedPdfCopy(fixture("pdftex-manual-encrypted.pdf"), out, testCertificate(), QByteArray(32, 0),
                                      QDateTime::currentDateTime(), SignatureStampOptions{}, &error),
                 qPrintable(error));
        PdfDocument copy;
        QVERIFY(copy.open(out));
        QCOMPARE(copy.pageCount(), 9);
    }

    void values_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("signer");
        QTest::newRow("common name") << QStringLiteral("CN=Test Signer,O=Org,C=RU") << QStringLiteral("Test Signer");
        QTest::newRow("escaped cyrillic") << QStringLiteral("CN=\\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD\\D0\\BE\\D0\\B2 "
                                                            "\\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD,C=RU")
                                          << QStringLiteral("Иванов Иван");
        QTest::newRow("nothing to shorten") << QStringLiteral("C=RU,  L=Москва") << QStringLiteral("C=RU, L=Москва");
        QTest::newRow("empty common name") << QStringLiteral("CN=,C=RU") << QStringLiteral("CN=,C=RU");
    }
    void values()
    {
        QFETCH(QString, subject);
        QFETCH(QString, signer);
        SigningCertificate certificate = testCertificate();
        certificate.subject = subject;
        certificate.validFrom = QDateTime();
        const QByteArray digest = QCryptographicHash::hash("abc", QCryptographicHash::Sha256);
        const QHash<QString, QString> values =
            signatureStampValues(certificate, digest, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        QCOMPARE(values.size(), 16);
        QCOMPARE(values.value(QStringLiteral("SIGNER")), signer);
        QCOMPARE(values.value(QStringLiteral("ISSUER")), QStringLiteral("Test CA"));
        QCOMPARE(values.value(QStringLiteral("VALID_TO")), QStringLiteral("05.01.2030"));
        QCOMPARE(values.value(QStringLiteral("VALID_FROM")), QString());
        QCOMPARE(values.value(QStringLiteral("DATETIME")), QStringLiteral("04.03.2026 05:06:07"));
        QCOMPARE(values.value(QStringLiteral("SHA256")),
                 QStringLiteral("BA7816BF8F01CFEA 414140DE5DAE2223 B00361A396177A9C B410FF61F20015AD"));
        QCOMPARE(values.value(QStringLiteral("SHA256_SHORT")), QStringLiteral("BA7816BF8F01CFEA"));
    }

private:
    static QByteArray emptyPdf()
    {
        // A sound file whose page tree has no pages.
        QByteArray body = "%PDF-1.4\n";
        QList<int> offsets;
        offsets << body.size();
        body += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
        offsets << body.size();
        body += "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
        const int xref = body.size();
        body += "xref\n0 3\n0000000000 65535 f \n";
        for (int offset : offsets)
            body += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        body += "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        return body;
    }

    std::unique_ptr<stamptest::DataFolder> m_data;
};

QTEST_MAIN(TestStampedCopy)
#include "tst_stampedcopy.moc"
