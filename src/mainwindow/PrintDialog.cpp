#include "PrintDialog.h"

#include "ButtonKit.h"
#include "DialogKit.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QSize kDialogSize(760, 520);
const QSize kPreviewPageSize(180, 250);
constexpr int kMaxCopies = 99;

const QString kPreviewText = QStringLiteral(
    "<div align='center' style='font-family:Georgia;color:#111827;'><b>ПРЕДПРОСМОТР</b><br><br>━━━━━━<br>"
    "━━━━━━<br>━━━━━━<br><br><span style='font-size:10px;'>Страница 1</span></div>");

// The item whose data is value, or the first.
void selectData(QComboBox* combo, const QString& value)
{
    combo->setCurrentIndex(std::max(0, combo->findData(value)));
}

} // namespace

PrintDialog::PrintDialog(const QString& subtitle, bool canPrint, std::function<void()> print, QWidget* parent)
    : QDialog(parent), m_print(std::move(print))
{
    setObjectName(QStringLiteral("PrintDialog"));
    setWindowTitle(tr("Печать"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    resize(kDialogSize);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);

    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(label(tr("Печать документа"), QStringLiteral("DialogTitle")));
    titles->addWidget(label(subtitle, QStringLiteral("DialogSubtitle")));
    header->addLayout(titles, 1);
    header->addWidget(iconOnlyButton(QStringLiteral("print"), tr("Печать"), false));
    layout->addLayout(header);

    auto* body = new QHBoxLayout;
    body->setSpacing(14);
    body->addWidget(buildPreviewPanel(), 0);
    body->addWidget(buildSettingsColumn(), 1);
    layout->addLayout(body, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* printButton = dialogButton(tr("Печать"), QStringLiteral("PrimaryDialogButton"));
    printButton->setEnabled(canPrint);
    printButton->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(printButton);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(printButton, &QPushButton::clicked, this, [this] {
        storeChoices();
        m_print();
        close();
    });
}

QWidget* PrintDialog::buildPreviewPanel()
{
    auto* panel = new QFrame;
    panel->setObjectName(QStringLiteral("PrintPreviewPanel"));
    panel->setMinimumWidth(260);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(10);
    auto* page = new QLabel(kPreviewText);
    page->setObjectName(QStringLiteral("PrintPreviewPage"));
    page->setFixedSize(kPreviewPageSize);
    page->setAlignment(Qt::AlignCenter);
    layout->addWidget(page, 0, Qt::AlignHCenter);
    layout->addWidget(label(tr("Предпросмотр листа A4"), QStringLiteral("PrintPreviewCaption")), 0, Qt::AlignHCenter);
    layout->addStretch();
    return panel;
}

QWidget* PrintDialog::buildSettingsColumn()
{
    QSettings settings;
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto* printerBox = new QGroupBox(tr("Принтер"));
    auto* printerLayout = new QVBoxLayout(printerBox);
    QPushButton* system = dialogButton(tr("Системный диалог..."), QStringLiteral("SecondaryDialogButton"));
    printerLayout->addWidget(system);
    connect(system, &QPushButton::clicked, this, [this] {
        // The print path reads the settings as they are; the dialog is gone.
        const std::function<void()> print = m_print;
        close();
        print();
    });
    layout->addWidget(printerBox);

    auto* copiesBox = new QGroupBox(tr("Копии"));
    auto* copiesLayout = new QGridLayout(copiesBox);
    m_copies = new QSpinBox;
    m_copies->setRange(1, kMaxCopies);
    m_copies->setValue(settings.value(QStringLiteral("print/copies"), 1).toInt());
    copiesLayout->addWidget(new QLabel(tr("Количество:")), 0, 0);
    copiesLayout->addWidget(m_copies, 0, 1);
    layout->addWidget(copiesBox);

    auto* pageBox = new QGroupBox(tr("Параметры страницы"));
    auto* pageLayout = new QGridLayout(pageBox);
    m_paper = new QComboBox;
    m_paper->addItems({QStringLiteral("A4"), QStringLiteral("A5"), QStringLiteral("Letter"), QStringLiteral("Legal")});
    m_paper->setCurrentIndex(
        std::max(0, m_paper->findText(settings.value(QStringLiteral("print/paper"), QStringLiteral("A4")).toString())));
    m_orientation = new QComboBox;
    m_orientation->addItem(tr("Книжная"), QStringLiteral("portrait"));
    m_orientation->addItem(tr("Альбомная"), QStringLiteral("landscape"));
    QString orientation = settings.value(QStringLiteral("print/orientation"), QStringLiteral("portrait")).toString();
    if (orientation == QStringLiteral("Книжная"))
        orientation = QStringLiteral("portrait");
    else if (orientation == QStringLiteral("Альбомная"))
        orientation = QStringLiteral("landscape");
    selectData(m_orientation, orientation);
    m_scale = new QComboBox;
    m_scale->addItem(tr("По размеру страницы"), QStringLiteral("fit"));
    m_scale->addItem(tr("100%"), QStringLiteral("100"));
    m_scale->addItem(tr("125%"), QStringLiteral("125"));
    m_scale->addItem(tr("По ширине"), QStringLiteral("width"));
    QString scale = settings.value(QStringLiteral("print/scale"), QStringLiteral("fit")).toString();
    if (scale == QStringLiteral("По размеру страницы"))
        scale = QStringLiteral("fit");
    else if (scale == QStringLiteral("По ширине"))
        scale = QStringLiteral("width");
    selectData(m_scale, scale);
    pageLayout->addWidget(new QLabel(tr("Бумага:")), 0, 0);
    pageLayout->addWidget(m_paper, 0, 1);
    pageLayout->addWidget(new QLabel(tr("Ориентация:")), 1, 0);
    pageLayout->addWidget(m_orientation, 1, 1);
    pageLayout->addWidget(new QLabel(tr("Масштаб:")), 2, 0);
    pageLayout->addWidget(m_scale, 2, 1);
    layout->addWidget(pageBox);
    layout->addStretch();
    return column;
}

void PrintDialog::storeChoices() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("print/paper"), m_paper->currentText());
    settings.setValue(QStringLiteral("print/orientation"), m_orientation->currentData().toString());
    settings.setValue(QStringLiteral("print/scale"), m_scale->currentData().toString());
    settings.setValue(QStringLiteral("print/copies"), m_copies->value());
}
