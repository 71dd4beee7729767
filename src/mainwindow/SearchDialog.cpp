#include "SearchDialog.h"

#include "DialogKit.h"
#include "MainWindow.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>

namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 600;
constexpr int kMinimumWidth = 680;
constexpr int kMinimumHeight = 500;
constexpr int kSpacing = 10;
constexpr int kMaxTransparency = 65;
constexpr int kSliderWidth = 180;
constexpr int kComboMinimumWidth = 300;
constexpr int kTableMinimumHeight = 150;
constexpr int kGridMargin = 12;
constexpr int kGridHorizontalSpacing = 12;
constexpr int kGridVerticalSpacing = 8;
constexpr int kButtonSpacing = 8;
const QMargins kMargins(16, 14, 16, 14);

QComboBox* findBox(const QString& lastQuery)
{
    auto* combo = new QComboBox;
    combo->setObjectName(QStringLiteral("DialogCombo"));
    combo->setEditable(true);
    combo->setMinimumWidth(kComboMinimumWidth);
    combo->setProperty("_vorn_i18n_skip_items", true);
    if (!lastQuery.isEmpty())
        combo->addItem(lastQuery);
    return combo;
}

QCheckBox* checkBox(const QString& text, bool checked)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QStringLiteral("DialogCheckBox"));
    box->setChecked(checked);
    return box;
}

QRadioButton* radioButton(const QString& text, bool checked)
{
    auto* button = new QRadioButton(text);
    button->setObjectName(QStringLiteral("DialogRadioButton"));
    button->setChecked(checked);
    return button;
}

QGroupBox* groupBox(const QString& title, const QList<QWidget*>& widgets)
{
    auto* group = new QGroupBox(title);
    group->setObjectName(QStringLiteral("DialogGroupBox"));
    auto* layout = new QVBoxLayout(group);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    return group;
}

QGridLayout* tabGrid(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(kGridMargin, kGridMargin, kGridMargin, kGridMargin);
    grid->setHorizontalSpacing(kGridHorizontalSpacing);
    grid->setVerticalSpacing(kGridVerticalSpacing);
    return grid;
}

QVBoxLayout* buttonColumn(const QList<QPushButton*>& buttons)
{
    auto* column = new QVBoxLayout;
    column->setSpacing(kButtonSpacing);
    for (QPushButton* button : buttons)
        column->addWidget(button);
    column->addStretch(1);
    return column;
}

QTableWidgetItem* resultCell(const QString& text, int entry)
{
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(cell->flags() & ~Qt::ItemIsEditable);
    cell->setData(Qt::UserRole, entry);
    return cell;
}

} // namespace

SearchDialog::SearchDialog(MainWindow& window)
    : QDialog(&window)
    , m_window(window)
{
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::Tool);
    setModal(false);
    setWindowTitle(tr("Поиск и замена"));
    resize(kWidth, kHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setWindowOpacity(1.0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargins);
    layout->setSpacing(kSpacing);
    layout->addWidget(label(tr("Поиск и замена"), QStringLiteral("DialogTitle")));
    QLabel* subtitle = label(tr("Найденный текст подсвечивается на странице. Замена доступна для редактируемых "
                                "текстовых блоков после перехода в режим редактирования."),
                             QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("DialogTabs"));
    tabs->addTab(buildFindTab(), tr("Найти"));
    tabs->addTab(buildReplaceTab(), tr("Замена"));
    layout->addWidget(tabs, 1);
    layout->addWidget(buildOpacityRow());

    m_opacityEffect = new QGraphicsOpacityEffect(this);
    m_opacityEffect->setOpacity(1.0);
    setGraphicsEffect(m_opacityEffect);
}

