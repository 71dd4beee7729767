#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QFontMetrics;

// "Специальные символы": tabs of symbol buttons. A click asks for the symbol
// to be inserted into the open text block; the dialog stays open.
class SpecialCharactersDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kColumns = 12;

    struct SymbolSet {
        QString title;
        QStringList symbols;
    };

    explicit SpecialCharactersDialog(QWidget* parent);

    // The four hand-picked sets, in tab order.
    static const QList<SymbolSet>& fixedSets();
    // The fixed sets and the Unicode blocks, each character once at its first
    // place, without white space, unassigned code points and what metrics'
    // font cannot draw.
    static QStringList allSymbols(const QFontMetrics& metrics);

signals:
    void symbolChosen(const QString& symbol);

private:
    QWidget* symbolPage(const QStringList& symbols);
};
