#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfiumApi.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using fixtures::readFile;
using fixtures::realPdf;
using fixtures::textPdf;
using fixtures::writeFile;

class TestPdfDocumentCore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyDeclaredPdfiumFunctionResolves();

    void openingBadInputFailsWithItsText_data();
    void openingBadInputFailsWithItsText();
    void mutatedCopiesNeverCrash();

    void saveOverOpenFileReplacesItInPlace();
    void failedSaveOfNewDocumentKeepsItUnsaved();
    void saveAsAndSaveCopy_data();
    void saveAsAndSaveCopy();
    void failedWriteGivesTheSystemsReason_data();
    void failedWriteGivesTheSystemsReason();
    void fullDiskGivesItsReason();
    void saveThroughSymbolicLinkWritesItsTarget();
    void documentWithoutPagesIsNeverWritten();

    void twoThreadsRenderTwoDocumentsSafely();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestPdfDocumentCore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(ensurePdfium(&error), qPrintable(error));
}

// A wrong name in our declarations fails here rather than at the first call.
void TestPdfDocumentCore::everyDeclaredPdfiumFunctionResolves()
{
    QVERIFY(pdfiumSymbolCount() > 50);
    for (int i = 0; i < pdfiumSymbolCount(); ++i) {
        const PdfiumSymbolState symbol = pdfiumSymbol(i);
        QVERIFY2(symbol.resolved, symbol.name);
    }
}

void TestPdfDocumentCore::openingBadInputFailsWithItsText_data()
{
    QTest::addColumn<QByteArray>("bytes");  // no file when null
    QTest::addColumn<QString>("error");     // empty: any reason
    QTest::newRow("missing") << QByteArray() << QString();
    QTest::newRow("empty") << QByteArray("") << QStringLiteral("Файл пуст или не удалось прочитать данные.");
    QTest::newRow("not a pdf") << QByteArray("GIF89a this is not a PDF at all\n", 32)
                               << QStringLiteral("Invalid PDF format");
    QTest::newRow("header only") << QByteArray("%PDF-1.7\n") << QStringLiteral("Invalid PDF format");
    const QString plain = path(QStringLiteral("plain.pdf"));
    const QString locked = path(QStringLiteral("locked.pdf"));
    QVERIFY(writeFile(plain, textPdf({QStringLiteral("Secret")})));
    const int rc = QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--encrypt"), QStringLiteral("user"),
                                                             QStringLiteral("owner"), QStringLiteral("256"),
                                                             QStringLiteral("--"), plain, locked});
    QVERIFY2(rc == 0, "qpdf is installed by the set-up script");
    QTest::newRow("encrypted") << readFile(locked) << QStringLiteral("Password protected PDF");
    // pdfium refuses the key length; qpdf reads the file but would write it with that length.
    QTest::newRow("RC4 whose /Length says 256 bits")
        << readFile(realPdf(QStringLiteral("unusual/groff-rc4-length-256.pdf")))
        << QStringLiteral("Шифрование этого файла программа не может записать заново, поэтому не открывает его.");
}

// A failed open leaves no document open, not even the one open before, and
// nothing on disk changes; with nothing open a save is refused and the open's
// reason stays.
void TestPdfDocumentCore::openingBadInputFailsWithItsText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const QString good = path(QStringLiteral("good.pdf"));
    const QString file = path(QStringLiteral("bad.pdf"));
    QFile::remove(file);
    QVERIFY(writeFile(good, textPdf({QStringLiteral("One")})) && (bytes.isNull() || writeFile(file, bytes)));
    PdfDocument doc;
    QVERIFY(doc.open(good));
    QVERIFY(!doc.open(file));
    if (error.isEmpty())
        QVERIFY(!doc.lastError().isEmpty());
    else
        QCOMPARE(doc.lastError(), error);
    QVERIFY(!doc.isOpen());
    QCOMPARE(doc.pageCount(), 0);
    if (!bytes.isNull())
        QCOMPARE(readFile(file), bytes);
    const QString reason = doc.lastError();
    QVERIFY(!doc.save(path(QStringLiteral("x.pdf"))));
    QCOMPARE(doc.lastError(), reason);
    QVERIFY(!QFile::exists(path(QStringLiteral("x.pdf"))));
}

