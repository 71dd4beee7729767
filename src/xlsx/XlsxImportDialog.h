#pragma once

#include "XlsxPageRenderer.h"
#include "XlsxRecords.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QSizeF>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QListWidget;
class XlsxPreviewWidget;

// Turns a workbook into pages: the user picks paper, orientation and fit to
// width, and moves the breaks of the sheet in the preview; every other sheet
// with cells is broken into pages as the preview would break it. Hidden
// sheets are not listed.
class XlsxImportDialog : public QDialog {
    Q_OBJECT
public:
    using SheetInfo = XlsxISheetInfo;

    XlsxImportDialog(const QString& file, QWidget* parent);
    ~XlsxImportDialog() override;

    // The pages as the user arranged them, for drawing on any thread.
    XlsxPageRenderer pageRenderer() const;
    // Every page at once as 150-dpi pictures; pageSizePt receives the size
    // every image stands for.
    QList<QImage> buildPages(QSizeF& pageSizePt);
    // The same pages one at a time: page() gets each as soon as it is drawn
    // and stops the run by returning false. The number of pages handed over.
    int buildPages(QSizeF& pageSizePt, const std::function<bool(const QImage&)>& page);
    // How many pages buildPages gives, without drawing any.
    int plannedPageCount() const;
    // The printable area at 96 dpi.
    QSizeF contentSizePx() const;
    // Why the workbook gives no page (or not all of it was read); empty when
    // nothing is amiss.
    QString reason() const;

public slots:
    void onSheetSelected(int idx);
    void onPaperChanged(int index);
    void onOrientChanged();
    void onScaleToggled();

private:
    void loadXlsx(const QString& file);
    void updatePageLabel();
    int otherSheetsPageCount();
    XlsxPageRenderer::Options rendererOptions() const;
    QString formulaHint() const;
    QStringList chartHints() const;

    std::vector<SheetInfo> sheets;
    std::shared_ptr<XlsxIStyles> styles;
    QListWidget* sheetList = nullptr;
    XlsxPreviewWidget* preview = nullptr;
    QScrollArea* scrollArea = nullptr;
    QComboBox* paperCombo = nullptr;
    QButtonGroup* orientGroup = nullptr;
    QCheckBox* fitWidthBox = nullptr;
    QLabel* pageLabel = nullptr;
    int currentSheet = 0;
    QSizeF paperSize = QSizeF(595, 842);
    bool landscape = false;
    QString readerReason;
    QStringList chartSheets;
    QStringList chartsLeftOut; // the sheet of each
    QLabel* hintLabel = nullptr;
    QPushButton* importButton = nullptr;
    // The pages of the sheets not shown, for the options they were counted
    // for: they change only with the paper, the orientation, the fit and
    // the sheet shown, not while its breaks are dragged.
    std::tuple<QSizeF, bool, bool, int> otherPagesFor{QSizeF(), false, false, -1};
    int otherPages = 0;
};
