// The settings dialog and the stored preferences: fallbacks and legacy
// values, what Apply stores and applies, the buttons that act at once, the
// recognition engine on a language change, and the window's texts that a
// translation pass must not bring back.
#include "OcrEngine.h"
#include "OcrWindowSupport.h"
#include "SettingsDialog.h"
#include "WindowPlacement.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>

#include <memory>

using namespace windowtest;

namespace {

constexpr int kRunTimeoutMs = 60000;

// The control a row's caption names.
template <typename Control>
Control* row(QWidget* dialog, const QString& caption)
{
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->property("_vorn_i18n_text").toString() == caption || label->text() == caption)
            return qobject_cast<Control*>(label->buddy());
    }
    return nullptr;
}

template <typename Control>
Control* byText(QWidget* dialog, const QString& text)
{
    for (Control* control : dialog->findChildren<Control*>()) {
        if (control->text() == text || control->property("_vorn_i18n_text").toString() == text)
            return control;
    }
    return nullptr;
}

void chooseData(QComboBox* box, const QVariant& data)
{
    box->setCurrentIndex(box->findData(data));
}

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();
    void storedValuesAndFallbacks_data();
    void storedValuesAndFallbacks();
    void renderZoomMatch_data();
    void renderZoomMatch();
    void applyStoresWhatTheControlsShow();
    void immediateButtonsSurviveCancel();
    void enterOnAnyControlKeepsStoredState_data();
    void enterOnAnyControlKeepsStoredState();
    void germanApplyKeepsLatinValues();
    void severalDialogsAtOnce();
    void openedFromTheViewTab();
    void applyTranslatesOpenWindows();
    void startupClampsDensityAndTheme();
    void titleKeptAfterStartAndApply();
    void programTextsNotRevertedByPasses();
    void engineFollowsLanguagesOnly();
    void engineDiscardWaitsForRun();

private:
    SettingsDialog* openDialog();
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void SettingsDialogTest::init()
{
    QSettings().clear();
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
}

// The rows of a table share one window; each other test starts afresh.
void SettingsDialogTest::cleanup()
{
    for (SettingsDialog* dialog : m_window ? m_window->findChildren<SettingsDialog*>() : QList<SettingsDialog*>())
        delete dialog;
    if (!QTest::currentDataTag() || QTest::currentTestFailed())
        m_window.reset();
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
}

SettingsDialog* SettingsDialogTest::openDialog()
{
    if (!m_window) {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
    }
    QMetaObject::invokeMethod(m_window.get(), "showSettingsDialog");
    const QList<SettingsDialog*> dialogs = m_window->findChildren<SettingsDialog*>();
    return dialogs.isEmpty() ? nullptr : dialogs.last();
}

void SettingsDialogTest::storedValuesAndFallbacks_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("applied");
    QTest::newRow("legacy orientation") << "print/orientation" << QVariant("Альбомная") << "Ориентация:"
                                        << "Альбомная" << QVariant("landscape");
    QTest::newRow("legacy scale") << "print/scale" << QVariant("По ширине") << "Масштаб:" << "По ширине"
                                  << QVariant("width");
    QTest::newRow("scale as text") << "print/scale" << QVariant("100%") << "Масштаб:" << "По размеру страницы"
                                   << QVariant("fit");
    QTest::newRow("unknown revocation mode") << "signing/revocationMode" << QVariant("later") << "Проверка отзыва:"
                                             << "Проверять при подписании документа" << QVariant("sign");
    QTest::newRow("unknown OCR languages") << "ocr/languages" << QVariant("deu") << "Языки:" << "Русский + English"
                                           << QVariant("rus+eng");
    QTest::newRow("paper not listed") << "print/paper" << QVariant("A3") << "Бумага:" << "A4" << QVariant("A4");
    QTest::newRow("theme in capitals") << "ui/theme" << QVariant("Dark") << "Тема:" << "Светлая" << QVariant("light");
    QTest::newRow("unknown language") << "ui/language" << QVariant("xx") << "Язык:" << "Русский" << QVariant("ru");
    QTest::newRow("density not a number") << "ui/density" << QVariant("abc") << "Плотность:" << "Компактный"
                                          << QVariant(0);
    QTest::newRow("channel") << "updates/channel" << QVariant("nightly") << "Канал:" << "stable" << QVariant("stable");
}

