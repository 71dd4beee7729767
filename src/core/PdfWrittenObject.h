#pragma once
// An object's text as the file writes it, read by PDF tokens without a
// parser: an update that must change one entry keeps every other byte, so
// what readers resolve for the rest (even a reference to a freed object)
// stays theirs to decide.

#include <QByteArray>

class PdfWrittenObject {
public:
    // The body ("<<...>>" or "[...]") of "number generation obj" at the
    // start of bytes; false when the bytes there are not that object.
    static bool read(const QByteArray& bytes, int number, int generation, QByteArray* body);
    // Where key's value lies in a dictionary body: [*start, *end); false
    // when the dictionary has no such key or cannot be read.
    static bool valueOf(const QByteArray& dictionary, const QByteArray& key, qsizetype* start, qsizetype* end);
    // The end of the value (a reference counts as one) starting at or after
    // at; -1 when it is not a whole value.
    static qsizetype valueEnd(const QByteArray& text, qsizetype at);
    static qsizetype skipSpace(const QByteArray& text, qsizetype at);
};
