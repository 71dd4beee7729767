// A signed document saved from the window: a turned page is saved without a
// question and keeps the signature valid; a deleted page or an edited line
// asks first, naming the signer, and "Отмена" writes nothing; autosave and
// the close prompt never write the signed file anew behind the user's back.
#include "PdfTools.h"
#include "PromptDriver.h"
#include "QuietWait.h"
#include "SignatureService.h"
#include "SigningFixtures.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QListWidget>
#include <QScopeGuard>

using namespace windowtest;

namespace {

const QString kSigner = QStringLiteral("Иванов Иван");

int validSignatures(const QString& pdf)
{
    return int(pdftools::run(QStringLiteral("pdfsig"), {pdf}).out.count(QStringLiteral("Signature is Valid.")));
}

int pictures(const QString& pdf)
{
    const QList<pdftools::ImageRow> rows = pdftools::listImages(pdf);
    return int(std::count_if(rows.begin(), rows.end(), [](const pdftools::ImageRow& row) { return row.type == "image"; }));
}

enum class Change { DeletePage, EditLine };

void makeChange(MainWindow& window, Change change)
{
    if (change == Change::DeletePage) {
        emit thumbnails(window)->deletePageRequested(0);
        window.updateTitle();
    } else {
        typeAtBlockEnd(view(window), 0, QStringLiteral(" extra"));
    }
}

// A signed file, open in a window and changed there.
struct Changed {
    QString path;
    QByteArray signedBytes;
};

} // namespace

class SignedSaveWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void turnedPageSavedWithoutQuestion();
    void placedFacsimileSavedWithoutQuestion();
    void removalAsksFirst_data();
    void removalAsksFirst();
    void timerLeavesSignedFile_data();
    void timerLeavesSignedFile();
    void closePromptKeepsSignedFile();
    void stoppedAppendKeepsSignedFile();

private:
    // A signed copy of the fixture in the test's folder.
    QString signedFile(const QString& fixture);
    // A signed copy of the file at input in the test's folder.
    QString signedCopyOf(const QString& input);
    // groff-columns.pdf signed, open in edit mode in window and changed.
    Changed openChanged(MainWindow& window, Change change);

    QTemporaryDir m_dir;
    signingfixtures::KeyPair m_keys;
};

void SignedSaveWindowTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(pdftools::installed(QStringLiteral("pdfsig")), "poppler-utils is needed to check signatures");
    m_keys = signingfixtures::selfSigned(m_dir.path(), QStringLiteral("keys"), signingfixtures::cyrillicSubject());
    QVERIFY(!m_keys.certificate.isEmpty());
}

void SignedSaveWindowTest::init()
{
    isolateSettings();
    QSettings().setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
}

QString SignedSaveWindowTest::signedFile(const QString& fixture)
{
    return signedCopyOf(fixtures::realPdf(fixture));
}

QString SignedSaveWindowTest::signedCopyOf(const QString& input)
{
    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-') +
                                        QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".pdf");
    request.mode = EmbeddedPdf;
    request.certificatePath = m_keys.certificate;
    request.privateKeyPath = m_keys.key;
    QFile::remove(request.outputPath);
    const SignatureResult result = SignatureService::signFile(request);
    return result.ok ? request.outputPath : QString();
}

Changed SignedSaveWindowTest::openChanged(MainWindow& window, Change change)
{
    const QString path = signedFile(QStringLiteral("groff-columns.pdf"));
    if (path.isEmpty())
        return {};
    const Changed opened{path, fixtures::readFile(path)};
    startEditing(window, path);
    makeChange(window, change);
    return opened;
}

void SignedSaveWindowTest::turnedPageSavedWithoutQuestion()
{
    const QString path = signedFile(QStringLiteral("gs-helvetica.pdf"));
    QVERIFY(!path.isEmpty());
    const QByteArray signedBytes = fixtures::readFile(path);
    MainWindow window(AppProduct::editor);
    startEditing(window, path);
    window.onRotateCW();
    QCOMPARE(prompt::promptShownDuring([&window] { invoke(window, "onSave"); }), QString());
    QVERIFY(fixtures::readFile(path).startsWith(signedBytes));
    QVERIFY(fixtures::readFile(path).size() > signedBytes.size());
    QCOMPARE(validSignatures(path), 1);
    QCOMPARE(tabTexts(window), QStringList{QFileInfo(path).fileName()});
}

// A facsimile chosen from the library and placed through the view, then saved.
void SignedSaveWindowTest::placedFacsimileSavedWithoutQuestion()
{
    const QString path = signedFile(QStringLiteral("libreoffice-heading.pdf"));
    QVERIFY(!path.isEmpty());
    const QByteArray signedBytes = fixtures::readFile(path);
    MainWindow window(AppProduct::editor);
    startEditing(window, path);
    QImage picture(300, 120, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int x = 20; x < 280; ++x)
        picture.setPixel(x, 60 + x % 9, qRgba(10, 30, 150, 255));
    QVERIFY(QDir().mkpath(window.facsimileDir()));
    QVERIFY(picture.save(QDir(window.facsimileDir()).filePath(QStringLiteral("подпись.png"))));
    prompt::Driver prompts;
    prompts.whenShown([](QDialog* picker) {
        picker->property("listWidget").value<QListWidget*>()->item(0)->setSelected(true);
        picker->accept();
    });
    prompts.whenShown([](QDialog* size) { size->accept(); });
    window.onFacsimileInsert();
    QCOMPARE(prompts.pending(), 0);
    emit view(window)->imageRectReady(0, QRectF(300, 80, 150, 60));
    QVERIFY(window.hasUnsavedChanges(window.currentDocument()));

    QCOMPARE(prompt::promptShownDuring([&window] { invoke(window, "onSave"); }), QString());
    const QByteArray saved = fixtures::readFile(path);
    QVERIFY(saved.startsWith(signedBytes) && saved.size() > signedBytes.size());
    QCOMPARE(validSignatures(path), 1);
    QCOMPARE(pictures(path), pictures(fixtures::realPdf(QStringLiteral("libreoffice-heading.pdf"))) + 1);
}