void SettingsDialogTest::storedValuesAndFallbacks()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    QFETCH(QVariant, applied);
    QSettings().setValue(key, stored);
    SettingsDialog* dialog = openDialog();
    QVERIFY(dialog);
    auto* box = row<QComboBox>(dialog, caption);
    QVERIFY(box);
    QCOMPARE(box->currentText(), shown);
    dialog->apply();
    QCOMPARE(QSettings().value(key).toString(), applied.toString());
}

void SettingsDialogTest::renderZoomMatch_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("applied");
    QTest::newRow("exact") << 1.5 << 1 << 1.5;
    QTest::newRow("twelfth digit") << 2.000000000001 << 2 << 2.0;
    QTest::newRow("tenth digit differs") << 2.0000001 << 0 << 0.0;
    QTest::newRow("not listed") << 2.5 << 0 << 0.0;
    QTest::newRow("automatic") << 0.0 << 0 << 0.0;
    QTest::newRow("maximum") << 3.0 << 3 << 3.0;
}

void SettingsDialogTest::renderZoomMatch()
{
    QFETCH(double, stored);
    QFETCH(int, index);
    QFETCH(double, applied);
    QSettings().setValue(QStringLiteral("ocr/renderZoom"), stored);
    SettingsDialog* dialog = openDialog();
    QCOMPARE(row<QComboBox>(dialog, QStringLiteral("Качество:"))->currentIndex(), index);
    dialog->apply();
    QCOMPARE(QSettings().value(QStringLiteral("ocr/renderZoom")).toDouble(), applied);
}

void SettingsDialogTest::applyStoresWhatTheControlsShow()
{
    SettingsDialog* dialog = openDialog();
    QPointer<SettingsDialog> guard(dialog);
    dialog->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"))->setText(QStringLiteral("  https://x.test/u.json \t"));
    row<QComboBox>(dialog, QStringLiteral("Плотность:"))->setCurrentIndex(2);
    byText<QCheckBox>(dialog, QStringLiteral("Показывать плавающую панель"))->setChecked(false);
    byText<QCheckBox>(dialog, QStringLiteral("Запоминать последнюю вкладку ленты"))->setChecked(true);
    auto* ribbon = m_window->findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    ribbon->setCurrentIndex(2);
    byText<QCheckBox>(dialog, QStringLiteral("Автосохранение"))->setChecked(true);
    byText<QPushButton>(dialog, QStringLiteral("Применить"))->click();

    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("updates/manifestUrl")).toString(), QStringLiteral("https://x.test/u.json"));
    QCOMPARE(settings.value(QStringLiteral("ui/density")).toInt(), 2);
    QCOMPARE(settings.value(QStringLiteral("ui/lastRibbonTab")).toInt(), 2);
    QCOMPARE(ribbon->maximumHeight(), 158);
    QVERIFY(!m_window->findChild<QWidget*>(QStringLiteral("FloatingBar"))->isVisible());
    QVERIFY(m_window->findChild<QTimer*>(QStringLiteral("AutoSaveTimer"))->isActive());
    QCOMPARE(statusText(*m_window), QStringLiteral("Настройки применены"));
    QTRY_VERIFY(!guard);

    // Unchecked, the remembered tab goes.
    dialog = openDialog();
    byText<QCheckBox>(dialog, QStringLiteral("Запоминать последнюю вкладку ленты"))->setChecked(false);
    dialog->apply();
    QVERIFY(!QSettings().contains(QStringLiteral("ui/lastRibbonTab")));
}

