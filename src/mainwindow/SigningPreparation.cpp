#include "SigningPreparation.h"

#include "DocumentJob.h"
#include "PdfDocument.h"
#include "RegularFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#include <array>

namespace {

constexpr qint64 kHashChunk = 1024 * 1024;
constexpr int kPermille = 1000;

// The steps of a preparation and their rough shares of its time: copying
// and saving a document cost about three readings of it.
enum Step { CopyDocument, Hash, Open, Stamp, Save, StepCount };
constexpr std::array<double, StepCount> kWeights{3.0, 1.0, 1.0, 0.5, 3.0};

class Progress {
public:
    Progress(const SigningPreparation::Task& task, DocumentJob::Control& control)
        : control(control)
    {
        present[CopyDocument] = task.document != nullptr;
        for (int step = Hash; step < StepCount; ++step)
            present[step] = !task.stamped.isEmpty();
        for (int step = 0; step < StepCount; ++step)
            total += present[step] ? kWeights[step] : 0.0;
    }

    // Reports the share done at fraction of step; false once stopped.
    bool at(Step step, double fraction = 0.0)
    {
        double done = 0.0;
        for (int before = 0; before < step; ++before)
            done += present[before] ? kWeights[before] : 0.0;
        done += kWeights[step] * qBound(0.0, fraction, 1.0);
        return control.report(total > 0 ? int(done / total * kPermille) : kPermille, kPermille);
    }

    bool end() { return control.report(kPermille, kPermille); }

private:
    DocumentJob::Control& control;
    std::array<bool, StepCount> present{};
    double total = 0.0;
};

QString tr(const char* text)
{
    return QCoreApplication::translate("SigningRun", text);
}

void removeMade(const QString& documentCopy, const QString& stamped)
{
    if (!documentCopy.isEmpty())
        QFile::remove(documentCopy);
    if (!stamped.isEmpty())
        QFile::remove(stamped);
}

// On the job's thread. A stop is noticed between steps and within hashing.
void prepare(const SigningPreparation::Task& task, DocumentJob::Control& control, QString* error)
{
    Progress progress(task, control);
    if (task.document) {
        if (!progress.at(CopyDocument))
            return;
        if (!control.document()->saveCopy(task.documentCopy)) {
            *error = tr("Не удалось сохранить текущий документ во временный PDF.");
            return;
        }
    }
    if (task.stamped.isEmpty()) {
        progress.end();
        return;
    }
    QByteArray sha256;
    if (!SigningPreparation::hashFile(task.stampSource, &sha256, error, [&progress](qint64 done, qint64 total) {
            return progress.at(Hash, total > 0 ? double(done) / double(total) : 1.0);
        }))
        return;
    const StampCopyWatcher watcher = [&progress](StampCopyStep step) {
        switch (step) {
        case StampCopyStep::Open:
            return progress.at(Open);
        case StampCopyStep::Stamp:
            return progress.at(Stamp);
        case StampCopyStep::Save:
            return progress.at(Save);
        }
        return true;
    };
    if (createStampedPdfCopy(task.stampSource, task.stamped, task.certificate, sha256, QDateTime::currentDateTime(),
                             task.options, error, watcher))
        progress.end();
}

} // namespace

SigningPreparation::SigningPreparation(QObject* parent)
    : QObject(parent)
{
}

SigningPreparation::~SigningPreparation()
{
    stop();
}

bool SigningPreparation::hashFile(const QString& path, QByteArray* sha256, QString* error,
                                  const std::function<bool(qint64, qint64)>& step)
{
    // A FIFO named as the document would hold the preparation for ever.
    QFile file;
    QString reason;
    if (RegularFile::open(path, PdfDocument::kMaxFileBytes, &file, &reason) != RegularFile::Opened) {
        *error = tr("Не удалось прочитать PDF перед нанесением штампа: %1").arg(reason);
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(kHashChunk, Qt::Uninitialized);
    const qint64 total = file.size();
    qint64 done = 0;
    for (;;) {
        if (step && !step(done, total)) {
            error->clear();
            return false;
        }
        const qint64 read = file.read(chunk.data(), chunk.size());
        if (read < 0) {
            *error = tr("Не удалось прочитать PDF перед нанесением штампа: %1").arg(file.errorString());
            return false;
        }
        if (read == 0)
            break;
        hash.addData(QByteArrayView(chunk.constData(), read));
        done += read;
    }
    *sha256 = hash.result();
    return true;
}

void SigningPreparation::start(Task task)
{
    if (job)
        return;
    job = std::make_unique<DocumentJob>(task.document);
    madeCopy = task.documentCopy;
    madeStamped = task.stamped;
    auto error = std::make_shared<QString>();
    connect(job.get(), &DocumentJob::progress, this, [this](int done, int) { emit progress(done); });
    connect(job.get(), &DocumentJob::finished, this, [this, error](bool) {
        job.release()->deleteLater();
        emit finished(*error);
    });
    job->start([task = std::move(task), error](DocumentJob::Control& control) {
        prepare(task, control, error.get());
        // Stopped while the last step ran: what it made goes.
        if (control.isCancelled())
            removeMade(task.documentCopy, task.stamped);
    });
}

// The job is let go instead of waited for: it finishes on its own, its
// files are removed when it has, and the application waits for it only
// when it quits.
void SigningPreparation::stop()
{
    if (!job)
        return;
    DocumentJob* left = job.release();
    left->cancel();
    left->disconnect(this);
    auto cleanUp = [copy = madeCopy, stamped = madeStamped] { removeMade(copy, stamped); };
    left->setParent(QCoreApplication::instance());
    connect(left, &DocumentJob::finished, left, [left, cleanUp] {
        cleanUp();
        left->deleteLater();
    });
    if (QCoreApplication::instance()) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, left, [left, cleanUp] {
            left->wait();
            cleanUp();
        });
    }
}
