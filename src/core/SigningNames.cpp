#include "SigningNames.h"

#include <QStringDecoder>
#include <QStringList>

#include <initializer_list>

namespace {

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// The byte of "\XX" at at when it is one with the high bit set, else -1.
int escapedHighByte(const QString& name, qsizetype at)
{
    if (at + 2 >= name.size() || name.at(at) != QLatin1Char('\\'))
        return -1;
    const int high = hexValue(name.at(at + 1));
    const int low = hexValue(name.at(at + 2));
    if (high < 0 || low < 0)
        return -1;
    const int byte = high * 16 + low;
    return byte >= 0x80 ? byte : -1;
}

struct NamePart {
    QString key;  // upper case; empty when the part has no "="
    QString value;
};

// An attribute value with the format's escapes undone: "\," is a comma and
// "\2C" the byte it names.
QString unescapedValue(const QString& value)
{
    QString out;
    for (qsizetype at = 0; at < value.size(); ++at) {
        if (value.at(at) != QLatin1Char('\\') || at + 1 >= value.size()) {
            out += value.at(at);
            continue;
        }
        const int high = at + 2 < value.size() ? hexValue(value.at(at + 1)) : -1;
        const int low = high >= 0 ? hexValue(value.at(at + 2)) : -1;
        if (low >= 0) {
            out += QChar(high * 16 + low);
            at += 2;
        } else {
            out += value.at(++at);
        }
    }
    return out;
}

// The parts of a name split at the commas that are not escaped.
QList<NamePart> nameParts(const QString& name)
{
    QList<NamePart> parts;
    QStringList pieces{QString()};
    for (qsizetype at = 0; at < name.size(); ++at) {
        const QChar c = name.at(at);
        if (c == QLatin1Char(',')) {
            pieces << QString();
            continue;
        }
        pieces.last() += c;
        if (c == QLatin1Char('\\') && at + 1 < name.size())
            pieces.last() += name.at(++at);
    }
    for (const QString& piece : std::as_const(pieces)) {
        const QString part = piece.trimmed();
        if (part.isEmpty())
            continue;
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals <= 0)
            parts << NamePart{QString(), part};
        else
            parts << NamePart{part.left(equals).toUpper(), unescapedValue(part.mid(equals + 1)).trimmed()};
    }
    return parts;
}

} // namespace

QString readableDistinguishedName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    qsizetype at = 0;
    while (at < name.size()) {
        QByteArray run;
        qsizetype end = at;
        for (int byte = escapedHighByte(name, end); byte >= 0; byte = escapedHighByte(name, end)) {
            run += char(byte);
            end += 3;
        }
        if (run.isEmpty()) {
            // A format escape ("\\", "\,", ...) is copied whole.
            const qsizetype width = name.at(at) == QLatin1Char('\\') && at + 1 < name.size() ? 2 : 1;
            out += name.mid(at, width);
            at += width;
            continue;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8.decode(run);
        out += utf8.hasError() ? name.mid(at, end - at) : utf8ReadAsLatin1Undone(decoded);
        at = end;
    }
    return out;
}

QString shownDistinguishedName(const QString& name)
{
    constexpr int kFirstPrintable = 0x20;
    constexpr int kLastPrintable = 0x7e;
    const QString readable = readableDistinguishedName(name);
    const auto isHex = [](QChar c) { return c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c); };
    QString shown;
    shown.reserve(readable.size());
    for (qsizetype at = 0; at < readable.size(); ++at) {
        const QChar c = readable.at(at);
        if (c != QLatin1Char('\\') || at + 1 == readable.size()) {
            shown += c;
        } else if (at + 2 < readable.size() && isHex(readable.at(at + 1)) && isHex(readable.at(at + 2))) {
            const int byte = readable.mid(at + 1, 2).toInt(nullptr, 16);
            const bool printable = byte >= kFirstPrintable && byte <= kLastPrintable;
            shown += printable ? QString(QChar(byte)) : readable.mid(at, 3);
            at += 2;
        } else {
            shown += readable.at(++at);
        }
    }
    return shown;
}

QString utf8ReadAsLatin1Undone(const QString& value)
{
    bool beyondAscii = false;
    for (const QChar c : value) {
        if (c.unicode() > 0xff)
            return value;
        beyondAscii = beyondAscii || c.unicode() >= 0x80;
    }
    if (!beyondAscii)
        return value;
    // Lone Latin-1 letters ("Müller") are not UTF-8 and fail here.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(value.toLatin1());
    return utf8.hasError() ? value : decoded;
}

QString compactCertificateName(QString distinguishedName)
{
    const QString name = readableDistinguishedName(distinguishedName).simplified();
    const QList<NamePart> parts = nameParts(name);
    const auto first = [&parts](std::initializer_list<const char*> keys) {
        for (const NamePart& part : parts) {
            for (const char* key : keys) {
                if (part.key == QLatin1String(key) && !part.value.isEmpty())
                    return part.value;
            }
        }
        return QString();
    };
    const QString common = first({"CN"});
    if (!common.isEmpty())
        return common;
    const QString person =
        QStringList{first({"SN", "SURNAME"}), first({"GN", "G", "GIVENNAME"})}.join(QLatin1Char(' ')).trimmed();
    if (!person.isEmpty())
        return person;
    const QString organisation = first({"O"});
    if (!organisation.isEmpty())
        return organisation;
    const QString unit = first({"OU"});
    return unit.isEmpty() ? name : unit;
}
