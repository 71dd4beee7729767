#include "UiTranslationTable.h"

#include "VornResources.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace {

// The real table is about a megabyte and a half; anything far larger is not it.
constexpr qint64 kLargestTable = 16 * 1024 * 1024;

const QString kTablePath = QStringLiteral(":/resources/i18n/vorn_ui_translations_multilang.json");
const QString kRussian = QStringLiteral("ru");
const QString kEnglish = QStringLiteral("en");
constexpr QChar kContextSeparator(u'\u0004');
// Arguments of a composed text are translated too, an argument's own
// arguments once more, and no deeper.
constexpr int kMostNestedArguments = 2;

// %1 … %99, also the locale-aware %L1.
const QRegularExpression& placeholderPattern()
{
    static const QRegularExpression pattern(QStringLiteral("%L?(\\d{1,2})"));
    return pattern;
}

// The wording with each placeholder replaced by its argument in one scan, so
// that a % in an argument is never taken for a placeholder.
QString substitute(const QString& wording, const QHash<int, QString>& arguments)
{
    QString result;
    qsizetype at = 0;
    for (auto it = placeholderPattern().globalMatch(wording); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const int number = match.captured(1).toInt();
        result += wording.mid(at, match.capturedStart() - at);
        result += arguments.contains(number) ? arguments.value(number) : match.captured();
        at = match.capturedEnd();
    }
    return result + wording.mid(at);
}

// Russian first, English second, the rest by their names.
void sortLanguages(QList<UiTranslationTable::Language>& languages)
{
    auto rank = [](const QString& code) { return code == kRussian ? 0 : code == kEnglish ? 1 : 2; };
    std::stable_sort(languages.begin(), languages.end(), [&](const auto& a, const auto& b) {
        const int ra = rank(a.first);
        const int rb = rank(b.first);
        if (ra != rb)
            return ra < rb;
        return ra == 2 && QString::localeAwareCompare(a.second, b.second) < 0;
    });
}

} // namespace

bool hasCyrillicLetter(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'А' && u <= u'я') || u == u'Ё' || u == u'ё')
            return true;
    }
    return false;
}

UiTranslationTable UiTranslationTable::fromJson(const QByteArray& json)
{
    UiTranslationTable table;
    if (json.size() <= kLargestTable) {
        const QJsonObject root = QJsonDocument::fromJson(json).object();
        const QJsonObject locales = root.value(QStringLiteral("translations")).toObject();
        for (auto locale = locales.begin(); locale != locales.end(); ++locale) {
            QHash<QString, QString>& texts = table.m_texts[locale.key()];
            const QJsonObject entries = locale.value().toObject();
            texts.reserve(entries.size());
            for (auto entry = entries.begin(); entry != entries.end(); ++entry)
                texts.insert(entry.key(), entry.value().toString());
        }
        const QJsonObject names =
            root.value(QStringLiteral("meta")).toObject().value(QStringLiteral("locales")).toObject();
        for (auto name = names.begin(); name != names.end(); ++name)
            table.m_locales.append({name.key(), name.value().toString()});
    }
    table.collectTemplates();
    if (table.m_locales.isEmpty())
        table.m_locales = {{kRussian, QStringLiteral("Русский")}, {kEnglish, QStringLiteral("English")}};
    sortLanguages(table.m_locales);
    return table;
}

UiTranslationTable UiTranslationTable::fromResource()
{
    initVornResources();
    QFile file(kTablePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestTable)
        return fromJson(QByteArray());
    return fromJson(file.readAll());
}

QString contextKey(const QString& context, const QString& source)
{
    return context + kContextSeparator + source;
}

// The language's own wording of a key; empty where it has none, or only the
// English copy of a Russian source.
QString UiTranslationTable::ownWording(const QString& language, const QString& key) const
{
    const auto own = m_texts.constFind(language);
    if (own == m_texts.constEnd())
        return {};
    const QString text = own->value(key);
    if (text.isEmpty())
        return {};
    const auto english = m_texts.constFind(kEnglish);
    if (language == kEnglish || language == kRussian || english == m_texts.constEnd())
        return text;
    // An English copy of a Russian text is no wording of this language.
    if (text == english->value(key) && hasCyrillicLetter(key))
        return {};
    return text;
}

QString UiTranslationTable::translate(const QString& language, const QString& source, const QString& context) const
{
    if (source.isEmpty())
        return source;
    if (!context.isEmpty() && language != kRussian) {
        const QString contextual = ownWording(language, contextKey(context, source));
        if (!contextual.isEmpty())
            return contextual;
    }
    const QString own = ownWording(language, source);
    if (!own.isEmpty())
        return own;
    const auto english = m_texts.constFind(kEnglish);
    if (language == kEnglish || english == m_texts.constEnd())
        return source;
    const QString fallback = english->value(source);
    if (fallback.isEmpty() || hasCyrillicLetter(source))
        return source;
    return fallback;
}