// Flipped bytes and truncations of a valid file: every call either works or
// fails with a text of the error table; none crashes or hangs.
void TestPdfDocumentCore::mutatedCopiesNeverCrash()
{
    fixtures::PageSpec page;
    page.runs << fixtures::TextRun{QStringLiteral("Mutation target")};
    page.links << fixtures::LinkAnnot{QRectF(70, 690, 200, 40), -1, QStringLiteral("example.org"), {}};
    page.drawBox = true;
    const QByteArray original = fixtures::pagesPdf({page, page});
    const QStringList knownErrors{QStringLiteral("Unknown PDFium error"), QStringLiteral("File access error"),
                                  QStringLiteral("Invalid PDF format"), QStringLiteral("Password protected PDF"),
                                  QStringLiteral("PDF security restriction"), QStringLiteral("Page error"),
                                  QStringLiteral("PDFium error"),
                                  QStringLiteral("Файл пуст или не удалось прочитать данные.")};
    // Refused files are expected here by the hundred: keep their warnings quiet.
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.startsWith(QLatin1String("Cannot open document:")))
            previous(type, context, text);
    });
    const auto restore = qScopeGuard([] { qInstallMessageHandler(previous); });
    QRandomGenerator random(20261206);
    const QString file = path(QStringLiteral("mutated.pdf"));
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = original;
        if (round % 10 == 0) {
            bytes.truncate(random.bounded(int(bytes.size())));
        } else {
            const int flips = 1 + random.bounded(8);
            for (int f = 0; f < flips; ++f)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        }
        QVERIFY(writeFile(file, bytes));
        PdfDocument doc;
        if (!doc.open(file)) {
            // A damaged file that cannot be repaired says why after this prefix.
            const bool unrepairable = doc.lastError().startsWith(QStringLiteral("Файл повреждён и не может быть восстановлен: "));
            QVERIFY2(knownErrors.contains(doc.lastError()) || unrepairable, qPrintable(doc.lastError()));
            continue;
        }
        ++opened;
        for (int p = 0; p < std::min(doc.pageCount(), 3); ++p) {
            doc.renderPage(p, 0.2, 0);
            doc.extractAllText(p);
            doc.findText(p, QStringLiteral("target"));
            doc.linkAtPoint(p, QPointF(100, 700));
        }
        doc.outline();
    }
    QVERIFY(opened > 0);
}

// Saved through another spelling of its path, the open file is replaced with
// its permissions kept; a stranger's temporary file beside it is left alone.
void TestPdfDocumentCore::saveOverOpenFileReplacesItInPlace()
{
    QDir dir(path(QStringLiteral("same")));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    QVERIFY(writeFile(file, textPdf({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})));
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFileInfo(file).permissions();
    const QString leftover = file + QStringLiteral(".~tmp");
    QVERIFY(writeFile(leftover, "someone else's bytes"));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    QVERIFY(doc.deletePage(1));
    QVERIFY(doc.save(dir.filePath(QStringLiteral("./../same//report.pdf"))));
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.pageCount(), 2);
    QCOMPARE(QFileInfo(file).permissions(), permissions);
    QCOMPARE(readFile(leftover), QByteArray("someone else's bytes"));
    QCOMPARE(fixtures::filesIn(dir.path()), (QStringList{QStringLiteral("report.pdf"), QStringLiteral("report.pdf.~tmp")}));
    PdfDocument reread;
    QVERIFY(reread.open(file));
    QCOMPARE(reread.pageCount(), 2);
    QCOMPARE(reread.extractAllText(1), QStringLiteral("C"));
    // The reloaded document keeps working after the replace.
    QVERIFY(doc.deletePage(0));
    QVERIFY(doc.save(file));
    QVERIFY(reread.open(file));
    QCOMPARE(reread.pageCount(), 1);
}

// A new document whose save fails stays modified and without a path; closing
// it drops both.
void TestPdfDocumentCore::failedSaveOfNewDocumentKeepsItUnsaved()
{
    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.isModified());
    QVERIFY(doc.insertBlankPage(0, QSizeF(200, 200)));
    QVERIFY(!doc.save(path(QStringLiteral("no-such-folder/out.pdf"))));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(doc.isModified());
    QVERIFY(doc.filePath().isEmpty());
    QCOMPARE(doc.pageCount(), 1);
    doc.close();
    QVERIFY(!doc.isOpen());
    QVERIFY(!doc.isModified());
}

void TestPdfDocumentCore::saveAsAndSaveCopy_data()
{
    QTest::addColumn<bool>("copy");
    QTest::newRow("save as") << false;
    QTest::newRow("save copy") << true;
}

