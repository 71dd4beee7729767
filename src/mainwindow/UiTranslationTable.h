#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>

// The translation table: per locale code, Russian source → wording, and the
// locales' own names. Read from the JSON resource once; tests build one from
// a small document of the same format.
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
    QString translate(const QString& language, const QString& source) const;
    // translate, then "text (keys)" through its first part, then line by line.
    QString translateSmart(const QString& language, const QString& source) const;

    // The languages of meta.locales, in the order shown: ru, en, then by
    // name; Russian and English alone when the table names none.
    QList<Language> languages() const;

    bool isEmpty() const { return m_texts.isEmpty(); }

private:
    QHash<QString, QHash<QString, QString>> m_texts;
    QList<Language> m_locales;
};

// True when the text holds a letter of the Russian alphabet (А–я, Ё, ё).
bool hasCyrillicLetter(const QString& text);
