#pragma once

#include "XlsxRecords.h"
#include "XlsxSheetPainting.h"

#include <QFontMetricsF>
#include <QHash>
#include <QList>
#include <QSizeF>
#include <QWidget>

// One worksheet at 96 dpi, fitted to its parent's width, with page breaks for
// a paper size that the user can drag to other rows. Sheet and styles are not
// owned; the charts are copied.
class XlsxPreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit XlsxPreviewWidget(QWidget* parent = nullptr);

    void setSheet(const XlsxISheetData* sheet, const XlsxIStyles* styles, const QList<XlsxIChart>& charts);
    void setPaperSize(QSizeF paperPt, bool landscape);
    void autoBreaks();
    int pageCount() const;
    int rowAtY(int y) const;
    int breakYForRow(int row) const;
    // The sheet's grid is beyond what is laid out; nothing is shown or imported.
    bool sheetTooLarge() const { return tooLarge; }

    // textArea, when given, is where the text may run: the cell and the empty
    // neighbours it spills into. pageWidth, when given, is the width of the
    // cell's text on the pages, which decides how a number shows; else it is
    // taken from r.
    void drawCell(QPainter& p, const QRectF& r, const XlsxICell& cell, const XlsxIStyles& styles,
                  const QRectF& textArea = QRectF(), double pageWidth = -1) const;
    // The text the preview shows in a cell (rows from 1, columns from 0): a
    // number as the pages print it, or a row of "#".
    QString shownText(int row, int col) const;
    void drawChart(QPainter& p, const QRectF& r, const XlsxIChart& chart) const;

    const XlsxISheetData* sheet = nullptr;
    const XlsxIStyles* styles = nullptr;
    QList<XlsxIChart> charts;
    QList<int> colX;
    QList<int> rowY;
    int firstRow = 1;
    int firstCol = 0;
    int totalWidth = 0;
    int totalHeight = 0;
    QSizeF paper = QSizeF(595, 842);
    bool landscape = false;
    double scale = 1.0;
    // Whether the pages scale the sheet to their width; when not, the columns
    // that start a page across, as the page renderer lays them out.
    bool fitWidth = true;
    QList<int> columnBreaks;
    QList<int> breaks;
    // Breaks the user moved: they stay where they were put when the paper or
    // the orientation changes, and the automatic ones are counted on from them.
    QList<int> manualBreaks;
    int dragIndex = -1;
    int hoverRow = -1;

signals:
    void pageBreaksChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void recalcLayout();
    int breakNear(int y) const;
    QFont cellFont(const XlsxICellFormat& f) const;
    QRectF spillArea(int ri, int ci, const XlsxICell& cell, const XlsxIMergeWindow& merges) const;
    QString numberShown(const XlsxICell& cell, const XlsxIStyles& sheetStyles, const QString& text, double width,
                        double pageWidth) const;
    // The width of the text of columns ci..ce (from firstCol) on the pages.
    double pageTextWidth(int ci, int ce) const;
    void paintSheet(QPainter& p, const QRect& exposed);

    bool tooLarge = false;
    int cellsWidth = 0; // of the columns with cells, without those texts only spill into
    double pageCharPx = 0; // a digit of the pages' default font
    mutable QHash<int, QFontMetricsF> pageMetrics; // of the sheet's fonts on the pages, by font
    XlsxIMergeIndex mergeIndex; // built once per sheet
};
