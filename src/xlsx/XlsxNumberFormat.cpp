#include "XlsxNumberFormat.h"

#include <QDate>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

// A format code is read as spreadsheet programs read it: sections for
// positive, negative and zero values split at ";", text in quotes or after
// "\" shown as it stands, "[$₽-419]" showing its currency, colours and other
// bracketed words dropped. A section with day, month, year or clock parts
// shows a date or a time; any other shows a number through its digit
// placeholders, rounded half away from zero on its decimal text, so 1.005 at
// two decimals is 1.01.

namespace {

// Days past this lie outside any date QDate holds.
constexpr double kMaxDayNumber = 1e12;
// Spreadsheet programs show no more digits of a number than this.
constexpr int kSignificantDigits = 15;
constexpr int kMaxDecimals = 30;

// Built-in dates whose look is the user's locale's: shown as Russian clerks
// write dates. The others (month names, clocks) show their codes.
bool isLocaleDateId(int id)
{
    return id == 14 || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
}

QDate dayZero(bool date1904)
{
    return date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
}

// General as spreadsheet programs show it in a column wide enough:
// kSignificantDigits at most, written out from 0.0001 to below 10^15, else
// with a capital E and an exponent of two digits or more ("1E-10",
// "1.2345E-05", "9.99999999999E+307"). A narrow column shortens it further.
QString generalText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value, 'g', 10);
    if (value == 0)
        return QStringLiteral("0");
    const QString e = QString::number(std::abs(value), 'e', kSignificantDigits - 1);
    const qsizetype ePos = e.indexOf(u'e');
    QString digits = e.left(ePos).remove(u'.');
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);
    const int exponent = e.mid(ePos + 1).toInt();
    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent < -4 || exponent >= kSignificantDigits) {
        out += digits.front();
        if (digits.size() > 1)
            out += u'.' + digits.mid(1);
        return out + u'E' + (exponent < 0 ? u'-' : u'+') + QString::number(std::abs(exponent)).rightJustified(2, u'0');
    }
    if (exponent < 0)
        return out + QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
    if (digits.size() <= exponent + 1)
        return out + digits + QString(exponent + 1 - digits.size(), u'0');
    return out + digits.left(exponent + 1) + u'.' + digits.mid(exponent + 1);
}

// One piece of a section: literal text, or a run of one code letter.
struct Token {
    enum Kind { Literal, Letter, Elapsed, AmPm, TextPlace } kind = Literal;
    QString text;      // Literal: the text shown; AmPm: the marker as written, "AM/PM" or "a/p"
    char16_t letter = 0; // Letter, Elapsed: lower-case letter (0 # ? . , % e / y m d h s)
    int length = 0;
    int fraction = 0;  // seconds: decimals after them
};

struct Section {
    QList<Token> tokens;
    bool dateTime = false;
    bool general = false;
    bool russian = false; // names of months and days in Russian
    bool systemTime = false; // [$-F400]: the clock of the user's system, 24 hours for Russian clerks
    QColor colour;        // invalid: the font's
    // A condition such as [<0]: op is one of < > = <= >= <>.
    QString conditionOp;
    double conditionValue = 0.0;
};

void appendLiteral(QList<Token>& tokens, const QString& text)
{
    if (text.isEmpty())
        return;
    if (!tokens.isEmpty() && tokens.last().kind == Token::Literal)
        tokens.last().text += text;
    else
        tokens.append({Token::Literal, text, 0, 0, 0});
}

// The colour of a bracketed word: the eight named ones and the 56 of the
// workbook's default palette, "[Color1]" to "[Color56]"; invalid for others.
QColor colourNamed(const QString& lower)
{
    static const QHash<QString, QRgb> named = {
        {QStringLiteral("black"), 0x000000}, {QStringLiteral("white"), 0xffffff},  {QStringLiteral("red"), 0xff0000},
        {QStringLiteral("green"), 0x00ff00}, {QStringLiteral("blue"), 0x0000ff},   {QStringLiteral("yellow"), 0xffff00},
        {QStringLiteral("magenta"), 0xff00ff}, {QStringLiteral("cyan"), 0x00ffff},
    };
    static const QRgb palette[56] = {
        0x000000, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0xff00ff, 0x00ffff, 0x800000, 0x008000,
        0x000080, 0x808000, 0x800080, 0x008080, 0xc0c0c0, 0x808080, 0x9999ff, 0x993366, 0xffffcc, 0xccffff,
        0x660066, 0xff8080, 0x0066cc, 0xccccff, 0x000080, 0xff00ff, 0xffff00, 0x00ffff, 0x800080, 0x800000,
        0x008080, 0x0000ff, 0x00ccff, 0xccffff, 0xccffcc, 0xffff99, 0x99ccff, 0xff99cc, 0xcc99ff, 0xffcc99,
        0x3366ff, 0x33cccc, 0x99cc00, 0xffcc00, 0xff9900, 0xff6600, 0x666699, 0x969696, 0x003366, 0x339966,
        0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
    };
    if (const auto it = named.constFind(lower); it != named.cend())
        return QColor::fromRgb(*it);
    if (lower.startsWith(QLatin1String("color"))) {
        bool ok = false;
        const int n = lower.mid(5).toInt(&ok);
        if (ok && n >= 1 && n <= 56)
            return QColor::fromRgb(palette[n - 1]);
    }
    return QColor();
}

