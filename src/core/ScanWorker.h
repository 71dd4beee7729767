#pragma once

#include "ScanEngine.h"

#include <QImage>
#include <QObject>

// One preview or scan on a thread of its own: acquires through the borrowed
// back-end, runs the clean-up chain and reports through signals. A scan whose
// picture can be no PDF page is refused with the reason.
class ScanWorker : public QObject {
    Q_OBJECT

public:
    ScanWorker(ScanBackend* backend, const ScanParams& params, bool preview);

public slots:
    void run();

signals:
    void finished(QImage image, bool isPreview);
    void error(QString msg);
    void progress(int percent);

private:
    // Why the picture of a final scan can be no page; previews are only shown.
    QString pageRefusal(const QImage& image) const;

    ScanBackend* m_backend;
    ScanParams m_params;
    bool m_preview;
};
