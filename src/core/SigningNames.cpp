#include "SigningNames.h"

#include <QStringDecoder>
#include <QStringList>

#include <array>

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
        out += utf8.hasError() ? name.mid(at, end - at) : decoded;
        at = end;
    }
    return out;
}

QString compactCertificateName(QString distinguishedName)
{
    static const std::array<QString, 5> prefixes{QStringLiteral("CN="), QStringLiteral("SN="), QStringLiteral("G="),
                                                QStringLiteral("O="), QStringLiteral("OU=")};
    const QString name = readableDistinguishedName(distinguishedName).simplified();
    const QStringList parts = name.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& rawPart : parts) {
        const QString part = rawPart.trimmed();
        for (const QString& prefix : prefixes) {
            if (part.startsWith(prefix, Qt::CaseInsensitive))
                return part.mid(prefix.size()).trimmed();
        }
    }
    return name;
}
