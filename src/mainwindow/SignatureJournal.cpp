#include "SignatureJournal.h"

#include "LibraryFiles.h"
#include "RegularFile.h"
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

#include <cstdio>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

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

// The records so far. False, with the reason, when the journal exists but
// could neither be read nor moved aside (writing then would lose it), or is
// not a file at all.
bool readJournal(const QString& path, QJsonArray* records, QString* error)
{
    *records = QJsonArray();
    QByteArray bytes;
    switch (RegularFile::read(path, kMaxJournalBytes, &bytes, error)) {
    case RegularFile::Missing:
        return true;
    case RegularFile::NotRegular:
    case RegularFile::Failed:
        return false;
    case RegularFile::Opened:
        if (const QJsonDocument document = QJsonDocument::fromJson(bytes); document.isArray()) {
            *records = document.array();
            return true;
        }
        break;
    case RegularFile::TooLarge:
        break;
    }
    if (!RegularFile::setAside(path).isEmpty())
        return true;
    setError(error, QObject::tr("Не удалось отложить повреждённый журнал подписей."));
    return false;
}

} // namespace

QString signatureJournalPath()
{
    return QDir(appDataDirectory()).filePath(QStringLiteral("signature-journal.json"));
}

bool appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate, QString* error)
{
    if (!result.ok)
        return true;
    if (!QDir().mkpath(appDataDirectory())) {
        setError(error, QObject::tr("Не удалось создать папку журнала подписей."));
        return false;
    }
    const QString path = signatureJournalPath();
    const QString lockPath = path + QStringLiteral(".lock");
    if (const QString said = RegularFile::setAsideUnusableLock(lockPath); !said.isEmpty())
        std::fprintf(stderr, "%s\n", said.toLocal8Bit().constData());
    QLockFile lock(lockPath);
    if (!lockJournal(lock)) {
        setError(error, QObject::tr("Журнал подписей занят другим процессом."));
        return false;
    }
    QJsonArray records;
    if (!readJournal(path, &records, error))
        return false;
    records.append(journalRecord(request, result, certificate));
    return replaceFile(path, QJsonDocument(records).toJson(QJsonDocument::Indented), error);
}
