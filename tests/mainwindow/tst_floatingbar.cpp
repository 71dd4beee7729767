// The floating bar: the zoom box following the view and read as typed, the
// page box and its total, the navigation buttons, the tools and the setting
// that hides the bar; and the window's keyboard commands by edition.
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)

namespace {

QWidget* bar(MainWindow& window)
{
    return window.findChild<QWidget*>(QStringLiteral("FloatingBar"));
}

QComboBox* zoomBox(MainWindow& window)
{
    return window.findChild<QComboBox*>(QStringLiteral("FloatingZoom"));
}

QSpinBox* pageBox(MainWindow& window)
{
    return window.findChild<QSpinBox*>(QStringLiteral("FloatingPageSpin"));
}

QString totalText(MainWindow& window)
{
    return window.findChild<QLabel*>(QStringLiteral("FloatingPageTotal"))->text();
}

QToolButton* barButton(MainWindow& window, const QString& tip)
{
    return buttonByTip(bar(window), tip);
}

QStringList shortcutKeys(MainWindow& window)
{
    QStringList keys;
    for (QShortcut* shortcut : window.findChildren<QShortcut*>(Qt::FindDirectChildrenOnly)) {
        if (shortcut->context() == Qt::WindowShortcut)
            keys << shortcut->key().toString(QKeySequence::PortableText);
    }
    return keys;
}

// Shows the window active, so its shortcuts take keys.
void showActive(MainWindow& window)
{
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

} // namespace

class FloatingBarTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void zoomBoxFollowsZoom();
    void typedZoom_data();
    void typedZoom();
    void typedPageNumberMovesEachKeystroke();
    void navigationButtons();
    void hiddenBySetting();

    void shortcutsByEdition_data();
    void shortcutsByEdition();
    void saveKeyOnUntitledOpensSaveAs();
    void saveKeyWithoutDocumentDoesNothing();
    void formatKeyClicksEnabledButtonOnly();
    void toolButtonsAndKeys();
    void ctrlPlusSharedWithSuperscript();
};

// The zoom buttons and keys move the view; the box follows whatever zoomed.
void FloatingBarTest::zoomBoxFollowsZoom()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    barButton(window, "Увеличить")->click();
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("125%"));
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("156%"));
    QCOMPARE(view(window)->zoom(), 1.5625);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    barButton(window, "Уменьшить")->click();
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("100%"));
}

// Keys typed into the box, then Enter, the focus moving away, or nothing:
// a value counts only when it is complete.
void FloatingBarTest::typedZoom_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QString>("shown");
    QTest::newRow("150, Enter") << "150" << "Return" << 1.5 << "150%";
    QTest::newRow("160 still typing") << "160" << "" << 1.0 << "160";
    QTest::newRow("200, focus leaves") << "200" << "focus" << 2.0 << "200%";
    QTest::newRow("above the maximum") << "1000%" << "Return" << 8.0 << "800%";
    QTest::newRow("blank before the sign") << "150 %" << "Return" << 1.5 << "150%";
    QTest::newRow("fraction") << "12.5" << "focus" << 0.125 << "13%";
    QTest::newRow("decimal comma") << "12,5" << "Return" << 1.0 << "12,5";
    QTest::newRow("letters") << "abc" << "Return" << 1.0 << "abc";
    QTest::newRow("zero") << "0" << "Return" << 1.0 << "0";
    QTest::newRow("negative") << "-50" << "Return" << 1.0 << "-50";
}

void FloatingBarTest::typedZoom()
{
    QFETCH(QString, typed);
    QFETCH(QString, finish);
    QFETCH(double, zoom);
    QFETCH(QString, shown);
    MainWindow window(AppProduct::viewer);
    showActive(window);
    QLineEdit* edit = zoomBox(window)->lineEdit();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, typed);
    QCOMPARE(view(window)->zoom(), 1.0);
    if (finish == QLatin1String("Return"))
        QTest::keyClick(edit, Qt::Key_Return);
    else if (finish == QLatin1String("focus"))
        pageBox(window)->setFocus();
    QCOMPARE(view(window)->zoom(), zoom);
    QCOMPARE(zoomBox(window)->currentText(), shown);
}

void FloatingBarTest::typedPageNumberMovesEachKeystroke()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 12));
    QSpinBox* box = pageBox(window);
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_1);
    QCOMPARE(view(window)->currentPage(), 0);
    QTest::keyClick(box, Qt::Key_2);
    QCOMPARE(view(window)->currentPage(), 11);
}

// Without a document the buttons are off; with one they step, stop at the
// ends and keep the page box and the total in step.
void FloatingBarTest::navigationButtons()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    for (const char* tip : {"В начало", "Назад", "Вперёд", "В конец"})
        QVERIFY(!barButton(window, tip)->isEnabled());
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 3));
    QCOMPARE(totalText(window), QStringLiteral(" / 3 "));
    QVERIFY(!barButton(window, "В начало")->isEnabled());
    barButton(window, "В конец")->click();
    QCOMPARE(view(window)->currentPage(), 2);
    QCOMPARE(pageBox(window)->value(), 3);
    QVERIFY(!barButton(window, "Вперёд")->isEnabled());
    barButton(window, "Назад")->click();
    QCOMPARE(view(window)->currentPage(), 1);
    barButton(window, "В начало")->click();
    QCOMPARE(view(window)->currentPage(), 0);
    barButton(window, "Вперёд")->click();
    QCOMPARE(view(window)->currentPage(), 1);
}