// The bracketed word of a code: currency and locale, elapsed time,
// condition, or something only its look changes (a colour).
void readBracket(const QString& inside, Section& section)
{
    if (inside.startsWith(u'$')) {
        const qsizetype dash = inside.indexOf(u'-');
        const QString locale = dash < 0 ? QString() : inside.mid(dash + 1).toLower();
        appendLiteral(section.tokens, inside.mid(1, dash < 0 ? -1 : dash - 1));
        section.russian = section.russian || locale.endsWith(QLatin1String("419")) || locale.startsWith(QLatin1String("ru"));
        section.systemTime = section.systemTime || locale == u"f400";
        return;
    }
    const QString lower = inside.toLower();
    if (const QColor colour = colourNamed(lower); colour.isValid()) {
        section.colour = colour;
        return;
    }
    const QChar first = lower.isEmpty() ? QChar() : lower.front();
    if ((first == u'h' || first == u'm' || first == u's') && lower.count(first) == lower.size()) {
        section.tokens.append({Token::Elapsed, QString(), first.unicode(), int(lower.size()), 0});
        section.dateTime = true;
        return;
    }
    for (const char* op : {"<=", ">=", "<>", "<", ">", "="}) {
        if (lower.startsWith(QLatin1String(op))) {
            bool ok = false;
            const double value = lower.mid(qsizetype(qstrlen(op))).trimmed().toDouble(&ok);
            if (ok) {
                section.conditionOp = QLatin1String(op);
                section.conditionValue = value;
            }
            return;
        }
    }
}

Section parseSection(const QString& code)
{
    Section section;
    QList<Token>& tokens = section.tokens;
    const QString lower = code.toLower();
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        const QChar l = lower.at(i);
        if (c == u'"') {
            const qsizetype close = code.indexOf(u'"', i + 1);
            appendLiteral(tokens, code.mid(i + 1, close < 0 ? -1 : close - i - 1));
            i = close < 0 ? code.size() : close;
        } else if (c == u'\\') {
            if (i + 1 < code.size())
                appendLiteral(tokens, code.mid(++i, 1));
        } else if (c == u'_') {
            ++i; // room as wide as the next character: a space
            appendLiteral(tokens, QStringLiteral(" "));
        } else if (c == u'*') {
            ++i; // a fill character: nothing on a page
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i);
            if (close < 0)
                break;
            readBracket(code.mid(i + 1, close - i - 1), section);
            i = close;
        } else if (lower.mid(i).startsWith(QLatin1String("general"))) {
            section.general = true;
            tokens.append({Token::Letter, QString(), u'g', 1, 0});
            i += 6;
        } else if (lower.mid(i).startsWith(QLatin1String("am/pm"))) {
            tokens.append({Token::AmPm, code.mid(i, 5), 0, 0, 0});
            i += 4;
        } else if (lower.mid(i).startsWith(QLatin1String("a/p"))) {
            tokens.append({Token::AmPm, code.mid(i, 3), 0, 0, 0});
            i += 2;
        } else if (l == u'y' || l == u'm' || l == u'd' || l == u'h' || l == u's') {
            qsizetype run = 1;
            while (i + run < lower.size() && lower.at(i + run) == l)
                ++run;
            int fraction = 0;
            if (l == u's' && i + run < lower.size() && lower.at(i + run) == u'.') {
                while (i + run + 1 + fraction < lower.size() && lower.at(i + run + 1 + fraction) == u'0')
                    ++fraction;
                run += fraction > 0 ? fraction + 1 : 0;
            }
            tokens.append({Token::Letter, QString(), l.unicode(), int(run), std::min(fraction, 3)});
            section.dateTime = true;
            i += run - 1;
        } else if (l == u'0' || l == u'#' || l == u'?' || l == u'.' || l == u',' || l == u'%' || l == u'/') {
            tokens.append({Token::Letter, QString(), l.unicode(), 1, 0});
        } else if (l == u'e' && i + 1 < code.size() && (code.at(i + 1) == u'+' || code.at(i + 1) == u'-')) {
            tokens.append({Token::Letter, QString(), u'e', code.at(i + 1) == u'+' ? 1 : 0, 0});
            ++i;
        } else if (c == u'@') {
            // The text of a text cell: numbers show nothing here.
            tokens.append({Token::TextPlace, QString(), 0, 0, 0});
        } else {
            appendLiteral(tokens, QString(c));
        }
    }
    return section;
}

