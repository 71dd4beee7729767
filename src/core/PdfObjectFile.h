#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>

// A PDF as a numbered list of objects, read from a file with a classic
// cross-reference table (as pdfium writes a complete copy), and written again
// with some objects replaced or added and every object that nothing refers to
// any more left out. Only the syntax is read: dictionaries are kept as text.
class PdfObjectFile {
public:
    struct Object {
        int generation = 0;
        qint64 start = 0;       // first byte of the value after "obj"
        qint64 valueEnd = 0;    // one past the value (the dictionary of a stream)
        qint64 end = 0;         // one past the value or the stream, before "endobj"
        qint64 dataStart = -1;  // stream data, when the object is a stream
        qint64 dataLength = 0;
    };

    // False when the bytes are not such a file (or are encrypted, or have
    // update sections or a cross-reference stream).
    bool parse(const QByteArray& bytes);

    const QMap<int, Object>& objects() const { return m_objects; }
    int nextFreeNumber() const { return m_objects.isEmpty() ? 1 : m_objects.lastKey() + 1; }
    QByteArray valueText(int number) const;
    QByteArray streamData(int number) const;

    // The entries of a dictionary's text, keys with their slash, values as written.
    static QHash<QByteArray, QByteArray> dictionaryEntries(const QByteArray& dictionary);
    // The object number of a value written as "N G R", else 0.
    static int referenceNumber(const QByteArray& value);

    // The whole file again: replaced holds whole new object bodies (value and
    // stream) by number, new numbers included.
    QByteArray rewritten(const QMap<int, QByteArray>& replaced) const;

private:
    bool parseObjectAt(int number, qint64 offset);
    qint64 streamLength(const QByteArray& dictionary) const;
    QByteArray bodyOf(int number, const QMap<int, QByteArray>& replaced) const;

    QByteArray m_bytes;
    QMap<int, qint64> m_offsets;
    QMap<int, Object> m_objects;
    QByteArray m_trailer;
};
