#include "SignedDocument.h"

#include "DialogKit.h"

#include <QObject>
#include <QStringList>

QString signatureSummary(const std::vector<PdfSignature>& signatures)
{
    if (signatures.empty())
        return {};
    QStringList names;
    for (const PdfSignature& signature : signatures)
        names << PdfSignatures::displayName(signature);
    return QObject::tr("Подписи: %1").arg(names.join(QStringLiteral(", ")));
}

QString signatureLossText(const std::vector<PdfSignature>& signatures)
{
    QStringList lines;
    for (const PdfSignature& signature : signatures)
        lines << QStringLiteral("• ") + PdfSignatures::displayName(signature);
    return QObject::tr("Документ подписан. Удалённый текст или удалённые страницы нельзя дописать к подписанной "
                       "версии: файл будет записан заново, и подписи станут недействительными:\n%1\n\n"
                       "Сохранить документ без действительных подписей?")
        .arg(lines.join(QLatin1Char('\n')));
}

bool confirmSignatureLoss(QWidget* parent, const std::vector<PdfSignature>& signatures)
{
    return appQuestion(parent, QObject::tr("Подписанный документ"), signatureLossText(signatures),
                       QObject::tr("Сохранить"), QObject::tr("Отмена"));
}
