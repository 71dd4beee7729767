// Link targets from documents: which open at once and which ask first.
#include "ExternalLinks.h"
#include "PromptDriver.h"

#include <QLabel>
#include <QUrl>

class ExternalLinksTest : public QObject {
    Q_OBJECT

private slots:
    void opensWithoutAsking_data();
    void opensWithoutAsking();
    void otherTargetsAskAndDecliningOpensNothing_data();
    void otherTargetsAskAndDecliningOpensNothing();
    void emptyTargetNeitherAsksNorOpens();
};

void ExternalLinksTest::opensWithoutAsking_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("direct");

    QTest::newRow("http") << "http://example.org/a" << true;
    QTest::newRow("https") << "https://example.org/a?b=c" << true;
    QTest::newRow("scheme in capitals") << "HTTPS://example.org" << true;
    QTest::newRow("mail") << "mailto:clerk@example.org" << true;
    QTest::newRow("local file") << "file:///home/user/.bashrc" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("ftp") << "ftp://example.org/x" << false;
    QTest::newRow("custom handler") << "smb://server/share" << false;
    QTest::newRow("look-alike scheme") << "httpx://example.org" << false;
    QTest::newRow("relative path") << "report.pdf" << false;
    QTest::newRow("empty") << "" << false;
}

void ExternalLinksTest::opensWithoutAsking()
{
    QFETCH(QString, url);
    QFETCH(bool, direct);
    QCOMPARE(::opensWithoutAsking(QUrl(url)), direct);
}

void ExternalLinksTest::otherTargetsAskAndDecliningOpensNothing_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("local file") << "file:///etc/passwd";
    QTest::newRow("program") << "/usr/bin/xterm";
}

void ExternalLinksTest::otherTargetsAskAndDecliningOpensNothing()
{
    QFETCH(QString, url);
    QString question;
    prompt::Driver prompts;
    prompts.whenShown([&question](QDialog* dialog) {
        question = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
        prompt::buttonWithText(dialog, QStringLiteral("Отмена"))->click();
    });
    QVERIFY(!openExternalLink(nullptr, QUrl(url)));
    QVERIFY2(question.contains(QUrl(url).toDisplayString()), qPrintable(question));
}

void ExternalLinksTest::emptyTargetNeitherAsksNorOpens()
{
    QVERIFY(!openExternalLink(nullptr, QUrl()));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(ExternalLinksTest)
#include "tst_externallinks.moc"
