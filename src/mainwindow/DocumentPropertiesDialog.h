#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

#include <vector>

class PdfDocument;
struct TextBlock;

// "Свойства документа": file facts, a fixed security summary and the fonts
// of the first pages, read once when the window is built.
class DocumentPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFontPages = 20;

    // document: null when no document is open.
    DocumentPropertiesDialog(const PdfDocument* document, QWidget* parent);

    // "%1 КБ" (whole kibibytes) up to 1048575 bytes, else "%1 МБ" with one decimal.
    static QString sizeText(qint64 bytes);
    // Each family of the first kFontPages pages once, at its first use in
    // reading order, with " Bold" and " Italic" as that use has them.
    static QStringList fontList(const PdfDocument& document);
    // The same over the text blocks of pages, in page order.
    static QStringList fontNames(const QList<std::vector<TextBlock>>& pages);

private:
    QWidget* buildGeneralTab(const PdfDocument* document);
    QWidget* buildSecurityTab();
    QWidget* buildFontsTab(const PdfDocument* document);
};
