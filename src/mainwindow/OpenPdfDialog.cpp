#include "OpenPdfDialog.h"

#include "DialogKit.h"
#include "RecentFiles.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 470;
constexpr int kMargin = 16;
constexpr int kSpacing = 12;
constexpr int kRowSpacing = 14;

} // namespace

OpenPdfDialog::OpenPdfDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(tr("Открыть PDF"));
    resize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kSpacing);
    layout->addWidget(label(tr("Открытие PDF"), QStringLiteral("DialogTitle")));
    layout->addWidget(label(tr("Выберите файл или вернитесь к одному из последних документов."),
                            QStringLiteral("DialogSubtitle")));

    auto* recentBox = new QGroupBox(tr("Недавние файлы"));
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("RecentFilesList"));
    m_list->setProperty("_vorn_i18n_skip_items", true);  // file names
    (new QVBoxLayout(recentBox))->addWidget(m_list);

    auto* openBox = new QGroupBox(tr("Открыть"));
    auto* buttons = new QVBoxLayout(openBox);
    QPushButton* pick = dialogButton(tr("Выбрать PDF..."), QStringLiteral("PrimaryDialogButton"));
    QPushButton* folder = dialogButton(tr("Открыть папку"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* scan = dialogButton(tr("Сканер"), QStringLiteral("SecondaryDialogButton"));
    m_clear = dialogButton(tr("Очистить список"), QStringLiteral("SecondaryDialogButton"));
    for (QPushButton* button : {pick, folder, scan, m_clear})
        buttons->addWidget(button);
    buttons->addStretch(1);
    QLabel* hint = label(tr("Поддерживаются PDF, защищённые PDF и документы с формами."), QStringLiteral("DialogHint"));
    hint->setWordWrap(true);
    buttons->addWidget(hint);

    auto* row = new QHBoxLayout;
    row->setSpacing(kRowSpacing);
    row->addWidget(recentBox, 1);
    row->addWidget(openBox, 0);
    layout->addLayout(row, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* open = dialogButton(tr("Открыть"), QStringLiteral("PrimaryDialogButton"));
    bottom->addWidget(cancel);
    bottom->addWidget(open);
    layout->addLayout(bottom);

    connect(m_list, &QListWidget::itemDoubleClicked, this, &OpenPdfDialog::openCurrentRow);
    connect(open, &QPushButton::clicked, this, &OpenPdfDialog::openCurrentRow);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(pick, &QPushButton::clicked, this, &OpenPdfDialog::choosePdf);
    connect(folder, &QPushButton::clicked, this, &OpenPdfDialog::chooseFolder);
    connect(scan, &QPushButton::clicked, this, &OpenPdfDialog::scanRequested);
    connect(m_clear, &QPushButton::clicked, this, &OpenPdfDialog::clearRecent);

    if (QSettings().value(QStringLiteral("doc/rememberRecent"), true).toBool()) {
        fillList(storedRecentFiles());
    } else {
        showPlaceholder(tr("Недавние файлы отключены в настройках"));
        m_clear->setEnabled(false);
    }
}

void OpenPdfDialog::fillList(const QStringList& paths)
{
    m_list->clear();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        auto* item = new QListWidgetItem(QStringLiteral("%1    %2").arg(info.fileName(), info.absolutePath()));
        item->setData(Qt::UserRole, info.absoluteFilePath());
        m_list->addItem(item);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    else
        showPlaceholder(tr("Недавних файлов пока нет"));
}

void OpenPdfDialog::listFolder(const QString& folder)
{
    QStringList paths;
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Readable,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries)
        paths << entry.absoluteFilePath();
    fillList(paths);
}

void OpenPdfDialog::showPlaceholder(const QString& text)
{
    m_list->clear();
    auto* item = new QListWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    m_list->addItem(item);
}

void OpenPdfDialog::openCurrentRow()
{
    QListWidgetItem* item = m_list->currentItem();
    const QString path = item ? item->data(Qt::UserRole).toString() : QString();
    if (path.isEmpty())
        return;
    close();
    emit openRequested(path);
}

void OpenPdfDialog::choosePdf()
{
    const QString path =
        QFileDialog::getOpenFileName(parentWidget(), uiTranslate(tr("Открыть PDF")), QString(),
                                     uiTranslate(tr("PDF файлы (*.pdf);;Все файлы (*)")));
    if (path.isEmpty())
        return;
    close();
    emit openRequested(path);
}

void OpenPdfDialog::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(parentWidget(), uiTranslate(tr("Открыть папку с PDF")), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        listFolder(folder);
}

void OpenPdfDialog::clearRecent()
{
    QSettings().remove(QStringLiteral("recentFiles"));
    showPlaceholder(tr("Недавних файлов пока нет"));
}
