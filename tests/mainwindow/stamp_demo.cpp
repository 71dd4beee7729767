// Developer program for signature stamps, with the editor edition's
// organisation and application names so its files land where the program's do.
// Usage: stamp-demo stamp in.pdf out.pdf [page position template]
//        stamp-demo edit [id]
#include "AppProduct.h"
#include "SignatureStampEditorDialog.h"
#include "StampedPdfCopy.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>

#include <cstdio>

namespace {

constexpr qint64 kMaxInputBytes = 512LL * 1024 * 1024;

int usage()
{
    std::fprintf(stderr, "usage: stamp-demo stamp in.pdf out.pdf [page position template]\n"
                         "       stamp-demo edit [id]\n");
    return 2;
}

int stamp(const QStringList& args)
{
    if (args.size() < 4 || args.size() > 7)
        return usage();
    const QString input = args.at(2);
    const QString output = args.at(3);
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxInputBytes) {
        std::fprintf(stderr, "stamp-demo: %s cannot be read\n", qPrintable(input));
        return 1;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    SignatureStampOptions options;
    if (args.size() > 4) {
        bool ok = false;
        options.page = args.at(4).toInt(&ok) - 1;
        if (!ok)
            return usage();
    }
    if (args.size() > 5)
        options.position = args.at(5);
    if (args.size() > 6)
        options.templateId = args.at(6);
    SigningCertificate certificate;
    certificate.subject = QStringLiteral("CN=Test Signer,O=Org,C=RU");
    certificate.issuer = QStringLiteral("CN=Test CA,O=Org,C=RU");
    certificate.publicKeyAlgorithm = QStringLiteral("RSA 2048");
    certificate.validFrom = QDateTime(QDate(2025, 1, 5), QTime(0, 0));
    certificate.validTo = QDateTime(QDate(2030, 1, 5), QTime(0, 0));
    QString error;
    if (!createStampedPdfCopy(input, output, certificate, hash.result(), QDateTime::currentDateTime(), options,
                              &error)) {
        std::fprintf(stderr, "stamp-demo: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("vorn"));
    QApplication::setApplicationName(productApplicationName(AppProduct::editor));
    const QStringList args = QApplication::arguments();
    if (args.size() < 2)
        return usage();
    if (args.at(1) == QLatin1String("stamp"))
        return stamp(args);
    if (args.at(1) == QLatin1String("edit") && args.size() <= 3) {
        const QString id = editSignatureStampTemplate(nullptr, args.value(2));
        std::printf("%s\n", qPrintable(id));
        return id.isEmpty() ? 1 : 0;
    }
    return usage();
}