void SignedSaveWindowTest::removalAsksFirst_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("answer");
    QTest::newRow("page deleted, cancelled") << Change::DeletePage << "Отмена";
    QTest::newRow("page deleted, saved") << Change::DeletePage << "Сохранить";
    QTest::newRow("line edited, cancelled") << Change::EditLine << "Отмена";
    QTest::newRow("line edited, saved") << Change::EditLine << "Сохранить";
}

void SignedSaveWindowTest::removalAsksFirst()
{
    QFETCH(Change, change);
    QFETCH(QString, answer);
    MainWindow window(AppProduct::editor);
    const auto [path, signedBytes] = openChanged(window, change);
    QVERIFY(!path.isEmpty());

    prompt::Driver prompts;
    QString asked, after;
    prompt::answerNoting(prompts, answer, &asked);
    prompt::answerNoting(prompts, QStringLiteral("OK"), &after);  // none expected
    invoke(window, "onSave");
    QVERIFY2(asked.startsWith(QStringLiteral("Подписанный документ|")), qPrintable(asked));
    QVERIFY2(asked.contains(kSigner), qPrintable(asked));
    QCOMPARE(prompts.pending(), 1);

    const QString name = QFileInfo(path).fileName();
    if (answer == QStringLiteral("Отмена")) {
        QCOMPARE(fixtures::readFile(path), signedBytes);
        QCOMPARE(validSignatures(path), 1);
        QCOMPARE(tabTexts(window), QStringList{name + " *"});
        return;
    }
    QVERIFY(!fixtures::readFile(path).startsWith(signedBytes));
    QCOMPARE(validSignatures(path), 0);
    QCOMPARE(tabTexts(window), QStringList{name});
}

void SignedSaveWindowTest::timerLeavesSignedFile_data()
{
    QTest::addColumn<Change>("change");
    QTest::newRow("page deleted") << Change::DeletePage;
    QTest::newRow("line being edited") << Change::EditLine;
}

// The timer asks nothing: the failure is told with the signer named, the
// file stays as signed and the document keeps its changes.
void SignedSaveWindowTest::timerLeavesSignedFile()
{
    QFETCH(Change, change);
    MainWindow window(AppProduct::editor);
    const auto [path, signedBytes] = openChanged(window, change);
    QVERIFY(!path.isEmpty());

    prompt::Driver prompts;
    QString told;
    prompt::answerNoting(prompts, QStringLiteral("OK"), &told);
    invoke(window, "autoSaveIfNeeded");
    // The autosave writes on a job's thread: a loaded machine may tell later.
    QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), 20000);
    QVERIFY2(told.startsWith(QStringLiteral("Ошибка|Автосохранение не удалось: ")), qPrintable(told));
    QVERIFY2(told.contains(kSigner), qPrintable(told));
    QCOMPARE(fixtures::readFile(path), signedBytes);
    QVERIFY(window.currentDocument()->isModified() || view(window)->blocksDirty());
}

// "Сохранить" at the close prompt, then "Отмена" at the signature question:
// the tab stays open with its changes and the file as signed.
void SignedSaveWindowTest::closePromptKeepsSignedFile()
{
    MainWindow window(AppProduct::editor);
    const auto [path, signedBytes] = openChanged(window, Change::DeletePage);
    QVERIFY(!path.isEmpty());

    prompt::Driver prompts;
    QString asked;
    prompts.clickButton(QStringLiteral("Сохранить"));
    prompt::answerNoting(prompts, QStringLiteral("Отмена"), &asked);
    QVERIFY(!window.closeDocumentAt(0));
    QVERIFY2(asked.startsWith(QStringLiteral("Подписанный документ|")), qPrintable(asked));
    QCOMPARE(fixtures::readFile(path), signedBytes);
    QCOMPARE(tabTexts(window), QStringList{QFileInfo(path).fileName() + " *"});
}

// A turned page of a large signed file is being appended when the user
// presses "Отмена": the signed file stays byte for byte with its signature,
// and the next save appends after it.
void SignedSaveWindowTest::stoppedAppendKeepsSignedFile()
{
    setQuietTime(0);  // the prompt shows while the save has just begun
    const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
    QTemporaryDir dir;
    const QString path = signedCopyOf(largePdf(dir));
    QVERIFY(!path.isEmpty());
    const QByteArray signedBytes = fixtures::readFile(path);
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.openFile(path);
    QVERIFY(window.currentDocument()->rotatePage(0, 90));
    window.updateTitle();

    prompt::Driver prompts;
    bool pressed = false;
    prompt::stopNextSave(prompts, &pressed);
    invoke(window, "onSave");
    QCOMPARE(prompts.pending(), 0);
    QVERIFY(pressed);
    QCOMPARE(statusText(window), QStringLiteral("Сохранение остановлено."));
    QCOMPARE(fixtures::readFile(path), signedBytes);
    QVERIFY(window.currentDocument()->isModified());

    setQuietTime(kQuietMs);
    invoke(window, "onSave");  // a turn only adds: no question about the signature
    QVERIFY(!window.currentDocument()->isModified());
    const QByteArray appended = fixtures::readFile(path);
    QVERIFY(appended.size() > signedBytes.size());
    QVERIFY(appended.startsWith(signedBytes));
    QCOMPARE(validSignatures(path), 1);
}

QTEST_MAIN(SignedSaveWindowTest)
#include "tst_signedsavewindow.moc"
