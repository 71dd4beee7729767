#include "PdfObjectFile.h"

#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxNesting = 256;

bool isWhite(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return std::strchr("()<>[]{}/%", c) != nullptr && c != '\0';
}

qint64 skipSpace(const QByteArray& bytes, qint64 pos, qint64 end)
{
    while (pos < end) {
        if (isWhite(bytes.at(pos))) {
            ++pos;
        } else if (bytes.at(pos) == '%') {
            while (pos < end && bytes.at(pos) != '\n' && bytes.at(pos) != '\r')
                ++pos;
        } else {
            break;
        }
    }
    return pos;
}

qint64 literalStringEnd(const QByteArray& bytes, qint64 pos, qint64 end)
{
    int depth = 0;
    for (; pos < end; ++pos) {
        const char c = bytes.at(pos);
        if (c == '\\') {
            ++pos;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return pos + 1;
        }
    }
    return -1;
}

// One past the token at pos: a string, a bracket, a name or a plain word.
qint64 tokenEnd(const QByteArray& bytes, qint64 pos, qint64 end)
{
    const char c = bytes.at(pos);
    if (c == '(')
        return literalStringEnd(bytes, pos, end);
    if (c == '<' || c == '>') {
        if (pos + 1 < end && bytes.at(pos + 1) == c)
            return pos + 2;
        if (c == '>')
            return -1;
        const qint64 close = bytes.indexOf('>', pos);
        return close < 0 || close >= end ? -1 : close + 1;
    }
    if (c == '[' || c == ']' || c == '{' || c == '}')
        return pos + 1;
    qint64 next = pos + 1;
    while (next < end && !isWhite(bytes.at(next)) && !isDelimiter(bytes.at(next)))
        ++next;
    return next;
}

// One past the value at pos (after space), or -1.
qint64 valueEnd(const QByteArray& bytes, qint64 pos, qint64 end, int depth = 0)
{
    pos = skipSpace(bytes, pos, end);
    if (pos >= end || depth > kMaxNesting)
        return -1;
    const bool dictionary = bytes.at(pos) == '<' && pos + 1 < end && bytes.at(pos + 1) == '<';
    if (!dictionary && bytes.at(pos) != '[')
        return tokenEnd(bytes, pos, end);
    const char* close = dictionary ? ">>" : "]";
    pos += dictionary ? 2 : 1;
    while (true) {
        pos = skipSpace(bytes, pos, end);
        if (pos >= end)
            return -1;
        if (bytes.mid(pos, qsizetype(std::strlen(close))) == close)
            return pos + qint64(std::strlen(close));
        pos = valueEnd(bytes, pos, end, depth + 1);
        if (pos < 0)
            return -1;
    }
}

bool isInteger(const QByteArray& token)
{
    bool ok = false;
    token.toLongLong(&ok);
    return ok && !token.contains('.') && !token.startsWith('+');
}

// Object numbers of every "N G R" between pos and end.
void collectReferences(const QByteArray& bytes, qint64 pos, qint64 end, QList<int>* numbers)
{
    QByteArray previous[2];
    while (true) {
        pos = skipSpace(bytes, pos, end);
        if (pos >= end)
            return;
        const qint64 next = tokenEnd(bytes, pos, end);
        if (next < 0)
            return;
        const QByteArray token = bytes.mid(pos, next - pos);
        if (token == "R" && isInteger(previous[0]) && isInteger(previous[1]))
            numbers->append(previous[0].toInt());
        previous[0] = previous[1];
        previous[1] = token;
        pos = next;
    }
}

} // namespace

namespace {

// The token at pos (after space) and the position after it; empty at the end.
QByteArray nextToken(const QByteArray& bytes, qint64* pos)
{
    const qint64 start = skipSpace(bytes, *pos, bytes.size());
    if (start >= bytes.size())
        return {};
    const qint64 end = tokenEnd(bytes, start, bytes.size());
    if (end < 0)
        return {};
    *pos = end;
    return bytes.mid(start, end - start);
}

} // namespace

