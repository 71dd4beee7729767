#include "UiTranslate.h"

#include "VornResources.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QVariant>

namespace {

using Table = QHash<QString, QHash<QString, QString>>;

// The embedded table is a few hundred kilobytes; anything far larger is not it.
constexpr qint64 kLargestTable = 16 * 1024 * 1024;

const Table& translations()
{
    static const Table table = [] {
        initVornResources();
        Table loaded;
        QFile file(QStringLiteral(":/resources/i18n/vorn_ui_translations_multilang.json"));
        if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestTable)
            return loaded;
        const QJsonObject locales =
            QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("translations")).toObject();
        for (auto locale = locales.begin(); locale != locales.end(); ++locale) {
            QHash<QString, QString>& texts = loaded[locale.key()];
            const QJsonObject entries = locale.value().toObject();
            for (auto entry = entries.begin(); entry != entries.end(); ++entry)
                texts.insert(entry.key(), entry.value().toString());
        }
        return loaded;
    }();
    return table;
}

bool hasCyrillic(const QString& text)
{
    static const QRegularExpression cyrillic(QStringLiteral("[А-Яа-яЁё]"));
    return cyrillic.match(text).hasMatch();
}

} // namespace

QString uiTranslate(const QString& source)
{
    if (source.isEmpty())
        return source;
    QString language = qApp ? qApp->property("uiLanguage").toString() : QString();
    if (language.isEmpty())
        language = QSettings().value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString();
    const Table& table = translations();
    const auto english = table.constFind(QStringLiteral("en"));
    const bool plainLanguage = language == QLatin1String("en") || language == QLatin1String("ru");
    const auto own = table.constFind(language);
    if (own != table.constEnd()) {
        const QString text = own->value(source);
        if (!text.isEmpty()) {
            // An English copy of a Russian text is no wording of this language.
            if (!plainLanguage && english != table.constEnd() && text == english->value(source) &&
                hasCyrillic(source))
                return source;
            return text;
        }
    }
    if (language == QLatin1String("en") || english == table.constEnd())
        return source;
    const QString fallback = english->value(source);
    return fallback.isEmpty() || hasCyrillic(source) ? source : fallback;
}

QString currentUiLanguageCode()
{
    QString code = qApp ? qApp->property("uiLanguage").toString() : QString();
    if (code.trimmed().isEmpty())
        code = QLocale::system().name();
    code.replace(QLatin1Char('_'), QLatin1Char('-'));
    const qsizetype hyphen = code.indexOf(QLatin1Char('-'));
    if (hyphen > 0)
        code.truncate(hyphen);
    return code.toLower();
}
