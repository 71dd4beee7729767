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

bool isTimeId(int id)
{
    return (id >= 18 && id <= 21) || (id >= 45 && id <= 47);
}

// The clock parts a format code shows. Minutes are an "m" run after hours
// or before seconds; any other "m" run is a month.
struct TimeParts {
    bool hours = false;
    bool minutes = false;
    bool seconds = false;
    bool padHours = false;
    bool padMinutes = true;
    // The first part counts the whole elapsed time instead of wrapping ([h]).
    bool elapsed = false;
    int fraction = 0; // decimals of the seconds

    bool any() const { return hours || minutes || seconds; }
};

TimeParts timePartsOf(const QString& code)
{
    struct Token {
        char16_t letter;
        qsizetype length;
        bool elapsed;
        int fraction;
    };
    QList<Token> tokens;
    const QString lower = code.toLower();
    bool quoted = false;
    for (qsizetype i = 0; i < lower.size(); ++i) {
        const QChar c = lower.at(i);
        if (c == u'"') {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (c == u';') {
            break; // the first section is the one for positive values
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // a literal, padding or fill character follows
        } else if (c == u'[') {
            const qsizetype close = lower.indexOf(u']', i);
            if (close < 0)
                break;
            const QStringView inside = QStringView(lower).mid(i + 1, close - i - 1);
            const QChar first = inside.isEmpty() ? QChar() : inside.front();
            if ((first == u'h' || first == u'm' || first == u's') && inside.count(first) == inside.size())
                tokens.append({first.unicode(), inside.size(), true, 0});
            i = close;
        } else if (QStringView(lower).mid(i).startsWith(u"am/pm")) {
            i += 4; // shown on a 24-hour clock
        } else if (QStringView(lower).mid(i).startsWith(u"a/p")) {
            i += 2;
        } else if (c == u'h' || c == u'm' || c == u's' || c == u'd' || c == u'y') {
            qsizetype run = 1;
            while (i + run < lower.size() && lower.at(i + run) == c)
                ++run;
            int fraction = 0;
            if (c == u's' && i + run < lower.size() && lower.at(i + run) == u'.') {
                while (i + run + 1 + fraction < lower.size() && lower.at(i + run + 1 + fraction) == u'0')
                    ++fraction;
                run += fraction > 0 ? fraction + 1 : 0;
            }
            tokens.append({c.unicode(), run, false, qMin(fraction, 3)});
            i += run - 1;
        }
    }
    TimeParts parts;
    for (qsizetype t = 0; t < tokens.size(); ++t) {
        const Token& token = tokens.at(t);
        if (token.letter == u'd' || token.letter == u'y')
            continue;
        bool clock = token.letter != u'm' || token.elapsed;
        if (!clock) {
            const bool afterHours = t > 0 && tokens.at(t - 1).letter == u'h';
            const bool beforeSeconds = t + 1 < tokens.size() && tokens.at(t + 1).letter == u's';
            clock = afterHours || beforeSeconds;
        }
        if (!clock)
            continue;
        const bool first = !parts.any();
        if (token.letter == u'h') {
            parts.hours = true;
            parts.padHours = token.length >= 2;
        } else if (token.letter == u'm') {
            parts.minutes = true;
            parts.padMinutes = !(first && token.elapsed && token.length < 2);
        } else {
            parts.seconds = true;
            parts.fraction = token.fraction;
        }
        if (first)
            parts.elapsed = token.elapsed;
    }
    return parts;
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

QDate dayZero(bool date1904)
{
    return date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
}

QString dateText(double value, bool date1904)
{
    if (!std::isfinite(value) || std::abs(value) >= kMaxDayNumber)
        return QString();
    const QDate date = dayZero(date1904).addDays(qint64(value));
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

// The clock text of a value in days, rounded to what the parts show, on a
// 24-hour clock; with a date, the date of the rounded value goes first.
// Empty for values no clock shows (negative, or too large to count).
QString timeText(double value, const TimeParts& parts, bool withDate, bool date1904)
{
    qint64 scale = 1;
    for (int i = 0; i < parts.fraction; ++i)
        scale *= 10;
    const double units = value * 86400.0 * double(scale);
    if (!std::isfinite(units) || units < 0.0 || units >= 9e18)
        return QString();
    const qint64 total = qint64(std::llround(units));
    const qint64 perSecond = scale;
    const qint64 perMinute = 60 * perSecond;
    const qint64 perHour = 60 * perMinute;
    const qint64 perDay = 24 * perHour;
    // The first part shown either counts all of it or wraps at a day.
    QStringList fields;
    qint64 left = parts.elapsed ? total : total % perDay;
    if (parts.hours) {
        const qint64 hours = left / perHour;
        left %= perHour;
        fields.append(QString::number(hours).rightJustified(parts.padHours ? 2 : 1, u'0'));
    }
    if (parts.minutes) {
        const qint64 minutes = parts.hours || parts.elapsed ? left / perMinute : (left % perHour) / perMinute;
        left %= perMinute;
        fields.append(QString::number(minutes).rightJustified(parts.padMinutes ? 2 : 1, u'0'));
    }
    if (parts.seconds) {
        const qint64 seconds = parts.hours || parts.minutes || parts.elapsed ? left / perSecond
                                                                               : (left % perMinute) / perSecond;
        QString text = QString::number(seconds).rightJustified(fields.isEmpty() && parts.elapsed ? 1 : 2, u'0');
        if (parts.fraction > 0)
            text += u'.' + QString::number(left % perSecond).rightJustified(parts.fraction, u'0');
        fields.append(text);
    }
    const QString clock = fields.join(u':');
    if (!withDate)
        return clock;
    const QDate date = dayZero(date1904).addDays(total / perDay);
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) + u' ' + clock : QString();
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

QString iFormatNum(double value, int numFmtId, const QString& code, bool date1904)
{
    TimeParts clock = timePartsOf(code.isEmpty() && isTimeId(numFmtId) ? iBuiltinFormat(numFmtId) : code);
    const bool date = (numFmtId < 59 && isDateId(numFmtId) && !isTimeId(numFmtId)) || looksLikeDate(code);
    if (clock.any()) {
        const QString text = timeText(value, clock, date, date1904);
        if (!text.isEmpty())
            return text;
    } else if (date) {
        const QString text = dateText(value, date1904);
        if (!text.isEmpty())
            return text;
    }
    return numberText(value, code.toLower());
}

QString iBuiltinFormat(int numFmtId)
{
    static const QMap<int, QString> builtin = {
        {1, QStringLiteral("0")},           {2, QStringLiteral("0.00")},     {3, QStringLiteral("#,##0")},
        {4, QStringLiteral("#,##0.00")},    {9, QStringLiteral("0%")},       {10, QStringLiteral("0.00%")},
        {14, QStringLiteral("d/m/yyyy")},   {15, QStringLiteral("d-mmm-yy")}, {22, QStringLiteral("m/d/yy h:mm")},
        {18, QStringLiteral("h:mm AM/PM")}, {19, QStringLiteral("h:mm:ss AM/PM")}, {20, QStringLiteral("h:mm")},
        {21, QStringLiteral("h:mm:ss")},    {45, QStringLiteral("mm:ss")},   {46, QStringLiteral("[h]:mm:ss")},
        {47, QStringLiteral("mmss.0")},
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
        return iFormatNum(cell.number, id, code, styles->date1904);
    return fitsInt32(cell.number) ? QString::number(qRound64(cell.number)) : cell.text;
}
