// The dialog kit: what each prompt returns for every way out, the parts'
// object names, the size texts and the busy ring.
#include "BusyRing.h"
#include "DialogKit.h"
#include "PromptDriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

#include <memory>

namespace {

enum class Way { Click, Escape, Close };

void answer(Way way, const QString& buttonText)
{
    switch (way) {
    case Way::Click:
        prompt::clickButton(buttonText);
        break;
    case Way::Escape:
        prompt::pressEscape();
        break;
    case Way::Close:
        prompt::closeWindow();
        break;
    }
}

// Button texts of a shown prompt from left to right, with their object names.
QStringList buttonsLeftToRight(QDialog* dialog)
{
    QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(),
              [](QPushButton* a, QPushButton* b) { return a->geometry().x() < b->geometry().x(); });
    QStringList result;
    for (QPushButton* button : buttons)
        result << button->text() + QLatin1Char('/') + button->objectName();
    return result;
}

} // namespace

Q_DECLARE_METATYPE(Way)

class DialogKitTest : public QObject {
    Q_OBJECT

private slots:
    void questionResult_data();
    void questionResult();
    void unsavedChangesResult_data();
    void unsavedChangesResult();
    void pdfFileQuestionResult_data();
    void pdfFileQuestionResult();
    void infoReturnsForEveryWayOut_data();
    void infoReturnsForEveryWayOut();

    void promptsPutPrimaryActionRightmost();
    void promptsCarryStyleNames();

    void labelAndButtonObjectNames();
    void formatFileSize_data();
    void formatFileSize();

    void busyRingStepsAndWraps();
    void busyRingDrawsArcAtItsAngle();
};

void DialogKitTest::questionResult_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("result");

    QTest::newRow("primary") << Way::Click << "Да" << true;
    QTest::newRow("secondary") << Way::Click << "Нет" << false;
    QTest::newRow("escape") << Way::Escape << QString() << false;
    QTest::newRow("title bar close") << Way::Close << QString() << false;
}

void DialogKitTest::questionResult()
{
    QFETCH(Way, way);
    QFETCH(QString, button);
    QFETCH(bool, result);

    answer(way, button);
    QCOMPARE(appQuestion(nullptr, "Вопрос", "Продолжить?", "Да", "Нет"), result);
}

void DialogKitTest::unsavedChangesResult_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");

    QTest::newRow("save") << Way::Click << "Сохранить" << 0;
    QTest::newRow("discard") << Way::Click << "Не сохранять" << 1;
    QTest::newRow("cancel") << Way::Click << "Отмена" << 2;
    QTest::newRow("escape") << Way::Escape << QString() << 2;
    QTest::newRow("title bar close") << Way::Close << QString() << 2;
}

void DialogKitTest::unsavedChangesResult()
{
    QFETCH(Way, way);
    QFETCH(QString, button);
    QFETCH(int, result);

    answer(way, button);
    QCOMPARE(appUnsavedChangesQuestion(nullptr), result);
}

void DialogKitTest::pdfFileQuestionResult_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");

    QTest::newRow("first choice") << Way::Click << "Добавить как страницы" << 0;
    QTest::newRow("primary choice") << Way::Click << "Открыть как новый документ" << 1;
    QTest::newRow("cancel") << Way::Click << "Отмена" << 2;
    QTest::newRow("escape") << Way::Escape << QString() << 2;
    QTest::newRow("title bar close") << Way::Close << QString() << 2;
}

void DialogKitTest::pdfFileQuestionResult()
{
    QFETCH(Way, way);
    QFETCH(QString, button);
    QFETCH(int, result);

    answer(way, button);
    QCOMPARE(appPdfFileQuestion(nullptr, "PDF файл", "Что сделать с \"a.pdf\"?", "Добавить как страницы",
                                "Открыть как новый документ", "Отмена"),
             result);
}

void DialogKitTest::infoReturnsForEveryWayOut_data()
{
    QTest::addColumn<Way>("way");
    QTest::newRow("OK") << Way::Click;
    QTest::newRow("escape") << Way::Escape;
    QTest::newRow("title bar close") << Way::Close;
}

void DialogKitTest::infoReturnsForEveryWayOut()
{
    QFETCH(Way, way);
    QString text;
    QString okName;
    prompt::whenShown([&](QDialog* dialog) {
        text = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
        okName = prompt::buttonWithText(dialog, QStringLiteral("OK"))->objectName();
    });
    answer(way, QStringLiteral("OK"));
    appInfo(nullptr, "Ошибка", "Не удалось открыть файл");
    QCOMPARE(text, QStringLiteral("Не удалось открыть файл"));
    QCOMPARE(okName, QStringLiteral("PrimaryDialogButton"));
    QVERIFY(!QApplication::activeModalWidget());
}

