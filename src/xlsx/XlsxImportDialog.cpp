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
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
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

    QStringList hints;
    if (!readerReason.isEmpty())
        hints << readerReason;
    if (const QString formulas = formulaHint(); !formulas.isEmpty())
        hints << formulas;
    hints << chartHints();
    hintLabel = new QLabel(hints.join(QLatin1Char('\n')), this);
    hintLabel->setObjectName(QStringLiteral("DialogHint"));
    hintLabel->setWordWrap(true);
    hintLabel->setVisible(!hints.isEmpty());
    layout->addWidget(hintLabel);

    // Sheets in a list beside the preview: a workbook may have thousands.
    auto* body = new QHBoxLayout;
    sheetList = new QListWidget(this);
    sheetList->setObjectName(QStringLiteral("XlsxSheetList"));
    sheetList->setUniformItemSizes(true);
    sheetList->setMaximumWidth(180);
    for (const SheetInfo& sheet : sheets)
        sheetList->addItem(sheet.name);
    sheetList->setVisible(sheets.size() > 1);
    body->addWidget(sheetList);
    connect(sheetList, &QListWidget::currentRowChanged, this, &XlsxImportDialog::onSheetSelected);

    scrollArea = new QScrollArea(this);
    scrollArea->setWidgetResizable(false);
    scrollArea->setMinimumHeight(400);
    preview = new XlsxPreviewWidget(scrollArea);
    scrollArea->setWidget(preview);
    body->addWidget(scrollArea, 1);
    layout->addLayout(body, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    importButton = buttons->button(QDialogButtonBox::Ok);
    importButton->setText(tr("Импортировать"));
    importButton->setObjectName(QStringLiteral("PrimaryDialogButton"));
    importButton->setEnabled(!sheets.empty());
    QPushButton* cancelButton = buttons->button(QDialogButtonBox::Cancel);
    cancelButton->setText(tr("Отмена"));
    cancelButton->setObjectName(QStringLiteral("SecondaryDialogButton"));
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
    chartSheets = book.chartSheets;
    chartsLeftOut = book.chartsLeftOut;
    if (!styles)
        return;
    for (const SheetInfo& sheet : sheets) {
        if (sheet.data) {
            iFitRowHeights(*sheet.data, *styles);
            iFitSpills(*sheet.data, sheet.charts, *styles);
        }
    }
}

namespace {

// Whether no row of the sheet prints: a sheet like that gives no page.
bool everyRowHidden(const XlsxISheetData& data, const XlsxISheetGrid& grid)
{
    if (data.hiddenRows.size() < grid.rowCount())
        return false;
    for (int row = grid.firstRow; row <= grid.lastRow; ++row) {
        if (!data.hiddenRows.contains(row))
            return false;
    }
    return true;
}

// Sheet names as a hint quotes them, the first `shown` of them.
QString quotedNames(const QStringList& names, int shown)
{
    QStringList quoted;
    for (const QString& name : names) {
        const QString text = QStringLiteral("«%1»").arg(name);
        if (quoted.contains(text))
            continue;
        if (quoted.size() == shown) {
            quoted << QStringLiteral("…");
            break;
        }
        quoted << text;
    }
    return quoted.join(QStringLiteral(", "));
}

} // namespace

// Formulas saved without a result print as empty cells: the user is told where.
QString XlsxImportDialog::formulaHint() const
{
    QStringList where;
    int total = 0;
    for (const SheetInfo& sheet : sheets) {
        if (!sheet.data || sheet.data->formulasWithoutValue == 0)
            continue;
        total += sheet.data->formulasWithoutValue;
        where << sheet.name;
    }
    if (total == 0)
        return QString();
    return tr("Формул без сохранённого результата: %1 (листы: %2). Они будут пустыми: откройте книгу в "
              "табличной программе и сохраните её, чтобы значения были вычислены.")
        .arg(total)
        .arg(quotedNames(where, 3));
}

