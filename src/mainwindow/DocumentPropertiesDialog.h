#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class DocumentJob;
class PdfDocument;
class QListWidget;
struct TextBlock;

// "Свойства документа": file facts, a fixed security summary and the fonts
// of the first pages, read once when the window is built. The fonts are read
// on a worker thread and listed when they are known.
class DocumentPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFontPages = 20;

    // document: null when no document is open.
    DocumentPropertiesDialog(std::shared_ptr<PdfDocument> document, QWidget* parent);
    ~DocumentPropertiesDialog() override;

    // The fonts tab is filled.
    bool fontsListed() const;

    // "%1 КБ" (whole kibibytes) up to 1048575 bytes, else "%1 МБ" with one decimal.
    static QString sizeText(qint64 bytes);
    // Each family of the first kFontPages pages once, at its first use in
    // reading order, with " Bold" and " Italic" as that use has them.
    // keepGoing, when given, is asked before each page.
    static QStringList fontList(const PdfDocument& document, const std::function<bool()>& keepGoing = {});
    // The same over the text blocks of pages, in page order.
    static QStringList fontNames(const QList<std::vector<TextBlock>>& pages);

private:
    QWidget* buildGeneralTab(const PdfDocument* document);
    QWidget* buildSecurityTab(const PdfDocument* document);
    QWidget* buildFontsTab(const std::shared_ptr<PdfDocument>& document);
    void listFonts(const QStringList& fonts);

    QListWidget* m_fonts = nullptr;
    DocumentJob* m_fontJob = nullptr;
    std::shared_ptr<QStringList> m_foundFonts;
    bool m_fontsListed = false;
};
