#include "PdfWrittenObject.h"

#include <QRegularExpression>

#include <cstring>

namespace {

// Nesting deeper than this is no object a writer makes: refused, so hostile
// input cannot exhaust the stack.
constexpr int kDeepestNesting = 64;

bool isSpace(char c)
{
    return c == '\0' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

bool isDelimiter(char c)
{
    return std::strchr("()<>[]{}/%", c) != nullptr;
}

qsizetype regularEnd(const QByteArray& text, qsizetype at)
{
    while (at < text.size() && !isSpace(text.at(at)) && !isDelimiter(text.at(at)))
        ++at;
    return at;
}

bool isUnsigned(const QByteArray& text, qsizetype start, qsizetype end)
{
    if (start >= end)
        return false;
    for (qsizetype at = start; at < end; ++at) {
        if (text.at(at) < '0' || text.at(at) > '9')
            return false;
    }
    return true;
}

qsizetype literalEnd(const QByteArray& text, qsizetype at)
{
    int depth = 0;
    for (; at < text.size(); ++at) {
        const char c = text.at(at);
        if (c == '\\')
            ++at;
        else if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return at + 1;
    }
    return -1;
}

qsizetype valueEndAt(const QByteArray& text, qsizetype at, int depth);

// Items up to the closing delimiter, which is one or two bytes.
qsizetype containerEnd(const QByteArray& text, qsizetype at, const QByteArray& closing, int depth)
{
    if (depth > kDeepestNesting)
        return -1;
    for (;;) {
        at = PdfWrittenObject::skipSpace(text, at);
        if (at >= text.size())
            return -1;
        if (text.mid(at, closing.size()) == closing)
            return at + closing.size();
        at = valueEndAt(text, at, depth + 1);
        if (at < 0)
            return -1;
    }
}

// A number followed by "generation R" is one value, the reference.
qsizetype referenceOrNumberEnd(const QByteArray& text, qsizetype start, qsizetype end)
{
    if (!isUnsigned(text, start, end))
        return end;
    const qsizetype generation = PdfWrittenObject::skipSpace(text, end);
    const qsizetype generationEnd = regularEnd(text, generation);
    if (!isUnsigned(text, generation, generationEnd))
        return end;
    const qsizetype keyword = PdfWrittenObject::skipSpace(text, generationEnd);
    const qsizetype keywordEnd = regularEnd(text, keyword);
    return text.mid(keyword, keywordEnd - keyword) == "R" ? keywordEnd : end;
}

qsizetype valueEndAt(const QByteArray& text, qsizetype at, int depth)
{
    at = PdfWrittenObject::skipSpace(text, at);
    if (at >= text.size())
        return -1;
    const char c = text.at(at);
    if (text.mid(at, 2) == "<<")
        return containerEnd(text, at + 2, ">>", depth);
    if (c == '[')
        return containerEnd(text, at + 1, "]", depth);
    if (c == '(')
        return literalEnd(text, at);
    if (c == '<') {
        const qsizetype close = text.indexOf('>', at);
        return close < 0 ? -1 : close + 1;
    }
    if (c == '/')
        return regularEnd(text, at + 1);
    if (isDelimiter(c))
        return -1;
    return referenceOrNumberEnd(text, at, regularEnd(text, at));
}

} // namespace

qsizetype PdfWrittenObject::skipSpace(const QByteArray& text, qsizetype at)
{
    while (at < text.size()) {
        if (text.at(at) == '%') {
            while (at < text.size() && text.at(at) != '\n' && text.at(at) != '\r')
                ++at;
        } else if (isSpace(text.at(at))) {
            ++at;
        } else {
            break;
        }
    }
    return at;
}

qsizetype PdfWrittenObject::valueEnd(const QByteArray& text, qsizetype at)
{
    return valueEndAt(text, at, 0);
}

bool PdfWrittenObject::read(const QByteArray& bytes, int number, int generation, QByteArray* body)
{
    static const QRegularExpression header(QStringLiteral("^\\s*(\\d+)\\s+(\\d+)\\s+obj(?![^\\s()<>\\[\\]{}/%])"));
    const QRegularExpressionMatch match = header.match(QString::fromLatin1(bytes.left(64)));
    if (!match.hasMatch() || match.captured(1).toInt() != number || match.captured(2).toInt() != generation)
        return false;
    const qsizetype start = skipSpace(bytes, match.capturedEnd());
    if (start >= bytes.size() || (bytes.mid(start, 2) != "<<" && bytes.at(start) != '['))
        return false;
    const qsizetype end = valueEnd(bytes, start);
    if (end < 0)
        return false;
    *body = bytes.mid(start, end - start);
    return true;
}

bool PdfWrittenObject::valueOf(const QByteArray& dictionary, const QByteArray& key, qsizetype* start, qsizetype* end)
{
    if (!dictionary.startsWith("<<"))
        return false;
    for (qsizetype at = 2;;) {
        at = skipSpace(dictionary, at);
        if (at >= dictionary.size() || dictionary.mid(at, 2) == ">>" || dictionary.at(at) != '/')
            return false;
        const qsizetype keyEnd = regularEnd(dictionary, at + 1);
        const qsizetype valueStart = skipSpace(dictionary, keyEnd);
        const qsizetype valueStop = valueEnd(dictionary, valueStart);
        if (valueStop < 0)
            return false;
        if (dictionary.mid(at, keyEnd - at) == key) {
            *start = valueStart;
            *end = valueStop;
            return true;
        }
        at = valueStop;
    }
}
