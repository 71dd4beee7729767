#include "StampedPdfCopy.h"

#include "NewFile.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "SignatureService.h"
#include "SignatureStampRender.h"
#include "SigningNames.h"
#include "SigningScratch.h"
#include "SystemErrorText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("SignatureStamp", text);
}

double pointsFromMm(double mm)
{
    return mm * 72.0 / 25.4;
}

// x kept within 0 .. room, or 0 when there is no room.
double keptOnPage(double value, double room)
{
    return room > 0 ? std::clamp(value, 0.0, room) : 0.0;
}

QString shortNameOr(const QString& distinguishedName)
{
    const QString compact = compactCertificateName(distinguishedName);
    return compact.isEmpty() ? shownDistinguishedName(distinguishedName).simplified() : compact;
}

} // namespace

StampPlacement signatureStampPlacement(const QSizeF& pageSize, const SignatureStampOptions& options)
{
    const double pageWidth = pageSize.width();
    const double pageHeight = pageSize.height();
    const double w = pointsFromMm(options.widthMm);
    const double h = pointsFromMm(options.heightMm);
    const double m = pointsFromMm(options.marginMm);
    double x = pageWidth - w - m;
    double y = m;
    if (options.position == QLatin1String("top-left")) {
        x = m;
        y = pageHeight - h - m;
    } else if (options.position == QLatin1String("top-right")) {
        y = pageHeight - h - m;
    } else if (options.position == QLatin1String("bottom-left")) {
        x = m;
    } else if (options.position == QLatin1String("center")) {
        x = (pageWidth - w) / 2;
        y = (pageHeight - h) / 2;
    }
    return {QPointF(keptOnPage(x, pageWidth - w), keptOnPage(y, pageHeight - h)),
            QSizeF(std::min(w, pageWidth), std::min(h, pageHeight))};
}

QHash<QString, QString> signatureStampValues(const SigningCertificate& certificate, const QByteArray& sha256,
                                             const QDateTime& signedAt)
{
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");
    const QString hex = QString::fromLatin1(sha256.toHex().toUpper());
    QStringList groups;
    for (int at = 0; at < hex.size(); at += 16)
        groups << hex.mid(at, 16);
    return {
        {QStringLiteral("SIGNER"), shortNameOr(certificate.subject)},
        {QStringLiteral("SUBJECT"), shownDistinguishedName(certificate.subject).simplified()},
        {QStringLiteral("ISSUER"), shortNameOr(certificate.issuer)},
        {QStringLiteral("SERIAL"), certificate.serial},
        {QStringLiteral("THUMBPRINT"), certificate.thumbprint},
        {QStringLiteral("ALGORITHM"), certificate.publicKeyAlgorithm},
        {QStringLiteral("VALID_FROM"),
         certificate.validFrom.isValid() ? certificate.validFrom.toString(dateFormat) : QString()},
        {QStringLiteral("VALID_TO"), certificate.validTo.isValid() ? certificate.validTo.toString(dateFormat) : QString()},
        {QStringLiteral("DATE"), signedAt.toString(dateFormat)},
        {QStringLiteral("TIME"), signedAt.toString(QStringLiteral("HH:mm:ss"))},
        {QStringLiteral("DATETIME"), signedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))},
        {QStringLiteral("SHA256"), groups.join(QLatin1Char(' '))},
        {QStringLiteral("SHA256_SHORT"), hex.left(16)},
        {QStringLiteral("PROVIDER"), certificate.providerName},
        {QStringLiteral("CONTAINER"), certificate.containerName},
        {QStringLiteral("STORE"), certificate.storeName},
    };
}

