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
    void pageBoxAndTotal();
    void typedPageNumberMovesEachKeystroke();
    void navigationButtons();
    void toolsExcludeEachOther();
    void hiddenBySetting();

    void shortcutsByEdition_data();
    void shortcutsByEdition();
    void zoomKeys();
    void saveKeyOnUntitledOpensSaveAs();
    void saveKeyWithoutDocumentDoesNothing();
    void formatKeyClicksEnabledButtonOnly();
    void toolKeysLeaveBarAsItWas();
    void ctrlPlusSharedWithSuperscript();
};

void FloatingBarTest::zoomBoxFollowsZoom()
{
    MainWindow window(AppProduct::viewer);
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("100%"));
    QCOMPARE(zoomBox(window)->count(), 10);
    QCOMPARE(zoomBox(window)->itemText(0), QStringLiteral("10%"));
    QCOMPARE(zoomBox(window)->itemText(9), QStringLiteral("400%"));
    barButton(window, "Увеличить")->click();
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("125%"));
    barButton(window, "Увеличить")->click();
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("156%"));
    QCOMPARE(view(window)->zoom(), 1.5625);
    barButton(window, "Уменьшить")->click();
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("125%"));
}

void FloatingBarTest::typedZoom_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QString>("shown");
    QTest::newRow("above the maximum") << "1000" << 8.0 << "800%";
    QTest::newRow("above the maximum with sign") << "1000%" << 8.0 << "800%";
    QTest::newRow("a preset's number") << "150" << 1.5 << "150%";
    QTest::newRow("blank before the sign") << "150 %" << 1.5 << "150%";
    QTest::newRow("letters") << "abc" << 1.0 << "abc";
    QTest::newRow("zero") << "0" << 1.0 << "0";
    QTest::newRow("negative") << "-50" << 1.0 << "-50";
    QTest::newRow("one digit") << "1" << 0.1 << "10%";
}

void FloatingBarTest::typedZoom()
{
    QFETCH(QString, typed);
    QFETCH(double, zoom);
    QFETCH(QString, shown);
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    QLineEdit* edit = zoomBox(window)->lineEdit();
    edit->selectAll();
    edit->insert(typed);
    QCOMPARE(view(window)->zoom(), zoom);
    QCOMPARE(zoomBox(window)->currentText(), shown);
}

void FloatingBarTest::pageBoxAndTotal()
{
    MainWindow window(AppProduct::viewer);
    QCOMPARE(pageBox(window)->value(), 1);
    QCOMPARE(pageBox(window)->maximum(), 1);
    QCOMPARE(totalText(window), QStringLiteral(" / 0 "));
    for (const char* tip : {"В начало", "Назад", "Вперёд", "В конец"})
        QVERIFY(!barButton(window, tip)->isEnabled());

    QTemporaryDir dir;
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 4));
    QCOMPARE(pageBox(window)->maximum(), 4);
    QCOMPARE(totalText(window), QStringLiteral(" / 4 "));
    pageBox(window)->setValue(3);
    QCOMPARE(view(window)->currentPage(), 2);
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

void FloatingBarTest::navigationButtons()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 3));
    QVERIFY(!barButton(window, "В начало")->isEnabled());
    QVERIFY(barButton(window, "В конец")->isEnabled());
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

void FloatingBarTest::toolsExcludeEachOther()
{
    MainWindow window(AppProduct::viewer);
    QVERIFY(barButton(window, "Выбор")->isChecked());
    barButton(window, "Рука")->click();
    QVERIFY(!barButton(window, "Выбор")->isChecked());
    QCOMPARE(view(window)->editTool(), PdfView::Hand);
    barButton(window, "Выбор")->click();
    QCOMPARE(view(window)->editTool(), PdfView::Select);
}

void FloatingBarTest::hiddenBySetting()
{
    QSettings().setValue(QStringLiteral("ui/floatingBar"), false);
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    QVERIFY(!bar(window)->isVisible());
}

void FloatingBarTest::shortcutsByEdition_data()
{
    const QStringList common{QKeySequence(QKeySequence::Open).toString(),
                             QKeySequence(QKeySequence::Save).toString(),
                             QKeySequence(QKeySequence::SaveAs).toString(),
                             QKeySequence(QKeySequence::Print).toString(),
                             QKeySequence(QKeySequence::Find).toString(),
                             QKeySequence(QKeySequence::Undo).toString(),
                             QKeySequence(QKeySequence::Redo).toString()};
    const QStringList optional{"Ctrl+Alt+I", "Ctrl+Shift+O", "F2", "Ctrl+T", "Ctrl+Shift+I"};
    const QStringList rest{"Ctrl+Alt+H",
                           "Ctrl+Alt+V",
                           QKeySequence(QKeySequence::ZoomIn).toString(),
                           QKeySequence(QKeySequence::ZoomOut).toString(),
                           "Ctrl+0",
                           "Ctrl+2",
                           QKeySequence(QKeySequence::Bold).toString(),
                           QKeySequence(QKeySequence::Italic).toString(),
                           QKeySequence(QKeySequence::Underline).toString(),
                           "Alt+Shift+5",
                           "Ctrl+Shift+=",
                           "Ctrl+Alt+=",
                           "Ctrl+Shift+>",
                           "Ctrl+Shift+<",
                           "Ctrl+Space",
                           "Ctrl+L",
                           "Ctrl+E",
                           "Ctrl+R",
                           "Ctrl+J",
                           "Ctrl+Shift+L",
                           "Ctrl+Shift+7",
                           "Ctrl+[",
                           "Ctrl+]"};
    QTest::addColumn<AppProduct>("edition");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("editor") << AppProduct::editor << common + optional + rest;
    QTest::newRow("viewer") << AppProduct::viewer << common + rest;
    QTest::newRow("signing") << AppProduct::ecp << common + rest;
}

void FloatingBarTest::shortcutsByEdition()
{
    QFETCH(AppProduct, edition);
    QFETCH(QStringList, keys);
    MainWindow window(edition);
    QCOMPARE(shortcutKeys(window), keys);
    // Hinted on buttons but bound nowhere.
    for (const char* unbound : {"Ctrl+Alt+M", "Ctrl+Alt+S", "Ctrl+Shift+F"})
        QVERIFY(!shortcutKeys(window).contains(QLatin1String(unbound)));
}

void FloatingBarTest::zoomKeys()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(zoomBox(window)->currentText(), QStringLiteral("156%"));
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(view(window)->zoom(), 1.25);
}

void FloatingBarTest::saveKeyOnUntitledOpensSaveAs()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    window.currentDocument()->createEmpty();
    window.adoptInitialDocumentAsTab();
    QString caption;
    prompt::whenShown([&caption](QDialog* dialog) {
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

void FloatingBarTest::toolKeysLeaveBarAsItWas()
{
    MainWindow window(AppProduct::viewer);
    showActive(window);
    barButton(window, "Рука")->click();
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    QCOMPARE(view(window)->editTool(), PdfView::Select);
    QVERIFY(barButton(window, "Рука")->isChecked());
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