void DialogKitTest::promptsPutPrimaryActionRightmost()
{
    QStringList questionButtons;
    prompt::whenShown([&](QDialog* dialog) {
        questionButtons = buttonsLeftToRight(dialog);
        dialog->reject();
    });
    appQuestion(nullptr, "Вопрос", "Текст", "Да", "Нет");
    QCOMPARE(questionButtons, (QStringList{"Нет/SecondaryDialogButton", "Да/PrimaryDialogButton"}));

    QStringList unsavedButtons;
    prompt::whenShown([&](QDialog* dialog) {
        unsavedButtons = buttonsLeftToRight(dialog);
        dialog->reject();
    });
    appUnsavedChangesQuestion(nullptr);
    QCOMPARE(unsavedButtons, (QStringList{"Не сохранять/SecondaryDialogButton", "Отмена/SecondaryDialogButton",
                                          "Сохранить/PrimaryDialogButton"}));
}

void DialogKitTest::promptsCarryStyleNames()
{
    QString dialogName;
    QString title;
    QStringList subtitles;
    prompt::whenShown([&](QDialog* dialog) {
        dialogName = dialog->objectName();
        title = dialog->windowTitle();
        if (auto* heading = dialog->findChild<QLabel*>(QStringLiteral("DialogTitle")))
            subtitles << heading->text();
        for (QLabel* subtitle : dialog->findChildren<QLabel*>(QStringLiteral("DialogSubtitle")))
            subtitles << subtitle->text();
        dialog->reject();
    });
    appUnsavedChangesQuestion(nullptr);
    QCOMPARE(dialogName, QStringLiteral("AppDialog"));
    QCOMPARE(title, QStringLiteral("Несохранённые изменения"));
    QCOMPARE(subtitles, (QStringList{"Сохранить изменения?", "Документ изменён. Сохранить изменения перед закрытием?"}));
}

void DialogKitTest::labelAndButtonObjectNames()
{
    std::unique_ptr<QLabel> again(label("Текст", QString()));
    QCOMPARE(again->objectName(), QString());
    QCOMPARE(again->text(), QStringLiteral("Текст"));
    std::unique_ptr<QLabel> hint(label("Подсказка", "DialogHint"));
    QCOMPARE(hint->objectName(), QStringLiteral("DialogHint"));
    QVERIFY(!hint->parent());

    std::unique_ptr<QPushButton> emptied(dialogButton("Ок", QString()));
    QCOMPARE(emptied->objectName(), QString());
    QCOMPARE(emptied->text(), QStringLiteral("Ок"));

    std::unique_ptr<QLineEdit> edit(dialogLineEdit("имя"));
    QCOMPARE(edit->objectName(), QStringLiteral("DialogLineEdit"));
    QCOMPARE(edit->text(), QStringLiteral("имя"));
}

void DialogKitTest::formatFileSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << qint64(0) << "0 Б";
    QTest::newRow("largest byte count") << qint64(1023) << "1023 Б";
    QTest::newRow("one kibibyte") << qint64(1024) << "1.0 КБ";
    QTest::newRow("kibibyte and a half") << qint64(1536) << "1.5 КБ";
    QTest::newRow("largest kibibyte count rounds up") << qint64(1048575) << "1024.0 КБ";
    QTest::newRow("one mebibyte") << qint64(1048576) << "1.00 МБ";
    QTest::newRow("no gigabyte step") << qint64(3) * 1024 * 1024 * 1024 << "3072.00 МБ";
    QTest::newRow("negative") << qint64(-5) << "-5 Б";
}

void DialogKitTest::formatFileSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(::formatFileSize(bytes), text);
}

void DialogKitTest::busyRingStepsAndWraps()
{
    BusyRing ring;
    QCOMPARE(ring.size(), QSize(54, 54));
    QVERIFY(!ring.timer.isActive());

    QList<int> angles;
    QObject::connect(&ring.timer, &QTimer::timeout, &ring, [&] { angles << ring.arcStartAngle(); });
    ring.timer.start(BusyRing::kTickIntervalMs);
    QTRY_VERIFY_WITH_TIMEOUT(angles.size() >= 13, 5000);
    ring.timer.stop();

    QCOMPARE(angles.mid(0, 13), (QList<int>{30, 60, 90, 120, 150, 180, 210, 240, 270, 300, 330, 0, 30}));
}

void DialogKitTest::busyRingDrawsArcAtItsAngle()
{
    BusyRing ring;
    const QImage image = ring.grab().toImage();
    // The arc spans 0..115 degrees counter-clockwise from three o'clock on a
    // circle of radius 20 around the centre; the rest of the circle is track.
    const QColor onArc = image.pixelColor(27 + 10, 27 - 17);  // 60 degrees
    const QColor onTrack = image.pixelColor(27 - 10, 27 + 17); // 240 degrees
    QCOMPARE(onArc.rgb(), QColor(0x25, 0x63, 0xeb).rgb());
    QVERIFY(onTrack.blue() > 150 && onTrack.red() > 150);
    QVERIFY(onTrack.rgb() != onArc.rgb());
}

QTEST_MAIN(DialogKitTest)
#include "tst_dialogkit.moc"
