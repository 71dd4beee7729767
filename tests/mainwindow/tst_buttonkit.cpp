// Shortcut hints of tool buttons.
#include "ButtonKit.h"

#include <QTest>
#include <QToolButton>

class ButtonKitTest : public QObject {
    Q_OBJECT

private slots:
    void shortcutHint_data();
    void shortcutHint();
};

void ButtonKitTest::shortcutHint_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("hint");

    QTest::newRow("function key") << QKeySequence(Qt::Key_F2) << "Редактировать документ (F2)";
    QTest::newRow("with modifier") << QKeySequence(Qt::CTRL | Qt::Key_S) << "Редактировать документ (Ctrl+S)";
    QTest::newRow("no keys") << QKeySequence() << "Редактировать документ";
}

void ButtonKitTest::shortcutHint()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, hint);
    QToolButton button;
    setShortcutHint(&button, QStringLiteral("Редактировать документ"), keys);
    QCOMPARE(button.toolTip(), hint);
    QCOMPARE(button.statusTip(), hint);
    QVERIFY(button.shortcut().isEmpty());
}

QTEST_MAIN(ButtonKitTest)
#include "tst_buttonkit.moc"
