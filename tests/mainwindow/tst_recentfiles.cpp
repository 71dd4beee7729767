// The recent-files rule: order, duplicates and the cap.
#include "RecentFiles.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

class RecentFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void withRecentFile_data();
    void withRecentFile();
};

void RecentFilesTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-recent-test"));
}

void RecentFilesTest::init()
{
    QSettings().clear();
}

void RecentFilesTest::withRecentFile_data()
{
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("first entry") << QStringList{} << "/a.pdf" << QStringList{"/a.pdf"};
    QTest::newRow("new goes to the front") << QStringList{"/a.pdf"} << "/b.pdf" << QStringList{"/b.pdf", "/a.pdf"};
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

void RecentFilesTest::withRecentFile()
{
    QFETCH(QStringList, recent);
    QFETCH(QString, path);
    QFETCH(QStringList, expected);
    QCOMPARE(::withRecentFile(recent, path), expected);
}

QTEST_MAIN(RecentFilesTest)
#include "tst_recentfiles.moc"
