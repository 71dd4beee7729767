#include "SignatureJournal.h"

#include "LibraryFiles.h"
#include "SignatureService.h"
#include "SignatureStampTemplate.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>
#include <QThread>

namespace {

// A journal larger than this is not read, only moved aside.
constexpr qint64 kMaxJournalBytes = 16LL * 1024 * 1024;
// An append takes milliseconds; a lock older than this is left over.
constexpr int kStaleLockMs = 15000;
constexpr int kLockWaitMs = 3000;

QJsonObject journalRecord(const SignatureRequest& request, const SignatureResult& result,
                          const SigningCertificate& certificate)
{
    const QFileInfo input(request.inputPath);
    QJsonObject record;
    record.insert(QStringLiteral("fileName"), input.fileName());
    record.insert(QStringLiteral("filePath"), input.absoluteFilePath());
    record.insert(QStringLiteral("signaturePath"), QFileInfo(result.outputPath).absoluteFilePath());
    record.insert(QStringLiteral("sha256"), QString::fromLatin1(result.documentSha256.toHex()));
    record.insert(QStringLiteral("mode"), SignatureService::modeDisplayName(request.mode));
    record.insert(QStringLiteral("signer"), result.signer);
    record.insert(QStringLiteral("certificateSubject"), certificate.subject);
    record.insert(QStringLiteral("certificateIssuer"), certificate.issuer);
    record.insert(QStringLiteral("certificateThumbprint"), certificate.thumbprint);
    record.insert(QStringLiteral("certificateProvider"), certificate.providerName);
    record.insert(QStringLiteral("signedAt"), result.signedAt.toString(Qt::ISODate));
    record.insert(QStringLiteral("signatureSize"), QString::number(result.outputSize));
    return record;
}

// QLockFile's own wait sleeps ever longer while the lock is busy; short
// jittered retries keep two appending processes from starving each other.
bool lockJournal(QLockFile& lock)
{
    lock.setStaleLockTime(kStaleLockMs);
    const QDeadlineTimer deadline(kLockWaitMs);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(5 + QRandomGenerator::global()->bounded(10));
    }
    return true;
}

// Moves a damaged journal to a free "<path>.corrupt-<time>" name.
bool moveAside(const QString& path)
{
    const QString base = path + QStringLiteral(".corrupt-")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    return QFile::rename(path, target);
}

// The records so far. False when the journal exists but could neither be
// read nor moved aside: writing then would lose it.
bool readJournal(const QString& path, QJsonArray* records)
{
    *records = QJsonArray();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(kMaxJournalBytes + 1);
    file.close();
    if (bytes.size() <= kMaxJournalBytes) {
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        if (document.isArray()) {
            *records = document.array();
            return true;
        }
    }
    return moveAside(path);
}

} // namespace

QString signatureJournalPath()
{
    return QDir(appDataDirectory()).filePath(QStringLiteral("signature-journal.json"));
}

void appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate)
{
    if (!result.ok)
        return;
    if (!QDir().mkpath(appDataDirectory()))
        return;
    const QString path = signatureJournalPath();
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lockJournal(lock))
        return;
    QJsonArray records;
    if (!readJournal(path, &records))
        return;
    records.append(journalRecord(request, result, certificate));
    replaceFile(path, QJsonDocument(records).toJson(QJsonDocument::Indented), nullptr);
}