bool PdfObjectFile::parse(const QByteArray& bytes)
{
    m_bytes = bytes;
    m_objects.clear();
    m_offsets.clear();
    const qint64 size = bytes.size();
    qint64 pos = bytes.lastIndexOf("startxref");
    if (!bytes.startsWith("%PDF-") || pos < 0)
        return false;
    pos += 9;
    bool ok = false;
    const qint64 xref = nextToken(bytes, &pos).toLongLong(&ok);
    if (!ok || xref < 0 || xref >= size || bytes.mid(xref, 4) != "xref")
        return false;
    pos = xref + 4;
    while (true) {
        const QByteArray word = nextToken(bytes, &pos);
        if (word == "trailer")
            break;
        const int first = word.toInt(&ok);
        bool countOk = false;
        const int count = nextToken(bytes, &pos).toInt(&countOk);
        constexpr int kEntryBytes = 18;
        constexpr qint64 kLargestObjectNumber = 8388607;  // the limit PDF readers keep to
        if (!ok || !countOk || first < 0 || count < 0 || qint64(count) * kEntryBytes > size ||
            qint64(first) + count > kLargestObjectNumber)
            return false;
        for (int i = 0; i < count; ++i) {
            const QByteArray offset = nextToken(bytes, &pos);
            nextToken(bytes, &pos);
            const QByteArray kind = nextToken(bytes, &pos);
            if (kind != "n" && kind != "f")
                return false;
            if (kind == "n")
                m_offsets.insert(first + i, offset.toLongLong());
        }
    }
    const qint64 trailerStart = skipSpace(bytes, pos, size);
    const qint64 trailerEnd = valueEnd(bytes, trailerStart, size);
    if (trailerEnd < 0)
        return false;
    m_trailer = bytes.mid(trailerStart, trailerEnd - trailerStart);
    const QHash<QByteArray, QByteArray> trailer = dictionaryEntries(m_trailer);
    // An update section or a cross-reference stream beside the table would hold objects this table does not list.
    if (trailer.contains("/Encrypt") || trailer.contains("/Prev") || trailer.contains("/XRefStm") ||
        !trailer.contains("/Root"))
        return false;
    for (auto it = m_offsets.cbegin(); it != m_offsets.cend(); ++it) {
        if (!parseObjectAt(it.key(), it.value()))
            return false;
    }
    return true;
}

bool PdfObjectFile::parseObjectAt(int number, qint64 offset)
{
    const qint64 size = m_bytes.size();
    if (offset < 0 || offset >= size)
        return false;
    qint64 pos = offset;
    bool ok = false;
    bool generationOk = false;
    const int found = nextToken(m_bytes, &pos).toInt(&ok);
    const int generation = nextToken(m_bytes, &pos).toInt(&generationOk);
    if (!ok || !generationOk || found != number || nextToken(m_bytes, &pos) != "obj")
        return false;
    Object object;
    object.generation = generation;
    object.start = skipSpace(m_bytes, pos, size);
    object.valueEnd = valueEnd(m_bytes, object.start, size);
    if (object.valueEnd < 0)
        return false;
    object.end = object.valueEnd;
    pos = object.valueEnd;
    if (nextToken(m_bytes, &pos) == "stream") {
        if (pos < size && m_bytes.at(pos) == '\r')
            ++pos;
        if (pos < size && m_bytes.at(pos) == '\n')
            ++pos;
        const qint64 length = streamLength(m_bytes.mid(object.start, object.valueEnd - object.start));
        if (length < 0 || pos + length > size)
            return false;
        const qint64 tail = skipSpace(m_bytes, pos + length, size);
        if (m_bytes.mid(tail, 9) != "endstream")
            return false;
        object.dataStart = pos;
        object.dataLength = length;
        object.end = tail + 9;
    }
    m_objects.insert(number, object);
    return true;
}

qint64 PdfObjectFile::streamLength(const QByteArray& dictionary) const
{
    const QByteArray value = dictionaryEntries(dictionary).value("/Length");
    bool ok = false;
    if (const int number = referenceNumber(value)) {
        qint64 pos = m_offsets.value(number, -1);
        if (pos < 0)
            return -1;
        nextToken(m_bytes, &pos);
        nextToken(m_bytes, &pos);
        if (nextToken(m_bytes, &pos) != "obj")
            return -1;
        const qint64 length = nextToken(m_bytes, &pos).toLongLong(&ok);
        return ok ? length : -1;
    }
    const qint64 length = value.toLongLong(&ok);
    return ok ? length : -1;
}

QByteArray PdfObjectFile::valueText(int number) const
{
    const auto it = m_objects.constFind(number);
    return it == m_objects.cend() ? QByteArray() : m_bytes.mid(it->start, it->valueEnd - it->start);
}

QByteArray PdfObjectFile::streamData(int number) const
{
    const auto it = m_objects.constFind(number);
    return it == m_objects.cend() || it->dataStart < 0 ? QByteArray() : m_bytes.mid(it->dataStart, it->dataLength);
}

