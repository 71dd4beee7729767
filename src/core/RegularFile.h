#pragma once
// Reading a file that must be a regular file: a document, key material, a
// template, a picture, a journal, a settings file. A device such as
// /dev/zero reads without end and a FIFO without a writer blocks its reader
// for ever, so the file is opened without blocking, its type is checked on
// the opened descriptor and its size is bounded before anything is read.

#include <QByteArray>
#include <QString>

class QFile;

class RegularFile {
public:
    enum Outcome {
        Opened,      // read, or open for reading
        Missing,     // nothing at the path
        NotRegular,  // a device, FIFO, socket or folder
        TooLarge,    // more than the caller's bound
        Failed,      // the system refused to open or read it
    };

    // Opens path for reading into file, which must not be open. On any other
    // outcome than Opened, error (when given) gets the reason and file stays
    // closed.
    static Outcome open(const QString& path, qint64 maxBytes, QFile* file, QString* error);

    // The whole file, at most maxBytes; bytes is left empty on failure.
    static Outcome read(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* error);

    // "<name> не является обычным файлом", with the file's name.
    static QString notRegularText(const QString& path);

    // Moves what stands at path (a link itself, not what it names) to a free
    // "<path>.corrupt-<time>" name, so that a damaged or refused file is kept
    // for the user while a new one takes its place. The new path, or empty
    // when it could not be moved.
    static QString setAside(const QString& path);

    // QLockFile reads a lock it finds, and a FIFO or a device there holds
    // it for ever. Whatever stands at path that is not a regular file is
    // set aside; the line that says so, for standard error, or empty when
    // there was nothing to set aside.
    static QString setAsideUnusableLock(const QString& path);
};