// Either replaces an existing file of another name and leaves the old file
// untouched. Save as makes the document that file's, saved; a copy changes no
// state, not even the last error. A failed open before does not matter.
void TestPdfDocumentCore::saveAsAndSaveCopy()
{
    QFETCH(bool, copy);
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("old.pdf"));
    const QString newFile = dir.filePath(QStringLiteral("new.pdf"));
    const QByteArray oldBytes = textPdf({QStringLiteral("A"), QStringLiteral("B")});
    QVERIFY(writeFile(oldFile, oldBytes));
    QVERIFY(writeFile(newFile, "old content"));
    PdfDocument doc;
    QVERIFY(doc.open(oldFile));
    QVERIFY(!doc.open(dir.filePath(QStringLiteral("missing.pdf"))));
    QVERIFY(doc.open(oldFile));
    QVERIFY(doc.deletePage(0));
    QVERIFY(!doc.appendPage(dir.filePath(QStringLiteral("missing.pdf")), 0));
    const QString error = doc.lastError();
    QVERIFY(!error.isEmpty());
    QVERIFY(copy ? doc.saveCopy(newFile) : doc.saveAs(newFile));
    QCOMPARE(doc.filePath(), copy ? oldFile : newFile);
    QCOMPARE(doc.isModified(), copy);
    if (copy)
        QCOMPARE(doc.lastError(), error);
    QCOMPARE(readFile(oldFile), oldBytes);
    QCOMPARE(fixtures::filesIn(dir.path()), (QStringList{QStringLiteral("new.pdf"), QStringLiteral("old.pdf")}));
    PdfDocument reread;
    QVERIFY(reread.open(newFile));
    QCOMPARE(reread.pageCount(), 1);
}

