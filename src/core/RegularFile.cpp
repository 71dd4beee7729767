#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString tooLargeText()
{
    return QStringLiteral("Файл слишком велик.");
}

// An open descriptor of a regular file of at most maxBytes, or -1 with the
// outcome. O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it
// changes nothing for a regular file.
int openChecked(const QString& path, qint64 maxBytes, RegularFile::Outcome* outcome, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        *outcome = RegularFile::Missing;
        setError(error, systemText(ENOENT));
        return -1;
    }
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int code = errno;
        // A socket cannot be opened at all; it is not a file either.
        struct stat linked {};
        if (code == ENXIO || (::stat(name.constData(), &linked) == 0 && !S_ISREG(linked.st_mode))) {
            *outcome = RegularFile::NotRegular;
            setError(error, RegularFile::notRegularText(path));
        } else {
            *outcome = code == ENOENT ? RegularFile::Missing : RegularFile::Failed;
            setError(error, systemText(code));
        }
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        *outcome = RegularFile::Failed;
        setError(error, systemText(code));
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        *outcome = RegularFile::NotRegular;
        setError(error, RegularFile::notRegularText(path));
        return -1;
    }
    if (info.st_size > maxBytes) {
        ::close(fd);
        *outcome = RegularFile::TooLarge;
        setError(error, tooLargeText());
        return -1;
    }
    *outcome = RegularFile::Opened;
    return fd;
}

} // namespace

QString RegularFile::notRegularText(const QString& path)
{
    return QStringLiteral("%1 не является обычным файлом").arg(QFileInfo(path).fileName());
}

RegularFile::Outcome RegularFile::open(const QString& path, qint64 maxBytes, QFile* file, QString* error)
{
    Outcome outcome = Failed;
    const int fd = openChecked(path, maxBytes, &outcome, error);
    if (fd < 0)
        return outcome;
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        setError(error, file->errorString());
        ::close(fd);
        return Failed;
    }
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