QList<QString> splitSections(const QString& code)
{
    QList<QString> sections;
    QString current;
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (!quoted && !bracket && c == u'\\' && i + 1 < code.size()) {
            current += c;
            current += code.at(++i);
            continue;
        }
        if (c == u'"' && !bracket)
            quoted = !quoted;
        else if (c == u'[' && !quoted)
            bracket = true;
        else if (c == u']' && !quoted)
            bracket = false;
        if (c == u';' && !quoted && !bracket) {
            sections.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    sections.append(current);
    return sections;
}

bool conditionHolds(const QString& op, double x, double v)
{
    return op == u"<" ? v < x : op == u">" ? v > x : op == u"=" ? v == x : op == u"<=" ? v <= x
         : op == u">=" ? v >= x : op == u"<>" ? v != x : true;
}

// A conditioned code's two conditions as LibreOffice completes them: a
// second section without one takes the negative values when a third
// follows, else every value the first leaves; "[>0]" takes zero as well
// where the second takes the rest.
struct Conditions {
    QString firstOp;
    double firstValue = 0.0;
    QString secondOp; // empty: every value
    double secondValue = 0.0;
};

Conditions completedConditions(const QList<Section>& sections)
{
    Conditions c{sections.first().conditionOp, sections.first().conditionValue, QString(), 0.0};
    if (sections.size() >= 2) {
        c.secondOp = sections.at(1).conditionOp;
        c.secondValue = sections.at(1).conditionValue;
    }
    if (c.secondOp.isEmpty() && sections.size() >= 3) {
        c.secondOp = QStringLiteral("<");
        c.secondValue = 0.0;
    } else if (c.secondOp.isEmpty() && c.firstOp == u">" && c.firstValue == 0) {
        c.firstOp = QStringLiteral(">=");
    }
    return c;
}

// Whether the section at index shows negative values without their minus
// because its conditions against zero say they are negative, as LibreOffice
// reads them: a first "[<0]" beside "[>0]", "[=0]", "[>=0]" or a second
// taking the rest, or "[<=0]" beside "[>0]" or the rest; a second taking
// what "[>=0]" leaves, or "[<0]" after "[>0]". Any other pair, or a
// threshold other than zero, keeps the minus.
bool dropsMinus(const Conditions& c, qsizetype index)
{
    if (c.firstValue != 0 || c.secondValue != 0)
        return false;
    const QString& first = c.firstOp;
    const QString& second = c.secondOp;
    if (index == 0)
        return (first == u"<" && (second.isEmpty() || second == u">" || second == u"=" || second == u">=")) ||
               (first == u"<=" && (second.isEmpty() || second == u">"));
    return index == 1 && ((first == u">=" && second.isEmpty()) || (first == u">" && second == u"<"));
}

// What a value shows through: its section (null: General), the value to
// show, its minus dropped where the section says the value is negative,
// and whether a minus left shows.
struct Pick {
    const Section* section = nullptr;
    double value = 0.0;
    bool minus = true;
};

// Without a condition on the first section: positive, negative and zero,
// the negative section showing no minus; a condition on a later section
// alone makes a code LibreOffice does not read, shown as General. With one:
// the first section whose condition holds, then the third; only the first
// shows a minus, and a value no section takes shows as General without it.
Pick pickSection(const QList<Section>& sections, double value)
{
    const Section& first = sections.first();
    if (first.conditionOp.isEmpty()) {
        const auto conditioned = [](const Section& s) { return !s.conditionOp.isEmpty(); };
        if (std::any_of(sections.cbegin() + 1, sections.cend(), conditioned))
            return {nullptr, value, true};
        if (value < 0 && sections.size() >= 2)
            return {&sections.at(1), -value, true};
        if (value == 0 && sections.size() >= 3)
            return {&sections.at(2), value, true};
        return {&first, value, true};
    }
    const Conditions c = completedConditions(sections);
    const qsizetype index = conditionHolds(c.firstOp, c.firstValue, value)                             ? 0
                            : c.secondOp.isEmpty() || conditionHolds(c.secondOp, c.secondValue, value) ? 1
                                                                                                       : 2;
    const double shown = value < 0 && dropsMinus(c, index) ? -value : value;
    return {index < sections.size() ? &sections.at(index) : nullptr, shown, index == 0};
}

// Decimal digits of |value| rounded half away from zero at `decimals`
// places, from the shortest decimal text that reads back as the value (what
// the workbook wrote): the whole part's digits (at least one) and exactly
// `decimals` fraction digits. So 1.005, stored as a binary fraction just
// below it, shows 1.01, and 9305.724999999999 shows 9305.72. No more than
// kSignificantDigits show: the digits past them are zeros, rounded at the
// last one shown, so 123456789012345678 shows 123456789012346000.
// shift moves the decimal point right (percent) or left (thousands scaling)
// on the text, where it costs no precision.
void roundedDigits(double value, int decimals, QString& whole, QString& fraction, int shift = 0)
{
    const QString e = QString::number(std::abs(value), 'e', QLocale::FloatingPointShortest);
    const qsizetype ePos = e.indexOf(u'e');
    QString digits = e.left(ePos).remove(u'.');
    int point = e.mid(ePos + 1).toInt() + 1 + shift; // digits before the decimal point
    int leadingZeros = 0;
    if (point < 1) {
        leadingZeros = 1 - point;
        digits.prepend(QString(leadingZeros, u'0'));
        point = 1;
    }
    const int keep = std::min(point + decimals, leadingZeros + kSignificantDigits);
    if (digits.size() < keep + 1)
        digits.append(QString(keep + 1 - digits.size(), u'0'));
    const bool up = digits.at(keep) >= u'5';
    digits.truncate(keep);
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (digits.at(i) == u'9') {
                digits[i] = u'0';
            } else {
                digits[i] = QChar(digits.at(i).unicode() + 1);
                break;
            }
        }
        if (i < 0) {
            digits.prepend(u'1');
            ++point;
        }
    }
    if (digits.size() < point + decimals)
        digits.append(QString(point + decimals - digits.size(), u'0'));
    whole = digits.left(point);
    fraction = digits.mid(point);
    while (whole.size() > 1 && whole.front() == u'0')
        whole.remove(0, 1);
}

