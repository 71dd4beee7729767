// Until the main window exists, the program shows the first page of the PDF
// named on the command line in a plain window.
#include "PdfDocument.h"
#include "StartupPlan.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>

namespace {

QString firstFileArgument(const QStringList& arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        if (!arguments.at(i).startsWith(QLatin1String("--")))
            return arguments.at(i);
    }
    return {};
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("vorn"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    const StartupPlan plan = planStartup(QApplication::arguments());
    QApplication::setApplicationName(productApplicationName(plan.product));
    QApplication::setApplicationDisplayName(productDisplayName(plan.product));
    if (plan.worker)
        return plan.worker(QApplication::arguments());

    auto* label = new QLabel;
    label->setAlignment(Qt::AlignCenter);
    QScrollArea window;
    window.setWidget(label);
    window.setWidgetResizable(true);
    window.resize(900, 1000);

    const QString path = firstFileArgument(QApplication::arguments());
    PdfDocument document;
    if (path.isEmpty()) {
        label->setText(QStringLiteral("vorn-pdf: укажите PDF-файл в командной строке."));
    } else if (!document.open(path)) {
        QMessageBox::warning(nullptr, QStringLiteral("vorn-pdf"), document.lastError());
        return 1;
    } else {
        const double dpr = window.devicePixelRatioF();
        QImage page = document.renderPage(0, 1.25 * dpr, 0);
        page.setDevicePixelRatio(dpr);
        label->setPixmap(QPixmap::fromImage(page));
        window.setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" — vorn-pdf"));
    }
    window.show();
    return QApplication::exec();
}
