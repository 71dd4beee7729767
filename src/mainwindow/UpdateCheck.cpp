#include "UpdateCheck.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

UpdateCheck::UpdateCheck(UpdateCheckInputs inputs, QObject* parent)
    : QObject(parent)
    , m_inputs(std::move(inputs))
{
}

QByteArray UpdateCheck::userAgent(const QString& version)
{
    return QByteArrayLiteral("VornPDF/") + version.toUtf8();
}

void UpdateCheck::start(int transferTimeoutMs)
{
    m_manager = new QNetworkAccessManager(this);
    QNetworkRequest request(QUrl(m_inputs.manifestUrl, QUrl::TolerantMode));
    request.setRawHeader(QByteArrayLiteral("User-Agent"), userAgent(m_inputs.currentVersion));
    request.setTransferTimeout(transferTimeoutMs);
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > kMaxManifestBytes)
            refuseOversized();
    });
    connect(m_reply, &QIODevice::readyRead, this, &UpdateCheck::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::onReplyFinished);
}

// The body is taken as it comes, so no more than the limit and one chunk is
// ever held.
void UpdateCheck::readAvailable()
{
    if (m_oversized)
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > kMaxManifestBytes)
        refuseOversized();
}

void UpdateCheck::refuseOversized()
{
    if (m_oversized)
        return;
    m_oversized = true;
    m_body.clear();
    m_reply->abort();
}

void UpdateCheck::onReplyFinished()
{
    const bool failed = m_reply->error() != QNetworkReply::NoError;
    if (!failed)
        readAvailable();
    UpdateCheckOutcome outcome;
    if (m_oversized)
        outcome = updateNetworkFailure(QCoreApplication::translate("UpdateCheck", "Ответ сервера больше %1 КБ.")
                                           .arg(kMaxManifestBytes / 1024),
                                       m_inputs);
    else if (failed)
        outcome = updateNetworkFailure(m_reply->errorString(), m_inputs);
    else
        outcome = evaluateUpdateManifest(m_body, m_inputs);
    m_reply->deleteLater();
    m_manager->deleteLater();
    emit finished(outcome);
    deleteLater();
}
