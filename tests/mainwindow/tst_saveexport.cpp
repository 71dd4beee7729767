// The save and export dialog and the file-manager actions, driven through
// their dialogs as a user would.
#include "ExportTestSupport.h"
#include "CompressedPdfExportDialog.h"
#include "OutputPaths.h"
#include "PrintDialog.h"
#include "QuietWait.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMap>
#include <QImageReader>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>

using namespace exporttest;
using namespace windowtest;

class SaveExportTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        isolateSettings();
        qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    }

    void namesAndDispatch_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QString>("status");
        QTest::newRow("PNG, three pages") << "Изображение PNG (*.png)" << "Scan.PNG"
                                          << QStringList{"Scan_001.PNG", "Scan_002.PNG", "Scan_003.PNG"}
                                          << "Экспортировано: Scan.PNG (страницы пронумерованы: Scan_N.png)";
        QTest::newRow("jpeg typed with the JPEG row") << "Изображение JPEG (*.jpg)" << "scan.jpeg"
                                                     << QStringList{"scan.jpeg_001.jpg", "scan.jpeg_002.jpg",
                                                                    "scan.jpeg_003.jpg"}
                                                     << "Экспортировано: scan.jpeg.jpg (страницы пронумерованы: "
                                                        "scan.jpeg_N.jpg)";
        QTest::newRow("text without extension") << "Текст TXT (*.txt)" << "notes" << QStringList{"notes.txt"}
                                                << "Экспортировано: notes.txt";
        QTest::newRow("PDF under a new name") << "PDF документ (*.pdf)" << "copy" << QStringList{"copy.pdf"}
                                             << "Сохранено: copy.pdf";
    }

    void namesAndDispatch()
    {
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QStringList, written);
        QFETCH(QString, status);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 3);
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        const QString out = dir.filePath(QStringLiteral("out"));
        prompt::Driver prompts;
        answerFileDialog(prompts, filter, out + QLatin1Char('/') + typed);
        if (filter.startsWith(QStringLiteral("Изображение")))
            acceptResolution(prompts, 72);
        window.showSaveExportDialog();
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(fixtures::filesIn(out), written);
        QCOMPARE(statusText(window), status);
    }

    // Every type of the save and export dialog, picked from its list as the
    // interface shows it and a name typed without extension, writes its
    // own format in every interface language.
    void everyTypeInEveryLanguage_data()
    {
        QTest::addColumn<QString>("language");
        for (const auto& language : uiLanguageList())
            QTest::newRow(qPrintable(language.first)) << language.first;
    }

    void everyTypeInEveryLanguage()
    {
        QFETCH(QString, language);
        QSettings().setValue(QStringLiteral("ui/language"), language);
        QSettings().setValue(QStringLiteral("export/scannedPdf/dpi"), 100);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 2);
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        const QString out = dir.filePath(QStringLiteral("out"));
        auto named = [&out](int row) { return out + QStringLiteral("/t%1").arg(row); };
        prompt::Driver prompts;
        QStringList shownTypes;
        auto choose = [&](int row) {
            prompts.whenShown([&shownTypes, row, name = named(row)](QDialog* dialog) {
                auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                if (!types) {
                    dialog->reject();
                    return;
                }
                shownTypes << types->itemText(row);
                types->setCurrentIndex(row);
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
                dialog->done(QDialog::Accepted);
            });
        };
        auto format = [](const QString& path) { return QString::fromLatin1(QImageReader(path).format()); };

        // Text and pictures first: the PDF and scanned rows open their results in tabs.
        const QList<std::pair<int, QString>> texts{{3, "<!doctype html>"}, {4, "<?xml"}, {5, "Page 1"}};
        for (const auto& [row, start] : texts) {
            choose(row);
            window.showSaveExportDialog();
            const QString suffix = QStringList{"html", "xhtml", "txt"}.at(row - 3);
            const QString text = QString::fromUtf8(fixtures::readFile(named(row) + QLatin1Char('.') + suffix));
            QVERIFY2(text.contains(start) && text.contains(QStringLiteral("Page 2")), qPrintable(suffix));
        }
        const QList<std::pair<int, QString>> pictures{{6, "png"}, {7, "jpeg"}, {8, "bmp"}};
        for (const auto& [row, expected] : pictures) {
            choose(row);
            acceptResolution(prompts, 72);
            window.showSaveExportDialog();
            const QString suffix = expected == QLatin1String("jpeg") ? QStringLiteral("jpg") : expected;
            for (const char* page : {"_001.", "_002."})
                QCOMPARE(format(named(row) + QLatin1String(page) + suffix), expected);
        }
        choose(0);
        window.showSaveExportDialog();
        PdfDocument saved;
        QVERIFY(saved.open(named(0) + QStringLiteral(".pdf")));
        QCOMPARE(saved.pageCount(), 2);
        QCOMPARE(pdftools::listImages(named(0) + QStringLiteral(".pdf")).size(), 0);

        QString compressedPath;
        choose(1);
        prompts.whenShown([&compressedPath](QDialog* dialog) {
            if (auto* compressed = qobject_cast<CompressedPdfExportDialog*>(dialog))
                compressedPath = compressed->outputPath();
            dialog->reject();
        });
        window.showSaveExportDialog();
        QCOMPARE(compressedPath, withLocalizedPdfSuffix(named(1) + QStringLiteral(".pdf"), QStringLiteral("compressed")));

        choose(2);
        acceptScannedDialog(prompts);
        window.showSaveExportDialog();
        const QString scanned = withLocalizedPdfSuffix(named(2) + QStringLiteral(".pdf"), QStringLiteral("scanned"));
        QCOMPARE(pdftools::listImages(scanned).size(), 2);
        QCOMPARE(pdftools::fontCount(scanned), 0);
        QCOMPARE(prompts.pending(), 0);

        // The list was shown in the interface's language.
        QCOMPARE(shownTypes.size(), 9);
        if (language != QLatin1String("ru"))
            QVERIFY2(shownTypes.first() != QStringLiteral("PDF документ (*.pdf)"), qPrintable(shownTypes.first()));
    }

    void textHasNoByteOrderMark()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 2);
        prompt::Driver prompts;
        answerFileDialog(prompts, QString(), dir.filePath(QStringLiteral("out.TXT")));
        window.onExportOcrText();
        const QByteArray bytes = fixtures::readFile(dir.filePath(QStringLiteral("out.TXT")));
        QVERIFY(bytes.contains("Page 2"));
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    }

    // Any numbered picture already there is asked about; "Отмена" writes none.
    void numberedOverwriteIsAsked()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 3);
        const QString second = writeFixture(dir, QStringLiteral("Scan_002.png"), "old");
        prompt::Driver prompts;
        answerFileDialog(prompts, QStringLiteral("Изображение PNG (*.png)"), dir.filePath(QStringLiteral("Scan.png")));
        acceptResolution(prompts, 72);
        QString asked;
        prompts.whenShown([&asked](QDialog* dialog) {
            asked = dialog->windowTitle();
            prompt::buttonWithText(dialog, QStringLiteral("Отмена"))->click();
        });
        window.showSaveExportDialog();
        QCOMPARE(asked, QStringLiteral("Сохранить как"));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("Scan_001.png"))));
        QCOMPARE(fixtures::readFile(second), QByteArray("old"));
    }

    // A name over an existing file: the question comes once the name that
    // is written is known (the save and export dialog's file dialog asks
    // nothing: its typed name is not always the file written; the text
    // export's asked about the name typed with its extension), "Отмена" and
    // Escape keep the file byte for byte, "Перезаписать" replaces it.
    // row: the place of the type in the dialog's list; -1 is the text export.
    void typedNameOverExistingFile_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("written");  // what the replaced file holds
        QTest::addColumn<QString>("answer");      // empty: the text export, the extension typed
        QTest::addColumn<bool>("extensionTyped");
        const QList<std::tuple<const char*, int, QString, QByteArray>> types{
            {"PDF", 0, "pdf", "%PDF-"}, {"HTML", 3, "html", "<!doctype html>"}, {"XHTML", 4, "xhtml", "<?xml"},
            {"TXT", 5, "txt", "Page 1"}, {"one-page PNG", 6, "png", "\x89PNG"}, {"text export", -1, "txt", "Page 1"}};
        for (const char* language : {"ru", "en"}) {
            for (const auto& [name, row, suffix, written] : types) {
                for (const char* answer : {"Перезаписать", "Отмена", "Escape"}) {
                    QTest::addRow("%s, %s, %s", language, name, answer)
                        << language << row << suffix << written << QString::fromUtf8(answer) << false;
                    if (row >= 0)
                        QTest::addRow("%s, %s, %s, typed with extension", language, name, answer)
                            << language << row << suffix << written << QString::fromUtf8(answer) << true;
                }
            }
            QTest::addRow("%s, text export, typed with extension", language)
                << language << -1 << "txt" << QByteArray("Page 1") << QString() << true;
        }
    }

    void typedNameOverExistingFile()
    {
        QFETCH(QString, language);
        QFETCH(int, row);
        QFETCH(QString, suffix);
        QFETCH(QByteArray, written);
        QFETCH(QString, answer);
        QFETCH(bool, extensionTyped);
        QSettings().setValue(QStringLiteral("ui/language"), language);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        const QString existing = writeFixture(dir, QStringLiteral("out/budget.") + suffix, "old");
        const QString typed = extensionTyped ? existing : dir.filePath(QStringLiteral("out/budget"));

        prompt::Driver prompts;
        prompts.skipWhen([](QDialog* dialog) { return dialog->findChild<QProgressBar*>() != nullptr; });
        prompts.whenShown([row, typed](QDialog* dialog) {
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            if (row >= 0 && types)
                types->setCurrentIndex(row);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
            dialog->done(QDialog::Accepted);
        });
        // Any later prompt: the resolution is accepted, a question noted and answered.
        QStringList asked;
        for (int i = 0; i < 2; ++i) {
            prompts.whenShown([&asked, answer](QDialog* dialog) {
                if (qobject_cast<QInputDialog*>(dialog)) {
                    dialog->accept();
                    return;
                }
                QLabel* text = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
                asked << (text ? text->text() : dialog->windowTitle());
                if (answer == QLatin1String("Escape"))
                    prompt::pressKey(dialog, Qt::Key_Escape);
                else if (QPushButton* button = prompt::buttonWithText(dialog, uiTranslate(answer)))
                    button->click();
                else
                    dialog->reject();
            });
        }
        if (row >= 0)
            window.showSaveExportDialog();
        else
            window.onExportOcrText();

        const QStringList question{uiTranslate(QStringLiteral("Файл уже существует. Перезаписать?"))};
        QCOMPARE(asked, answer.isEmpty() ? QStringList() : question);
        const QByteArray bytes = fixtures::readFile(existing);
        if (answer.isEmpty() || answer == QStringLiteral("Перезаписать"))
            QVERIFY2(bytes.contains(written), bytes.left(40).constData());
        else
            QCOMPARE(bytes, QByteArray("old"));
        QCOMPARE(fixtures::filesIn(dir.filePath(QStringLiteral("out"))), QStringList{QFileInfo(existing).fileName()});
    }

    // The proposed name kept, for a type that writes other names (the
    // scanned and compressed copies, numbered pictures): nothing is asked
    // about the file typed, which is never touched; the copy's own step
    // comes next.
    void copyNamesAskNothingAboutTheTypedFile_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("next");  // the class of the prompt that follows the file dialog
        QTest::newRow("scanned copy") << "Сканированный PDF (*.pdf)" << "ScannedPdfExportDialog";
        QTest::newRow("compressed copy") << "Сжатый PDF (*.pdf)" << "CompressedPdfExportDialog";
        QTest::newRow("numbered pictures") << "Изображение PNG (*.png)" << "QInputDialog";
    }

    void copyNamesAskNothingAboutTheTypedFile()
    {
        QFETCH(QString, filter);
        QFETCH(QString, next);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString path = showWithPdf(window, dir, 3);
        const QByteArray before = fixtures::readFile(path);
        prompt::Driver prompts;
        // Accepted as the user's click accepts it, so that a question of the
        // file dialog's own would come.
        prompts.whenShown([filter](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            if (!files) {
                dialog->reject();
                return;
            }
            files->selectNameFilter(filter);
            static_cast<QDialog*>(files)->accept();  // as its button does
            if (files->isVisible())
                files->reject();
        });
        QString shown;
        prompts.whenShown([&shown](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            shown = box ? QStringLiteral("QMessageBox: ") + box->text() : dialog->metaObject()->className();
            dialog->reject();
        });
        window.showSaveExportDialog();
        QTRY_COMPARE_WITH_TIMEOUT(prompts.pending(), 0, 20000);
        QCOMPARE(shown, next);
        QCOMPARE(fixtures::readFile(path), before);
    }

    // "Отмена" on the export's progress prompt, pressed once the first page
    // is reported: the pages written so far are taken away, over existing
    // numbered pictures every old one stays byte for byte, the open tab
    // stays as it was, and the next export runs in full.
    void cancelledExportLeavesNothing_data()
    {
        QTest::addColumn<bool>("overOldPictures");
        QTest::newRow("into an empty folder") << false;
        QTest::newRow("over old numbered pictures") << true;
    }

    void cancelledExportLeavesNothing()
    {
        QFETCH(bool, overOldPictures);
        setQuietTime(0);  // the prompt shows at once, while pages are still to come
        const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString path = showWithPdf(window, dir, 6);
        const QByteArray source = fixtures::readFile(path);
        PdfDocument* shown = window.currentDocument();
        const QStringList tabsBefore = tabTexts(window);
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        const QString target = dir.filePath(QStringLiteral("out/Scan.png"));
        QMap<QString, QByteArray> oldPictures;
        for (int page = 1; overOldPictures && page <= 6; ++page) {
            const QString name = QStringLiteral("out/Scan_%1.png").arg(page, 3, 10, QLatin1Char('0'));
            oldPictures[QFileInfo(name).fileName()] = "old picture " + QByteArray::number(page);
            writeFixture(dir, name, oldPictures[QFileInfo(name).fileName()]);
        }

        prompt::Driver prompts;
        answerFileDialog(prompts, QStringLiteral("Изображение PNG (*.png)"), target);
        acceptResolution(prompts, 600);  // slow pages: the cancel lands in the middle
        if (overOldPictures)
            prompts.clickButton(QStringLiteral("Перезаписать"));
        int reportedWhenCancelled = -1;
        int pagesOfTheBar = -1;
        prompts.whenShown([&](QDialog* dialog) {
            auto* bar = dialog->findChild<QProgressBar*>();
            QPushButton* cancel = prompt::buttonWithText(dialog, QStringLiteral("Отмена"));
            if (!bar || !cancel) {
                dialog->reject();
                return;
            }
            if (!QTest::qWaitFor([bar] { return bar->value() >= 1; }, 20000)) {
                dialog->reject();
                return;
            }
            reportedWhenCancelled = bar->value();
            pagesOfTheBar = bar->maximum();
            cancel->click();
        });
        window.showSaveExportDialog();
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(pagesOfTheBar, 6);
        QVERIFY2(reportedWhenCancelled >= 1 && reportedWhenCancelled < 6, qPrintable(QString::number(reportedWhenCancelled)));
        QCOMPARE(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList(oldPictures.keys()));
        for (auto old = oldPictures.cbegin(); old != oldPictures.cend(); ++old)
            QCOMPARE(fixtures::readFile(dir.filePath(QStringLiteral("out/") + old.key())), old.value());
        QCOMPARE(statusText(window), QStringLiteral("Экспорт отменён."));
        QCOMPARE(window.currentDocument(), shown);
        QCOMPARE(tabTexts(window), tabsBefore);
        QCOMPARE(shown->filePath(), path);
        QVERIFY(!shown->isModified());
        QCOMPARE(fixtures::readFile(path), source);

        setQuietTime(kQuietMs);
        answerFileDialog(prompts, QStringLiteral("Изображение PNG (*.png)"), target);
        acceptResolution(prompts, 72);
        if (overOldPictures)
            prompts.clickButton(QStringLiteral("Перезаписать"));
        window.showSaveExportDialog();
        QCOMPARE(prompts.pending(), 0);
        for (int page = 1; page <= 6; ++page) {
            const QString picture = dir.filePath(QStringLiteral("out/Scan_%1.png").arg(page, 3, 10, QLatin1Char('0')));
            QCOMPARE(QString::fromLatin1(QImageReader(picture).format()), QStringLiteral("png"));
        }
        QCOMPARE(window.currentDocument(), shown);
    }

    // Save as onto the file of another tab is refused: two tabs never show one file.
    void saveAsOntoAnotherTabIsRefused()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        const QString other = writePdf(dir, QStringLiteral("other.pdf"), 1);
        const QByteArray before = fixtures::readFile(other);
        window.openFile(other);
        window.openFile(writePdf(dir, QStringLiteral("three.pdf"), 3));
        prompt::Driver prompts;
        answerFileDialog(prompts, QStringLiteral("PDF документ (*.pdf)"), other);
        QString told;
        noteNotice(prompts, &told);
        window.showSaveExportDialog();
        QVERIFY(told.startsWith(QStringLiteral("Сохранить как|")));
        QCOMPARE(fixtures::readFile(other), before);
    }

    // Edits in the view reach a saved copy and an exported picture.
    void exportsShowPendingEdits()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        view(window)->setOcrBlocks({editedBlock()}, 0, true);
        prompt::Driver prompts;
        answerFileDialog(prompts, QStringLiteral("Изображение PNG (*.png)"), dir.filePath(QStringLiteral("p.png")));
        acceptResolution(prompts, 72);
        window.showSaveExportDialog();
        const QImage picture(dir.filePath(QStringLiteral("p.png")));
        QVERIFY(!picture.isNull());
        QVERIFY(inkIn(picture, QRect(60, 730, 320, 50)) > 50);

        view(window)->setOcrBlocks({editedBlock()}, 0, true);
        answerFileDialog(prompts, QStringLiteral("PDF документ (*.pdf)"), dir.filePath(QStringLiteral("copy.pdf")));
        window.showSaveExportDialog();
        QVERIFY(savedText(dir.filePath(QStringLiteral("copy.pdf")), 0).contains(QStringLiteral("EDITED")));
    }

    // Ctrl+Shift+S and Ctrl+P open their windows on every desktop, also
    // where the platform gives Save As no standard key.
    void keysOpenTheWindows()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        showActive(window);
        prompt::Driver prompts;
        QString title;
        prompts.whenShown([&title](QDialog* dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        });
        QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(title, QStringLiteral("Сохранить как / Экспорт"));
        showActive(window);
        QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
        QTRY_VERIFY(window.findChild<PrintDialog*>());
    }

    void shellRefusals_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("notice");
        QTest::newRow("merge: duplicate and unsupported") << "merge" << QStringList{"a.pdf", "a.pdf", "b.docx"}
                                                         << "Объединение PDF";
        QTest::newRow("merge: missing files") << "merge" << QStringList{"a.pdf", "gone.pdf"} << "Объединение PDF";
        QTest::newRow("compress: two PDFs") << "compress" << QStringList{"a.pdf", "c.PDF"} << "Сжать PDF";
        QTest::newRow("compress: a text file") << "compress" << QStringList{"doc.txt"} << "Сжать PDF";
        QTest::newRow("sign: no PDF content") << "sign" << QStringList{"fake.pdf", "late.bin"} << "Подписать PDF";
        QTest::newRow("sign: a folder") << "sign" << QStringList{"folder"} << "Подписать PDF";
    }

    void shellRefusals()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, names);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        writePdf(dir, QStringLiteral("a.pdf"), 1);
        writePdf(dir, QStringLiteral("c.PDF"), 1);
        writeFixture(dir, QStringLiteral("b.docx"), "PK");
        writeFixture(dir, QStringLiteral("doc.txt"), "%PDF-1.4 but text");
        writeFixture(dir, QStringLiteral("fake.pdf"), "plain text");
        writeFixture(dir, QStringLiteral("late.bin"), QByteArray(2044, ' ') + "%PDF-1.7");
        QDir(dir.path()).mkdir(QStringLiteral("folder"));
        QList<QString> files;
        for (const QString& name : names)
            files << dir.filePath(name);
        MainWindow window(AppProduct::editor);
        prompt::Driver prompts;
        QString told;
        noteNotice(prompts, &told);
        window.runShellAction(action, files, false);
        QCOMPARE(told.section(QLatin1Char('|'), 0, 0), notice);
    }

    // "%PDF-" counts within the first 2048 bytes, whatever the name.
    void signSniffsContent_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("pdf");
        QTest::newRow("at 0") << 0 << true;
        QTest::newRow("at 2043") << 2043 << true;
        QTest::newRow("at 2044") << 2044 << false;
    }

    void signSniffsContent()
    {
        QFETCH(int, offset);
        QFETCH(bool, pdf);
        QTemporaryDir dir;
        const QString file = writeFixture(dir, QStringLiteral("contract.bin"), QByteArray(offset, ' ') + "%PDF-1.7\n");
        MainWindow window(AppProduct::editor);
        prompt::Driver prompts;
        QString told;
        noteNotice(prompts, &told);
        window.runShellAction(QStringLiteral("sign"), {file}, false);
        // A PDF goes on to signing (opening this stand-in may fail on its own).
        if (!pdf)
            QTRY_VERIFY_WITH_TIMEOUT(told.startsWith(QStringLiteral("Подписать PDF|")), 30000);
        else
            QTest::qWait(20);
        QCOMPARE(told.startsWith(QStringLiteral("Подписать PDF|")), !pdf);
    }

    // Accepted, compress opens the file and the compressed dialog on it.
    void compressOpensTheDialog()
    {
        QTemporaryDir dir;
        const QString file = writePdf(dir, QStringLiteral("REPORT.PDF"), 1);
        MainWindow window(AppProduct::editor);
        prompt::Driver prompts;
        QString title;
        prompts.whenShown([&title](QDialog* dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        });
        window.runShellAction(QStringLiteral("compress"), {file, file}, false);
        QTRY_VERIFY(!title.isEmpty());
        QCOMPARE(window.currentDocument()->filePath(), file);
    }
};

QTEST_MAIN(SaveExportTest)
#include "tst_saveexport.moc"
