// Interface translation figures: parsing the embedded table, one pass over
// the editor's main window with every ribbon tab built (the first pass
// captures the sources, later ones only translate), and every pass that
// showing the window sets off, timed until the event loop is idle again.
// Usage: i18n_bench [language]   (default "de")
#include "MainWindow.h"
#include "ShowLocalizer.h"
#include "UiTranslate.h"
#include "UiTranslationTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 20;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Counts the passes that Show events set off.
class PassCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            ++shows;
        return false;
    }
};

void forgetSources(QObject* object)
{
    for (const QByteArray& name : object->dynamicPropertyNames()) {
        if (name.startsWith("_vorn_i18n_"))
            object->setProperty(name.constData(), QVariant());
    }
    for (QObject* child : object->children())
        forgetSources(child);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    const QString language = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("de");
    QSettings().setValue(QStringLiteral("ui/language"), language);

    std::vector<double> parse;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const UiTranslationTable table = UiTranslationTable::fromResource();
        parse.push_back(msSince(timer));
        if (table.isEmpty())
            return 1;
    }
    std::printf("table parse: %.1f ms (median of 5)\n", median(parse));

    // Showing the window: from show() until the queued passes have run.
    auto counter = new PassCounter;
    app.installEventFilter(counter);
    MainWindow window(AppProduct::editor);
    int widgets = window.findChildren<QWidget*>().size();
    QElapsedTimer shown;
    shown.start();
    window.resize(1500, 920);
    window.show();
    const double showOnly = msSince(shown);
    // The passes the Show events queued, run here rather than from the loop.
    QElapsedTimer passes;
    passes.start();
    window.findChild<ShowLocalizer*>()->runQueuedPasses();
    const double queued = msSince(passes);
    QCoreApplication::processEvents();
    std::printf("window: %d widgets, %d Show events\n", widgets, counter->shows);
    std::printf("show(): %.1f ms; the passes it queued: %.1f ms\n", showOnly, queued);

    // Passes over the whole window, alternating languages so texts change.
    std::vector<double> later;
    for (int i = 0; i < kRounds; ++i) {
        qApp->setProperty("uiLanguage", i % 2 ? language : QStringLiteral("en"));
        QElapsedTimer timer;
        timer.start();
        localizeWidgetTree(&window);
        later.push_back(msSince(timer));
    }
    std::printf("later pass over the window: median %.2f ms, worst %.2f ms (%d rounds)\n", median(later),
                *std::max_element(later.begin(), later.end()), kRounds);

    // A first pass: a new Russian window with its captured sources taken
    // away again (its constructor has run one pass already), translated.
    std::vector<double> first;
    for (int i = 0; i < 5; ++i) {
        qApp->setProperty("uiLanguage", QStringLiteral("ru"));
        QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("ru"));
        MainWindow fresh(AppProduct::editor);
        forgetSources(&fresh);
        qApp->setProperty("uiLanguage", language);
        QElapsedTimer timer;
        timer.start();
        localizeWidgetTree(&fresh);
        first.push_back(msSince(timer));
    }
    std::printf("first pass over a new window: median %.2f ms\n", median(first));
    return 0;
}
