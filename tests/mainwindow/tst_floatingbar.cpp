// The floating bar and page navigation: the zoom box following the view and
// read as typed, the zoom in the status bar, the page box, the thumbnails
// and the navigation buttons, the tools, the setting that hides the bar, and
// what a page change does to blocks shown for another page.
#include "WindowTestSupport.h"

#include "TextBlock.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>

using namespace windowtest;

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

QToolButton* barButton(MainWindow& window, const QString& tip)
{
    return buttonByTip(bar(window), tip);
}

} // namespace

class FloatingBarTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    // The zoom buttons and keys move the view; the box follows whatever zoomed.
    void zoomBoxFollowsZoom()
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
    void typedZoom_data()
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
        QTest::newRow("zero") << "0" << "Return" << 1.0 << "0";
    }

    void typedZoom()
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

    // The zoom in the status bar rounds half up.
    void zoomStatus()
    {
        MainWindow window(AppProduct::viewer);
        view(window)->setZoom(0.125);
        QCOMPARE(statusText(window), QStringLiteral("Масштаб: 13%"));
        view(window)->setZoom(0.1234);
        QCOMPARE(statusText(window), QStringLiteral("Масштаб: 12%"));
    }

    // Each keystroke in the page box moves the view; so does a thumbnail, and
    // a number past the end does not.
    void pageBoxAndThumbnailsMoveView()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::viewer);
        showWithPdf(window, dir, 12);
        QSpinBox* box = pageBox(window);
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_1);
        QCOMPARE(view(window)->currentPage(), 0);
        QTest::keyClick(box, Qt::Key_2);
        QCOMPARE(view(window)->currentPage(), 11);

        emit thumbnails(window)->pageSelected(1);
        QCOMPARE(view(window)->currentPage(), 1);
        QCOMPARE(box->value(), 2);
        QVERIFY(QMetaObject::invokeMethod(&window, "onPageSpinChanged", Q_ARG(int, 40)));
        QCOMPARE(view(window)->currentPage(), 1);
    }

    // Without a document the buttons are off and the commands do nothing; with
    // one they step, stop at the ends and keep the page box and total in step.
    void navigationStopsAtTheEnds()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::viewer);
        showSmall(window);
        QSignalSpy pages(view(window), &PdfView::pageChanged);
        for (const char* tip : {"В начало", "Назад", "Вперёд", "В конец"})
            QVERIFY(!barButton(window, tip)->isEnabled());
        invoke(window, "onLastPage");
        invoke(window, "onNextPage");
        QCOMPARE(pages.count(), 0);

        window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 3));
        QVERIFY(!barButton(window, "В начало")->isEnabled());
        pages.clear();
        invoke(window, "onPrevPage");
        QCOMPARE(pages.count(), 0);
        barButton(window, "В конец")->click();
        QCOMPARE(view(window)->currentPage(), 2);
        QCOMPARE(pageBox(window)->value(), 3);
        QVERIFY(!barButton(window, "Вперёд")->isEnabled());
        pages.clear();
        invoke(window, "onNextPage");
        QCOMPARE(pages.count(), 0);
        barButton(window, "Назад")->click();
        QCOMPARE(view(window)->currentPage(), 1);
        barButton(window, "В начало")->click();
        QCOMPARE(view(window)->currentPage(), 0);
        barButton(window, "Вперёд")->click();
        QCOMPARE(view(window)->currentPage(), 1);
    }

    // The two tool buttons exclude each other; the tool keys change the view's
    // tool but leave the buttons as they were.
    void toolButtonsAndKeys()
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

    void hiddenBySetting()
    {
        QSettings().setValue(QStringLiteral("ui/floatingBar"), false);
        MainWindow window(AppProduct::viewer);
        showSmall(window);
        QVERIFY(!bar(window)->isVisible());
    }

    // Blocks shown for a page go when the view leaves it or recognition is
    // cancelled.
    void blocksOfLeftPageDropped()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 5);
        for (const char* slot : {"onNextPage", "onOcrCancel"}) {
            TextBlock block;
            block.rect = QRectF(72, 700, 200, 24);
            TextBlock::Line line;
            line.text = QStringLiteral("Page 1");
            line.rect = block.rect;
            block.lines.push_back(line);
            view(window)->setCurrentPage(0);
            view(window)->showBlocks(0, {block});
            QCOMPARE(view(window)->blocks().size(), size_t(1));
            invoke(window, slot);
            QVERIFY2(view(window)->blocks().empty(), slot);
        }
    }
};

QTEST_MAIN(FloatingBarTest)
#include "tst_floatingbar.moc"
