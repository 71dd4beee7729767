#include "PageToolsDialog.h"

#include "DialogKit.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

namespace {

std::function<void()>& shellQuit()
{
    static std::function<void()> quit = [] { QCoreApplication::quit(); };
    return quit;
}

} // namespace

void PageToolsDialog::setShellQuit(std::function<void()> quit)
{
    shellQuit() = std::move(quit);
}

PageToolsDialog::PageToolsDialog(const Setup& setup, QWidget* parent)
    : QDialog(parent)
    , m_shellMode(setup.shellMode)
{
    QVBoxLayout* layout = setUpInfoWindow(this, tr("Операции со страницами"), QSize(660, 430), 14);
    layout->addWidget(label(tr("Вставка / извлечение / объединение страниц"), QStringLiteral("DialogTitle")));
    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("DialogTabs"));
    m_tabs->addTab(buildInsertTab(setup), tr("Вставка"));
    m_tabs->addTab(buildExtractTab(setup), tr("Извлечение"));
    m_tabs->addTab(buildMergeTab(setup), tr("Объединение"));
    if (!setup.files.isEmpty())
        m_tabs->setCurrentIndex(MergeTab);
    layout->addWidget(m_tabs, 1);

    auto* row = new QHBoxLayout;
    if (m_shellMode) {
        m_openResult = new QCheckBox(tr("Открыть результат после объединения"));
        m_openResult->setObjectName(QStringLiteral("ScanCheckBox"));
        row->addWidget(m_openResult);
    }
    row->addStretch(1);
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(cancel);
    QPushButton* apply = dialogButton(tr("Применить"), QStringLiteral("PrimaryDialogButton"));
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, &PageToolsDialog::applyRequested);
    row->addWidget(apply);
    layout->addLayout(row);

    if (m_shellMode) {
        setWindowModality(Qt::ApplicationModal);
        connect(this, &QDialog::finished, this, [parent] {
            if (parent && !parent->isVisible())
                shellQuit()();
        });
    }
}

QWidget* PageToolsDialog::buildInsertTab(const Setup& setup)
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    m_insertPath = dialogLineEdit(setup.files.value(0));
    QPushButton* browse = dialogButton(tr("Обзор..."), QStringLiteral("SecondaryDialogButton"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getOpenFileName(
            parentWidget(), uiTranslate(tr("Выбрать файл для вставки")), QString(),
            uiTranslate(tr("Все поддерживаемые (*.pdf *.docx *.odt *.html *.xhtml *.svg *.cbz *.png *.jpg *.jpeg *.bmp "
                           "*.webp *.gif *.tif *.tiff *.epub *.xlsx *.pptx);;PDF (*.pdf);;Word (*.docx);;OpenDocument "
                           "(*.odt);;HTML/XHTML (*.html *.xhtml);;SVG (*.svg);;CBZ (*.cbz);;Изображения (*.png *.jpg "
                           "*.jpeg *.bmp *.webp *.gif *.tif *.tiff)")));
        if (!chosen.isEmpty())
            m_insertPath->setText(chosen);
    });
    grid->addWidget(new QLabel(tr("Файл:")), 0, 0);
    grid->addWidget(m_insertPath, 0, 1);
    grid->addWidget(browse, 0, 2);
    m_position = new QComboBox;
    m_position->addItems({tr("После текущей страницы"), tr("Перед текущей страницей"), tr("В конец документа")});
    grid->addWidget(new QLabel(tr("Позиция:")), 1, 0);
    grid->addWidget(m_position, 1, 1);
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* PageToolsDialog::buildExtractTab(const Setup& setup)
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    m_pageList = dialogLineEdit(setup.documentLoaded ? QStringLiteral("1-%1").arg(setup.pageCount)
                                                     : QStringLiteral("1"));
    grid->addWidget(new QLabel(tr("Страницы:")), 0, 0);
    grid->addWidget(m_pageList, 0, 1);
    grid->addWidget(new QLabel(tr("Формат: 1, 3-5, 7")), 1, 1);
    m_deleteAfter = new QCheckBox(tr("Удалить страницы после извлечения"));
    grid->addWidget(m_deleteAfter, 2, 0, 1, 2);
    // Extraction always writes the one chosen file; the box is not read.
    grid->addWidget(new QCheckBox(tr("Сохранить каждую стр. отдельным файлом")), 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    return page;
}

