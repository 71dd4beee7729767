// A signed document in the window: known as signed when opened (status
// line, tab, properties); a turned page is saved without a question and
// keeps the signature valid; a deleted page or an edited line asks first,
// naming the signer, whether saved, saved as or saved from another tab, and
// "Отмена" writes nothing; autosave and the close prompt never write the
// signed file anew behind the user's back.
#include "DocumentPropertiesDialog.h"
#include "PdfTools.h"
#include "PromptDriver.h"
#include "QuietWait.h"
#include "SignatureService.h"
#include "SigningFixtures.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QScopeGuard>

using namespace windowtest;

namespace {

const QString kSigner = QStringLiteral("Иванов Иван");

int validSignatures(const QString& pdf)
{
    return int(pdftools::run(QStringLiteral("pdfsig"), {pdf}).out.count(QStringLiteral("Signature is Valid.")));
}

// The question before the signatures are invalidated, naming the signer.
bool askedNamingSigner(const QString& asked)
{
    return asked.startsWith(QStringLiteral("Подписанный документ|")) && asked.contains(kSigner);
}

int pictures(const QString& pdf)
{
    const QList<pdftools::ImageRow> rows = pdftools::listImages(pdf);
    return int(std::count_if(rows.begin(), rows.end(), [](const pdftools::ImageRow& row) { return row.type == "image"; }));
}

// The signatures as pdfsig reads them, in the words the window uses:
// "Подписи: <signer> (<field>), ..."; empty when pdfsig finds none.
QString signaturesByPdfsig(const QString& pdf)
{
    QStringList names;
    QString field;
    for (const QString& line : pdftools::run(QStringLiteral("pdfsig"), {pdf}).out.split(QLatin1Char('\n'))) {
        const QString text = line.trimmed();
        const QString value = text.section(QStringLiteral(": "), 1);
        if (text.startsWith(QStringLiteral("- Signature Field Name: ")))
            field = value;
        else if (text.startsWith(QStringLiteral("- Signer Certificate Common Name: ")))
            names << QStringLiteral("%1 (%2)").arg(value, field);
    }
    return names.isEmpty() ? QString() : QStringLiteral("Подписи: ") + names.join(QStringLiteral(", "));
}

// The texts of the properties window's "Безопасность" tab; none when the
// window never finished.
QStringList securityTexts(MainWindow& window)
{
    window.showDocumentPropertiesDialog();
    DocumentPropertiesDialog* dialog = window.findChildren<DocumentPropertiesDialog*>().constLast();
    auto* pages = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
    QStringList texts;
    for (int index = 0; index < pages->count(); ++index) {
        if (pages->tabText(index) != QStringLiteral("Безопасность"))
            continue;
        for (QLabel* label : pages->widget(index)->findChildren<QLabel*>())
            texts << label->text();
    }
    // Closed once its font list is read, so no job outlives the test.
    const bool listed = QTest::qWaitFor([dialog] { return dialog->fontsListed(); }, 10000);
    dialog->close();
    return listed ? texts : QStringList{};
}

QString copyOf(const QString& fixture, const QString& path)
{
    QFile::remove(path);
    return QFile::copy(fixtures::realPdf(fixture), path) ? path : QString();
}

enum class Change { DeletePage, EditLine, TurnPage };

void makeChange(MainWindow& window, Change change)
{
    if (change == Change::DeletePage) {
        emit thumbnails(window)->deletePageRequested(0);
        window.updateTitle();
    } else if (change == Change::EditLine) {
        typeAtBlockEnd(view(window), 0, QStringLiteral(" extra"));
    } else {
        window.onRotateCW();
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
    void knownAsSignedWhenOpened_data();
    void knownAsSignedWhenOpened();
    void turnedPageSavedWithoutQuestion();
    void placedFacsimileSavedWithoutQuestion();
    void removalAsksFirst_data();
    void removalAsksFirst();
    void timerLeavesSignedFile_data();
    void timerLeavesSignedFile();
    void closePromptKeepsSignedFile();
    void saveAsAsksFirst_data();
    void saveAsAsksFirst();
    void otherTabAsksFirst_data();
    void otherTabAsksFirst();
    void stoppedAppendKeepsSignedFile();

private:
    // A signed copy of the fixture in the test's folder.
    QString signedFile(const QString& fixture);
    // A name in the test's folder for this test and row, free.
    QString freePath(const QString& suffix);
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

QString SignedSaveWindowTest::freePath(const QString& suffix)
{
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-') +
                                        QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + suffix);
    QFile::remove(path);
    return path;
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

void SignedSaveWindowTest::knownAsSignedWhenOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("signed by the program") << "signed";
    QTest::newRow("signed, a page turned and saved since") << "turned";
    QTest::newRow("not signed") << "plain";
}

// Opened beside an unsigned document, a signed one names its signer in the
// status line, its tab's tool tip and the properties window; the unsigned
// one shows none of it.
void SignedSaveWindowTest::knownAsSignedWhenOpened()
{
    QFETCH(QString, kind);
    const QString path = kind == QLatin1String("plain")
                             ? copyOf(QStringLiteral("gs-helvetica.pdf"), freePath(QStringLiteral(".pdf")))
                             : signedFile(QStringLiteral("gs-helvetica.pdf"));
    QVERIFY(!path.isEmpty());
    if (kind == QLatin1String("turned")) {
        const QByteArray signedBytes = fixtures::readFile(path);
        MainWindow earlier(AppProduct::editor);
        startEditing(earlier, path);
        earlier.onRotateCW();
        QCOMPARE(prompt::promptShownDuring([&earlier] { invoke(earlier, "onSave"); }), QString());
        const QByteArray saved = fixtures::readFile(path);
        QVERIFY(saved.startsWith(signedBytes) && saved.size() > signedBytes.size());
    }
    const QString signatures = signaturesByPdfsig(path);
    QCOMPARE(signatures.isEmpty(), kind == QLatin1String("plain"));
    QVERIFY2(signatures.isEmpty() || signatures.contains(kSigner), qPrintable(signatures));
    const QString other = copyOf(QStringLiteral("libreoffice-heading.pdf"), freePath(QStringLiteral("-other.pdf")));
    QVERIFY(!other.isEmpty());

    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.openFile(other);
    window.openFile(path);
    const QString name = QFileInfo(path).fileName();
    if (signatures.isEmpty())
        QVERIFY2(statusText(window).startsWith(QStringLiteral("Открыт: ") + name), qPrintable(statusText(window)));
    else
        QCOMPARE(statusText(window), QStringLiteral("Открыт подписанный документ: %1 · %2").arg(name, signatures));
    QCOMPARE(tabs(window)->count(), 2);
    QCOMPARE(tabs(window)->tabToolTip(0), other);
    QCOMPARE(tabs(window)->tabToolTip(1), signatures.isEmpty() ? path : path + QLatin1Char('\n') + signatures);
    const QStringList security = securityTexts(window);
    QVERIFY(security.contains(QStringLiteral("Защита: нет")));
    QCOMPARE(security.filter(QStringLiteral("Подпис")),
             signatures.isEmpty() ? QStringList{} : QStringList{signatures});
    // The unsigned tab shown again tells of no signature.
    tabs(window)->setCurrentIndex(0);
    QCOMPARE(window.currentDocument()->filePath(), other);
    QCOMPARE(securityTexts(window).filter(QStringLiteral("Подпис")), QStringList{});
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
    QVERIFY2(askedNamingSigner(asked), qPrintable(asked));
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

void SignedSaveWindowTest::saveAsAsksFirst_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("ownFile");
    QTest::addColumn<QString>("answer");  // empty: no question comes
    QTest::newRow("page deleted, new file, cancelled") << Change::DeletePage << false << "Отмена";
    QTest::newRow("page deleted, new file, saved") << Change::DeletePage << false << "Сохранить";
    QTest::newRow("line edited, its own file, cancelled") << Change::EditLine << true << "Отмена";
    QTest::newRow("line edited, new file, saved") << Change::EditLine << false << "Сохранить";
    QTest::newRow("page turned, new file") << Change::TurnPage << false << "";
}

// Save as asks like Save before it writes what would invalidate the
// signatures; "Отмена" writes neither file. The signed file itself stays as
// signed whatever the answer.
void SignedSaveWindowTest::saveAsAsksFirst()
{
    QFETCH(Change, change);
    QFETCH(bool, ownFile);
    QFETCH(QString, answer);
    MainWindow window(AppProduct::editor);
    const auto [path, signedBytes] = openChanged(window, change);
    QVERIFY(!path.isEmpty());
    const QString target = ownFile ? path : freePath(QStringLiteral("-copy.pdf"));

    prompt::Driver prompts;
    QString asked, after;
    prompt::answerSaveDialog(prompts, target);
    if (!answer.isEmpty())
        prompt::answerNoting(prompts, answer, &asked);
    prompt::answerNoting(prompts, QStringLiteral("OK"), &after);  // none expected
    invoke(window, "onSaveAs");
    QCOMPARE(prompts.pending(), 1);
    QCOMPARE(fixtures::readFile(path), signedBytes);
    QCOMPARE(validSignatures(path), 1);

    const QString targetName = QFileInfo(target).fileName();
    if (answer.isEmpty()) {
        QVERIFY(fixtures::readFile(target).startsWith(signedBytes));
        QCOMPARE(validSignatures(target), 1);
        QCOMPARE(tabTexts(window), QStringList{targetName});
        return;
    }
    QVERIFY2(askedNamingSigner(asked), qPrintable(asked));
    if (answer == QStringLiteral("Отмена")) {
        QCOMPARE(QFileInfo::exists(target), ownFile);
        QCOMPARE(tabTexts(window), QStringList{QFileInfo(path).fileName() + " *"});
        return;
    }
    QVERIFY(!fixtures::readFile(target).startsWith(signedBytes));
    QCOMPARE(validSignatures(target), 0);
    QCOMPARE(pdftools::pageCount(target), pdftools::pageCount(path) - (change == Change::DeletePage ? 1 : 0));
    QCOMPARE(tabTexts(window), QStringList{targetName});
    QCOMPARE(statusText(window), QStringLiteral("Сохранено как: ") + targetName);
}

void SignedSaveWindowTest::otherTabAsksFirst_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("answer");  // empty: no question comes
    QTest::newRow("page deleted, cancelled") << Change::DeletePage << "Отмена";
    QTest::newRow("page deleted, saved") << Change::DeletePage << "Сохранить";
    QTest::newRow("page turned") << Change::TurnPage << "";
}

// A signed document in a tab not shown, saved as its tab closes: asked
// about like the shown one; "Отмена" keeps the tab and the file as signed.
void SignedSaveWindowTest::otherTabAsksFirst()
{
    QFETCH(Change, change);
    QFETCH(QString, answer);
    MainWindow window(AppProduct::editor);
    const auto [path, signedBytes] = openChanged(window, change);
    QVERIFY(!path.isEmpty());
    const QString other = copyOf(QStringLiteral("gs-helvetica.pdf"), freePath(QStringLiteral("-other.pdf")));
    QVERIFY(!other.isEmpty());
    window.openFile(other);
    const QString name = QFileInfo(path).fileName();
    const QString otherName = QFileInfo(other).fileName();
    QCOMPARE(tabTexts(window), (QStringList{name + " *", otherName}));
    const int pagesBefore = pdftools::pageCount(path);

    prompt::Driver prompts;
    QString asked, after;
    prompts.clickButton(QStringLiteral("Сохранить"));  // the unsaved changes
    if (!answer.isEmpty())
        prompt::answerNoting(prompts, answer, &asked);
    prompt::answerNoting(prompts, QStringLiteral("OK"), &after);  // none expected
    const bool closed = window.closeDocumentAt(0);
    QCOMPARE(prompts.pending(), 1);
    QCOMPARE(window.currentDocument()->filePath(), other);

    if (answer.isEmpty()) {
        QVERIFY(closed);
        const QByteArray saved = fixtures::readFile(path);
        QVERIFY(saved.startsWith(signedBytes) && saved.size() > signedBytes.size());
        QCOMPARE(validSignatures(path), 1);
        QCOMPARE(tabTexts(window), QStringList{otherName});
        return;
    }
    QVERIFY2(askedNamingSigner(asked), qPrintable(asked));
    if (answer == QStringLiteral("Отмена")) {
        QVERIFY(!closed);
        QCOMPARE(fixtures::readFile(path), signedBytes);
        QCOMPARE(validSignatures(path), 1);
        QCOMPARE(tabTexts(window), (QStringList{name + " *", otherName}));
        return;
    }
    QVERIFY(closed);
    QVERIFY(!fixtures::readFile(path).startsWith(signedBytes));
    QCOMPARE(validSignatures(path), 0);
    QCOMPARE(pdftools::pageCount(path), pagesBefore - 1);
    QCOMPARE(tabTexts(window), QStringList{otherName});
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
