// Proposed output names: the localized words, the path rules and free names.
#include "OutputPaths.h"
#include "UiTranslate.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class OutputPathsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qApp->setProperty("uiLanguage", QVariant()); }

    void languageCode_data();
    void languageCode();
    void words_data();
    void words();
    void paths_data();
    void paths();
    void uniqueSibling();
};

void OutputPathsTest::languageCode_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("code");

    QTest::newRow("plain") << "kk" << "kk";
    QTest::newRow("underscore region") << "zh_CN" << "zh";
    QTest::newRow("hyphen region, upper case") << "PT-BR" << "pt";
    QTest::newRow("leading hyphen kept") << "-x" << "-x";
}

void OutputPathsTest::languageCode()
{
    QFETCH(QString, property);
    QFETCH(QString, code);
    qApp->setProperty("uiLanguage", property);
    QCOMPARE(currentUiLanguageCode(), code);
}

void OutputPathsTest::words_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("words");  // merged, compressed, scanned

    const QList<QPair<const char*, QStringList>> rows{
        {"ru", {"объединённый", "сжатый", "сканированный"}},
        {"en", {"merged", "compressed", "scanned"}},
        {"zh_CN", {"合并", "压缩", "扫描"}},
        {"fi", {"merged", "compressed", "scanned"}},
    };
    for (const auto& [language, words] : rows)
        QTest::newRow(language) << QString::fromLatin1(language) << words;
}

void OutputPathsTest::words()
{
    QFETCH(QString, language);
    QFETCH(QStringList, words);
    qApp->setProperty("uiLanguage", language);
    QCOMPARE(localizedExportSuffix(QStringLiteral("merged")), words.at(0));
    QCOMPARE(localizedExportSuffix(QStringLiteral("compressed")), words.at(1));
    QCOMPARE(localizedExportSuffix(QStringLiteral("scanned")), words.at(2));
    // The kind is compared exactly: anything else is the scanned word.
    QCOMPARE(localizedExportSuffix(QStringLiteral("Compressed")), words.at(2));
    QCOMPARE(localizedExportSuffix(QString()), words.at(2));
}

void OutputPathsTest::paths_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("function");  // "with" or "sibling"
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");  // "~" is the home folder, "." the working one

    QTest::newRow("russian word") << "ru" << "with" << "/home/u/Отчёт.pdf" << "compressed"
                                  << "/home/u/Отчёт_сжатый.pdf";
    QTest::newRow("applied twice stays") << "ru" << "with" << "/home/u/Отчёт_сжатый.pdf" << "compressed"
                                         << "/home/u/Отчёт_сжатый.pdf";
    QTest::newRow("ending in other case") << "en" << "with" << "/d/report_COMPRESSED.pdf" << "compressed"
                                          << "/d/report_COMPRESSED.pdf";
    QTest::newRow("other extension") << "en" << "with" << "/d/scan.PNG" << "scanned" << "/d/scan_scanned.pdf";
    QTest::newRow("last extension only") << "en" << "with" << "/d/archive.tar.gz" << "merged"
                                         << "/d/archive.tar_merged.pdf";
    QTest::newRow("relative path") << "en" << "with" << "x.pdf" << "merged" << "./x_merged.pdf";
    QTest::newRow("empty path") << "en" << "with" << "" << "merged" << "~/document_merged.pdf";
    QTest::newRow("sibling of nothing") << "en" << "sibling" << "" << "scanned" << "~/document_scanned.pdf";
    QTest::newRow("sibling of a blank name") << "en" << "sibling" << "/d/ .pdf" << "scanned"
                                             << "/d/document_scanned.pdf";
    QTest::newRow("sibling keeps the folder") << "de" << "sibling" << "/d/a b.pdf" << "compressed"
                                              << "/d/a b_komprimiert.pdf";
}

void OutputPathsTest::paths()
{
    QFETCH(QString, language);
    QFETCH(QString, function);
    QFETCH(QString, path);
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    qApp->setProperty("uiLanguage", language);
    if (expected.startsWith('~'))
        expected = QDir::homePath() + expected.mid(1);
    else if (expected.startsWith("./"))
        expected = QDir::currentPath() + expected.mid(1);
    const QString result = function == QLatin1String("with")
                               ? withLocalizedPdfSuffix(path, kind)
                               : suggestedSiblingPdfPath(path, kind, QStringLiteral("document"));
    QCOMPARE(result, expected);
}

void OutputPathsTest::uniqueSibling()
{
    QTemporaryDir dir;
    const auto touch = [&dir](const QString& name) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    QCOMPARE(uniqueSiblingPathLikeChrome(dir.filePath("a.pdf")), dir.filePath("a.pdf"));
    touch("report.pdf.sig");
    QCOMPARE(uniqueSiblingPathLikeChrome(dir.filePath("report.pdf.sig")), dir.filePath("report.pdf (1).sig"));
    touch("report.pdf (1).sig");
    QCOMPARE(uniqueSiblingPathLikeChrome(dir.filePath("report.pdf.sig")), dir.filePath("report.pdf (2).sig"));
    touch("notes");
    QCOMPARE(uniqueSiblingPathLikeChrome(dir.filePath("notes")), dir.filePath("notes (1)"));
    QCOMPARE(uniqueSiblingPathLikeChrome(dir.path() + "/"), dir.filePath("document"));
}

QTEST_MAIN(OutputPathsTest)
#include "tst_outputpaths.moc"