QWidget* PageToolsDialog::buildMergeTab(const Setup& setup)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    m_mergeList = new QListWidget;
    m_mergeList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_mergeList->setProperty("_vorn_i18n_skip_items", true);  // file names
    layout->addWidget(m_mergeList, 1);
    for (const QString& path : setup.files)
        addMergeFile(path);
    if (setup.files.isEmpty() && setup.documentLoaded && !setup.documentPath.trimmed().isEmpty())
        addMergeFile(setup.documentPath);

    auto* row = new QHBoxLayout;
    auto button = [&](const QString& text) {
        QPushButton* made = dialogButton(text, QStringLiteral("SecondaryDialogButton"));
        row->addWidget(made);
        return made;
    };
    connect(button(tr("Добавить PDF")), &QPushButton::clicked, this, [this] {
        const QStringList chosen = QFileDialog::getOpenFileNames(
            parentWidget(), uiTranslate(tr("Добавить файлы для объединения")), QString(),
            uiTranslate(tr("Поддерживаемые (*.pdf *.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff *.xlsx);;PDF "
                           "(*.pdf);;Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff);;Excel (*.xlsx)")));
        for (const QString& path : chosen)
            addMergeFile(path);
    });
    connect(button(tr("Удалить")), &QPushButton::clicked, this, [this] {
        for (QListWidgetItem* item : m_mergeList->selectedItems())
            delete item;
    });
    connect(button(tr("↑ Вверх")), &QPushButton::clicked, this, [this] { moveCurrentMergeEntry(-1); });
    connect(button(tr("↓ Вниз")), &QPushButton::clicked, this, [this] { moveCurrentMergeEntry(1); });
    layout->addLayout(row);
    return page;
}

void PageToolsDialog::moveCurrentMergeEntry(int step)
{
    const int row = m_mergeList->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_mergeList->count())
        return;
    QListWidgetItem* item = m_mergeList->takeItem(row);
    m_mergeList->insertItem(target, item);
    m_mergeList->setCurrentRow(target);
}

bool PageToolsDialog::addMergeFile(const QString& path)
{
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (absolute.isEmpty() || !QFileInfo::exists(absolute))
        return false;
    for (int row = 0; row < m_mergeList->count(); ++row) {
        if (m_mergeList->item(row)->data(Qt::UserRole).toString() == absolute)
            return false;
    }
    auto* item = new QListWidgetItem(QFileInfo(absolute).fileName());
    item->setData(Qt::UserRole, absolute);
    item->setToolTip(absolute);
    m_mergeList->addItem(item);
    return true;
}

PageToolsDialog::Tab PageToolsDialog::currentTab() const
{
    return Tab(m_tabs->currentIndex());
}

QString PageToolsDialog::insertPath() const
{
    return m_insertPath->text().trimmed();
}

int PageToolsDialog::insertPosition() const
{
    return m_position->currentIndex();
}

QString PageToolsDialog::pageListText() const
{
    return m_pageList->text();
}

bool PageToolsDialog::deleteAfterExtraction() const
{
    return m_deleteAfter->isChecked();
}

QStringList PageToolsDialog::mergePaths() const
{
    QStringList paths;
    for (int row = 0; row < m_mergeList->count(); ++row)
        paths << m_mergeList->item(row)->data(Qt::UserRole).toString();
    return paths;
}

bool PageToolsDialog::openResultAfterMerge() const
{
    return m_openResult && m_openResult->isChecked();
}