QString grouped(const QString& digits)
{
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += u',';
        out += digits.at(i);
    }
    return out;
}

// A number through the digit placeholders of a section; the literals keep
// their places before, between and after the digits. A negative value's
// minus stands first, and only where minus says it shows.
QString numberText(double value, const Section& section, bool minus)
{
    const QList<Token>& tokens = section.tokens;
    qsizetype firstDigit = -1, lastDigit = -1, point = -1, exponent = -1;
    int percents = 0;
    bool fraction = false;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        if (t.kind != Token::Letter)
            continue;
        const char16_t c = t.letter;
        if (c == u'0' || c == u'#' || c == u'?') {
            if (firstDigit < 0)
                firstDigit = i;
            lastDigit = i;
        } else if (c == u'.' && point < 0 && exponent < 0) {
            point = i;
        } else if (c == u'%') {
            ++percents;
        } else if (c == u'e' && exponent < 0) {
            exponent = i;
        } else if (c == u'/') {
            fraction = true;
        }
    }
    if (fraction || section.general || firstDigit < 0) {
        // No digits of its own (or fractions, which are not drawn): the
        // plain number among the section's literals.
        QString out;
        bool placed = false;
        for (const Token& t : tokens) {
            if (t.kind == Token::Literal) {
                out += t.text;
            } else if (!placed && (t.letter == u'g' || t.letter == u'0' || t.letter == u'#' || t.letter == u'?')) {
                out += generalText(std::abs(value));
                placed = true;
            } else if (t.letter == u'%') {
                out += u'%';
            }
        }
        if (!placed && !section.general && firstDigit < 0)
            return out; // a code of text alone shows the text
        if (!placed)
            out += generalText(std::abs(value));
        return value < 0 && minus ? u'-' + out : out;
    }
    const qsizetype intEnd = point >= 0 ? point : exponent >= 0 ? exponent : lastDigit + 1;
    // Placeholders and grouping of the whole part.
    int intZeros = 0, intPlaces = 0, scaleCommas = 0;
    bool grouping = false;
    qsizetype lastIntDigit = -1;
    QList<qsizetype> intSlots; // token index of each placeholder of the whole part
    for (qsizetype i = firstDigit; i < intEnd; ++i) {
        const Token& t = tokens.at(i);
        if (t.kind == Token::Letter && (t.letter == u'0' || t.letter == u'#' || t.letter == u'?')) {
            lastIntDigit = i;
            ++intPlaces;
            intSlots.append(i);
            // Zeros count from the first "0": "#0" pads to one digit, "0#" to two.
            if (t.letter == u'0' && intZeros == 0)
                intZeros = intPlaces;
        }
    }
    if (intZeros > 0)
        intZeros = intPlaces - intZeros + 1;
    for (qsizetype i = firstDigit; i < tokens.size() && (exponent < 0 || i < exponent); ++i) {
        const Token& t = tokens.at(i);
        if (t.kind != Token::Letter || t.letter != u',')
            continue;
        // Commas after the whole part's last placeholder, or after the
        // decimals ("0.0,,"), divide by a thousand each.
        if (i < lastIntDigit)
            grouping = true;
        else if (point < 0 || i < point || i > lastDigit)
            ++scaleCommas;
    }
    int decimals = 0, decZeros = 0;
    QList<char16_t> decPlaces;
    const qsizetype decEnd = exponent >= 0 ? exponent : tokens.size();
    for (qsizetype i = point >= 0 ? point + 1 : tokens.size(); i < decEnd; ++i) {
        const Token& t = tokens.at(i);
        if (t.kind == Token::Letter && (t.letter == u'0' || t.letter == u'#' || t.letter == u'?')) {
            decPlaces.append(t.letter);
            ++decimals;
            if (t.letter == u'0')
                decZeros = decimals;
        }
    }
    decimals = std::min(decimals, kMaxDecimals);

    // Percent and thousands scaling move the decimal point of the text.
    int shift = 2 * percents - 3 * scaleCommas;
    const double v = std::abs(value);
    int exponentValue = 0;
    // The exponent is a multiple of the whole part's places ("##0.0E+0" is
    // engineering notation), which then holds one to that many digits.
    const int exponentStep = std::max(intPlaces, 1);
    if (exponent >= 0 && v != 0) {
        const int magnitude = int(std::floor(std::log10(v))) + shift;
        exponentValue = magnitude - ((magnitude % exponentStep) + exponentStep) % exponentStep;
        shift -= exponentValue;
    }
    // Digits past those a double holds are written as zeros, as spreadsheets write them.
    if (!std::isfinite(v) || !std::isfinite(v * std::pow(10.0, shift)))
        return QString::number(value, 'g', 10);
    QString whole, frac;
    roundedDigits(v, decimals, whole, frac, shift);
    if (exponent >= 0 && whole.size() > exponentStep) {
        // Rounding carried into another digit: the next step of the exponent.
        exponentValue += exponentStep;
        roundedDigits(v, decimals, whole, frac, shift - exponentStep);
    }
    // Optional decimals drop their trailing zeros; "?" leaves room instead.
    for (int i = int(frac.size()) - 1; i >= decZeros && frac.at(i) == u'0'; --i) {
        frac[i] = decPlaces.at(i) == u'?' ? u' ' : u'\0';
    }
    frac.remove(QChar(u'\0'));
    if (whole == u"0" && intZeros == 0)
        whole.clear();
    if (whole.size() < intZeros)
        whole.prepend(QString(intZeros - whole.size(), u'0'));
    const bool isZero = whole.isEmpty() || whole.count(u'0') == whole.size();
    const bool allZero = isZero && frac.trimmed().count(u'0') == frac.trimmed().size();
    const bool negative = value < 0 && minus && !(allZero && exponent < 0);

    // Digits of the whole part by placeholder, filled from the right; the
    // first placeholder takes every digit left over. A "?" without a digit
    // holds room, a "#" shows nothing.
    QHash<qsizetype, QString> slotText;
    if (grouping) {
        slotText.insert(intSlots.first(), grouped(whole));
    } else {
        qsizetype left = whole.size();
        for (qsizetype k = intSlots.size() - 1; k >= 0; --k) {
            const qsizetype take = k == 0 ? left : std::min<qsizetype>(1, left);
            left -= take;
            QString text = whole.mid(left, take);
            if (text.isEmpty() && tokens.at(intSlots.at(k)).letter == u'?')
                text = QStringLiteral(" ");
            slotText.insert(intSlots.at(k), text);
        }
    }

    QString out;
    if (negative)
        out += u'-';
    int fracIndex = 0;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        if (t.kind == Token::Literal) {
            out += t.text;
            continue;
        }
        if (t.kind != Token::Letter)
            continue;
        if (i < intEnd && i >= firstDigit) {
            out += slotText.value(i);
            continue;
        }
        if (t.letter == u'.' && i == point) {
            out += u'.';
        } else if (i > point && point >= 0 && i < decEnd &&
                   (t.letter == u'0' || t.letter == u'#' || t.letter == u'?')) {
            if (fracIndex < frac.size())
                out += frac.at(fracIndex++);
        } else if (t.letter == u'%') {
            out += u'%';
        } else if (t.letter == u'e') {
            int places = 0;
            for (qsizetype k = i + 1; k < tokens.size(); ++k)
                places += tokens.at(k).kind == Token::Letter && tokens.at(k).letter == u'0' ? 1 : 0;
            out += u'E';
            out += exponentValue < 0 ? QStringLiteral("-") : t.length ? QStringLiteral("+") : QString();
            out += QString::number(std::abs(exponentValue)).rightJustified(std::max(places, 1), u'0');
            break; // the exponent's own placeholders are written
        }
    }
    return out;
}