QWidget* SearchDialog::buildFindTab()
{
    auto* page = new QWidget;
    QGridLayout* grid = tabGrid(page);
    m_first.find = findBox(m_window.lastSearchQuery());
    m_first.backward = checkBox(tr("Обратное направление"), false);
    m_first.wholeWord = checkBox(tr("Только целые слова"), false);
    m_first.matchCase = checkBox(tr("Учитывать регистр"), false);
    QCheckBox* wrap = checkBox(tr("Зациклить поиск"), true);  // searching always wraps
    QRadioButton* normal = radioButton(tr("Обычный"), true);
    QRadioButton* extended = radioButton(tr("Расширенный (\\n, \\t, \\0, \\x...)"), false);
    m_first.regex = radioButton(tr("Регулярное выражение"), false);

    QPushButton* next = dialogButton(tr("Найти далее"), QStringLiteral("PrimaryDialogButton"));
    QPushButton* count = dialogButton(tr("Подсчитать"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* all = dialogButton(tr("Найти все в документе"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* allOpen = dialogButton(tr("Найти во всех открытых"), QStringLiteral("SecondaryDialogButton"));
    allOpen->setEnabled(false);
    QPushButton* close = dialogButton(tr("Закрыть"), QStringLiteral("SecondaryDialogButton"));

    m_resultsLabel = label(tr("Результаты поиска появятся здесь"), QStringLiteral("DialogSubtitle"));
    m_table = new QTableWidget(0, 4);
    m_table->setObjectName(QStringLiteral("DialogTable"));
    m_table->setHorizontalHeaderLabels({tr("№"), tr("Страница"), tr("На странице"), tr("Запрос")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setAlternatingRowColors(true);
    m_table->setMinimumHeight(kTableMinimumHeight);
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < 3; ++column)
        m_table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    grid->addWidget(new QLabel(tr("Найти:")), 0, 0);
    grid->addWidget(m_first.find, 0, 1, 1, 2);
    grid->addWidget(groupBox(tr("Параметры"), {m_first.backward, m_first.wholeWord, m_first.matchCase, wrap}), 1, 0,
                    2, 1);
    grid->addWidget(groupBox(tr("Режим поиска"), {normal, extended, m_first.regex}), 1, 1, 2, 1);
    grid->addLayout(buttonColumn({next, count, all, allOpen, close}), 1, 2, 2, 1);
    grid->addWidget(m_resultsLabel, 3, 0, 1, 3);
    grid->addWidget(m_table, 4, 0, 1, 3);

    connect(next, &QPushButton::clicked, this, &SearchDialog::findNextFromFirstTab);
    connect(m_first.find->lineEdit(), &QLineEdit::returnPressed, this, &SearchDialog::findNextFromFirstTab);
    connect(count, &QPushButton::clicked, this, &SearchDialog::countMatches);
    connect(all, &QPushButton::clicked, this, &SearchDialog::findAll);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_table, &QTableWidget::cellClicked, this, [this](int row, int) { activateRow(row); });
    connect(m_table, &QTableWidget::cellActivated, this, [this](int row, int) { activateRow(row); });
    return page;
}

QWidget* SearchDialog::buildReplaceTab()
{
    auto* page = new QWidget;
    QGridLayout* grid = tabGrid(page);
    m_second.find = findBox(m_window.lastSearchQuery());
    m_replaceWith = findBox(QString());
    m_second.backward = checkBox(tr("Обратное направление"), false);
    m_second.wholeWord = checkBox(tr("Только целые слова"), false);
    m_second.matchCase = checkBox(tr("Учитывать регистр"), false);
    QCheckBox* wrap = checkBox(tr("Зациклить поиск"), true);
    QRadioButton* normal = radioButton(tr("Обычный"), true);
    m_second.regex = radioButton(tr("Регулярное выражение"), false);

    QPushButton* next = dialogButton(tr("Найти далее"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* replace = dialogButton(tr("Заменить"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* replaceAll = dialogButton(tr("Заменить все"), QStringLiteral("PrimaryDialogButton"));
    QPushButton* replaceOpen = dialogButton(tr("Заменить во всех открытых"), QStringLiteral("SecondaryDialogButton"));
    replaceOpen->setEnabled(false);
    QPushButton* close = dialogButton(tr("Закрыть"), QStringLiteral("SecondaryDialogButton"));

    grid->addWidget(new QLabel(tr("Найти:")), 0, 0);
    grid->addWidget(m_second.find, 0, 1);
    grid->addWidget(new QLabel(tr("Заменить на:")), 1, 0);
    grid->addWidget(m_replaceWith, 1, 1);
    grid->addWidget(groupBox(tr("Параметры"), {m_second.backward, m_second.wholeWord, m_second.matchCase, wrap,
                                               normal, m_second.regex}),
                    2, 0, 1, 2);
    grid->addLayout(buttonColumn({next, replace, replaceAll, replaceOpen, close}), 0, 2, 3, 1);

    connect(next, &QPushButton::clicked, this, [this] {
        const QString text = findText(m_second);
        if (text.isEmpty())
            return;
        const PdfDocument::FindOptions options = optionsOf(m_second);
        m_window.onFindNext(text, options.matchCase, options.wholeWord, options.useRegex,
                            m_second.backward->isChecked());
    });
    connect(replace, &QPushButton::clicked, this, &SearchDialog::explainReplace);
    connect(replaceAll, &QPushButton::clicked, this, &SearchDialog::explainReplace);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    return page;
}

QWidget* SearchDialog::buildOpacityRow()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addStretch(1);
    layout->addWidget(label(tr("Прозрачность окна:"), QStringLiteral("DialogSubtitle")));
    m_opacitySlider = new QSlider(Qt::Horizontal);
    m_opacitySlider->setObjectName(QStringLiteral("DialogSlider"));
    m_opacitySlider->setRange(0, kMaxTransparency);
    m_opacitySlider->setValue(0);
    m_opacitySlider->setFixedWidth(kSliderWidth);
    m_opacityValue = label(QStringLiteral("0%"), QStringLiteral("DialogSubtitle"));
    layout->addWidget(m_opacitySlider);
    layout->addWidget(m_opacityValue);
    connect(m_opacitySlider, &QSlider::valueChanged, this, &SearchDialog::applyTransparency);
    return row;
}

void SearchDialog::applyTransparency(int percent)
{
    const int clamped = std::clamp(percent, 0, kMaxTransparency);
    const double opacity = 1.0 - clamped / 100.0;
    setWindowOpacity(opacity);
    m_opacityEffect->setOpacity(opacity);
    m_opacityValue->setText(QString::number(clamped) + QLatin1Char('%'));
}

void SearchDialog::present()
{
    QWidget* parent = parentWidget();
    move(parent->frameGeometry().center() - rect().center());
    show();
    applyTransparency(m_opacitySlider->value());
    raise();
    activateWindow();
    m_first.find->setFocus();  // typing goes into the find box
}

PdfDocument::FindOptions SearchDialog::optionsOf(const FindControls& controls)
{
    return PdfDocument::FindOptions{controls.matchCase->isChecked(), controls.wholeWord->isChecked(),
                                    controls.regex->isChecked()};
}

QString SearchDialog::findText(const FindControls& controls)
{
    return controls.find->currentText().trimmed();
}

void SearchDialog::findNextFromFirstTab()
{
    const QString text = findText(m_first);
    if (text.isEmpty() || !m_window.isDocumentLoaded())
        return;
    if (m_first.find->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        m_first.find->addItem(text);
    const PdfDocument::FindOptions options = optionsOf(m_first);
    m_window.onFindNext(text, options.matchCase, options.wholeWord, options.useRegex, m_first.backward->isChecked());
    if (m_table->rowCount() > 0)
        selectCurrentRow();
}

int SearchDialog::fillResults(const QString& query, const PdfDocument::FindOptions& options, bool activateFirst)
{
    const int count = m_window.rebuildSearchResults(query, options);
    m_table->setProperty("query", query);
    m_table->setProperty("caseSensitive", options.matchCase);
    m_table->setProperty("wholeWord", options.wholeWord);
    m_table->setProperty("useRegex", options.useRegex);
    m_table->setUpdatesEnabled(false);
    m_table->clearContents();
    m_table->setRowCount(count);
    if (count == 0) {
        m_table->setUpdatesEnabled(true);
        m_resultsLabel->setText(uiTranslate(tr("«%1» — не найдено")).arg(query));
        m_window.activateSearchResult(-1, query, options);  // clears the highlights
        return 0;
    }
    const QList<MainWindow::SearchResult>& results = m_window.searchResultList();
    int page = -1;
    int onPage = 0;
    for (int row = 0; row < count; ++row) {
        const MainWindow::SearchResult& entry = results[row];
        if (entry.page != page) {
            page = entry.page;
            onPage = 0;
        }
        ++onPage;
        m_table->setItem(row, 0, resultCell(QString::number(row + 1), row));
        m_table->setItem(row, 1, resultCell(QString::number(entry.page + 1), row));
        m_table->setItem(row, 2, resultCell(QString::number(onPage), row));
        m_table->setItem(row, 3, resultCell(query, row));
    }
    m_table->setUpdatesEnabled(true);
    m_resultsLabel->setText(uiTranslate(tr("Найдено совпадений: %1")).arg(count));
    if (activateFirst)
        m_window.activateSearchResult(0, query, options);
    selectCurrentRow();
    return count;
}

void SearchDialog::countMatches()
{
    const QString text = findText(m_first);
    if (text.isEmpty() || !m_window.isDocumentLoaded())
        return;
    const int count = fillResults(text, optionsOf(m_first), false);
    m_window.showStatusText(tr("Найдено вхождений «%1»: %2").arg(text).arg(count));
}

void SearchDialog::findAll()
{
    const QString text = findText(m_first);
    if (text.isEmpty() || !m_window.isDocumentLoaded())
        return;
    fillResults(text, optionsOf(m_first), true);
}

// A row shows its entry of the search recorded in the table, searched again.
void SearchDialog::activateRow(int row)
{
    QTableWidgetItem* cell = m_table->item(row, 0);
    if (!cell)
        return;
    const int entry = cell->data(Qt::UserRole).toInt();
    QString query = m_table->property("query").toString();
    if (query.trimmed().isEmpty())
        query = findText(m_first);
    if (query.isEmpty() || !m_window.isDocumentLoaded())
        return;
    const PdfDocument::FindOptions options{m_table->property("caseSensitive").toBool(),
                                           m_table->property("wholeWord").toBool(),
                                           m_table->property("useRegex").toBool()};
    m_window.rebuildSearchResults(query, options);
    m_window.activateSearchResult(entry, query, options);
    selectCurrentRow();
}

void SearchDialog::selectCurrentRow()
{
    const int current = m_window.currentSearchEntry();
    if (current < 0)
        return;
    auto carries = [this, current](int row) {
        const QTableWidgetItem* cell = m_table->item(row, 0);
        return cell && cell->data(Qt::UserRole).toInt() == current;
    };
    // Rows are filled in entry order, so the entry's own row is tried first.
    for (int row = carries(current) ? current : 0; row < m_table->rowCount(); ++row) {
        QTableWidgetItem* cell = m_table->item(row, 0);
        if (carries(row)) {
            const QSignalBlocker blocker(m_table);
            m_table->selectRow(row);
            m_table->scrollToItem(cell, QAbstractItemView::PositionAtCenter);
            return;
        }
    }
}

void SearchDialog::explainReplace()
{
    const QString text = findText(m_second);
    if (text.isEmpty() || !m_window.isDocumentLoaded())
        return;
    appInfo(this, tr("Замена"),
            tr("Замена «%1» → «%2» в PDF-потоке не поддерживается.\nВыполните OCR, отредактируйте текстовые блоки и "
               "вставьте слой обратно.")
                .arg(text, m_replaceWith->currentText()));
}
