#include "SignatureService.h"

bool SignatureService::checkCertificateRevocation(const QString& certificateId, QString* status)
{
    Q_UNUSED(certificateId);
    if (status)
        *status = QStringLiteral("изолированная проверка отзыва используется только на Windows");
    return false;
}