void SettingsDialogTest::immediateButtonsSurviveCancel()
{
    QSettings settings;
    settings.setValue(QStringLiteral("recentFiles"), QStringList{QStringLiteral("/tmp/a.pdf")});
    settings.setValue(QStringLiteral("window/maximized"), true);
    settings.setValue(QStringLiteral("window/normalGeometry"), QByteArray("x"));
    settings.setValue(QStringLiteral("ui/lastRibbonTab"), 3);
    settings.setValue(QStringLiteral("print/copies"), 4);
    SettingsDialog* dialog = openDialog();
    row<QSpinBox>(dialog, QStringLiteral("Копии:"))->setValue(9);
    byText<QPushButton>(dialog, QStringLiteral("Очистить недавние файлы"))->click();
    QCOMPARE(statusText(*m_window), QStringLiteral("Список недавних файлов очищен"));
    m_window->resize(300, 200);
    byText<QPushButton>(dialog, QStringLiteral("Сбросить положение окна"))->click();
    // The first size again, as this screen's free area allows it.
    const QRect first = firstWindowGeometry(kFirstWindowSize, m_window->screen()->availableGeometry(),
                                            kWindowFrameAllowance);
    QCOMPARE(m_window->size(), first.size().expandedTo(m_window->minimumSizeHint()));
    byText<QPushButton>(dialog, QStringLiteral("Сбросить последнюю вкладку ленты"))->click();
    QVERIFY(dialog->isVisible());
    byText<QPushButton>(dialog, QStringLiteral("Отмена"))->click();

    settings.sync();
    for (const char* key : {"recentFiles", "window/maximized", "window/normalGeometry", "ui/lastRibbonTab"})
        QVERIFY2(!settings.contains(QLatin1String(key)), key);
    QCOMPARE(settings.value(QStringLiteral("print/copies")).toInt(), 4);
    QVERIFY(!settings.contains(QStringLiteral("print/dpi")));
}

// The passes translate the shown items; the stored values stay the codes.
void SettingsDialogTest::enterOnAnyControlKeepsStoredState_data()
{
    QTest::addColumn<int>("page");
    const QStringList pages{"Интерфейс", "Документы", "OCR", "Печать", "Подпись", "Обслуживание"};
    for (int i = 0; i < pages.size(); ++i)
        QTest::newRow(qPrintable(pages[i])) << i;
}

// Enter with the focus on any control of a page, its buttons and the
// dialog's own included, applies or does nothing: the recent files, the
// window placement and the remembered tab survive it.
void SettingsDialogTest::enterOnAnyControlKeepsStoredState()
{
    QFETCH(int, page);
    const QStringList recent{QStringLiteral("/tmp/a.pdf"), QStringLiteral("/tmp/b.pdf")};
    int pressed = 0;
    for (int control = 0;; ++control) {
        QSettings settings;
        settings.setValue(QStringLiteral("recentFiles"), recent);
        settings.setValue(QStringLiteral("window/maximized"), false);
        settings.setValue(QStringLiteral("ui/rememberTab"), true);
        settings.setValue(QStringLiteral("ui/lastRibbonTab"), 0);
        QPointer<SettingsDialog> dialog = openDialog();
        dialog->findChild<QListWidget*>(QStringLiteral("SettingsSections"))->setCurrentRow(page);
        auto* stack = dialog->findChild<QStackedWidget*>(QStringLiteral("SettingsStack"));
        QWidget* shownPage = stack->currentWidget();
        QList<QWidget*> controls;
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            const bool onPage = shownPage->isAncestorOf(widget) || !stack->isAncestorOf(widget);
            if (onPage && widget->isVisibleTo(dialog) && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus))
                controls << widget;
        }
        if (control >= controls.size()) {
            dialog->close();
            break;
        }
        auto* button = qobject_cast<QPushButton*>(controls[control]);
        const bool cancels = button && button->text() == QStringLiteral("Отмена");
        m_window->showStatusText(QString());
        controls[control]->setFocus();
        QTest::keyClick(controls[control], Qt::Key_Return);
        ++pressed;
        settings.sync();
        const QString where = QStringLiteral("%1 %2").arg(controls[control]->metaObject()->className()).arg(control);
        QVERIFY2(settings.value(QStringLiteral("recentFiles")).toStringList() == recent, qPrintable(where));
        QVERIFY2(settings.contains(QStringLiteral("window/maximized")), qPrintable(where));
        QVERIFY2(settings.contains(QStringLiteral("ui/lastRibbonTab")), qPrintable(where));
        // Applied and closed, closed by a focused "Отмена" without a word, or nothing happened.
        if (dialog && dialog->isVisible())
            dialog->close();
        else
            QCOMPARE(statusText(*m_window), cancels ? QString() : QStringLiteral("Настройки применены"));
    }
    QVERIFY(pressed >= 3);
    m_window.reset();  // the next test starts with a window of its own
}