namespace {

enum class Obstacle { FileSizeLimit, Folder, LinkLoop, MissingFolder, ReadOnlyFolder, ReadOnlyFile, Pipe };
enum class Write { SaveOver, SaveAs, SaveCopy, ExportText, Compress };

// A document large enough that a small file-size limit cuts its write short.
QByteArray largePdf()
{
    QStringList pages;
    for (int i = 0; i < 40; ++i)
        pages << QStringLiteral("Page %1 with enough text to take room in the file").arg(i + 1);
    return textPdf(pages);
}

// Lowers the file-size limit of the process (a full disk, in effect) until
// destroyed; the signal the kernel sends on the limit is ignored.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

void TestPdfDocumentCore::failedWriteGivesTheSystemsReason_data()
{
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<Write>("write");
    QTest::addColumn<QString>("reason");
    const QString tooLarge = QStringLiteral("Файл больше, чем позволено");
    QTest::newRow("size limit, save over the file") << Obstacle::FileSizeLimit << Write::SaveOver << tooLarge;
    QTest::newRow("size limit, save as") << Obstacle::FileSizeLimit << Write::SaveAs << tooLarge;
    QTest::newRow("size limit, save copy") << Obstacle::FileSizeLimit << Write::SaveCopy << tooLarge;
    QTest::newRow("size limit, text export") << Obstacle::FileSizeLimit << Write::ExportText << tooLarge;
    QTest::newRow("size limit, compressed copy") << Obstacle::FileSizeLimit << Write::Compress << tooLarge;
    QTest::newRow("folder in the way") << Obstacle::Folder << Write::SaveAs << QStringLiteral("Это папка, а не файл");
    QTest::newRow("link loop") << Obstacle::LinkLoop << Write::SaveAs
                               << QStringLiteral("Слишком много уровней символических ссылок");
    QTest::newRow("link loop, compressed copy") << Obstacle::LinkLoop << Write::Compress
                                                << QStringLiteral("Слишком много уровней символических ссылок");
    QTest::newRow("missing folder") << Obstacle::MissingFolder << Write::SaveCopy
                                    << QStringLiteral("Нет такого файла или папки");
    QTest::newRow("read-only folder") << Obstacle::ReadOnlyFolder << Write::SaveOver
                                      << QStringLiteral("Отказано в доступе");
    QTest::newRow("read-only file") << Obstacle::ReadOnlyFile << Write::SaveOver << QStringLiteral("Отказано в доступе");
    QTest::newRow("pipe in the way") << Obstacle::Pipe << Write::SaveAs << QStringLiteral("Это не обычный файл: %1");
}

// The reason is the system's (in the program's words), the old file is as
// it was, and nothing is left beside it.
void TestPdfDocumentCore::failedWriteGivesTheSystemsReason()
{
    QFETCH(Obstacle, obstacle);
    QFETCH(Write, write);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.pdf"));
    const QByteArray bytes = largePdf();
    QVERIFY(writeFile(source, bytes));
    QString target = dir.filePath(QStringLiteral("target.pdf"));
    if (obstacle == Obstacle::Folder)
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("target.pdf")));
    if (obstacle == Obstacle::LinkLoop)
        QVERIFY(QFile::link(target, target));
    if (obstacle == Obstacle::MissingFolder)
        target = dir.filePath(QStringLiteral("missing/target.pdf"));
    if (obstacle == Obstacle::Pipe)
        QCOMPARE(mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    if (reason.contains(QLatin1String("%1")))
        reason = reason.arg(QFileInfo(target).canonicalFilePath());
    if (write == Write::SaveOver)
        target = source;
    PdfDocument doc;
    QVERIFY(doc.open(source));
    QVERIFY(doc.deletePage(0));
    if ((obstacle == Obstacle::ReadOnlyFolder || obstacle == Obstacle::ReadOnlyFile) && geteuid() == 0) {
        // Root writes read-only files: run this row again as an unprivileged user.
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        QVERIFY2(!setpriv.isEmpty(), "setpriv (util-linux, installed by the set-up script) runs the row unprivileged");
        QTemporaryDir home;
        QVERIFY(QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777)));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), home.path());
        env.insert(QStringLiteral("HOME"), home.path());
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups"), QStringLiteral("--"),
                              QCoreApplication::applicationFilePath(),
                              QStringLiteral("%1:%2").arg(QLatin1String(QTest::currentTestFunction()),
                                                          QLatin1String(QTest::currentDataTag()))});
        QVERIFY(child.waitForFinished(-1));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
        return;
    }
    if (obstacle == Obstacle::ReadOnlyFolder || obstacle == Obstacle::ReadOnlyFile) {
        const bool folder = obstacle == Obstacle::ReadOnlyFolder;
        QVERIFY(QFile::setPermissions(folder ? dir.path() : source,
                                      QFile::ReadOwner | (folder ? QFile::ExeOwner : QFile::Permissions())));
    }
    const auto writable = qScopeGuard([&] {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    const QStringList before = fixtures::filesIn(dir.path());
    bool written = true;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (obstacle == Obstacle::FileSizeLimit)
            limit = std::make_unique<FileSizeLimit>(bytes.size() / 8);
        PdfDocument::CompressionOptions keeping;
        keeping.rasterizePages = false;
        switch (write) {
        case Write::SaveOver:
        case Write::SaveAs: written = doc.save(target); break;
        case Write::SaveCopy: written = doc.saveCopy(target); break;
        case Write::ExportText: written = doc.exportDocument(QStringLiteral("txt"), target, 72); break;
        case Write::Compress: written = doc.compressTo(target, keeping); break;
        }
    }
    QVERIFY(!written);
    QCOMPARE(doc.lastError(), reason);
    QCOMPARE(fixtures::filesIn(dir.path()), before);
    QCOMPARE(readFile(source), bytes);
    QVERIFY(doc.isModified());
    if (obstacle == Obstacle::Pipe)
        QVERIFY(!QFileInfo(target).isFile());
}

// A small tmpfs that the document fits on once: saving over it runs out of
// room. Where this process may not mount, the case runs again in a user and
// mount namespace of its own (unshare, from util-linux), where it may.
void TestPdfDocumentCore::fullDiskGivesItsReason()
{
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("small")));
    const QByteArray bytes = largePdf();
    const QString size = QString::number(bytes.size() + 4096);
    const char* const inNamespace = "VORN_TEST_OWN_MOUNT_NAMESPACE";
    if (geteuid() != 0 || QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                      QStringLiteral("-o"), QStringLiteral("size=") + size,
                                                                      QStringLiteral("tmpfs"), mountPoint}) != 0) {
        QVERIFY2(!qEnvironmentVariableIsSet(inNamespace), "a tmpfs could not be mounted in a namespace of the case's own");
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        QVERIFY2(!unshare.isEmpty(), "unshare (util-linux, installed by the set-up script) gives the case a mount namespace");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(inNamespace), QStringLiteral("1"));
        QProcess run;
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(unshare, {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                            QCoreApplication::applicationFilePath(), QStringLiteral("fullDiskGivesItsReason")});
        QVERIFY(run.waitForFinished(-1));
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0, run.readAll().constData());
        return;
    }
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mountPoint}); });
    const QString file = mountPoint + QStringLiteral("/report.pdf");
    QVERIFY(writeFile(file, bytes));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    QVERIFY(doc.rotatePage(0, 90));
    QVERIFY(!doc.save(file));
    QCOMPARE(doc.lastError(), QStringLiteral("Недостаточно места на диске"));
    QCOMPARE(readFile(file), bytes);
    QCOMPARE(fixtures::filesIn(mountPoint), QStringList{QStringLiteral("report.pdf")});
}