// Russian names as Excel and LibreOffice show them, which differ from the
// locale data: a month on its own is capitalised ("Январь 2024"), short
// months and days have three and two letters ("сен", "Пн").
QString russianName(const QString& names, int index)
{
    return names.split(u' ').value(index - 1);
}

QString monthName(int month, int length, bool russian, bool withDay)
{
    const QLocale locale(russian ? QLocale::Russian : QLocale::English);
    if (length == 5)
        return locale.standaloneMonthName(month, QLocale::LongFormat).left(1).toUpper();
    if (length == 3) {
        if (russian)
            return russianName(QStringLiteral("янв фев мар апр май июн июл авг сен окт ноя дек"), month);
        return locale.standaloneMonthName(month, QLocale::ShortFormat);
    }
    if (withDay)
        return locale.monthName(month, QLocale::LongFormat); // "15 января"
    if (russian)
        return russianName(QStringLiteral("Январь Февраль Март Апрель Май Июнь Июль Август Сентябрь Октябрь Ноябрь "
                                          "Декабрь"),
                           month);
    return locale.standaloneMonthName(month, QLocale::LongFormat);
}

QString dayName(int weekday, int length, bool russian)
{
    if (russian && length == 3)
        return russianName(QStringLiteral("Пн Вт Ср Чт Пт Сб Вс"), weekday);
    const QLocale locale(russian ? QLocale::Russian : QLocale::English);
    QString name = locale.dayName(weekday, length == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
    if (name.endsWith(u'.'))
        name.chop(1);
    return name;
}

// Whether an "m" run at index i counts minutes: after hours or before seconds.
bool isMinutes(const QList<Token>& tokens, qsizetype i)
{
    for (qsizetype k = i - 1; k >= 0; --k) {
        const Token& t = tokens.at(k);
        if (t.kind == Token::Letter || t.kind == Token::Elapsed) {
            if (t.letter == u'h')
                return true;
            break;
        }
    }
    for (qsizetype k = i + 1; k < tokens.size(); ++k) {
        const Token& t = tokens.at(k);
        if (t.kind == Token::Letter || t.kind == Token::Elapsed)
            return t.letter == u's';
    }
    return false;
}

// A date and time through a section's parts, on a 12-hour clock with an
// AM/PM marker, else on a 24-hour one; minus: whether elapsed time below
// zero shows its minus. Empty for values no calendar or clock shows.
QString dateTimeText(double value, const Section& section, bool date1904, bool minus = true)
{
    const QList<Token>& tokens = section.tokens;
    int fraction = 0;
    bool elapsedFirst = false;
    bool hasDate = false;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        if (t.kind == Token::Letter && t.letter == u's')
            fraction = std::max(fraction, t.fraction);
        if (t.kind == Token::Letter && (t.letter == u'y' || t.letter == u'd' || (t.letter == u'm' && !isMinutes(tokens, i))))
            hasDate = true;
    }
    for (const Token& t : tokens) {
        if (t.kind == Token::Elapsed || (t.kind == Token::Letter && (t.letter == u'h' || t.letter == u's' || t.letter == u'm'))) {
            elapsedFirst = t.kind == Token::Elapsed;
            break;
        }
    }
    const bool twelve = !section.systemTime && std::any_of(tokens.cbegin(), tokens.cend(), [](const Token& t) {
        return t.kind == Token::AmPm;
    });
    qint64 scale = 1;
    for (int i = 0; i < fraction; ++i)
        scale *= 10;
    if (!std::isfinite(value) || std::abs(value) >= kMaxDayNumber)
        return QString();
    const double units = value * 86400.0 * double(scale);
    if (std::abs(units) >= 9e18)
        return QString();
    // Rounded to what is shown, so 23:59:59.7 carries into the next day.
    const qint64 total = qint64(std::llround(units));
    // Elapsed time below zero counts back from zero ("-12:00"); a clock
    // shows the time of day it falls on, as LibreOffice prints them.
    if (!hasDate && elapsedFirst && total < 0)
        return (minus ? QStringLiteral("-") : QString()) + dateTimeText(-value, section, date1904);
    const qint64 perMinute = 60 * scale;
    const qint64 perHour = 60 * perMinute;
    const qint64 perDay = 24 * perHour;
    const qint64 days = total >= 0 ? total / perDay : -((-total + perDay - 1) / perDay);
    const qint64 inDay = total - days * perDay;
    // A time before day zero falls on the day before it: -0.25 is 29.12.1899 18:00.
    const QDate date = dayZero(date1904).addDays(days);
    if (hasDate && !date.isValid())
        return QString();
    const bool withDay = [&] {
        for (const Token& t : tokens)
            if (t.kind == Token::Letter && t.letter == u'd' && t.length <= 2)
                return true;
        return false;
    }();

    QString out;
    bool first = true; // the first clock part counts everything when it is elapsed
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        if (t.kind == Token::Literal) {
            out += t.text;
            continue;
        }
        if (t.kind == Token::AmPm) {
            // The marker as written: "AM/PM" gives AM or PM, "a/p" a or p.
            if (twelve)
                out += t.text.section(u'/', inDay / perHour >= 12 ? 1 : 0, inDay / perHour >= 12 ? 1 : 0);
            continue;
        }
        const bool elapsed = t.kind == Token::Elapsed;
        const qint64 span = elapsed ? std::abs(total) : inDay;
        switch (t.letter) {
        case u'y':
            out += t.length <= 2 ? QString::number(date.year() % 100).rightJustified(2, u'0')
                                 : QString::number(date.year()).rightJustified(4, u'0');
            break;
        case u'd':
            if (t.length <= 2)
                out += QString::number(date.day()).rightJustified(t.length, u'0');
            else
                out += dayName(date.dayOfWeek(), t.length == 3 ? 3 : 4, section.russian);
            break;
        case u'h': {
            qint64 hours = elapsed ? span / perHour : (span % perDay) / perHour;
            if (twelve && !elapsed)
                hours = hours % 12 == 0 ? 12 : hours % 12;
            out += QString::number(hours).rightJustified(std::min(t.length, 2), u'0');
            first = false;
            break;
        }
        case u'm':
            if (t.kind == Token::Elapsed || isMinutes(tokens, i)) {
                const bool whole = elapsed || (first && elapsedFirst);
                out += QString::number(whole ? span / perMinute : (span % perHour) / perMinute)
                           .rightJustified(std::min(t.length, 2), u'0');
                first = false;
            } else if (t.length <= 2) {
                out += QString::number(date.month()).rightJustified(t.length, u'0');
            } else {
                out += monthName(date.month(), t.length == 3 || t.length == 5 ? t.length : 4, section.russian, withDay);
            }
            break;
        case u's': {
            const bool whole = elapsed || (first && elapsedFirst);
            const qint64 seconds = whole ? span / scale : (span % perMinute) / scale;
            out += QString::number(seconds).rightJustified(std::min(t.length, 2), u'0');
            if (t.fraction > 0) {
                qint64 part = span % scale;
                for (int k = t.fraction; k < fraction; ++k)
                    part /= 10;
                out += u'.' + QString::number(part).rightJustified(t.fraction, u'0');
            }
            first = false;
            break;
        }
        case u'.':
        case u',':
        case u'/':
        case u'%':
        case u'0':
        case u'#':
        case u'?':
            out += QChar(t.letter); // no digits of a number here: as written
            break;
        default:
            break;
        }
    }
    return out;
}

