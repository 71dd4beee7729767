// Signs a file from the window, with a visible stamp unless another mode is
// named, the signing child being the program the test names, and waits: the
// test ends this program by a signal while its child signs, and looks at
// what is left.
//   signing_child <signing child program> <source.pdf> [mode]
// Exit 0 when the dialog closed on its own, 3 for bad arguments.
#include "MainWindow.h"
#include "SignatureDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;
int chosenMode = 3;

// Chooses the stamped mode and presses "Подписать" once the certificate
// search has ended.
void pressSign()
{
    auto* dialog = qobject_cast<SignatureDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog->property("pressed").toBool())
        return;
    QPushButton* run = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Подписать"))
            run = button;
    }
    if (!run || !run->isEnabled())
        return;
    for (QComboBox* box : dialog->findChildren<QComboBox*>()) {
        if (box->count() == 5 && box->itemData(4).toInt() == 4)
            box->setCurrentIndex(chosenMode);
    }
    dialog->setProperty("pressed", true);
    run->click();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-pdf-editor"));
    const QStringList args = app.arguments();
    bool modeRead = args.size() == 3;
    if (args.size() == 4)
        chosenMode = args.at(3).toInt(&modeRead);
    if (!modeRead)
        return 3;
    MainWindow window(AppProduct::editor);
    window.setSigningWorkerProgram(args.at(1));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &pressSign);
    poll.start(kPollMs);
    window.showSignatureDialog(false, {}, {}, args.at(2));
    return 0;
}