QString UiTranslationTable::translateSmart(const QString& language, const QString& source, const QString& context) const
{
    return translateSmartAt(language, source, context, 0);
}

QString UiTranslationTable::translateSmartAt(const QString& language, const QString& source, const QString& context,
                                             int depth) const
{
    const QString whole = translate(language, source, context);
    if (whole != source)
        return whole;
    const qsizetype open = source.lastIndexOf(QStringLiteral(" ("));
    if (open > 0 && source.endsWith(QLatin1Char(')'))) {
        const QString head = source.left(open);
        const QString translated = translate(language, head, context);
        if (translated != head)
            return translated + source.mid(open);
    }
    if (depth <= kMostNestedArguments && language != kRussian && hasCyrillicLetter(source)) {
        const QString composed = translateComposed(language, source, depth);
        if (!composed.isEmpty())
            return composed;
    }
    if (source.contains(QLatin1Char('\n'))) {
        QStringList lines = source.split(QLatin1Char('\n'));
        bool changed = false;
        for (QString& line : lines) {
            const QString translated = translateSmartAt(language, line, {}, depth);
            changed = changed || translated != line;
            line = translated;
        }
        if (changed)
            return lines.join(QLatin1Char('\n'));
    }
    return source;
}

// The text read as one of the sources with placeholders, the most specific
// first: that source's wording with the text's arguments (translated) in it.
// Empty when no source with a wording of the language composes the text.
QString UiTranslationTable::translateComposed(const QString& language, const QString& text, int depth) const
{
    for (const Template& composed : m_templates) {
        if (composed.fixedLength > text.size() || !text.contains(composed.anchor))
            continue;
        const QRegularExpressionMatch match = composed.pattern.match(text);
        if (!match.hasMatch())
            continue;
        const QString wording = translate(language, composed.source);
        if (wording == composed.source)
            continue;
        QHash<int, QString> arguments;
        for (int i = 0; i < composed.numbers.size(); ++i)
            arguments.insert(composed.numbers[i], translateSmartAt(language, match.captured(i + 1), {}, depth + 1));
        return substitute(wording, arguments);
    }
    return {};
}

// Every source with placeholders and a Russian fixed part becomes a pattern:
// its fixed parts literally, each placeholder any text (the same text where
// a number comes again).
void UiTranslationTable::collectTemplates()
{
    // Every locale lists the same sources; the Russian map all of them.
    QSet<QString> sources;
    const auto russian = m_texts.constFind(kRussian);
    for (auto locale = m_texts.cbegin(); locale != m_texts.cend(); ++locale) {
        if (russian != m_texts.cend() && locale != russian)
            continue;
        for (auto it = locale->keyBegin(); it != locale->keyEnd(); ++it) {
            if (!it->contains(kContextSeparator) && it->contains(QLatin1Char('%')))
                sources.insert(*it);
        }
    }
    for (const QString& source : std::as_const(sources)) {
        Template composed;
        QString pattern = QStringLiteral("\\A");
        QString fixed;
        qsizetype at = 0;
        auto addFixed = [&](const QString& part) {
            pattern += QRegularExpression::escape(part);
            fixed += part;
            if (part.size() > composed.anchor.size())
                composed.anchor = part;
        };
        for (auto it = placeholderPattern().globalMatch(source); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            addFixed(source.mid(at, match.capturedStart() - at));
            const int number = match.captured(1).toInt();
            const qsizetype group = composed.numbers.indexOf(number);
            if (group >= 0) {
                pattern += QStringLiteral("\\g{%1}").arg(group + 1);
            } else {
                pattern += QStringLiteral("(.*?)");
                composed.numbers.append(number);
            }
            at = match.capturedEnd();
        }
        addFixed(source.mid(at));
        if (composed.numbers.isEmpty() || !hasCyrillicLetter(fixed))
            continue;
        composed.source = source;
        composed.fixedLength = fixed.size();
        composed.pattern = QRegularExpression(pattern + QStringLiteral("\\z"),
                                              QRegularExpression::DotMatchesEverythingOption);
        m_templates.append(composed);
    }
    // Most fixed text first; equal ones by source, so the choice never
    // depends on hash order.
    std::stable_sort(m_templates.begin(), m_templates.end(), [](const Template& a, const Template& b) {
        if (a.fixedLength != b.fixedLength)
            return a.fixedLength > b.fixedLength;
        return a.source < b.source;
    });
}

QList<UiTranslationTable::Language> UiTranslationTable::languages() const
{
    return m_locales;
}