// Saving a file opened through a symbolic link writes the file it points to;
// the link stays a link.
void TestPdfDocumentCore::saveThroughSymbolicLinkWritesItsTarget()
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real.pdf"));
    const QString link = dir.filePath(QStringLiteral("link.pdf"));
    QVERIFY(writeFile(real, textPdf({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})));
    QVERIFY(QFile::link(QStringLiteral("real.pdf"), link));
    PdfDocument doc;
    QVERIFY(doc.open(link));
    QVERIFY(doc.deletePage(1));
    QVERIFY2(doc.save(link), qPrintable(doc.lastError()));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFile::symLinkTarget(link), real);
    QCOMPARE(fixtures::filesIn(dir.path()), (QStringList{QStringLiteral("link.pdf"), QStringLiteral("real.pdf")}));
    PdfDocument reread;
    QVERIFY(reread.open(real));
    QCOMPARE(reread.pageCount(), 2);
    QCOMPARE(doc.pageCount(), 2);
    QCOMPARE(doc.filePath(), link);
}

// A damaged file that opens with no readable page is not replaced by an empty
// document, and an export that would write nothing fails.
void TestPdfDocumentCore::documentWithoutPagesIsNeverWritten()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("damaged.pdf"));
    const QByteArray bytes = fixtures::buildPdf({QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
                                                 QStringLiteral("<< /Type /Pages /Kids [] /Count 0 >>")});
    QVERIFY(writeFile(file, bytes));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    QCOMPARE(doc.pageCount(), 0);
    const QString noPages = QStringLiteral("Документ не содержит страниц.");
    QVERIFY(!doc.save(file));
    QCOMPARE(doc.lastError(), noPages);
    QCOMPARE(readFile(file), bytes);
    for (const QString& format : {QStringLiteral("png"), QStringLiteral("txt")}) {
        QVERIFY(!doc.exportDocument(format, dir.filePath(QStringLiteral("out.") + format), 72));
        QCOMPARE(doc.lastError(), noPages);
    }
    QCOMPARE(fixtures::filesIn(dir.path()), QStringList{QStringLiteral("damaged.pdf")});
}

// pdfium is not thread-safe even across documents: two threads rendering two
// documents must still produce exactly the single-threaded pictures.
void TestPdfDocumentCore::twoThreadsRenderTwoDocumentsSafely()
{
    const QString fileA = path(QStringLiteral("thread-a.pdf"));
    const QString fileB = path(QStringLiteral("thread-b.pdf"));
    QVERIFY(writeFile(fileA, textPdf({QStringLiteral("Thread A page"), QStringLiteral("Second")})));
    fixtures::PageSpec boxPage;
    boxPage.drawBox = true;
    boxPage.runs << fixtures::TextRun{QStringLiteral("Thread B"), 100, 500, 40};
    QVERIFY(writeFile(fileB, fixtures::pagesPdf({boxPage})));
    PdfDocument docA;
    PdfDocument docB;
    QVERIFY(docA.open(fileA));
    QVERIFY(docB.open(fileB));
    const QImage referenceA = docA.renderPage(0, 0.5, 0);
    const QImage referenceB = docB.renderPageLayer(0, 0.5, 90, PdfRenderWithoutText, true);
    QVERIFY(!referenceA.isNull() && !referenceB.isNull());

    std::atomic<int> mismatches{0};
    auto work = [&](PdfDocument& doc, const QImage& reference, bool layered) {
        for (int i = 0; i < 60; ++i) {
            const QImage image = layered ? doc.renderPageLayer(0, 0.5, 90, PdfRenderWithoutText, true)
                                         : doc.renderPage(0, 0.5, 0);
            if (image != reference)
                ++mismatches;
            doc.findText(0, QStringLiteral("Thread"));
        }
    };
    QThread* a = QThread::create([&] { work(docA, referenceA, false); });
    QThread* b = QThread::create([&] { work(docB, referenceB, true); });
    a->start();
    b->start();
    QVERIFY(a->wait(120000));
    QVERIFY(b->wait(120000));
    delete a;
    delete b;
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(TestPdfDocumentCore)
#include "tst_pdfdocument_core.moc"