void FloatingBarTest::hiddenBySetting()
{
    QSettings().setValue(QStringLiteral("ui/floatingBar"), false);
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    QVERIFY(!bar(window)->isVisible());
}

// The editing, OCR and insert keys exist only where their features do.
void FloatingBarTest::shortcutsByEdition_data()
{
    QTest::addColumn<AppProduct>("edition");
    QTest::addColumn<bool>("editing");
    QTest::newRow("editor") << AppProduct::editor << true;
    QTest::newRow("viewer") << AppProduct::viewer << false;
    QTest::newRow("signing") << AppProduct::ecp << false;
}

void FloatingBarTest::shortcutsByEdition()
{
    QFETCH(AppProduct, edition);
    QFETCH(bool, editing);
    MainWindow window(edition);
    const QStringList keys = shortcutKeys(window);
    QVERIFY(keys.contains(QKeySequence(QKeySequence::Save).toString()));
    QVERIFY(keys.contains(QStringLiteral("Ctrl+Alt+H")));
    for (const char* key : {"Ctrl+Alt+I", "Ctrl+Shift+O", "F2", "Ctrl+T", "Ctrl+Shift+I"})
        QCOMPARE(keys.contains(QLatin1String(key)), editing);
    // Hinted on buttons but bound nowhere.
    for (const char* unbound : {"Ctrl+Alt+M", "Ctrl+Alt+S", "Ctrl+Shift+F"})
        QVERIFY(!keys.contains(QLatin1String(unbound)));
}

void FloatingBarTest::saveKeyOnUntitledOpensSaveAs()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    window.currentDocument()->createEmpty();
    window.adoptInitialDocumentAsTab();
    QString caption;
    prompt::Driver prompts;
    prompts.whenShown([&caption](QDialog* dialog) {
        caption = dialog->windowTitle();
        dialog->reject();
    });
    QTest::keySequence(&window, QKeySequence::Save);
    QCOMPARE(caption, QStringLiteral("Сохранить как"));
}

void FloatingBarTest::saveKeyWithoutDocumentDoesNothing()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    QVERIFY(!prompt::promptShownDuring([&window] { QTest::keySequence(&window, QKeySequence::Save); }));
}

void FloatingBarTest::formatKeyClicksEnabledButtonOnly()
{
    MainWindow window(AppProduct::editor);
    showActive(window);
    QToolButton* bold = homeButton(window, "Полужирный");
    QTest::keySequence(&window, QKeySequence::Bold);
    QVERIFY(!bold->isChecked());

    window.setFontControlsEnabled(true);
    QTest::keySequence(&window, QKeySequence::Bold);
    QVERIFY(bold->isChecked());
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+]")));
    QTest::keySequence(&window, QKeySequence::Bold);
    QVERIFY(!bold->isChecked());
}

// The two tool buttons exclude each other; the tool keys change the view's
// tool but leave the buttons as they were.
void FloatingBarTest::toolButtonsAndKeys()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    barButton(window, "Рука")->click();
    QVERIFY(!barButton(window, "Выбор")->isChecked());
    QCOMPARE(view(window)->editTool(), PdfView::Hand);
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    QCOMPARE(view(window)->editTool(), PdfView::Select);
    QVERIFY(barButton(window, "Рука")->isChecked());
    barButton(window, "Выбор")->click();
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+Alt+H")));
    QCOMPARE(view(window)->editTool(), PdfView::Hand);
}

// On layouts where the plus sign is Shift with "=", zoom in and superscript
// share one keystroke: either shortcut told of the clash picks by the editor.
void FloatingBarTest::ctrlPlusSharedWithSuperscript()
{
    MainWindow window(AppProduct::editor);
    QShortcut* zoomIn = nullptr;
    QShortcut* superscript = nullptr;
    for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
        if (shortcut->key() == QKeySequence(QKeySequence::ZoomIn))
            zoomIn = shortcut;
        if (shortcut->key() == QKeySequence(QStringLiteral("Ctrl+Shift+=")))
            superscript = shortcut;
    }
    QVERIFY(zoomIn && superscript);
    emit superscript->activatedAmbiguously();
    emit zoomIn->activatedAmbiguously();
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("156%"));

    window.setFontControlsEnabled(true);
    emit zoomIn->activatedAmbiguously();
    QVERIFY(homeButton(window, "Верхний индекс")->isChecked());
    QCOMPARE(view(window)->zoom(), 1.5625);
}

QTEST_MAIN(FloatingBarTest)
#include "tst_floatingbar.moc"
