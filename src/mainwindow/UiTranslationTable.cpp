#include "UiTranslationTable.h"

#include "VornResources.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace {

// The real table is about a megabyte and a half; anything far larger is not it.
constexpr qint64 kLargestTable = 16 * 1024 * 1024;

const QString kTablePath = QStringLiteral(":/resources/i18n/vorn_ui_translations_multilang.json");
const QString kRussian = QStringLiteral("ru");
const QString kEnglish = QStringLiteral("en");

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

QString UiTranslationTable::translate(const QString& language, const QString& source) const
{
    if (source.isEmpty())
        return source;
    const auto english = m_texts.constFind(kEnglish);
    const bool hasEnglish = english != m_texts.constEnd();
    const auto own = m_texts.constFind(language);
    if (own != m_texts.constEnd()) {
        const QString text = own->value(source);
        if (!text.isEmpty()) {
            if (language == kEnglish || language == kRussian || !hasEnglish)
                return text;
            // An English copy of a Russian text is no wording of this language.
            if (text == english->value(source) && hasCyrillicLetter(source))
                return source;
            return text;
        }
    }
    if (language == kEnglish || !hasEnglish)
        return source;
    const QString fallback = english->value(source);
    if (fallback.isEmpty() || hasCyrillicLetter(source))
        return source;
    return fallback;
}

QString UiTranslationTable::translateSmart(const QString& language, const QString& source) const
{
    const QString whole = translate(language, source);
    if (whole != source)
        return whole;
    const qsizetype open = source.lastIndexOf(QStringLiteral(" ("));
    if (open > 0 && source.endsWith(QLatin1Char(')'))) {
        const QString head = source.left(open);
        const QString translated = translate(language, head);
        if (translated != head)
            return translated + source.mid(open);
    }
    if (source.contains(QLatin1Char('\n'))) {
        QStringList lines = source.split(QLatin1Char('\n'));
        bool changed = false;
        for (QString& line : lines) {
            const QString translated = translateSmart(language, line);
            changed = changed || translated != line;
            line = translated;
        }
        if (changed)
            return lines.join(QLatin1Char('\n'));
    }
    return source;
}

QList<UiTranslationTable::Language> UiTranslationTable::languages() const
{
    return m_locales;
}
