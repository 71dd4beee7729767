// Signing output names: free sibling paths and the stamped copy's path.
#include "OutputPaths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class SigningPathsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qApp->setProperty("uiLanguage", QVariant()); }
    void uniqueSibling_data();
    void uniqueSibling();
    void relativeAndFolderPaths();
    void stampedCopy_data();
    void stampedCopy();
};

void SigningPathsTest::uniqueSibling_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free name unchanged") << "a.pdf" << QStringList{} << "a.pdf";
    QTest::newRow("number before the last suffix") << "report.pdf.sig" << QStringList{"report.pdf.sig"}
                                                   << "report.pdf (1).sig";
    QTest::newRow("next number") << "report.pdf.sig" << QStringList{"report.pdf.sig", "report.pdf (1).sig"}
                                 << "report.pdf (2).sig";
    QTest::newRow("no suffix, no dot") << "notes" << QStringList{"notes"} << "notes (1)";
    QTest::newRow("leading dot is the name") << ".bashrc" << QStringList{".bashrc"} << ".bashrc (1)";
    QTest::newRow("leading dot, free") << ".bashrc" << QStringList{} << ".bashrc";
    QTest::newRow("leading dot with a suffix") << ".config.ini" << QStringList{".config.ini"} << ".config (1).ini";
    QTest::newRow("Cyrillic with two suffixes") << "архив.tar.gz" << QStringList{"архив.tar.gz"} << "архив.tar (1).gz";
    QTest::newRow("gap is not filled") << "a.pdf" << QStringList{"a.pdf", "a (2).pdf"} << "a (1).pdf";
}

void SigningPathsTest::uniqueSibling()
{
    QFETCH(QString, wanted);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& name : existing) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(uniqueSiblingPathLikeChrome(dir.filePath(wanted)), dir.filePath(expected));
}

void SigningPathsTest::relativeAndFolderPaths()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString relative = uniqueSiblingPathLikeChrome(QStringLiteral("out.sig"));
    const QString folderOnly = uniqueSiblingPathLikeChrome(dir.path() + QLatin1Char('/'));
    QDir::setCurrent(previous);
    QCOMPARE(relative, QDir(dir.path()).filePath(QStringLiteral("out.sig")));
    QCOMPARE(folderOnly, dir.filePath(QStringLiteral("document")));
}

void SigningPathsTest::stampedCopy_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");

    QTest::newRow("English, beside the output") << "en" << "/a/act.pdf" << "/b/act.pdf.sig" << "/b/act_signed.pdf";
    QTest::newRow("Russian") << "ru" << "/a/act.pdf" << "/b/act.pdf.sig" << "/b/act_подписан.pdf";
    QTest::newRow("Russian with region") << "ru_RU" << "/a/act.pdf" << "/b/x.sig" << "/b/act_подписан.pdf";
    QTest::newRow("marker not doubled") << "en" << "/a/act_SIGNED.pdf" << "/b/o.sig" << "/b/act_SIGNED.pdf";
    QTest::newRow("suffix always pdf") << "en" << "/a/scan.tiff" << "/b/o.sig" << "/b/scan_signed.pdf";
    QTest::newRow("no base name") << "de" << "/a/.pdf" << "/b/o.sig" << "/b/document_signed.pdf";
}

void SigningPathsTest::stampedCopy()
{
    QFETCH(QString, language);
    QFETCH(QString, source);
    QFETCH(QString, output);
    QFETCH(QString, expected);
    qApp->setProperty("uiLanguage", language);
    QCOMPARE(stampedPdfPathForSignature(source, output), expected);
}

QTEST_MAIN(SigningPathsTest)
#include "tst_signingpaths.moc"
