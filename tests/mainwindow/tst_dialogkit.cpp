// The window's small helpers: what each prompt returns for every way out,
// keys included, the size texts, the busy ring, which link targets open
// without asking, and the recent-files list.
#include "BusyRing.h"
#include "DialogKit.h"
#include "ExternalLinks.h"
#include "PromptDriver.h"
#include "RecentFiles.h"
#include "UiTranslate.h"
#include "WindowTestSupport.h"

using namespace windowtest;

#include <QLabel>
#include <QUrl>

namespace {

enum class Kind { Info, Question, Unsaved, PdfFile };

// The prompt's result as a number: appInfo gives 0, appQuestion 1 for true.
int runPrompt(Kind kind)
{
    switch (kind) {
    case Kind::Info:
        appInfo(nullptr, "Ошибка", "Не удалось открыть файл");
        return 0;
    case Kind::Question:
        return appQuestion(nullptr, "Вопрос", "Продолжить?", "Да", "Нет") ? 1 : 0;
    case Kind::Unsaved:
        return appUnsavedChangesQuestion(nullptr);
    case Kind::PdfFile:
        return appPdfFileQuestion(nullptr, "PDF файл", "Что сделать с \"a.pdf\"?", "Добавить как страницы",
                                  "Открыть как новый документ", "Отмена");
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class DialogKitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }

    // way: a button's text, "Return", "Enter", "Escape" or "close" (title bar).
    void promptAnswers_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("result");

        QTest::newRow("info: Return") << Kind::Info << "Return" << 0;
        QTest::newRow("info: Escape") << Kind::Info << "Escape" << 0;
        QTest::newRow("question: primary") << Kind::Question << "Да" << 1;
        QTest::newRow("question: secondary") << Kind::Question << "Нет" << 0;
        QTest::newRow("question: Return is the primary") << Kind::Question << "Return" << 1;
        QTest::newRow("question: Escape") << Kind::Question << "Escape" << 0;
        QTest::newRow("question: close") << Kind::Question << "close" << 0;
        QTest::newRow("unsaved: save") << Kind::Unsaved << "Сохранить" << 0;
        QTest::newRow("unsaved: discard") << Kind::Unsaved << "Не сохранять" << 1;
        QTest::newRow("unsaved: cancel") << Kind::Unsaved << "Отмена" << 2;
        QTest::newRow("unsaved: Return saves") << Kind::Unsaved << "Return" << 0;
        QTest::newRow("unsaved: keypad Enter saves") << Kind::Unsaved << "Enter" << 0;
        QTest::newRow("unsaved: Escape cancels") << Kind::Unsaved << "Escape" << 2;
        QTest::newRow("unsaved: close cancels") << Kind::Unsaved << "close" << 2;
        QTest::newRow("pdf file: first choice") << Kind::PdfFile << "Добавить как страницы" << 0;
        QTest::newRow("pdf file: cancel") << Kind::PdfFile << "Отмена" << 2;
        QTest::newRow("pdf file: Return is the primary") << Kind::PdfFile << "Return" << 1;
        QTest::newRow("pdf file: Escape cancels") << Kind::PdfFile << "Escape" << 2;
    }

