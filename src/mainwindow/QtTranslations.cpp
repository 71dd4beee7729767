#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace {

const QString kCatalogue = QStringLiteral("qtbase");
const QString kFallbackLanguage = QStringLiteral("ru");

struct Installed {
    QPointer<QTranslator> translator;
    QString language;
    QString folder;
};

Installed& installed()
{
    static Installed state;
    return state;
}

// The catalogue of a language, or of the fallback language; null when the
// folder holds neither.
QTranslator* loadCatalogue(const QString& language, const QString& folder)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& code : {language, kFallbackLanguage}) {
        if (!code.isEmpty() && translator->load(QLocale(code), kCatalogue, QStringLiteral("_"), folder))
            return translator;
    }
    delete translator;
    return nullptr;
}

} // namespace

QString qtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool applyQtTranslations(const QString& language)
{
    return applyQtTranslations(language, qtTranslationsFolder());
}

bool applyQtTranslations(const QString& language, const QString& folder)
{
    Installed& state = installed();
    if (state.translator && state.language == language && state.folder == folder)
        return true;
    if (state.translator) {
        QCoreApplication::removeTranslator(state.translator);
        delete state.translator;
    }
    state.translator = loadCatalogue(language, folder);
    state.language = language;
    state.folder = folder;
    // English comes as an empty catalogue, which Qt installs but reports as
    // nothing to translate.
    if (state.translator)
        QCoreApplication::installTranslator(state.translator);
    return state.translator;
}