void SettingsDialogTest::germanApplyKeepsLatinValues()
{
    QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("de"));
    QSettings().setValue(QStringLiteral("print/paper"), QStringLiteral("Letter"));
    QSettings().setValue(QStringLiteral("print/orientation"), QStringLiteral("landscape"));
    SettingsDialog* dialog = openDialog();
    QTRY_VERIFY(row<QComboBox>(dialog, QStringLiteral("Ориентация:"))->currentText() != QStringLiteral("Альбомная"));
    auto* language = row<QComboBox>(dialog, QStringLiteral("Язык:"));
    QCOMPARE(language->currentText(), QStringLiteral("Deutsch"));
    QCOMPARE(language->itemText(0), QStringLiteral("Русский"));
    dialog->apply();
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("print/paper")).toString(), QStringLiteral("Letter"));
    QCOMPARE(settings.value(QStringLiteral("print/orientation")).toString(), QStringLiteral("landscape"));
    QCOMPARE(settings.value(QStringLiteral("ui/language")).toString(), QStringLiteral("de"));
}

void SettingsDialogTest::severalDialogsAtOnce()
{
    SettingsDialog* first = openDialog();
    SettingsDialog* second = openDialog();
    QVERIFY(first != second);
    QVERIFY(first->isVisible() && second->isVisible());
    QVERIFY(!first->isModal());
    row<QSpinBox>(first, QStringLiteral("Копии:"))->setValue(7);
    row<QSpinBox>(second, QStringLiteral("Копии:"))->setValue(3);
    first->apply();
    QCOMPARE(QSettings().value(QStringLiteral("print/copies")).toInt(), 7);
    second->apply();
    QCOMPARE(QSettings().value(QStringLiteral("print/copies")).toInt(), 3);
}

void SettingsDialogTest::openedFromTheViewTab()
{
    m_window = std::make_unique<MainWindow>(AppProduct::viewer);
    auto* ribbon = m_window->findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    buttonByTip(ribbon->widget(ribbon->count() - 1), QStringLiteral("Настройки"))->click();
    buttonByTip(ribbon->widget(ribbon->count() - 1), QStringLiteral("Настройки"))->click();
    QCOMPARE(m_window->findChildren<SettingsDialog*>().size(), 2);
}

void SettingsDialogTest::applyTranslatesOpenWindows()
{
    SettingsDialog* dialog = openDialog();
    QWidget other;
    auto* otherLabel = new QLabel(QStringLiteral("Печать"), &other);
    other.show();
    QTest::qWait(0);
    chooseData(row<QComboBox>(dialog, QStringLiteral("Язык:")), QStringLiteral("en"));
    QLabel* title = nullptr;
    for (QLabel* label : dialog->findChildren<QLabel*>(QStringLiteral("DialogTitle")))
        title = label;
    dialog->apply();
    QCOMPARE(qApp->property("uiLanguage").toString(), QStringLiteral("en"));
    QCOMPARE(otherLabel->text(), QStringLiteral("Print"));
    QCOMPARE(title->text(), QStringLiteral("Application settings"));
    auto* ribbon = m_window->findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    QCOMPARE(ribbon->tabText(0), QStringLiteral("Home"));
}

// Checks from outside: density 7 is stored 2, a theme in capitals is light.
void SettingsDialogTest::startupClampsDensityAndTheme()
{
    QSettings settings;
    settings.setValue(QStringLiteral("ui/density"), 7);
    settings.setValue(QStringLiteral("ui/theme"), QStringLiteral("Dark"));
    MainWindow window(AppProduct::editor);
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("ui/density")).toInt(), 2);
    QCOMPARE(settings.value(QStringLiteral("ui/theme")).toString(), QStringLiteral("light"));
}

void SettingsDialogTest::titleKeptAfterStartAndApply()
{
    QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    const QString path = showWithPdf(*m_window, m_dir, 2);
    const QString title = QStringLiteral("a.pdf — ВОРН PDF Редактор");
    QCOMPARE(m_window->windowTitle(), title);
    QTest::qWait(0);
    QCOMPARE(m_window->windowTitle(), title);
    SettingsDialog* dialog = openDialog();
    QTest::qWait(0);
    dialog->apply();
    QTest::qWait(0);
    QCOMPARE(m_window->windowTitle(), title);
}