    void promptAnswers()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, way);
        QFETCH(int, result);

        const QMap<QString, Qt::Key> keys{
            {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Escape", Qt::Key_Escape}};
        prompt::Driver prompts;
        if (keys.contains(way))
            prompts.press(keys.value(way));
        else if (way == QLatin1String("close"))
            prompts.whenShown([](QDialog* dialog) { dialog->close(); });
        else
            prompts.clickButton(way);
        QCOMPARE(runPrompt(kind), result);
        QCOMPARE(prompts.pending(), 0);
        QVERIFY(!QApplication::activeModalWidget());
    }

    // An answer still waiting when its driver goes never touches a later prompt.
    void driverEndsWithItsTest()
    {
        int staleAnswers = 0;
        {
            prompt::Driver expired;
            expired.whenShown([&staleAnswers](QDialog* dialog) {
                ++staleAnswers;
                dialog->accept();
            });
        }
        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("Нет"));
        QVERIFY(!appQuestion(nullptr, "Вопрос", "Продолжить?", "Да", "Нет"));
        QCOMPARE(staleAnswers, 0);
    }

    void formatFileSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");

        QTest::newRow("zero") << qint64(0) << "0 Б";
        QTest::newRow("largest byte count") << qint64(1023) << "1023 Б";
        QTest::newRow("one kibibyte") << qint64(1024) << "1.0 КБ";
        QTest::newRow("largest kibibyte count rounds up") << qint64(1048575) << "1024.0 КБ";
        QTest::newRow("one mebibyte") << qint64(1048576) << "1.00 МБ";
        QTest::newRow("no gigabyte step") << qint64(3) * 1024 * 1024 * 1024 << "3072.00 МБ";
        QTest::newRow("negative") << qint64(-5) << "-5 Б";
    }

    void formatFileSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(::formatFileSize(bytes), text);
    }

    // Sizes are mostly shown on windows translated already: the unit comes
    // in the interface language.
    void fileSizeUnitInTheInterfaceLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("English kibibytes") << "en" << qint64(1536) << "1.5 KiB";
        QTest::newRow("German kibibytes") << "de" << qint64(1536) << "1.5 kB";
        QTest::newRow("Spanish bytes") << "es" << qint64(12) << "12 B";
        QTest::newRow("Spanish mebibytes") << "es" << qint64(3 * 1048576) << "3.00 MB";
        QTest::newRow("Russian stays") << "ru" << qint64(1536) << "1.5 КБ";
    }

    void fileSizeUnitInTheInterfaceLanguage()
    {
        QFETCH(QString, language);
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        qApp->setProperty("uiLanguage", language);
        const QString shown = ::formatFileSize(bytes);
        qApp->setProperty("uiLanguage", QStringLiteral("ru"));
        QCOMPARE(shown, text);
    }

    void busyRingStepsAndWraps()
    {
        BusyRing ring;
        QVERIFY(!ring.timer.isActive());
        QList<int> angles;
        QObject::connect(&ring.timer, &QTimer::timeout, &ring, [&] { angles << ring.arcStartAngle(); });
        ring.timer.start(BusyRing::kTickIntervalMs);
        QTRY_VERIFY_WITH_TIMEOUT(angles.size() >= 13, 30000);
        ring.timer.stop();
        QCOMPARE(angles.mid(0, 13), (QList<int>{30, 60, 90, 120, 150, 180, 210, 240, 270, 300, 330, 0, 30}));

        // The arc starts at the angle, counter-clockwise from three o'clock; the
        // rest of the circle (radius 20 around the centre) is track.
        const QImage image = BusyRing().grab().toImage();
        QCOMPARE(image.pixelColor(27 + 10, 27 - 17).rgb(), QColor(0x25, 0x63, 0xeb).rgb());  // 60 degrees
        QVERIFY(image.pixelColor(27 - 10, 27 + 17).rgb() != QColor(0x25, 0x63, 0xeb).rgb()); // 240 degrees
    }

    // Web and mail targets open directly; any other asks first, and declined
    // opens nothing; an empty target does not even ask.
    void linkTargets_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("direct");
        QTest::newRow("http") << "http://example.org/a" << true;
        QTest::newRow("scheme in capitals") << "HTTPS://example.org" << true;
        QTest::newRow("mail") << "mailto:clerk@example.org" << true;
        QTest::newRow("local file") << "file:///home/user/.bashrc" << false;
        QTest::newRow("program") << "/usr/bin/xterm" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("look-alike scheme") << "httpx://example.org" << false;
        QTest::newRow("empty") << "" << false;
    }

    void linkTargets()
    {
        QFETCH(QString, url);
        QFETCH(bool, direct);
        QCOMPARE(::opensWithoutAsking(QUrl(url)), direct);
        if (direct)
            return;
        QString question;
        prompt::Driver prompts;
        prompt::answerNoting(prompts, QStringLiteral("Отмена"), &question);
        QVERIFY(!openExternalLink(nullptr, QUrl(url)));
        if (url.isEmpty())
            QCOMPARE(prompts.pending(), 1);
        else
            QVERIFY2(question.contains(QUrl(url).toDisplayString()), qPrintable(question));
    }

    void withRecentFile_data()
    {
        QTest::addColumn<QStringList>("recent");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("first entry") << QStringList{} << "/a.pdf" << QStringList{"/a.pdf"};
        QTest::newRow("known moves to the front")
            << QStringList{"/a.pdf", "/b.pdf", "/c.pdf"} << "/c.pdf" << QStringList{"/c.pdf", "/a.pdf", "/b.pdf"};
        QTest::newRow("already first stays single") << QStringList{"/a.pdf", "/b.pdf"} << "/a.pdf"
                                                    << QStringList{"/a.pdf", "/b.pdf"};
        QTest::newRow("case matters") << QStringList{"/A.pdf"} << "/a.pdf" << QStringList{"/a.pdf", "/A.pdf"};
        QTest::newRow("stored duplicates of the path go")
            << QStringList{"/a.pdf", "/b.pdf", "/a.pdf"} << "/a.pdf" << QStringList{"/a.pdf", "/b.pdf"};
        QTest::newRow("overlong stored list is cut")
            << QStringList{"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9", "/10"} << "/new"
            << QStringList{"/new", "/1", "/2", "/3", "/4", "/5", "/6", "/7"};
    }

    void withRecentFile()
    {
        QFETCH(QStringList, recent);
        QFETCH(QString, path);
        QFETCH(QStringList, expected);
        QCOMPARE(::withRecentFile(recent, path), expected);
    }

    void recentListSwitchedOffStaysAsItWas()
    {
        QSettings().setValue(QStringLiteral("recentFiles"), QStringList{"/old.pdf"});
        QSettings().setValue(QStringLiteral("doc/rememberRecent"), false);
        rememberRecentFile(QStringLiteral("/new.pdf"));
        QCOMPARE(storedRecentFiles(), QStringList{"/old.pdf"});
        QSettings().setValue(QStringLiteral("doc/rememberRecent"), true);
        rememberRecentFile(QStringLiteral("/new.pdf"));
        QCOMPARE(storedRecentFiles(), (QStringList{"/new.pdf", "/old.pdf"}));
    }
};

QTEST_MAIN(DialogKitTest)
#include "tst_dialogkit.moc"
