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

// "Свойства документа": file facts, a fixed security summary and the fonts
// of every page, read once when the window is built. The fonts are read on a
// worker thread and listed when they are known.
class DocumentPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // document: null when no document is open.
    DocumentPropertiesDialog(std::shared_ptr<PdfDocument> document, QWidget* parent);
    ~DocumentPropertiesDialog() override;

    // The fonts tab is filled.
    bool fontsListed() const;

    // "%1 КБ" (whole kibibytes) up to 1048575 bytes, else "%1 МБ" with one decimal.
    static QString sizeText(qint64 bytes);
    // "1.7" for 17; "—" for 0 (no file read).
    static QString versionText(int version);
    // Every font the pages draw text with, each once, in order of first use.
    // keepGoing, when given, is asked before each page.
    static QStringList fontList(const PdfDocument& document, const std::function<bool()>& keepGoing = {});

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
