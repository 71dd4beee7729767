// Icon paths and shortcut hints of tool buttons.
#include "ButtonKit.h"

#include <QFile>
#include <QTest>
#include <QToolButton>

#include "VornResources.h"

class ButtonKitTest : public QObject {
    Q_OBJECT

private slots:
    void iconPathsNameEmbeddedIcons_data();
    void iconPathsNameEmbeddedIcons();
    void shortcutHint_data();
    void shortcutHint();
};

void ButtonKitTest::iconPathsNameEmbeddedIcons_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("application") << "vorn-app";
    QTest::newRow("edit mode") << "edit-mode";
    QTest::newRow("read mode") << "read-mode";
}

void ButtonKitTest::iconPathsNameEmbeddedIcons()
{
    QFETCH(QString, name);
    initVornResources();
    const QString path = I(name);
    QCOMPARE(path, QStringLiteral(":/resources/icons/%1.svg").arg(name));
    QFile icon(path);
    QVERIFY(icon.open(QIODevice::ReadOnly));
    QVERIFY(icon.readAll().contains("<svg"));
}

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
