#include "XlsxNumberFormat.h"

#include <QDate>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// Days past this lie outside any date QDate holds.
constexpr double kMaxDayNumber = 1e12;
constexpr double kTwoTo63 = 9223372036854775808.0;

bool isDateId(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

bool looksLikeDate(const QString& code)
{
    QString bare;
    bool quoted = false;
    for (QChar c : code) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted)
            bare.append(c);
    }
    bare = bare.toLower();
    return bare.contains(u"yy") || (bare.contains(u"mm") && bare.contains(u"dd"));
}

// Whether value equals floor(value) held in 64 bits; the conversion happens
// only for values it is defined for.
bool isIntegral64(double value)
{
    if (!std::isfinite(value))
        return false;
    const double floored = std::floor(value);
    return floored >= -kTwoTo63 && floored < kTwoTo63 && double(qint64(floored)) == value;
}

bool fitsInt32(double value)
{
    return std::isfinite(value) && value >= std::numeric_limits<int>::min() &&
           value <= std::numeric_limits<int>::max() && std::trunc(value) == value;
}

QString dateText(double value)
{
    if (!std::isfinite(value) || std::abs(value) >= kMaxDayNumber)
        return QString();
    const QDate date = QDate(1899, 12, 30).addDays(qint64(value));
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

QString numberText(double value, const QString& lowerCode)
{
    if (!lowerCode.isEmpty() && lowerCode.contains(u'%')) {
        const int decimals = lowerCode.contains(u"0.00%") ? 2 : lowerCode.contains(u"0.0%") ? 1 : 0;
        return QString::number(value * 100, 'f', decimals) + u'%';
    }
    const int decimals = lowerCode.contains(u"0.00") ? 2 : lowerCode.contains(u"0.0") ? 1 : 0;
    const bool integral = isIntegral64(value);
    if (lowerCode.contains(u"#,") || lowerCode.contains(u"0,")) {
        const QLocale english(QLocale::English);
        if (decimals > 0)
            return english.toString(value, 'f', decimals);
        if (integral)
            return english.toString(qRound64(value));
        return QString::number(value, 'g', 10);
    }
    if (decimals > 0)
        return QString::number(value, 'f', decimals);
    if (integral)
        return QString::number(qRound64(value));
    return QString::number(value, 'g', 10);
}

} // namespace

QString iFormatNum(double value, int numFmtId, const QString& code)
{
    if ((numFmtId < 59 && isDateId(numFmtId)) || looksLikeDate(code)) {
        const QString date = dateText(value);
        if (!date.isEmpty())
            return date;
    }
    return numberText(value, code.toLower());
}

QString iBuiltinFormat(int numFmtId)
{
    static const QMap<int, QString> builtin = {
        {1, QStringLiteral("0")},           {2, QStringLiteral("0.00")},     {3, QStringLiteral("#,##0")},
        {4, QStringLiteral("#,##0.00")},    {9, QStringLiteral("0%")},       {10, QStringLiteral("0.00%")},
        {14, QStringLiteral("d/m/yyyy")},   {15, QStringLiteral("d-mmm-yy")}, {22, QStringLiteral("m/d/yy h:mm")},
    };
    return builtin.value(numFmtId);
}

QString iDisplayText(const XlsxICell& cell, const XlsxIStyles* styles)
{
    if (!cell.isNumber || !styles || cell.style < 0 || cell.style >= styles->cellXfs.size())
        return cell.text;
    const int id = styles->cellXfs.at(cell.style).numFmtId;
    QString code = styles->numFmts.value(id);
    if (code.isEmpty())
        code = iBuiltinFormat(id);
    if (!code.isEmpty())
        return iFormatNum(cell.number, id, code);
    return fitsInt32(cell.number) ? QString::number(qRound64(cell.number)) : cell.text;
}
