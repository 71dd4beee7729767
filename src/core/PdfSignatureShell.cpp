// The embedded signature's incremental update, built on the file's bytes:
// a signature dictionary with a reserved /Contents, its field, the catalog
// with an /AcroForm, a classic cross-reference section and trailer.
#include "SigningInternal.h"

#include <QObject>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>

#include <cstring>
#include <optional>

namespace {

constexpr qint64 kContentsDigits = 131072;
constexpr int kFixedNumberWidth = 20;
// ISO 32000's limit on indirect object numbers: the new objects must fit.
constexpr qint64 kLargestObjectNumber = 8388607;
constexpr qint64 kLargestGeneration = 65535;
constexpr char kWhiteSpace[] = " \t\n\v\f\r";

bool isPdfSpace(char c)
{
    return c != '\0' && std::strchr(kWhiteSpace, c) != nullptr;
}

bool isWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

qint64 skipSpace(const QByteArray& bytes, qint64 at)
{
    while (at < bytes.size() && isPdfSpace(bytes.at(at)))
        ++at;
    return at;
}

// The decimal at `at`, or nothing; the end of its digits goes to end.
std::optional<qint64> digitsAt(const QByteArray& bytes, qint64 at, qint64* end)
{
    qint64 stop = at;
    while (stop < bytes.size() && bytes.at(stop) >= '0' && bytes.at(stop) <= '9')
        ++stop;
    bool ok = false;
    const qint64 value = bytes.mid(at, stop - at).toLongLong(&ok, 10);
    if (!ok || value < 0)
        return std::nullopt;
    if (end)
        *end = stop;
    return value;
}

// True when "<number> <generation> obj" ends at objEnd (just after "obj"),
// preceded by the file start or white space; start gets its first digit.
bool objectHeaderBefore(const QByteArray& pdf, qint64 objAt, qint64 number, qint64 generation, qint64* start)
{
    const qint64 after = objAt + 3;
    if (after < pdf.size() && isWordChar(pdf.at(after)))
        return false;
    qint64 at = objAt;
    const auto numberBefore = [&](qint64 expected) {
        qint64 spaces = at;
        while (spaces > 0 && isPdfSpace(pdf.at(spaces - 1)))
            --spaces;
        if (spaces == at)
            return false;
        qint64 digits = spaces;
        while (digits > 0 && pdf.at(digits - 1) >= '0' && pdf.at(digits - 1) <= '9')
            --digits;
        if (digits == spaces)
            return false;
        bool ok = false;
        const qint64 value = pdf.mid(digits, spaces - digits).toLongLong(&ok, 10);
        at = digits;
        return ok && value == expected;
    };
    if (!numberBefore(generation) || !numberBefore(number))
        return false;
    if (at > 0 && !isPdfSpace(pdf.at(at - 1)))
        return false;
    *start = at;
    return true;
}

// The last definition of the object in file order; incremental updates
// append, so this is the newest when the tables do not say.
qint64 lastObjectHeaderEnd(const QByteArray& pdf, qint64 number, qint64 generation)
{
    qint64 from = pdf.size();
    while (from > 0) {
        const qint64 objAt = pdf.lastIndexOf("obj", from - 1);
        if (objAt < 0)
            return -1;
        qint64 start = 0;
        if (objectHeaderBefore(pdf, objAt, number, generation, &start))
            return objAt + 3;
        from = objAt;
    }
    return -1;
}

// One "offset generation n|f" entry of a classic table at *at.
bool xrefTableEntry(const QByteArray& pdf, qint64* at, qint64* offset, qint64* generation, char* type)
{
    qint64 end = 0;
    qint64 pos = skipSpace(pdf, *at);
    const std::optional<qint64> first = digitsAt(pdf, pos, &end);
    if (!first)
        return false;
    pos = skipSpace(pdf, end);
    const std::optional<qint64> second = digitsAt(pdf, pos, &end);
    pos = skipSpace(pdf, end);
    if (!second || pos >= pdf.size() || (pdf.at(pos) != 'n' && pdf.at(pos) != 'f'))
        return false;
    *offset = *first;
    *generation = *second;
    *type = pdf.at(pos);
    *at = pos + 1;
    return true;
}

// Where the classic cross-reference chain from section puts the object, or
// -1 when it does not say: a free entry, a section that also has a stream
// part, or a table that does not read.
qint64 xrefChainOffset(const QByteArray& pdf, qint64 section, qint64 number, qint64 generation)
{
    constexpr int kMostSections = 4096;
    constexpr qint64 kTrailerWindow = 65536;
    QSet<qint64> seen;
    while (section >= 0 && section < pdf.size() && !seen.contains(section) && seen.size() < kMostSections) {
        seen.insert(section);
        qint64 at = skipSpace(pdf, section);
        if (pdf.mid(at, 4) != "xref")
            return -1;
        at += 4;
        for (at = skipSpace(pdf, at); pdf.mid(at, 7) != "trailer"; at = skipSpace(pdf, at)) {
            qint64 end = 0;
            const std::optional<qint64> first = digitsAt(pdf, at, &end);
            const std::optional<qint64> count = first ? digitsAt(pdf, skipSpace(pdf, end), &end) : std::nullopt;
            if (!count)
                return -1;
            at = end;
            for (qint64 index = 0; index < *count; ++index) {
                qint64 offset = 0, entryGeneration = 0;
                char type = 0;
                if (!xrefTableEntry(pdf, &at, &offset, &entryGeneration, &type))
                    return -1;
                if (*first + index == number)
                    return type == 'n' && entryGeneration == generation ? offset : -1;
            }
        }
        const QString trailer = QString::fromLatin1(pdf.mid(at, kTrailerWindow));
        const qsizetype close = trailer.indexOf(QLatin1String("startxref"));
        static const QRegularExpression prevPattern(QStringLiteral("/Prev\\s+(\\d+)"));
        const QString dictionary = close < 0 ? trailer : trailer.left(close);
        if (dictionary.contains(QLatin1String("/XRefStm")))
            return -1;
        const QRegularExpressionMatch prev = prevPattern.match(dictionary);
        if (!prev.hasMatch())
            return -1;
        section = prev.captured(1).toLongLong();
    }
    return -1;
}

// The end of "number generation obj" when it starts at offset.
qint64 objectHeaderEndAt(const QByteArray& pdf, qint64 offset, qint64 number, qint64 generation)
{
    qint64 end = 0;
    qint64 at = skipSpace(pdf, offset);
    const std::optional<qint64> first = digitsAt(pdf, at, &end);
    if (!first || *first != number || end >= pdf.size() || !isPdfSpace(pdf.at(end)))
        return -1;
    at = skipSpace(pdf, end);
    const std::optional<qint64> second = digitsAt(pdf, at, &end);
    if (!second || *second != generation || end >= pdf.size() || !isPdfSpace(pdf.at(end)))
        return -1;
    at = skipSpace(pdf, end);
    if (pdf.mid(at, 3) != "obj" || (at + 3 < pdf.size() && isWordChar(pdf.at(at + 3))))
        return -1;
    return at + 3;
}

// The object's newest definition: where the cross-reference chain puts it,
// else the last header in file order.
bool extractObjectDictionary(const QByteArray& pdf, qint64 number, qint64 generation, qint64 xrefSection,
                             QByteArray* dict, QString* error)
{
    const qint64 listed = xrefChainOffset(pdf, xrefSection, number, generation);
    qint64 headerEnd = listed < 0 ? -1 : objectHeaderEndAt(pdf, listed, number, generation);
    if (headerEnd < 0)
        headerEnd = lastObjectHeaderEnd(pdf, number, generation);
    if (headerEnd < 0)
        return fail(error, QObject::tr("Не найден объект каталога PDF %1 %2 obj.").arg(number).arg(generation));
    const qint64 end = pdf.indexOf("endobj", headerEnd);
    if (end < 0)
        return fail(error, QObject::tr("Объект каталога PDF повреждён."));
    const qint64 open = pdf.indexOf("<<", headerEnd);
    if (open < 0 || end < open)
        return fail(error, QObject::tr("Каталог PDF не является словарём."));
    int depth = 0;
    qint64 at = open;
    while (at + 1 < end) {
        if (pdf.at(at) == '<' && pdf.at(at + 1) == '<') {
            ++depth;
            at += 2;
        } else if (pdf.at(at) == '>' && pdf.at(at + 1) == '>') {
            at += 2;
            if (--depth == 0) {
                *dict = pdf.mid(open, at - open);
                return true;
            }
        } else {
            ++at;
        }
    }
    return fail(error, QObject::tr("Не удалось прочитать словарь каталога PDF."));
}

// A trailer entry's array value ("[" to its "]"), strings read as strings so
// a bracket inside one does not end it.
QByteArray arrayValue(const QByteArray& text, qint64 open)
{
    int depth = 0;
    for (qint64 at = open; at < text.size(); ++at) {
        const char c = text.at(at);
        if (c == '(') {
            int parens = 1;
            while (++at < text.size() && parens > 0) {
                if (text.at(at) == '\\')
                    ++at;
                else if (text.at(at) == '(')
                    ++parens;
                else if (text.at(at) == ')')
                    --parens;
            }
            --at;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']' && --depth == 0) {
            return text.mid(open, at - open + 1);
        }
    }
    return {};
}

struct TrailerFacts {
    qint64 root = 0;
    qint64 rootGeneration = 0;
    qint64 size = 0;
    QByteArray info;  // "/Info n g R", or empty
    QByteArray id;    // "/ID [...]", or empty
    bool encrypted = false;
};

bool readTrailer(const QByteArray& trailer, TrailerFacts* facts, QString* error)
{
    const QString text = QString::fromLatin1(trailer);
    static const QRegularExpression rootPattern(QStringLiteral("/Root\\s+(\\d+)\\s+(\\d+)\\s+R"));
    static const QRegularExpression sizePattern(QStringLiteral("/Size\\s+(\\d+)"));
    static const QRegularExpression infoPattern(QStringLiteral("/Info\\s+(\\d+\\s+\\d+\\s+R)"));
    static const QRegularExpression idPattern(QStringLiteral("/ID\\s*\\["));
    static const QRegularExpression encryptPattern(QStringLiteral("/Encrypt(?![A-Za-z0-9_])"));
    const QRegularExpressionMatch root = rootPattern.match(text);
    const QRegularExpressionMatch size = sizePattern.match(text);
    const QString missing = QObject::tr("В trailer PDF не найдены /Root или /Size.");
    if (!root.hasMatch() || !size.hasMatch())
        return fail(error, missing);
    bool rootOk = false, generationOk = false, sizeOk = false;
    facts->root = root.captured(1).toLongLong(&rootOk);
    facts->rootGeneration = root.captured(2).toLongLong(&generationOk);
    facts->size = size.captured(1).toLongLong(&sizeOk);
    // A number no PDF can hold is a damaged trailer, never an overflow.
    // The new objects are numbered from /Size on; a catalog at or past it
    // would be overwritten by them.
    if (!rootOk || !generationOk || !sizeOk || facts->root >= facts->size || facts->root > kLargestObjectNumber
        || facts->rootGeneration > kLargestGeneration || facts->size > kLargestObjectNumber - 1)
        return fail(error, missing);
    if (encryptPattern.match(text).hasMatch()) {
        facts->encrypted = true;
        return fail(error, QObject::tr("Встроенная подпись для зашифрованных PDF не поддерживается."));
    }
    const QRegularExpressionMatch info = infoPattern.match(text);
    if (info.hasMatch())
        facts->info = "/Info " + info.captured(1).simplified().toLatin1();
    const QRegularExpressionMatch id = idPattern.match(text);
    if (id.hasMatch()) {
        const QByteArray array = arrayValue(trailer, id.capturedEnd() - 1);
        if (!array.isEmpty())
            facts->id = "/ID " + array;
    }
    return true;
}

// The offset after startxref, which must name a classic "xref" section.
bool previousXref(const QByteArray& input, qint64* startxref, qint64* previous, QString* error)
{
    *startxref = input.lastIndexOf("startxref");
    if (*startxref < 0)
        return fail(error, QObject::tr("В PDF не найден startxref."));
    const qint64 digits = skipSpace(input, *startxref + 9);
    const std::optional<qint64> value = digitsAt(input, digits, nullptr);
    if (!value)
        return fail(error, QObject::tr("В PDF некорректный startxref."));
    *previous = *value;
    const qint64 section = skipSpace(input, *previous);
    if (*previous >= input.size() || !input.mid(section, 4).startsWith("xref"))
        return fail(error, QObject::tr("В PDF не найден trailer."));
    return true;
}

QByteArray objectText(qint64 number, qint64 generation, const QByteArray& body)
{
    return QByteArray::number(number) + ' ' + QByteArray::number(generation) + " obj\n" + body + "\nendobj\n";
}

// Four zero numbers of the final ByteRange's width.
QByteArray byteRangePlaceholder()
{
    const QByteArray zeros(kFixedNumberWidth, '0');
    return '[' + zeros + ' ' + zeros + ' ' + zeros + ' ' + zeros + ']';
}

QByteArray signatureDictionary(const QString& signer)
{
    const QByteArray placeholder = byteRangePlaceholder();
    const QString name = signer.isEmpty() ? QObject::tr("Подписант") : signer;
    return "<< /Type /Sig\n/Filter /Adobe.PPKLite\n/SubFilter /adbe.pkcs7.detached\n/ByteRange " + placeholder
        + "\n/Contents <" + QByteArray(kContentsDigits, '0') + ">\n/M " + pdfDateString(QDateTime::currentDateTime())
        + "\n/Name " + pdfTextString(name) + "\n/Reason "
        + pdfTextString(QObject::tr("Документ подписан в vorn PDF Reader")) + "\n>>";
}

QByteArray pdfLiteralString(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('('), QStringLiteral("\\("));
    text.replace(QLatin1Char(')'), QStringLiteral("\\)"));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return '(' + text.toUtf8() + ')';
}

} // namespace

