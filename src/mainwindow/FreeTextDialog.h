#pragma once

#include <QColor>
#include <QDialog>
#include <QRectF>

#include <memory>

class MainWindow;
class PdfDocument;
class QComboBox;
class QPushButton;
class QSpinBox;
class QTextEdit;

// "Текстовая аннотация": text typed for one place of one document. The page
// and rectangle (PDF points) are fixed when it opens; it holds its document
// only weakly and writes into it alone, whichever tab is shown by then. It
// closes when its document is closed.
class FreeTextDialog : public QDialog {
    Q_OBJECT
public:
    FreeTextDialog(MainWindow& window, const std::shared_ptr<PdfDocument>& document, int page, const QRectF& rect);

    const PdfDocument* document() const { return m_document.lock().get(); }
    int page() const { return m_page; }
    QRectF placement() const { return m_rect; }
    QColor textColor() const { return m_color; }
    void setTextColor(const QColor& color);

private:
    void chooseColor();
    void insert();

    MainWindow& m_window;
    std::weak_ptr<PdfDocument> m_document;
    int m_page = 0;
    QRectF m_rect;
    QColor m_color = Qt::black;
    QTextEdit* m_editor = nullptr;
    QComboBox* m_family = nullptr;
    QSpinBox* m_size = nullptr;
    QPushButton* m_colorButton = nullptr;
};
