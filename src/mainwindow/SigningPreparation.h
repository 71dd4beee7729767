#pragma once

#include "SignatureRecords.h"
#include "StampedPdfCopy.h"

#include <QObject>
#include <QString>

#include <memory>

class DocumentJob;
class PdfDocument;

// What a signature needs before its child starts, made on a thread of its
// own so the window never waits: a copy of the open document and a stamped
// copy (hashing the source first). Progress comes in thousandths. stop()
// returns at once: the work ends at its next step (a save under way inside
// the PDF engine runs to its end) and then removes everything it wrote.
class SigningPreparation : public QObject {
    Q_OBJECT
public:
    struct Task {
        // Copied first to documentCopy when set.
        std::shared_ptr<PdfDocument> document;
        QString documentCopy;
        // The file to stamp (documentCopy when the document is copied) and
        // the stamped copy; no stamp when stamped is empty.
        QString stampSource;
        QString stamped;
        SigningCertificate certificate;
        SignatureStampOptions options;
        // Held until the work has ended (the scratch folder the copy is in).
        std::shared_ptr<void> keepAlive;
    };

    explicit SigningPreparation(QObject* parent = nullptr);
    ~SigningPreparation() override;

    // One task per object; finished follows, unless stopped.
    void start(Task task);
    void stop();
    bool isRunning() const { return job != nullptr; }

    // The source's SHA-256 read in steps, each step asking stopped; false
    // with the reason (or an empty one when stopped). Any thread.
    static bool hashFile(const QString& path, QByteArray* sha256, QString* error,
                         const std::function<bool(qint64 done, qint64 total)>& step = {});

signals:
    void progress(int permille);
    // Empty error: everything was made.
    void finished(const QString& error);

private:
    std::unique_ptr<DocumentJob> job;
    QString madeCopy;
    QString madeStamped;
};