// Built-in date formats show the date as Russian clerks write it.
QString builtinDateText(double value, int id, bool withTime, bool date1904)
{
    QString code;
    if (id == 22 && withTime)
        code = QStringLiteral("dd.mm.yyyy h:mm");
    else
        code = QStringLiteral("dd.mm.yyyy");
    return dateTimeText(value, parseSection(code), date1904).trimmed();
}

bool placesText(const Section& section)
{
    return std::any_of(section.tokens.cbegin(), section.tokens.cend(),
                       [](const Token& t) { return t.kind == Token::TextPlace; });
}

// The section a text shows through: the fourth, else the one that places
// the text ("\"Код: \"@"); none without either, and the text shows as it is.
std::optional<Section> textSection(const QString& code)
{
    const QList<QString> parts = splitSections(code);
    if (parts.size() >= 4)
        return parseSection(parts.at(3));
    for (const QString& part : parts) {
        Section section = parseSection(part);
        if (placesText(section))
            return section;
    }
    return std::nullopt;
}

// The sections a number shows through. A last second or third section that
// places text is the texts' alone, as a fourth is ("0.00;@" shows -5 as
// -5.00); a first section left alone then takes every number, its
// condition dropped, as LibreOffice reads it.
QList<Section> numberSections(const QString& code)
{
    QList<Section> sections;
    for (const QString& part : splitSections(code))
        sections.append(parseSection(part));
    if ((sections.size() == 2 || sections.size() == 3) && placesText(sections.last())) {
        sections.removeLast();
        if (sections.size() == 1)
            sections.first().conditionOp.clear();
    }
    return sections;
}

