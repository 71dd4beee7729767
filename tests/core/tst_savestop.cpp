// A save told to stop by its progress: the file stays as it was (or absent),
// no private sibling is left, the document keeps its changes and saves again.
#include "PdfDocument.h"
#include "PdfFixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Start { NewDocument, AddedToFile, RemovedFromFile };

// A document with a change not yet saved, and the file a save writes.
bool prepare(PdfDocument& doc, Start start, const QTemporaryDir& dir, QString* target)
{
    const QByteArray source = fixtures::textPdf({QStringLiteral("Page 1"), QStringLiteral("Page 2"),
                                                 QStringLiteral("Page 3")});
    if (start == Start::NewDocument) {
        *target = dir.filePath(QStringLiteral("new.pdf"));
        return doc.createEmpty() && doc.insertBlankPage(0, QSizeF(595, 842)) &&
               doc.insertBlankPage(1, QSizeF(595, 842)) && doc.insertBlankPage(2, QSizeF(595, 842));
    }
    *target = dir.filePath(QStringLiteral("kept.pdf"));
    if (!fixtures::writeFile(*target, source) || !doc.open(*target))
        return false;
    return start == Start::AddedToFile ? doc.rotatePage(0, 90) : doc.deletePage(1);
}

} // namespace

class SaveStopTest : public QObject {
    Q_OBJECT

private slots:
    void stoppedSaveLeavesFileAndDocument_data()
    {
        QTest::addColumn<Start>("start");
        QTest::addColumn<double>("stopAt");  // share of the bar at which the saver says stop
        QTest::addColumn<int>("passedAtIt");  // reports at that share let by first
        QTest::addColumn<int>("pagesAfter");
        const QList<std::tuple<const char*, Start, int>> starts{{"new document", Start::NewDocument, 3},
                                                                 {"page turned", Start::AddedToFile, 3},
                                                                 {"page removed", Start::RemovedFromFile, 2}};
        for (const auto& [name, start, pages] : starts) {
            QTest::addRow("%s, at once", name) << start << 0.0 << 0 << pages;
            QTest::addRow("%s, halfway", name) << start << 0.5 << 0 << pages;
            QTest::addRow("%s, last piece written", name) << start << 0.999 << 0 << pages;
        }
        // The file's own bytes are copied (half the bar of an appending save);
        // the update is being made or compared with the file.
        QTest::addRow("page turned, past the file's own bytes") << Start::AddedToFile << 0.5 << 1 << 3;
    }

    void stoppedSaveLeavesFileAndDocument()
    {
        QFETCH(Start, start);
        QFETCH(double, stopAt);
        QFETCH(int, passedAtIt);
        QFETCH(int, pagesAfter);
        QTemporaryDir dir;
        PdfDocument doc;
        QString target;
        QVERIFY(prepare(doc, start, dir, &target));
        const bool existed = QFileInfo::exists(target);
        const QByteArray before = existed ? fixtures::readFile(target) : QByteArray();
        const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

        int reports = 0;
        int committed = 0;
        const bool saved = doc.save(
            target, PdfDocument::SignedRevisions::Keep,
            [&reports, &passedAtIt, stopAt](int done, int total) {
                ++reports;
                return total <= 0 || done < stopAt * total || passedAtIt-- > 0;
            },
            [&committed] { ++committed; });
        QVERIFY(!saved);
        QVERIFY(reports > 0);
        QCOMPARE(committed, 0);
        QCOMPARE(doc.lastError(), QStringLiteral("Сохранение остановлено."));
        QCOMPARE(QFileInfo::exists(target), existed);
        if (existed)
            QCOMPARE(fixtures::readFile(target), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
        QVERIFY(doc.isModified());
        QCOMPARE(doc.pageCount(), pagesAfter);

        // The next save, followed to its end, writes the document.
        QList<std::pair<int, int>> seen;
        const bool savedAgain = doc.save(
            target, PdfDocument::SignedRevisions::Keep,
            [&seen](int done, int total) {
                seen.push_back({done, total});
                return true;
            },
            [&committed] { ++committed; });
        QVERIFY2(savedAgain, qPrintable(doc.lastError()));
        QCOMPARE(committed, 1);
        QVERIFY(!doc.isModified());
        QVERIFY(!seen.isEmpty());
        for (int i = 0; i < seen.size(); ++i) {
            QVERIFY(seen[i].first >= 0 && seen[i].first <= seen[i].second);
            if (i > 0)
                QVERIFY2(seen[i].first >= seen[i - 1].first, "the bar never goes back");
        }
        QCOMPARE(seen.last().first, seen.last().second);
        PdfDocument reread;
        QVERIFY(reread.open(target));
        QCOMPARE(reread.pageCount(), pagesAfter);
    }
};

QTEST_GUILESS_MAIN(SaveStopTest)
#include "tst_savestop.moc"