bool createStampedPdfCopy(const QString& inputPath, const QString& outputPath, const SigningCertificate& certificate,
                          const QByteArray& sha256, const QDateTime& signedAt, const SignatureStampOptions& options,
                          QString* error, const StampCopyWatcher& watcher)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    auto goOn = [&watcher](StampCopyStep step) { return !watcher || watcher(step); };
    if (!goOn(StampCopyStep::Open))
        return fail(QString());
    PdfDocument document;
    if (!document.open(inputPath))
        return fail(tr("Не удалось открыть PDF для нанесения штампа: %1").arg(document.lastError()));
    const int pageCount = document.pageCount();
    if (pageCount <= 0)
        return fail(tr("В PDF нет страниц для нанесения штампа."));
    // The copy would show the engine's mending of a damaged source, which
    // another reader shows otherwise: the signature would vouch for a
    // document the signer may not have seen.
    if (!SignatureService::pdfReadsWithoutRepair(inputPath))
        return fail(tr("PDF повреждён, и программы просмотра могут показать его по-разному: PDF со штампом не "
                       "создан. Сохраните документ заново и подпишите сохранённый файл."));
    if (!goOn(StampCopyStep::Stamp))
        return fail(QString());
    const int page = std::clamp(options.page, 0, pageCount - 1);
    const StampPlacement placement = signatureStampPlacement(document.pageSize(page), options);
    const SignatureStampTemplate stamp = loadSignatureStampTemplate(options.templateId);
    // The stamp the user chose, or none: never the default picture in its place.
    if (!stamp.pictureRefused.isEmpty())
        return fail(tr("Не удалось прочитать картинку шаблона штампа: %1").arg(stamp.pictureRefused));
    const QImage picture = renderSignatureStampTemplate(stamp, signatureStampValues(certificate, sha256, signedAt),
                                                        QSize(kStampPictureWidth, kStampPictureHeight));
    if (!document.addImageToPage(page, placement.origin, placement.size, picture))
        return fail(tr("Не удалось добавить видимый штамп в PDF."));
    if (!goOn(StampCopyStep::Save))
        return fail(QString());
    // A copy: the throwaway document need not be read again from what was written.
    if (!document.saveCopy(outputPath))
        return fail(tr("Не удалось сохранить PDF со штампом: %1").arg(document.lastError()));
    return true;
}

namespace {

// A free pair from the copy's wanted name: the copy under the first free
// name, its signature named after it.
StampedOutputs freePair(const QString& stampedPdf)
{
    StampedOutputs outputs;
    outputs.stampedPdf = uniqueSiblingPathLikeChrome(stampedPdf);
    outputs.signature =
        uniqueSiblingPathLikeChrome(SignatureService::defaultOutputPath(outputs.stampedPdf, StampedPdfDetached));
    return outputs;
}

} // namespace

StampedOutputs stampedSigningOutputs(const QString& sourcePath, const QString& wantedOutput)
{
    return freePair(stampedPdfPathForSignature(sourcePath, wantedOutput));
}

bool stageStampedOutputs(SigningScratch& scratch, const StampedOutputs& placed, StampedOutputs* staged,
                         QString* error)
{
    QString reason;
    const QString stage = scratch.stage(QFileInfo(placed.stampedPdf).absolutePath(), &reason);
    if (stage.isEmpty()) {
        if (error)
            *error = tr("Не удалось сохранить PDF со штампом: %1").arg(reason);
        return false;
    }
    const QDir folder(stage);
    *staged = {folder.filePath(QFileInfo(placed.stampedPdf).fileName()),
               folder.filePath(QFileInfo(placed.signature).fileName())};
    return true;
}

bool placeStampedOutputs(const StampedOutputs& staged, StampedOutputs* placed, QString* error)
{
    // Each name taken meanwhile moves the pair on to the next free one.
    constexpr int kTries = 100;
    const FileIdentity signature = FileIdentity::of(staged.signature);
    int code = EEXIST;
    for (int tried = 0; tried < kTries && code == EEXIST; ++tried) {
        if (tried > 0)
            *placed = freePair(placed->stampedPdf);
        code = placeWithoutReplacing(staged.signature, placed->signature);
        if (code != 0)
            continue;
        code = placeWithoutReplacing(staged.stampedPdf, placed->stampedPdf);
        // Never a signature without its copy: it goes back to the stage.
        if (code != 0 && placeWithoutReplacing(placed->signature, staged.signature) != 0)
            removeFileIfSame(placed->signature, signature);
    }
    if (code == 0)
        return true;
    if (error)
        *error = tr("Не удалось сохранить PDF со штампом: %1").arg(systemErrorText(code));
    return false;
}