// The format code a cell's style gives it, and its id.
QString cellCode(const XlsxICell& cell, const XlsxIStyles* styles, int* id)
{
    *id = 0;
    if (!styles || cell.style < 0 || cell.style >= styles->cellXfs.size())
        return QString();
    *id = styles->cellXfs.at(cell.style).numFmtId;
    const QString code = styles->numFmts.value(*id);
    return code.isEmpty() ? iBuiltinFormat(*id) : code;
}

} // namespace

QString iFormatNum(double value, int numFmtId, const QString& givenCode, bool date1904)
{
    const bool builtin = givenCode.isEmpty() || givenCode == iBuiltinFormat(numFmtId);
    const QString code = givenCode.isEmpty() ? iBuiltinFormat(numFmtId) : givenCode;
    if (builtin && numFmtId < 59 && isLocaleDateId(numFmtId)) {
        const QString text = builtinDateText(value, numFmtId, !givenCode.isEmpty(), date1904);
        if (!text.isEmpty())
            return text;
        return generalText(value);
    }
    if (code.isEmpty())
        return generalText(value);
    const QList<Section> sections = numberSections(code);
    // A code for texts alone shows a number as it is.
    if (sections.size() == 1 && placesText(sections.first()))
        return generalText(value);
    const Pick pick = pickSection(sections, value);
    if (!pick.section)
        return generalText(pick.minus ? pick.value : std::abs(pick.value));
    const Section& section = *pick.section;
    if (section.tokens.isEmpty() || (section.tokens.size() == 1 && section.tokens.first().kind == Token::TextPlace))
        return QString(); // an empty section hides the value
    if (section.dateTime) {
        const QString text = dateTimeText(pick.value, section, date1904, pick.minus).trimmed();
        if (!text.isEmpty())
            return text;
        return generalText(value);
    }
    if (!std::isfinite(value))
        return QString::number(value, 'g', 10);
    return numberText(pick.value, section, pick.minus).trimmed();
}

