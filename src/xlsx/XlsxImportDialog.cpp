#include "XlsxImportDialog.h"

#include "XlsxPackage.h"
#include "XlsxPreviewWidget.h"
#include "XlsxSheetPainting.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct Paper {
    const char* text;
    QSizeF points;
};
const Paper sizes[4] = {
    {"A4 (210×297)", QSizeF(595, 842)},
    {"A3 (297×420)", QSizeF(842, 1190)},
    {"Letter (216×279)", QSizeF(612, 792)},
    {"Legal (216×356)", QSizeF(612, 1008)},
};

constexpr double kPageMarginPx = 41.666666666666667; // 20 points at 150 dpi
constexpr int kDotsPerMeter = 5906;                   // 150 dpi

// The rows of each page of a sheet: breaks at or before the page start, or
// past the last row, make none.
QList<std::pair<int, int>> slicesOf(const XlsxISheetGrid& grid, const QList<int>& breaks)
{
    QList<std::pair<int, int>> slices;
    int start = grid.firstRow;
    for (int b : breaks) {
        if (start < b && b <= grid.lastRow) {
            slices.append({start, b - 1});
            start = b;
        }
    }
    slices.append({start, grid.lastRow});
    return slices;
}

} // namespace

XlsxImportDialog::XlsxImportDialog(const QString& file, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(tr("Импорт Excel: ") + QFileInfo(file).fileName());
    resize(820, 660);
    loadXlsx(file);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(6);

    auto* options = new QHBoxLayout;
    options->setSpacing(12);
    options->addWidget(new QLabel(tr("Бумага:"), this));
    paperCombo = new QComboBox(this);
    for (const Paper& paper : sizes)
        paperCombo->addItem(QString::fromUtf8(paper.text));
    options->addWidget(paperCombo);
    auto* portrait = new QRadioButton(tr("Книжная"), this);
    auto* landscapeButton = new QRadioButton(tr("Альбомная"), this);
    portrait->setChecked(true);
    orientGroup = new QButtonGroup(this);
    orientGroup->addButton(portrait, 0);
    orientGroup->addButton(landscapeButton, 1);
    options->addWidget(portrait);
    options->addWidget(landscapeButton);
    fitWidthBox = new QCheckBox(tr("Масштаб по ширине"), this);
    fitWidthBox->setChecked(true);
    options->addWidget(fitWidthBox);
    options->addStretch();
    pageLabel = new QLabel(this);
    options->addWidget(pageLabel);
    layout->addLayout(options);

    auto* tabs = new QHBoxLayout;
    tabs->setSpacing(2);
    for (int i = 0; i < int(sheets.size()); ++i) {
        auto* button = new QToolButton(this);
        button->setText(sheets.at(size_t(i)).name);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setChecked(i == 0);
        sheetButtons.append(button);
        tabs->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, i] { onSheetSelected(i); });
    }
    tabs->addStretch();
    layout->addLayout(tabs);

    hintLabel = new QLabel(readerReason, this);
    hintLabel->setObjectName(QStringLiteral("DialogHint"));
    hintLabel->setWordWrap(true);
    hintLabel->setVisible(!readerReason.isEmpty());
    layout->addWidget(hintLabel);

    scrollArea = new QScrollArea(this);
    scrollArea->setWidgetResizable(false);
    scrollArea->setMinimumHeight(400);
    preview = new XlsxPreviewWidget(scrollArea);
    scrollArea->setWidget(preview);
    layout->addWidget(scrollArea, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    importButton = buttons->button(QDialogButtonBox::Ok);
    importButton->setText(tr("Импортировать"));
    importButton->setObjectName(QStringLiteral("PrimaryDialogButton"));
    importButton->setEnabled(!sheets.empty());
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("SecondaryDialogButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(paperCombo, &QComboBox::currentIndexChanged, this, &XlsxImportDialog::onPaperChanged);
    connect(orientGroup, &QButtonGroup::idClicked, this, &XlsxImportDialog::onOrientChanged);
    connect(fitWidthBox, &QCheckBox::toggled, this, &XlsxImportDialog::onScaleToggled);
    connect(preview, &XlsxPreviewWidget::pageBreaksChanged, this, &XlsxImportDialog::updatePageLabel);

    onPaperChanged(0);
    if (sheets.empty())
        preview->setSheet(nullptr, styles.get(), {}); // "Нет данных"
    if (!sheets.empty()) {
        onSheetSelected(0);
        // The scroll area has its real width only once the dialog is shown:
        // the sheet is fitted to it again then.
        QTimer::singleShot(0, this, [this] { onSheetSelected(currentSheet); });
    }
}

XlsxImportDialog::~XlsxImportDialog()
{
    // The preview is destroyed after the sheets it points into.
    preview->sheet = nullptr;
    preview->styles = nullptr;
}

void XlsxImportDialog::loadXlsx(const QString& file)
{
    XlsxIWorkbook book = iReadWorkbook(file);
    sheets = std::move(book.sheets);
    styles = std::move(book.styles);
    readerReason = book.reason;
}

void XlsxImportDialog::updatePageLabel()
{
    pageLabel->setText(tr("Страниц: %1").arg(preview->sheetTooLarge() ? 0 : preview->pageCount()));
}

void XlsxImportDialog::onSheetSelected(int idx)
{
    if (idx < 0 || idx >= int(sheets.size()))
        return;
    currentSheet = idx;
    const SheetInfo& info = sheets.at(size_t(idx));
    preview->paper = paperSize;
    preview->landscape = landscape;
    preview->setSheet(info.data.get(), styles.get(), info.charts);
    updatePageLabel();
    for (int i = 0; i < sheetButtons.size(); ++i)
        sheetButtons.at(i)->setChecked(i == idx);
}

void XlsxImportDialog::onPaperChanged(int index)
{
    paperSize = sizes[std::clamp(index, 0, 3)].points;
    onOrientChanged();
}

void XlsxImportDialog::onOrientChanged()
{
    landscape = orientGroup->checkedId() == 1;
    preview->setPaperSize(paperSize, landscape);
    updatePageLabel();
}

void XlsxImportDialog::onScaleToggled()
{
    preview->setPaperSize(paperSize, landscape);
    updatePageLabel();
}

QSizeF XlsxImportDialog::contentSizePx() const
{
    const QSizeF paper = landscape ? paperSize.transposed() : paperSize;
    return QSizeF(paper.width() * 96 / 72 - 53.333333333333336, paper.height() * 96 / 72 - 53.333333333333336);
}

QString XlsxImportDialog::reason() const
{
    if (!readerReason.isEmpty())
        return readerReason;
    bool tooLarge = false;
    for (const SheetInfo& info : sheets) {
        const XlsxISheetGrid grid = iSheetGrid(info.data.get(), info.charts);
        if (!grid.empty && !grid.tooLarge)
            return QString();
        tooLarge = tooLarge || grid.tooLarge;
    }
    return tooLarge ? tr("Лист слишком велик для импорта.") : tr("В книге нет данных для импорта.");
}

int XlsxImportDialog::plannedPageCount() const
{
    if (!styles)
        return 0;
    int count = 0;
    for (size_t i = 0; i < sheets.size(); ++i) {
        const XlsxISheetGrid grid = iSheetGrid(sheets.at(i).data.get(), sheets.at(i).charts);
        if (grid.empty || grid.tooLarge)
            continue;
        count += int(slicesOf(grid, int(i) == currentSheet ? preview->breaks : QList<int>()).size());
    }
    return count;
}

QList<QImage> XlsxImportDialog::buildPages(QSizeF& pageSizePt)
{
    QList<QImage> pages;
    buildPages(pageSizePt, [&pages](const QImage& image) {
        pages.append(image);
        return true;
    });
    return pages;
}

int XlsxImportDialog::buildPages(QSizeF& pageSizePt, const std::function<bool(const QImage&)>& page)
{
    if (!styles || sheets.empty())
        return 0;
    pageSizePt = landscape ? paperSize.transposed() : paperSize;
    const double pw = pageSizePt.width() * 150 / 72;
    const double ph = pageSizePt.height() * 150 / 72;
    const double cw = pw - 2 * kPageMarginPx;
    const double ch = ph - 2 * kPageMarginPx;
    const XlsxICell empty;
    int delivered = 0;

    for (size_t si = 0; si < sheets.size(); ++si) {
        const SheetInfo& info = sheets.at(si);
        const XlsxISheetData* data = info.data.get();
        const XlsxISheetGrid grid = iSheetGrid(data, info.charts);
        if (grid.empty || grid.tooLarge)
            continue;
        QList<double> colEdge{0};
        for (int c = grid.firstCol; c <= grid.lastCol; ++c) {
            const auto w = data->colWidths.constFind(c);
            colEdge.append(colEdge.last()
                           + (w == data->colWidths.cend() ? 97.203125 : std::max(8.0, 7 * *w * 150 / 96 + 5)));
        }
        QList<double> rowEdge{0};
        for (int r = grid.firstRow; r <= grid.lastRow; ++r) {
            const auto h = data->rowHeights.constFind(r);
            rowEdge.append(rowEdge.last() + (h == data->rowHeights.cend() ? 31.25 : std::max(6.0, *h * 150 / 72)));
        }
        const double tw = colEdge.last();
        const double scale = fitWidthBox->isChecked() && tw > cw ? cw / tw : 1.0;
        const int lastRowIdx = grid.rowCount() - 1;
        const int lastColIdx = grid.colCount() - 1;
        const auto slices = slicesOf(grid, int(si) == currentSheet ? preview->breaks : QList<int>());

        for (const auto& [a, sliceEnd] : slices) {
            const int ai = a - grid.firstRow;
            if (ai < 0 || ai > lastRowIdx)
                continue;
            const int bi = std::min(sliceEnd - grid.firstRow, lastRowIdx);
            const double sh = rowEdge.at(bi + 1) - rowEdge.at(ai);
            const double s = sh * scale > ch ? ch / sh : scale;

            QImage image(int(pw), int(ph), QImage::Format_RGB32);
            image.setDotsPerMeterX(kDotsPerMeter);
            image.setDotsPerMeterY(kDotsPerMeter);
            image.fill(Qt::white);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.translate(kPageMarginPx, kPageMarginPx);
            p.scale(s, s);
            const double yOffset = rowEdge.at(ai);

            // A merge is drawn once, whole, on the page of its anchor.
            const XlsxIMergeWindow merges(data->merges, a, grid.firstRow + bi, grid.firstCol, grid.lastCol);
            for (int ri = ai; ri <= bi; ++ri) {
                const int row = grid.firstRow + ri;
                const auto cells = data->cells.constFind(row);
                for (int ci = 0; ci <= lastColIdx; ++ci) {
                    const int col = grid.firstCol + ci;
                    if (merges.hidden(row, col))
                        continue;
                    const QPoint span = merges.span(row, col);
                    const int re = std::min(ri + span.x() - 1, lastRowIdx);
                    const int ce = std::min(ci + span.y() - 1, lastColIdx);
                    const QRectF box(colEdge.at(ci), rowEdge.at(ri) - yOffset, colEdge.at(ce + 1) - colEdge.at(ci),
                                     rowEdge.at(re + 1) - rowEdge.at(ri));
                    const bool has = cells != data->cells.cend() && cells->contains(col);
                    iDrawPageCell(p, box, has ? cells->value(col) : empty, *styles);
                }
            }

            // Charts on every page they reach into.
            for (const XlsxIChart& chart : info.charts) {
                const int r0 = iChartTopRow(chart) - grid.firstRow;
                const int c0 = chart.fromCol - grid.firstCol;
                if (r0 < 0 || c0 < 0)
                    continue;
                const int top = std::max(r0, ai);
                const int r1 = std::min(iChartBottomRow(chart) - grid.firstRow, lastRowIdx);
                const int c1 = chart.toCol - grid.firstCol;
                if (r1 < 0 || c1 < 0 || top > lastRowIdx || top > r1 || r0 > bi)
                    continue;
                const double x0 = c0 <= lastColIdx ? colEdge.at(c0) : tw;
                const double x1 = c1 + 1 <= lastColIdx + 1 ? colEdge.at(c1 + 1) : tw;
                const QRectF box(x0, rowEdge.at(top) - yOffset, x1 - x0, rowEdge.at(r1 + 1) - rowEdge.at(top));
                preview->drawChart(p, box, chart);
            }
            p.end();
            ++delivered;
            if (!page(image))
                return delivered;
        }
    }
    return delivered;
}
