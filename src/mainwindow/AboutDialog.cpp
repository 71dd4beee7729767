#include "AboutDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

constexpr int kIconSide = 54;

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = setUpInfoWindow(this, tr("О программе"), QSize(500, 360), 18);

    auto* header = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/resources/icons/vorn-app.svg"))
                        .pixmap(QSize(kIconSide, kIconSide), QIcon::Normal, QIcon::Off));
    header->addWidget(icon);
    auto* names = new QVBoxLayout;
    names->addWidget(label(QStringLiteral("vorn PDF Reader"), QStringLiteral("DialogTitle")));
    const QString version = QCoreApplication::applicationVersion();
    names->addWidget(label(tr("Версия %1 · Qt %2 · Linux x86-64")
                               .arg(version.isEmpty() ? QStringLiteral("1.0.1") : version, QString::fromLatin1(qVersion())),
                           QStringLiteral("DialogSubtitle")));
    header->addLayout(names, 1);
    layout->addLayout(header);

    auto* components = new QListWidget;
    components->addItems({QStringLiteral("Qt 6 Widgets / Svg"), QStringLiteral("PDFium - PDF rendering/editing engine"),
                          QStringLiteral("Tesseract OCR"), tr("Иконки: внутренний SVG-набор проекта")});
    layout->addWidget(components, 1);
    layout->addLayout(closingButtonRow(this, {{tr("Закрыть"), QStringLiteral("PrimaryDialogButton")}}));
}
