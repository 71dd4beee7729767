#include "AppStartup.h"

#include "ButtonKit.h"
#include "MainWindow.h"
#include "Preloader.h"
#include "SettingsFileCheck.h"
#include "SigningScratch.h"
#include "StartupPlan.h"
#include "VornResources.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {

void setApplicationIdentity(AppProduct product)
{
    QApplication::setOrganizationName(QStringLiteral("vorn"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    QApplication::setWindowIcon(QIcon(I(QStringLiteral("vorn-app"))));
    QApplication::setApplicationName(productApplicationName(product));
    QApplication::setApplicationDisplayName(productDisplayName(product));
}

void setApplicationProperties(bool fileManagerAction)
{
    const QString language = QSettings().value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString();
    qApp->setProperty("uiLanguage", language);
    qApp->setProperty("vornShellDialogMode", fileManagerAction);
}

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// Worker modes show no window: without a display they run on the offscreen
// platform rather than abort when the display platform cannot start. A
// platform the caller chose stays. Their parents read a worker's standard
// error as its failure text, so Qt's own warnings stay out of it.
void prepareWorkerStart(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (planStartup(arguments).start != StartKind::Worker)
        return;
    qInstallMessageHandler(dropMessage);
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

int runApplication(int& argc, char** argv)
{
    prepareWorkerStart(argc, argv);
    QApplication app(argc, argv);
    initVornResources();
    const QStringList arguments = QApplication::arguments();
    const StartupPlan plan = planStartup(arguments);
    setApplicationIdentity(plan.product);
    // Before any QSettings use, workers' included: they read settings too.
    // Written straight to the stream, as workers drop Qt's messages.
    for (const QString& line : setAsideUnreadableSettings())
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());

    if (plan.start == StartKind::Worker)
        return plan.worker(arguments);
    setApplicationProperties(plan.start == StartKind::FileManagerAction);
    // A signing run killed midway leaves its scratch (and maybe a request
    // with pass phrases) behind: gone before anything else starts.
    SigningScratch::removeLeftovers();
    if (plan.showSplash)
        runPreloader(productDisplayName(plan.product), preloaderStepMs(qgetenv("VORN_PRELOADER_STEP_MS")));

    MainWindow window(plan.product);
    // A file-manager action runs with the window hidden and ends the run itself.
    if (plan.start == StartKind::FileManagerAction) {
        QTimer::singleShot(0, &window, [&window, &plan] { window.runShellAction(plan.shellAction, plan.files, true); });
        return QApplication::exec();
    }
    // The signing edition shows only the signature dialog; it ends the run.
    if (plan.start == StartKind::EcpSigning) {
        QTimer::singleShot(0, &window, [&window, &plan] { window.showEcpStartup(plan.files); });
        return QApplication::exec();
    }
    window.show();
    if (!plan.files.isEmpty())
        window.openFile(plan.files.first());
    return QApplication::exec();
}