QString iBuiltinFormat(int numFmtId)
{
    // The codes every spreadsheet program knows by id without writing them.
    static const QMap<int, QString> builtin = {
        {1, QStringLiteral("0")},
        {2, QStringLiteral("0.00")},
        {3, QStringLiteral("#,##0")},
        {4, QStringLiteral("#,##0.00")},
        {9, QStringLiteral("0%")},
        {10, QStringLiteral("0.00%")},
        {11, QStringLiteral("0.00E+00")},
        {12, QStringLiteral("# ?/?")},
        {13, QStringLiteral("# ?\?/?\?")},
        {14, QStringLiteral("d/m/yyyy")},
        {15, QStringLiteral("d-mmm-yy")},
        {16, QStringLiteral("d-mmm")},
        {17, QStringLiteral("mmm-yy")},
        {18, QStringLiteral("h:mm AM/PM")},
        {19, QStringLiteral("h:mm:ss AM/PM")},
        {20, QStringLiteral("h:mm")},
        {21, QStringLiteral("h:mm:ss")},
        {22, QStringLiteral("m/d/yy h:mm")},
        {37, QStringLiteral("#,##0 ;(#,##0)")},
        {38, QStringLiteral("#,##0 ;[Red](#,##0)")},
        {39, QStringLiteral("#,##0.00;(#,##0.00)")},
        {40, QStringLiteral("#,##0.00;[Red](#,##0.00)")},
        {45, QStringLiteral("mm:ss")},
        {46, QStringLiteral("[h]:mm:ss")},
        {47, QStringLiteral("mm:ss.0")},
        {48, QStringLiteral("##0.0E+0")},
    };
    return builtin.value(numFmtId);
}

QString iFormatText(const QString& text, const QString& code)
{
    const std::optional<Section> section = textSection(code);
    if (!section)
        return text;
    // Its literals around "@", nothing when empty.
    QString out;
    for (const Token& t : section->tokens) {
        if (t.kind == Token::Literal)
            out += t.text;
        else if (t.kind == Token::TextPlace)
            out += text;
    }
    return out;
}

QString iDisplayText(const XlsxICell& cell, const XlsxIStyles* styles)
{
    if (!styles || cell.style < 0 || cell.style >= styles->cellXfs.size())
        return cell.text;
    int id = 0;
    const QString code = cellCode(cell, styles, &id);
    if (!cell.isNumber)
        return cell.text.isEmpty() ? cell.text : iFormatText(cell.text, code);
    if (!code.isEmpty())
        return iFormatNum(cell.number, id, code, styles->date1904);
    return std::isfinite(cell.number) ? generalText(cell.number) : cell.text;
}

QColor iDisplayColour(const XlsxICell& cell, const XlsxIStyles* styles)
{
    int id = 0;
    const QString code = cellCode(cell, styles, &id);
    if (code.isEmpty() || (cell.isNumber && id < 59 && isLocaleDateId(id) && code == iBuiltinFormat(id)))
        return QColor();
    if (!cell.isNumber) {
        const std::optional<Section> section = textSection(code);
        return section ? section->colour : QColor();
    }
    const QList<Section> sections = numberSections(code);
    const Pick pick = pickSection(sections, cell.number);
    return pick.section ? pick.section->colour : QColor();
}

bool iIsGeneral(const XlsxICell& cell, const XlsxIStyles* styles)
{
    int id = 0;
    const QString code = cellCode(cell, styles, &id);
    return cell.isNumber && (code.isEmpty() || code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0);
}