QHash<QByteArray, QByteArray> PdfObjectFile::dictionaryEntries(const QByteArray& dictionary)
{
    QHash<QByteArray, QByteArray> entries;
    const qint64 end = dictionary.size();
    qint64 pos = skipSpace(dictionary, 0, end);
    if (!dictionary.mid(pos).startsWith("<<"))
        return entries;
    pos += 2;
    while (true) {
        pos = skipSpace(dictionary, pos, end);
        if (pos >= end || dictionary.at(pos) != '/')
            return entries;
        const qint64 keyEnd = tokenEnd(dictionary, pos, end);
        const QByteArray key = dictionary.mid(pos, keyEnd - pos);
        const qint64 start = skipSpace(dictionary, keyEnd, end);
        qint64 stop = valueEnd(dictionary, start, end);
        if (stop < 0)
            return entries;
        // "N G R" is one value written as three words.
        qint64 probe = stop;
        const QByteArray first = dictionary.mid(start, stop - start);
        const QByteArray second = nextToken(dictionary, &probe);
        const QByteArray third = nextToken(dictionary, &probe);
        if (isInteger(first) && isInteger(second) && third == "R")
            stop = probe;
        entries.insert(key, dictionary.mid(start, stop - start));
        pos = stop;
    }
}

int PdfObjectFile::referenceNumber(const QByteArray& value)
{
    const QList<QByteArray> words = value.simplified().split(' ');
    if (words.size() != 3 || words.at(2) != "R" || !isInteger(words.at(0)) || !isInteger(words.at(1)))
        return 0;
    return std::max(0, words.at(0).toInt());
}

QByteArray PdfObjectFile::bodyOf(int number, const QMap<int, QByteArray>& replaced) const
{
    const auto it = replaced.constFind(number);
    if (it != replaced.cend())
        return it.value();
    const auto object = m_objects.constFind(number);
    return object == m_objects.cend() ? QByteArray() : m_bytes.mid(object->start, object->end - object->start);
}

QByteArray PdfObjectFile::rewritten(const QMap<int, QByteArray>& replaced) const
{
    // Every object the trailer reaches, through the new bodies where given.
    QSet<int> reached;
    QList<int> pending;
    collectReferences(m_trailer, 0, m_trailer.size(), &pending);
    while (!pending.isEmpty()) {
        const int number = pending.takeLast();
        if (reached.contains(number) || (!m_objects.contains(number) && !replaced.contains(number)))
            continue;
        reached.insert(number);
        const QByteArray body = bodyOf(number, replaced);
        const qint64 end = valueEnd(body, 0, body.size());
        collectReferences(body, 0, end < 0 ? body.size() : end, &pending);
    }
    QList<int> numbers(reached.cbegin(), reached.cend());
    std::sort(numbers.begin(), numbers.end());
    const int size = numbers.isEmpty() ? 1 : numbers.last() + 1;

    const qint64 versionEnd = m_bytes.indexOf('\n');
    QByteArray out = m_bytes.left(versionEnd < 0 ? 8 : versionEnd).trimmed() + "\n%\xE2\xE3\xCF\xD3\n";
    QList<qint64> offsets(size, -1);
    for (int number : numbers) {
        offsets[number] = out.size();
        const auto object = m_objects.constFind(number);
        const int generation = object == m_objects.cend() ? 0 : object->generation;
        out += QByteArray::number(number) + ' ' + QByteArray::number(generation) + " obj\n" +
               bodyOf(number, replaced) + "\nendobj\n";
    }
    const qint64 xref = out.size();
    out += "xref\n0 " + QByteArray::number(size) + "\n0000000000 65535 f \n";
    for (int number = 1; number < size; ++number) {
        if (offsets.at(number) < 0) {
            out += "0000000000 00001 f \n";
            continue;
        }
        const auto object = m_objects.constFind(number);
        const int generation = object == m_objects.cend() ? 0 : object->generation;
        out += QByteArray::number(offsets.at(number)).rightJustified(10, '0') + ' ' +
               QByteArray::number(generation).rightJustified(5, '0') + " n \n";
    }
    const QHash<QByteArray, QByteArray> trailer = dictionaryEntries(m_trailer);
    out += "trailer\n<< /Size " + QByteArray::number(size);
    for (const char* key : {"/Root", "/Info", "/ID"}) {
        if (trailer.contains(key))
            out += ' ' + QByteArray(key) + ' ' + trailer.value(key);
    }
    out += " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}
