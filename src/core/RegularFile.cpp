#include "RegularFile.h"

#include "SystemErrorText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString tooLargeText()
{
    return QStringLiteral("Файл слишком велик.");
}

// Owns a descriptor until it is handed on.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

RegularFile::Outcome refuse(RegularFile::Outcome outcome, const QString& reason, QString* error)
{
    setError(error, reason);
    return outcome;
}

// Opens a regular file of at most maxBytes; fd gets its descriptor. O_NONBLOCK
// keeps the open of a FIFO from waiting for a writer; it changes nothing
// for a regular file.
RegularFile::Outcome openChecked(const QString& path, qint64 maxBytes, int* fd, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return refuse(RegularFile::Missing, systemErrorText(ENOENT), error);
    int opening = -1;
    do {
        opening = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (opening < 0 && errno == EINTR);
    if (opening < 0) {
        const int code = errno;
        // A socket cannot be opened at all; it is not a file either.
        struct stat linked {};
        if (code == ENXIO || (::stat(name.constData(), &linked) == 0 && !S_ISREG(linked.st_mode)))
            return refuse(RegularFile::NotRegular, RegularFile::notRegularText(path), error);
        return refuse(code == ENOENT ? RegularFile::Missing : RegularFile::Failed, systemErrorText(code), error);
    }
    Descriptor opened(opening);
    struct stat info {};
    if (::fstat(opened.get(), &info) != 0)
        return refuse(RegularFile::Failed, systemErrorText(errno), error);
    if (!S_ISREG(info.st_mode))
        return refuse(RegularFile::NotRegular, RegularFile::notRegularText(path), error);
    if (info.st_size > maxBytes)
        return refuse(RegularFile::TooLarge, tooLargeText(), error);
    *fd = opened.release();
    return RegularFile::Opened;
}

} // namespace

QString RegularFile::notRegularText(const QString& path)
{
    return QStringLiteral("%1 не является обычным файлом").arg(QFileInfo(path).fileName());
}

QString RegularFile::setAside(const QString& path)
{
    const QString base = path + QStringLiteral(".corrupt-")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    return QFile::rename(path, target) ? target : QString();
}

QString RegularFile::setAsideUnusableLock(const QString& path)
{
    QFile file;
    QString reason;
    if (open(path, std::numeric_limits<qint64>::max(), &file, &reason) != NotRegular)
        return {};
    const QString target = setAside(path);
    return target.isEmpty() ? QStringLiteral("Lock file %1 refused (%2) and could not be moved aside.").arg(path, reason)
                            : QStringLiteral("Lock file %1 moved to %2 (%3).").arg(path, target, reason);
}

RegularFile::Outcome RegularFile::open(const QString& path, qint64 maxBytes, QFile* file, QString* error)
{
    int fd = -1;
    const Outcome outcome = openChecked(path, maxBytes, &fd, error);
    if (outcome != Opened)
        return outcome;
    Descriptor descriptor(fd);
    if (!file->open(descriptor.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return refuse(Failed, file->errorString(), error);
    descriptor.release();  // the file closes it now
    return Opened;
}

// Read up to the size the file had when opened and one byte past it: a file
// that grew meanwhile is read on only up to the bound.
RegularFile::Outcome RegularFile::read(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* error)
{
    constexpr qint64 kPiece = 1 << 20;
    bytes->clear();
    QFile file;
    const Outcome opened = open(path, maxBytes, &file, error);
    if (opened != Opened)
        return opened;
    QByteArray data;
    data.resize(qsizetype(file.size()) + 1);
    qint64 done = 0;
    for (;;) {
        if (done == data.size()) {
            if (done > maxBytes) {
                setError(error, tooLargeText());
                return TooLarge;
            }
            data.resize(qsizetype(std::min(done + kPiece, maxBytes + 1)));
        }
        const qint64 step = file.read(data.data() + done, data.size() - done);
        if (step < 0) {
            setError(error, file.errorString());
            return Failed;
        }
        if (step == 0)
            break;
        done += step;
    }
    data.truncate(qsizetype(done));
    *bytes = std::move(data);
    return Opened;
}
