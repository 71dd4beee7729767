#pragma once
// The Home tab's text-format buttons and the requests they send to the
// active in-place editor of the page view.

#include <QColor>
#include <QKeySequence>
#include <QObject>
#include <QString>

#include <array>

// Positions in MainWindow::formatButtons.
enum FormatButton : int {
    FormatBold,
    FormatItalic,
    FormatUnderline,
    FormatStrikeOut,
    FormatSuperscript,
    FormatSubscript,
    FormatSizeUp,
    FormatSizeDown,
    FormatClear,
    FormatHighlightColor,
    FormatTextColor,
    FormatBulletedList,
    FormatNumberedList,
    FormatIndentDecrease,
    FormatIndentIncrease,
    FormatAlignLeft,
    FormatAlignCenter,
    FormatAlignRight,
    FormatJustify,
    FormatButtonCount
};

struct FormatButtonSpec {
    const char* icon;
    const char* text;  // also its hint text and the name its key clicks
    bool checkable;
    QKeySequence::StandardKey standardKey;  // used when literalKey is null
    const char* literalKey;                 // null: the standard key; "": no key
    QKeySequence keys() const;
};

const std::array<FormatButtonSpec, FormatButtonCount>& formatButtonSpecs();

// The format changes the Home tab asks of the active in-place editor; the
// window connects them to the page view's format operations.
class TextFormatRequests : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void fontFamily(const QString& family);
    void fontSize(int size);
    void bold(bool on);
    void italic(bool on);
    void underline(bool on);
    void strikeOut(bool on);
    void superscript(bool on);
    void subscript(bool on);
    void textColor(const QColor& color);
    void backgroundColor(const QColor& color);
    void clearFormatting();
    void bulletedList();
    void numberedList();
    void indent(int delta);
    void alignment(Qt::Alignment alignment);
};
