#pragma once

#include "UpdateManifest.h"

#include <QByteArray>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

// One update check: fetches the manifest with a manager of its own and
// reports the outcome once. The reply is bounded: a larger one is aborted
// and reported as a failed check; SSL errors are never ignored.
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    static constexpr int kTransferTimeoutMs = 15000;
    static constexpr qint64 kMaxManifestBytes = qint64(1024) * 1024;

    UpdateCheck(UpdateCheckInputs inputs, QObject* parent);

    // Sends the request; the manager and the reply go with this object.
    void start(int transferTimeoutMs = kTransferTimeoutMs);

    // "VornPDF/<version>".
    static QByteArray userAgent(const QString& version);

signals:
    void finished(const UpdateCheckOutcome& outcome);

private:
    void readAvailable();
    void refuseOversized();
    void onReplyFinished();

    UpdateCheckInputs m_inputs;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QByteArray m_body;
    bool m_oversized = false;
};
