#pragma once

#include <QByteArray>
#include <QStringView>
#include <QXmlStreamReader>

struct XlsxIBudget;

// A forward walk over one XML part that stops on malformed XML and on
// nesting deeper than any spreadsheet part needs, and reports either as
// damage to the budget when it is destroyed. Empty input is not damage.
class XlsxXmlWalker {
public:
    static constexpr int kMaxDepth = 256;

    XlsxXmlWalker(const QByteArray& xml, XlsxIBudget& budget);
    ~XlsxXmlWalker();
    XlsxXmlWalker(const XlsxXmlWalker&) = delete;
    XlsxXmlWalker& operator=(const XlsxXmlWalker&) = delete;

    // Moves to the next start, end or text token; false when the walk is over.
    bool next();
    bool isStart() const { return m_reader.tokenType() == QXmlStreamReader::StartElement; }
    bool isEnd() const { return m_reader.tokenType() == QXmlStreamReader::EndElement; }
    bool isText() const { return m_reader.tokenType() == QXmlStreamReader::Characters; }
    QStringView name() const { return m_reader.name(); }
    QStringView text() const { return m_reader.text(); }
    QStringView attribute(QLatin1StringView name) const { return m_reader.attributes().value(name); }
    QXmlStreamAttributes attributes() const { return m_reader.attributes(); }
    // The relationship id of the current element: "r:id", else the "id" of
    // the relationships namespace under any prefix.
    QString relationshipId() const;
    // Stops the walk early, as when a limit is reached.
    void stop() { m_stopped = true; }

private:
    // Fed in slices: the reader then decodes a slice at a time instead of
    // holding the whole part as UTF-16 at once.
    bool feed();

    QXmlStreamReader m_reader;
    const QByteArray m_xml;
    qsizetype m_fed = 0;
    XlsxIBudget& m_budget;
    bool m_empty = false;
    bool m_stopped = false;
    int m_depth = 0;
};

// Integer of an attribute text; 0 when it is not one.
int xlsxInt(QStringView text);
// Number of a text, surrounding white space ignored; 0.0 when it is not one
// or is longer than any number a double carries.
double xlsxDouble(QStringView text, bool* ok = nullptr);
// A boolean attribute as the schema writes it: "1" or "true" (LibreOffice
// writes the word), "0" or "false"; anything else, or none, is `absent`.
bool xlsxBool(QStringView text, bool absent = false);
// Appends text to a string without letting it grow past what one cell holds.
void xlsxAppendBounded(QString& to, QStringView text);
// A string of the format with its escapes decoded: "_xHHHH_" is the
// character of that code ("_x000D_" a carriage return), so "_x005F_" is "_".
QString xlsxUnescaped(QString text);