// Charts the pages leave out, so that none is lost without a word.
QStringList XlsxImportDialog::chartHints() const
{
    QStringList hints;
    if (!chartSheets.isEmpty())
        hints << tr("Листы-диаграммы не импортируются: %1.").arg(quotedNames(chartSheets, 10));
    if (!chartsLeftOut.isEmpty()) {
        hints << tr("Диаграмм не импортировано: %1 (листы: %2). Их ряды заданы формулой, по которой нельзя узнать "
                    "скрытые строки, и диаграммы показали бы скрытые значения.")
                     .arg(chartsLeftOut.size())
                     .arg(quotedNames(chartsLeftOut, 3));
    }
    return hints;
}

// The pages the import adds, of every sheet: the shown one as its breaks
// now stand, the others as counted once for these options.
void XlsxImportDialog::updatePageLabel()
{
    int shown = 0;
    if (styles && currentSheet >= 0 && currentSheet < int(sheets.size())) {
        XlsxPageRenderer::Options options = rendererOptions();
        options.breaks = {{0, preview->breaks}};
        const XlsxPageRenderer renderer({sheets.at(size_t(currentSheet))}, styles, options);
        shown = renderer.pageCount();
        if (preview->columnBreaks != renderer.columnBreaks(0)) {
            preview->columnBreaks = renderer.columnBreaks(0);
            preview->update();
        }
    }
    pageLabel->setText(tr("Страниц: %1").arg(otherSheetsPageCount() + shown));
}

int XlsxImportDialog::otherSheetsPageCount()
{
    const std::tuple<QSizeF, bool, bool, int> options{paperSize, landscape, fitWidthBox->isChecked(), currentSheet};
    if (options == otherPagesFor)
        return otherPages;
    otherPagesFor = options;
    std::vector<SheetInfo> others;
    for (size_t i = 0; i < sheets.size(); ++i) {
        if (int(i) != currentSheet)
            others.push_back(sheets.at(i));
    }
    otherPages = styles && !others.empty() ? XlsxPageRenderer(others, styles, rendererOptions()).pageCount() : 0;
    return otherPages;
}

void XlsxImportDialog::onSheetSelected(int idx)
{
    if (idx < 0 || idx >= int(sheets.size()))
        return;
    currentSheet = idx;
    const SheetInfo& info = sheets.at(size_t(idx));
    preview->paper = paperSize;
    preview->landscape = landscape;
    preview->fitWidth = fitWidthBox->isChecked();
    preview->setSheet(info.data.get(), styles.get(), info.charts);
    updatePageLabel();
    const QSignalBlocker quiet(sheetList);
    sheetList->setCurrentRow(idx);
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
    preview->fitWidth = fitWidthBox->isChecked();
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
    bool hidden = false;
    for (const SheetInfo& info : sheets) {
        const XlsxISheetGrid grid = iSheetGrid(info.data.get(), info.charts);
        tooLarge = tooLarge || grid.tooLarge;
        if (grid.empty || grid.tooLarge)
            continue;
        if (!everyRowHidden(*info.data, grid))
            return QString();
        hidden = true;
    }
    if (tooLarge)
        return tr("Лист слишком велик для импорта.");
    return hidden ? tr("Все строки с данными в книге скрыты: импортировать нечего.")
                  : tr("В книге нет данных для импорта.");
}

XlsxPageRenderer::Options XlsxImportDialog::rendererOptions() const
{
    XlsxPageRenderer::Options options;
    options.paperPt = paperSize;
    options.landscape = landscape;
    options.fitWidth = fitWidthBox->isChecked();
    return options;
}

XlsxPageRenderer XlsxImportDialog::pageRenderer() const
{
    XlsxPageRenderer::Options options = rendererOptions();
    if (currentSheet >= 0 && currentSheet < int(sheets.size()))
        options.breaks.insert(currentSheet, preview->breaks);
    return XlsxPageRenderer(sheets, styles, options);
}

int XlsxImportDialog::plannedPageCount() const
{
    return styles && !sheets.empty() ? pageRenderer().pageCount() : 0;
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
    const XlsxPageRenderer renderer = pageRenderer();
    pageSizePt = renderer.pageSizePt();
    for (int i = 0; i < renderer.pageCount(); ++i) {
        if (!page(renderer.pageImage(i)))
            return i + 1;
    }
    return renderer.pageCount();
}
