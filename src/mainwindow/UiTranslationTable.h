#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <utility>

// The translation table: per locale code, Russian source → wording, and the
// locales' own names. Read from the JSON resource once; tests build one from
// a small document of the same format.
//
// A word with two meanings ("Вставить": insert a page, or paste) has, beside
// its plain entry, an entry under "context\u0004source"; a lookup in that
// context takes it first and the plain entry where the language has none.
class UiTranslationTable {
public:
    using Language = std::pair<QString, QString>;  // code, native name

    // A document that does not parse, or is larger than any real table,
    // gives an empty table.
    static UiTranslationTable fromJson(const QByteArray& json);
    // The embedded resource; empty when it cannot be read.
    static UiTranslationTable fromResource();

    // The lookup rule: the language's own wording; an English copy of a
    // Russian source, or no wording, shows the source; English stands in
    // only for sources without Cyrillic letters.
    QString translate(const QString& language, const QString& source, const QString& context = {}) const;
    // translate, then "text (keys)" through its first part, then a text
    // composed from a source with placeholders ("Стр. 5" from "Стр. %1",
    // its arguments translated too), then line by line.
    QString translateSmart(const QString& language, const QString& source, const QString& context = {}) const;

    // The languages of meta.locales, in the order shown: ru, en, then by
    // name; Russian and English alone when the table names none.
    QList<Language> languages() const;

    bool isEmpty() const { return m_texts.isEmpty(); }

private:
    // A source with placeholders, as a pattern that recognises the texts
    // composed from it.
    struct Template {
        QString source;
        QRegularExpression pattern;
        QList<int> numbers;  // the placeholder number of each captured group
        QString anchor;      // its longest fixed part, for a quick test
        qsizetype fixedLength = 0;
    };

    QString ownWording(const QString& language, const QString& key) const;
    QString translateComposed(const QString& language, const QString& text, int depth) const;
    QString translateSmartAt(const QString& language, const QString& source, const QString& context,
                             int depth) const;
    void collectTemplates();

    QHash<QString, QHash<QString, QString>> m_texts;
    QList<Language> m_locales;
    QList<Template> m_templates;  // most fixed text first
};

// The table key of a source in a context.
QString contextKey(const QString& context, const QString& source);

// True when the text holds a letter of the Russian alphabet (А–я, Ё, ё).
bool hasCyrillicLetter(const QString& text);