// Texts the program set after a pass stay when the pass runs again.
void SettingsDialogTest::programTextsNotRevertedByPasses()
{
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
    m_window->openFile(writeLinesPdf(m_dir, QStringLiteral("lines.pdf"), {700, 700, 700}));
    QTest::qWait(0);
    auto* ribbon = m_window->findChild<QTabWidget*>(QStringLiteral("Ribbon"));

    // The edit button shows "Чтение" in edit mode; showing "Главная" again keeps it.
    QMetaObject::invokeMethod(m_window.get(), "onToggleEditMode");
    QToolButton* edit = homeButton(*m_window, QStringLiteral("Чтение"));
    QVERIFY(edit);
    ribbon->setCurrentIndex(ribbon->count() - 1);
    QTest::qWait(0);
    ribbon->setCurrentIndex(0);
    QTest::qWait(0);
    QCOMPARE(edit->text(), QStringLiteral("Чтение"));

    // The page count after the panel is hidden and shown again.
    QCOMPARE(pageCountText(*m_window), QStringLiteral("3 страниц"));
    QMetaObject::invokeMethod(m_window.get(), "onToggleThumbnails");
    QTest::qWait(0);
    QMetaObject::invokeMethod(m_window.get(), "onToggleThumbnails");
    QTest::qWait(0);
    QCOMPARE(pageCountText(*m_window), QStringLiteral("3 страниц"));

    // The floating bar's page total after the bar is shown again.
    auto* total = m_window->findChild<QLabel*>(QStringLiteral("FloatingPageTotal"));
    QVERIFY(total->text().contains(QLatin1Char('3')));
    auto* bar = m_window->findChild<QWidget*>(QStringLiteral("FloatingBar"));
    bar->hide();
    bar->show();
    QTest::qWait(0);
    QVERIFY(total->text().contains(QLatin1Char('3')));
}

void SettingsDialogTest::engineFollowsLanguagesOnly()
{
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
    m_window->openFile(ocrwindow::mixedPdf(m_dir, QStringLiteral("scan.pdf"), {{QStringLiteral("Budget"), QString()}}));
    m_window->findChild<PdfView*>(QStringLiteral("DocumentScroll"))->setCurrentPage(1);
    QSignalSpy ended(m_window.get(), &MainWindow::ocrPageRunFinished);
    m_window->runOcrPage(false);
    QVERIFY(ended.wait(kRunTimeoutMs));
    OcrEngine* engine = m_window->findChild<OcrEngine*>();
    QVERIFY(engine);

    SettingsDialog* dialog = openDialog();
    row<QComboBox>(dialog, QStringLiteral("Качество:"))->setCurrentIndex(3);
    dialog->apply();
    QCOMPARE(m_window->findChild<OcrEngine*>(), engine);

    dialog = openDialog();
    chooseData(row<QComboBox>(dialog, QStringLiteral("Языки:")), QStringLiteral("eng"));
    dialog->apply();
    QVERIFY(!m_window->findChild<OcrEngine*>());
}

// A language change during a recognition run leaves the engine to the run.
void SettingsDialogTest::engineDiscardWaitsForRun()
{
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
    m_window->openFile(ocrwindow::mixedPdf(m_dir, QStringLiteral("scan2.pdf"), {{QStringLiteral("Budget"), QString()}}));
    m_window->findChild<PdfView*>(QStringLiteral("DocumentScroll"))->setCurrentPage(1);
    QSignalSpy ended(m_window.get(), &MainWindow::ocrPageRunFinished);
    m_window->runOcrPage(false);
    SettingsDialog* dialog = openDialog();
    chooseData(row<QComboBox>(dialog, QStringLiteral("Языки:")), QStringLiteral("rus"));
    dialog->apply();
    QVERIFY(m_window->findChild<OcrEngine*>());
    QVERIFY(ended.wait(kRunTimeoutMs));
    QTRY_VERIFY(!m_window->findChild<OcrEngine*>());
}

QTEST_MAIN(SettingsDialogTest)
#include "tst_settingsdialog.moc"