QByteArray xrefEntry(qint64 offset, int generation)
{
    return QByteArray::number(offset).rightJustified(10, '0') + ' '
        + QByteArray::number(generation).rightJustified(5, '0') + " n \n";
}

QByteArray fixedPdfNumber(qint64 value)
{
    return QByteArray::number(value).rightJustified(kFixedNumberWidth, '0');
}

QByteArray pdfTextString(const QString& text)
{
    QByteArray utf16("\xFE\xFF", 2);
    for (const QChar c : text) {
        utf16 += char(c.unicode() >> 8);
        utf16 += char(c.unicode() & 0xFF);
    }
    return '<' + utf16.toHex().toUpper() + '>';
}

QByteArray pdfDateString(const QDateTime& localTime)
{
    const int offset = localTime.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    const QString zone = QStringLiteral("%1%2'%3'")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return "(D:" + localTime.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + zone.toLatin1() + ')';
}

bool preparePdfSignatureShell(const QByteArray& pdf, const QString& signer, PdfSignatureShell* out, QString* error)
{
    qint64 startxref = 0;
    qint64 previous = 0;
    if (!previousXref(pdf, &startxref, &previous, error))
        return false;
    const qint64 trailerAt = pdf.lastIndexOf("trailer", startxref);
    if (trailerAt < 0)
        return fail(error, QObject::tr("В PDF не найден trailer."));
    TrailerFacts trailer;
    if (!readTrailer(pdf.mid(trailerAt, startxref - trailerAt), &trailer, error))
        return false;

    QByteArray catalog;
    if (!extractObjectDictionary(pdf, trailer.root, trailer.rootGeneration, previous, &catalog, error))
        return false;
    if (catalog.contains("/AcroForm"))
        return fail(error, QObject::tr("PDF уже содержит AcroForm. Встроенная подпись для таких PDF будет добавлена "
                                       "отдельным этапом."));
    const qint64 closing = catalog.lastIndexOf(">>");
    if (closing < 0)
        return fail(error, QObject::tr("Не удалось обновить каталог PDF для подписи."));
    const qint64 n = trailer.size;
    catalog.insert(closing, "\n/AcroForm << /SigFlags 3 /Fields [" + QByteArray::number(n + 1) + " 0 R] >>\n");

    // Reserved once: the signed copy of a large file is the memory that counts.
    constexpr qsizetype kUpdateRoom = kContentsDigits + 4096;
    QByteArray final;
    final.reserve(pdf.size() + 1 + catalog.size() + kUpdateRoom);
    final.append(pdf);
    if (!final.endsWith('\n'))
        final += '\n';
    const qint64 updateStart = final.size();
    const QByteArray field = "<< /FT /Sig /T " + pdfLiteralString(QStringLiteral("VornSignature") + QString::number(n))
        + " /V " + QByteArray::number(n) + " 0 R /Ff 0 >>";
    const qint64 signatureOffset = final.size();
    final += objectText(n, 0, signatureDictionary(signer));
    const qint64 fieldOffset = final.size();
    final += objectText(n + 1, 0, field);
    const qint64 catalogOffset = final.size();
    final += objectText(trailer.root, trailer.rootGeneration, catalog);
    const qint64 xrefOffset = final.size();
    QByteArray trailerEntries = " /Root " + QByteArray::number(trailer.root) + ' '
        + QByteArray::number(trailer.rootGeneration) + " R";
    if (!trailer.info.isEmpty())
        trailerEntries += ' ' + trailer.info;
    if (!trailer.id.isEmpty())
        trailerEntries += ' ' + trailer.id;
    final += "xref\n" + QByteArray::number(trailer.root) + " 1\n" + xrefEntry(catalogOffset, int(trailer.rootGeneration))
        + QByteArray::number(n) + " 2\n" + xrefEntry(signatureOffset, 0) + xrefEntry(fieldOffset, 0)
        + "trailer\n<< /Size " + QByteArray::number(n + 2) + trailerEntries + " /Prev " + QByteArray::number(previous)
        + " >>\nstartxref\n" + QByteArray::number(xrefOffset) + "\n%%EOF\n";

    // Searched from the update on, so the source's own bytes never match.
    const qint64 rangeAt = final.indexOf(byteRangePlaceholder(), updateStart);
    const qint64 contentsKey = rangeAt < 0 ? -1 : final.indexOf("/Contents <", rangeAt);
    if (rangeAt < 0 || contentsKey < 0)
        return fail(error, QObject::tr("Не удалось подготовить ByteRange для PDF-подписи."));
    const qint64 firstDigit = contentsKey + 11;
    const qint64 closingBracket = firstDigit + kContentsDigits;
    if (final.size() <= closingBracket || final.at(contentsKey + 10) != '<')
        return fail(error, QObject::tr("Не удалось найти резерв подписи в PDF."));
    const QByteArray byteRange = '[' + fixedPdfNumber(0) + ' ' + fixedPdfNumber(contentsKey + 10) + ' '
        + fixedPdfNumber(closingBracket + 1) + ' ' + fixedPdfNumber(final.size() - (closingBracket + 1)) + ']';
    final.replace(rangeAt, byteRange.size(), byteRange);

    const qsizetype head = contentsKey + 10;
    const qsizetype tail = final.size() - (closingBracket + 1);
    out->signedBytes.clear();
    out->signedBytes.reserve(head + tail);
    out->signedBytes.append(final.constData(), head);
    out->signedBytes.append(final.constData() + closingBracket + 1, tail);
    out->pdf = std::move(final);
    out->contentsOffset = firstDigit;
    out->contentsLength = kContentsDigits;
    return true;
}
