#pragma once

#include <QList>
#include <QString>

#include <utility>

class QAction;
class QObject;
class QWidget;

// The source text in the current interface language (the application
// property "uiLanguage", else the setting "ui/language", "ru" by default),
// from the embedded translation table; the source where the table has no
// wording of that language for it. In a context, a word with two meanings
// takes that context's wording where the table has one.
QString uiTranslate(const QString& source, const QString& context = {});

// uiTranslate, and for a text without an entry of its own: "text (keys)"
// through the entry of its first part, a text composed from a source with
// placeholders through that source's wording, and several lines line by line.
QString uiTranslateSmart(const QString& source, const QString& context = {});

// The context in which the pass translates every text of the object.
void setTextContext(QObject* object, const QString& context);

// The Russian source kept under property; the current text becomes the new
// source on first use and whenever it is not the text a pass last wrote
// (the program set it since).
QString rememberedText(QObject* object, const char* property, const QString& current);

// Re-translates the action's text, tool tip and status tip.
void localizeAction(QAction* action);

// Re-translates root, every widget under it and every action under it into
// the current language: texts, titles (docks' too), tips, placeholders, combo
// items, tabs, list items (unless the list holds the user's own things: the
// property "_vorn_i18n_skip_items"), column headers and the words around spin
// box numbers. A pass already running over root returns at once.
void localizeWidgetTree(QWidget* root);

// (code, native name) of every language of the table: Russian, English,
// then the others by name.
const QList<std::pair<QString, QString>>& uiLanguageList();

// The primary language subtag of the interface language in lower case: the
// property "uiLanguage", or the system locale when that is blank ("pt-BR"
// and "pt_BR" give "pt").
QString currentUiLanguageCode();
