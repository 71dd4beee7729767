// A save told to stop by its progress: the file stays as it was (or absent),
// no private sibling is left, the document keeps its changes and saves again.
// What a killed save or export leaves goes at the next clean-up, and nothing
// else does.
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "SaveLeftovers.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

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

// Sets the last change of what stands at path (a link itself) back by seconds.
bool age(const QString& path, int seconds)
{
    const timespec back{::time(nullptr) - seconds, 0};
    const timespec times[2] = {back, back};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

QString partialFileIn(const QString& folder)
{
    const QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (isPartialFileName(name))
            return QDir(folder).filePath(name);
    }
    return {};
}

// A write of the program's, run in a child and held while its partial file
// stands; killed, or left to live until the test ends.
class HeldWrite {
public:
    ~HeldWrite()
    {
        m_child.kill();
        m_child.waitForFinished();
    }
    bool start(const QString& file, const QString& how)
    {
        m_child.start(QStringLiteral(VORN_WRITE_CHILD), {file, how});
        QByteArray said;
        while (!said.contains("writing") && m_child.waitForReadyRead(60000))
            said += m_child.readAllStandardOutput();
        return said.contains("writing");
    }
    void kill()
    {
        m_child.kill();
        m_child.waitForFinished();
    }

private:
    QProcess m_child;
};

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
        QTest::addColumn<bool>("refusedAtLast");  // the stop comes as the file is about to be replaced
        const QList<std::tuple<const char*, Start, int>> starts{{"new document", Start::NewDocument, 3},
                                                                 {"page turned", Start::AddedToFile, 3},
                                                                 {"page removed", Start::RemovedFromFile, 2}};
        for (const auto& [name, start, pages] : starts) {
            QTest::addRow("%s, at once", name) << start << 0.0 << 0 << pages << false;
            QTest::addRow("%s, halfway", name) << start << 0.5 << 0 << pages << false;
            QTest::addRow("%s, last piece written", name) << start << 0.999 << 0 << pages << false;
            QTest::addRow("%s, as the file is to be replaced", name) << start << 2.0 << 0 << pages << true;
        }
        // The file's own bytes are copied (half the bar of an appending save);
        // the update is being made or compared with the file.
        QTest::addRow("page turned, past the file's own bytes") << Start::AddedToFile << 0.5 << 1 << 3 << false;
    }

    void stoppedSaveLeavesFileAndDocument()
    {
        QFETCH(Start, start);
        QFETCH(double, stopAt);
        QFETCH(int, passedAtIt);
        QFETCH(int, pagesAfter);
        QFETCH(bool, refusedAtLast);
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
            [&committed, refusedAtLast] {
                ++committed;
                return !refusedAtLast;
            });
        QVERIFY(!saved);
        QVERIFY(reports > 0);
        QCOMPARE(committed, int(refusedAtLast));
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
            [&committed] {
                ++committed;
                return true;
            });
        QVERIFY2(savedAgain, qPrintable(doc.lastError()));
        QCOMPARE(committed, 1 + int(refusedAtLast));
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

    // The clean-up beside a document removes only partial files of the
    // program's own marked name that no live writer holds and that are a few
    // minutes old: never a file of the user's or of another program, of
    // whatever hidden name, nor what a link of such a name points to.
    void leftoversOfKilledWrites_data()
    {
        QTest::addColumn<QString>("document");
        // "killed save", "live save", "killed export", "live export", "copy of killed export"; or "user",
        // "user folder" or "link":
        // leftName made so
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("leftName");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("removed");
        const QString doc = QStringLiteral("doc.pdf");
        const QString longName = QString(118, QChar(0x0434)) + QStringLiteral(".pdf");  // 240 bytes
        constexpr int kHour = 3600;
        QTest::newRow("user's backup") << doc << "user" << ".doc.pdf.backup" << kHour << false;
        QTest::newRow("another program's temporary file") << doc << "user" << ".doc.pdf.x7Kp2Q" << kHour << false;
        QTest::newRow("near miss of the mark") << doc << "user" << ".doc.pdf.vorn-pdf-partial-x7Kp2" << kHour << false;
        QTest::newRow("folder of the mark's name") << doc << "user folder" << ".doc.pdf.vorn-pdf-partial-x7Kp2Q"
                                                   << kHour << false;
        QTest::newRow("link of the mark's name") << doc << "link" << ".doc.pdf.vorn-pdf-partial-x7Kp2Q" << kHour
                                                 << false;
        QTest::newRow("killed save") << doc << "killed save" << "" << kHour << true;
        QTest::newRow("killed save, a minute ago") << doc << "killed save" << "" << 60 << false;
        QTest::newRow("live save") << doc << "live save" << "" << kHour << false;
        QTest::newRow("killed picture export") << doc << "killed export" << "" << kHour << true;
        QTest::newRow("killed picture export, a minute ago") << doc << "killed export" << "" << 60 << true;
        QTest::newRow("live picture export") << doc << "live export" << "" << kHour << false;
        QTest::newRow("copy of a killed picture export's folder") << doc << "copy of killed export" << "" << kHour
                                                                  << false;
        QTest::newRow("killed save of a long name") << longName << "killed save" << "" << kHour << true;
    }

    void leftoversOfKilledWrites()
    {
        QFETCH(QString, document);
        QFETCH(QString, made);
        QFETCH(QString, leftName);
        QFETCH(int, ageSeconds);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString path = dir.filePath(document);
        const QByteArray source = fixtures::textPdf({QStringLiteral("Page 1"), QStringLiteral("Page 2")});
        QVERIFY(fixtures::writeFile(path, source));
        const QString users = dir.filePath(QStringLiteral("users.txt"));
        QVERIFY(fixtures::writeFile(users, "the user's own"));

        HeldWrite write;
        QString left = dir.filePath(leftName);
        if (made == QLatin1String("user")) {
            QVERIFY(fixtures::writeFile(left, "the user's own"));
        } else if (made == QLatin1String("user folder")) {
            QVERIFY(QDir().mkdir(left) && fixtures::writeFile(QDir(left).filePath(QStringLiteral("a.txt")), "own"));
        } else if (made == QLatin1String("link")) {
            QVERIFY(QFile::link(users, left));
        } else {
            QVERIFY(write.start(path, made.endsWith(QLatin1String("export")) ? QStringLiteral("pictures")
                                                                               : QStringLiteral("save")));
            left = partialFileIn(dir.path());
            QVERIFY(!left.isEmpty());
            if (made.startsWith(QLatin1String("killed")))
                write.kill();
            // A copy of it elsewhere (a backup's): its marker names the folder copied.
            if (made.startsWith(QLatin1String("copy of"))) {
                write.kill();
                const QString copy = left + QStringLiteral("-copy");
                QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), left, copy}), 0);
                left = copy;
            }
        }
        QVERIFY(age(left, ageSeconds));

        removeSaveLeftovers(path);
        QCOMPARE(QFileInfo(left).exists() || QFileInfo(left).isSymLink(), !removed);
        QCOMPARE(fixtures::readFile(path), source);
        QCOMPARE(fixtures::readFile(users), QByteArray("the user's own"));
    }
};

QTEST_GUILESS_MAIN(SaveStopTest)
#include "tst_savestop.moc"
