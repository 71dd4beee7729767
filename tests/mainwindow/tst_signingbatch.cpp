// The batch after a first signed file, with stand-in children: the question,
// the progress, the lines of the final message and closing mid-batch.
#include "EngineBlocker.h"
#include "LargePdf.h"
#include "SigningTestSupport.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QSettings>

using namespace signtest;

namespace {

// The stand-in's signing step for the file named b.pdf or c.pdf is other;
// every other file is signed.
QString signFurther(const QString& other)
{
    return QStringLiteral("case \"$in\" in */b.pdf|*/c.pdf) %1 ;; *) %2 ;; esac").arg(other, signOk());
}

// Once pressed, the signature dialog is in front again, busy, between the
// batch's prompts: it takes no answer.
void skipBusyDialog(prompt::Driver& prompts, const QPointer<SignatureDialog>* dialog)
{
    prompts.skipWhen([dialog](QDialog* d) { return *dialog && d == dialog->data(); });
}

// The text between "title|" and the end, split into lines.
QStringList linesOf(const QString& noted)
{
    return noted.section(QLatin1Char('|'), 1).split(QLatin1Char('\n'));
}

} // namespace

class TestSigningBatch : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Bench> bench;
    QStringList files;

    // Signs a.pdf with b.pdf and c.pdf as the batch; the question is answered
    // with answer. Returns the prompts seen ("title|text").
    QStringList runBatch(MainWindow& window, const QString& answer, QStringList* statusTexts = nullptr,
                         QString* outputAtEnd = nullptr)
    {
        prompt::Driver prompts;
        QStringList noted;
        QPointer<SignatureDialog> dialog;
        pressSign(prompts, {}, &dialog);
        skipBusyDialog(prompts, &dialog);
        note(prompts, &noted, answer);
        prompts.whenShown([&](QDialog* d) {
            noted << promptText(d);
            if (outputAtEnd && dialog)
                *outputAtEnd = dialog->inputs().outputPath;
            d->accept();
        });
        QTimer poll;
        if (statusTexts) {
            QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
                const QString text = windowtest::statusText(window);
                if (statusTexts->isEmpty() || statusTexts->last() != text)
                    *statusTexts << text;
            });
            poll.start(5);
        }
        window.showSignatureDialog(false, files, {}, files.first());
        return noted;
    }

    // Signs batch in mode 3, the further files agreed to; the prompts seen.
    QStringList runStampedBatch(MainWindow& window, const QStringList& batch)
    {
        prompt::Driver prompts;
        QStringList noted;
        QPointer<SignatureDialog> dialog;
        pressSign(prompts, [](SignatureDialog* d) { modeBox(d)->setCurrentIndex(3); }, &dialog);
        skipBusyDialog(prompts, &dialog);
        note(prompts, &noted, QStringLiteral("Подписать остальные"));
        note(prompts, &noted);
        window.showSignatureDialog(false, batch, {}, batch.first());
        return noted;
    }

    // The names of the files the signing children were given, in order.
    QStringList signedInputs() const
    {
        QStringList inputs;
        for (const Call& call : bench->calls()) {
            if (call.kind == QLatin1String("sign"))
                inputs << QFileInfo(call.input).fileName();
        }
        return inputs;
    }

private slots:
    void initTestCase() { bench = std::make_unique<Bench>(); }

    void init()
    {
        bench->reset();
        files = {bench->pdf(QStringLiteral("a.pdf")), bench->pdf(QStringLiteral("b.pdf")),
                 bench->pdf(QStringLiteral("c.pdf"))};
    }

    void cleanupTestCase() { bench.reset(); }

    // Accepted: the further files are signed beside themselves (an existing
    // signature keeps its name), progress counts the first file as 1, and
    // the dialog's output stays the first file's.
    void threeFiles()
    {
        windowtest::writeFixture(bench->files, QStringLiteral("b.pdf.sig"), "earlier");
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signFurther("sleep 0.2; " + signOk())));
        QStringList statusTexts;
        QString output;
        const QStringList noted = runBatch(window, QStringLiteral("Подписать остальные"), &statusTexts, &output);
        QCOMPARE(noted.size(), 2);
        QCOMPARE(noted[0], QStringLiteral("Подписание документов|Первый файл подписан. Подписать остальные файлы (2) с "
                                          "теми же настройками?"));
        const QStringList lines = linesOf(noted[1]);
        QVERIFY2(noted[1].startsWith(QStringLiteral("Подпись создана|")), qPrintable(noted[1]));
        QCOMPARE(lines.value(2), QStringLiteral("Дополнительно подписано файлов: 2."));
        QVERIFY(!noted[1].contains(QStringLiteral("Не удалось")));
        QVERIFY(statusTexts.contains(QStringLiteral("Подписание файла 2 из 3")));
        QVERIFY(statusTexts.indexOf(QStringLiteral("Подписание файла 2 из 3"))
                < statusTexts.indexOf(QStringLiteral("Подписание файла 3 из 3")));
        QCOMPARE(windowtest::statusText(window), QStringLiteral("Подписание файла 3 из 3"));
        QCOMPARE(output, bench->path(QStringLiteral("a.pdf.sig")));

        QStringList outputs;
        for (const Call& call : bench->calls()) {
            if (call.kind == QLatin1String("sign"))
                outputs << QFileInfo(call.output).fileName();
            // Each further file's request is private too, and gone afterwards.
            QVERIFY2(call.arguments.endsWith(QStringLiteral(" --vorn-product=editor")), qPrintable(call.arguments));
            QCOMPARE(call.marker, QStringLiteral("1"));
            QCOMPARE(call.modes, QStringLiteral("600 700"));
            QVERIFY(!QFileInfo::exists(call.folder));
        }
        QCOMPARE(outputs, (QStringList{"a.pdf.sig", "b.pdf (1).sig", "c.pdf.sig"}));
        QCOMPARE(fixtures::readFile(bench->path(QStringLiteral("b.pdf.sig"))), QByteArray("earlier"));
        QCOMPARE(bench->kinds().count(QStringLiteral("describe")), 1);
        const QJsonArray journal = bench->journal();
        QCOMPARE(journal.size(), 3);
        QCOMPARE(journal.at(2)[QStringLiteral("fileName")].toString(), QStringLiteral("c.pdf"));
        QCOMPARE(journal.at(2)[QStringLiteral("certificateSubject")].toString(), QStringLiteral("CN=Test Signer,O=Vorn"));
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    void declined()
    {
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        const QStringList noted = runBatch(window, QStringLiteral("Не подписывать"));
        QCOMPARE(noted.size(), 2);
        QCOMPARE(linesOf(noted[1]).value(2), QStringLiteral("Остальные PDF не подписывались по выбору пользователя."));
        QVERIFY(!noted[1].contains(QStringLiteral("Дополнительно")));
        QCOMPARE(bench->kinds(), (QStringList{"describe", "sign"}));
        QCOMPARE(bench->journal().size(), 1);
    }

    // Every further file failing: one bullet each, no count of further
    // signatures. The child's answer is read as the single run reads it:
    // its refusal's reason, whatever its exit code, else its standard error.
    void furtherFilesFail_data()
    {
        QTest::addColumn<QString>("sign");
        QTest::addColumn<QString>("error");
        const QString fallback = QStringLiteral("Подписание завершилось с ошибкой.");
        QTest::newRow("exit 5, its reason, a message")
            << "echo '{\"ok\":false,\"error\":\"JSON-ошибка\"}'; echo ' нет доступа ' >&2; exit 5" << "JSON-ошибка";
        QTest::newRow("exit 5, its reason") << "echo '{\"ok\":false,\"error\":\"PDF уже содержит AcroForm.\"}'; exit 5"
                                            << "PDF уже содержит AcroForm.";
        QTest::newRow("exit 5, no answer, a message") << "echo ' нет доступа ' >&2; exit 5" << "нет доступа";
        QTest::newRow("exit 5, silent") << "exit 5" << fallback;
        QTest::newRow("result not ok") << "echo '{\"ok\":false,\"error\":\"Ключ отозван\"}'" << "Ключ отозван";
        QTest::newRow("result not ok, no error") << "echo '{\"ok\":false}'" << fallback;
        QTest::newRow("not JSON") << "echo hello" << fallback;
        QTest::newRow("crash") << "kill -SEGV $$" << "Криптопровайдер аварийно завершил подписание.";
    }

    void furtherFilesFail()
    {
        QFETCH(QString, sign);
        QFETCH(QString, error);
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signFurther(sign)));
        const QStringList noted = runBatch(window, QStringLiteral("Подписать остальные"));
        QCOMPARE(noted.size(), 2);
        const QStringList lines = linesOf(noted[1]);
        QCOMPARE(lines.mid(2, 3), (QStringList{QStringLiteral("Не удалось подписать:"),
                                               QStringLiteral("• b.pdf — ") + error, QStringLiteral("• c.pdf — ") + error}));
        QVERIFY(!noted[1].contains(QStringLiteral("Дополнительно")));
        QCOMPARE(bench->journal().size(), 1);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // Closing the dialog while a further file is signed kills its child and
    // ends the batch: no further child and no scratch; a message says how
    // many files were signed, names those the stop left unsigned, and those
    // refused before it with their reasons.
    void closeDuringBatch_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QString>("refused");  // how b.pdf is refused, before c.pdf is stopped; empty: none
        QTest::addColumn<QString>("told");
        const QString stopped = QStringLiteral("Подписание|Подписание остановлено: подписано файлов 1 из 3. Не подписаны:\n"
                                               "• b.pdf\n• c.pdf");
        QTest::newRow("detached, closed") << 0 << false << "" << stopped;
        QTest::newRow("attached, Escape") << 1 << true << "" << stopped;
        const QString refusedThenStopped =
            QStringLiteral("Подписание|Подписание остановлено: подписано файлов 1 из 4. Не подписаны:\n• c.pdf\n• d.pdf\n"
                           "Не удалось подписать:\n• b.pdf — %1");
        QTest::newRow("detached, a file refused before, closed")
            << 0 << false << "key" << refusedThenStopped.arg(QStringLiteral("Ключ отозван"));
        QTest::newRow("stamped, a damaged file before, Escape")
            << 3 << true << "damaged"
            << refusedThenStopped.arg(QStringLiteral("PDF повреждён, и программы просмотра могут показать его "
                                                     "по-разному: PDF со штампом не создан. Сохраните документ "
                                                     "заново и подпишите сохранённый файл."));
    }

    void closeDuringBatch()
    {
        QFETCH(int, mode);
        QFETCH(bool, escape);
        QFETCH(QString, refused);
        QFETCH(QString, told);
        const QString pidFile = bench->path(QStringLiteral("pid"));
        const QString endFile = bench->path(QStringLiteral("ended"));  // the child's own end: never reached
        const QString sleeper = QStringLiteral("echo $$ > '%1'; sleep 30 && touch '%2'").arg(pidFile, endFile);
        MainWindow window(AppProduct::editor);
        QString program = bench->standIn(describeOk(), signFurther(sleeper));
        if (!refused.isEmpty()) {
            files << bench->pdf(QStringLiteral("d.pdf"));
            if (refused == QLatin1String("damaged")) {
                QFile::remove(files.at(1));
                QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_DATA "/damaged/groff-trailer-nosize.pdf"), files.at(1)));
            }
            program = bench->standIn(describeOk(),
                                     QStringLiteral("case \"$in\" in */b.pdf) echo '{\"ok\":false,\"error\":\"Ключ "
                                                    "отозван\"}' ;; */c.pdf|*/c_*) %1 ;; *) %2 ;; esac")
                                         .arg(sleeper, signOk()));
        }
        window.setSigningWorkerProgram(program);
        prompt::Driver prompts;
        QStringList noted;
        QPointer<SignatureDialog> dialog;
        QString pid;
        pressSign(prompts, [mode](SignatureDialog* d) { modeBox(d)->setCurrentIndex(mode); }, &dialog);
        skipBusyDialog(prompts, &dialog);
        prompts.whenShown([&](QDialog* question) {
            prompt::buttonWithText(question, QStringLiteral("Подписать остальные"))->click();
            whenWritten(pidFile, &window, [&](const QString& line) {
                pid = line;
                QVERIFY(dialog);
                if (escape)
                    QTest::keyClick(dialog.data(), Qt::Key_Escape);
                else
                    dialog->reject();
            });
        });
        note(prompts, &noted);
        window.showSignatureDialog(false, files, {}, files.first());
        QVERIFY(!QFileInfo::exists(endFile));  // the close did not wait for the child to end
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 30000);
        QCOMPARE(noted, QStringList{told});
        QVERIFY2(processGone(pid), qPrintable(pid));
        if (refused.isEmpty())
            QCOMPARE(bench->kinds(), (QStringList{"describe", "sign", "sign"}));
        QCOMPARE(bench->journal().size(), 1);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // Stopped while a further file is signed in mode 3: that file's stamped
    // copy and begun signature go, the first file's stay; the child's
    // temporary files go with its scratch.
    void stopStampedBatch()
    {
        const QString pidFile = bench->path(QStringLiteral("pid"));
        MainWindow window(AppProduct::editor);
        // The stamped copy of b.pdf is signed by a child that does not end.
        window.setSigningWorkerProgram(bench->standIn(
            describeOk(), QStringLiteral("case \"$in\" in */b_*) printf partial > \"$out\"; echo x > \"$TMPDIR/left.bin\"; "
                                         "echo $$ > '%1'; exec sleep 30 ;; *) %2 ;; esac")
                              .arg(pidFile, signOk())));
        prompt::Driver prompts;
        QStringList noted;
        QPointer<SignatureDialog> dialog;
        QString pid;
        QString begun;
        pressSign(prompts, [](SignatureDialog* d) { modeBox(d)->setCurrentIndex(3); }, &dialog);
        skipBusyDialog(prompts, &dialog);
        prompts.whenShown([&](QDialog* question) {
            prompt::buttonWithText(question, QStringLiteral("Подписать остальные"))->click();
            whenWritten(pidFile, &window, [&](const QString& line) {
                pid = line;
                begun = bench->calls().constLast().output;
                QCOMPARE(QFileInfo(begun).fileName(), QStringLiteral("b_подписан.pdf.sig"));
                QVERIFY(QFileInfo::exists(begun));
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(dialog.data(), &escape);
            });
        });
        note(prompts, &noted);
        window.showSignatureDialog(false, files, {}, files.first());
        QVERIFY(dialog.isNull());
        QCOMPARE(noted, (QStringList{QStringLiteral("Подписание|Подписание остановлено: подписано файлов 1 из 3. Не подписаны:\n"
                                                     "• b.pdf\n• c.pdf")}));
        QVERIFY2(processGone(pid), qPrintable(pid));
        QVERIFY(stagedFor(begun, bench->path(QStringLiteral("b_подписан.pdf.sig"))));
        for (const char* gone : {"b_подписан.pdf", "b_подписан.pdf.sig", "c_подписан.pdf"})
            QVERIFY2(!QFileInfo::exists(bench->path(QString::fromUtf8(gone))), gone);
        for (const char* kept : {"a_подписан.pdf", "a_подписан.pdf.sig"})
            QVERIFY2(QFileInfo::exists(bench->path(QString::fromUtf8(kept))), kept);
        QCOMPARE(bench->journal().size(), 1);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // Mode 3, a further file failing to sign: its stamped copy and begun
    // signature go, the other files' pairs stay, and a copy that was there
    // under the stamped name before the batch is not touched.
    void failedStampedFileLeavesNothing_data()
    {
        QTest::addColumn<QString>("sign");
        QTest::addColumn<QString>("error");
        QTest::newRow("refused with its reason")
            << "printf partial > \"$out\"; echo '{\"ok\":false,\"error\":\"Ключ отозван\"}'" << "Ключ отозван";
        QTest::newRow("crashed") << "printf partial > \"$out\"; kill -SEGV $$"
                                 << "Криптопровайдер аварийно завершил подписание.";
        QTest::newRow("success without its file")
            << "echo '{\"ok\":true,\"outputPath\":\"/nonexistent/b.sig\"}'"
            << "Процесс подписи сообщил об успехе, но файла результата нет: /nonexistent/b.sig";
    }

    void failedStampedFileLeavesNothing()
    {
        QFETCH(QString, sign);
        QFETCH(QString, error);
        const QString earlier = windowtest::writeFixture(bench->files, QStringLiteral("b_подписан.pdf"), "earlier");
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(
            describeOk(), QStringLiteral("case \"$in\" in */b_*) %1 ;; *) %2 ;; esac").arg(sign, signOk())));
        const QStringList noted = runStampedBatch(window, files);
        QCOMPARE(noted.size(), 2);
        const QStringList lines = linesOf(noted[1]);
        QVERIFY2(lines.contains(QStringLiteral("• b.pdf — ") + error), qPrintable(noted[1]));
        QVERIFY2(lines.contains(QStringLiteral("Дополнительно подписано файлов: 1.")), qPrintable(noted[1]));
        QCOMPARE(signedInputs(), (QStringList{"a_подписан.pdf", "b_подписан (1).pdf", "c_подписан.pdf"}));
        for (const char* gone : {"b_подписан (1).pdf", "b_подписан (1).pdf.sig"})
            QVERIFY2(!QFileInfo::exists(bench->path(QString::fromUtf8(gone))), gone);
        for (const char* kept : {"a_подписан.pdf", "a_подписан.pdf.sig", "c_подписан.pdf", "c_подписан.pdf.sig"})
            QVERIFY2(QFileInfo::exists(bench->path(QString::fromUtf8(kept))), kept);
        QCOMPARE(fixtures::readFile(earlier), QByteArray("earlier"));
        QCOMPARE(bench->journal().size(), 2);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // Stopped while a further file's stamped copy is made on its thread: the
    // window answers at once, no child signs that file, and once the
    // preparation has ended its copy is gone.
    void stopWhileStamping()
    {
        const QString large = bench->path(QStringLiteral("large.pdf"));
        QVERIFY(largepdf::writePicturePages(large, 300, 230));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        prompt::Driver prompts;
        QStringList noted;
        QPointer<SignatureDialog> dialog;
        bool answeredAtOnce = false;
        pressSign(prompts, [](SignatureDialog* d) { modeBox(d)->setCurrentIndex(3); }, &dialog);
        skipBusyDialog(prompts, &dialog);
        prompts.whenShown([&](QDialog* question) {
            prompt::buttonWithText(question, QStringLiteral("Подписать остальные"))->click();
            auto* poll = new QTimer(&window);
            QObject::connect(poll, &QTimer::timeout, &window, [&, poll] {
                auto* bar = dialog ? dialog->findChild<QProgressBar*>() : nullptr;
                if (!bar || !bar->isVisible() || bar->value() < 400)
                    return;
                poll->stop();
                // The stamping cannot go on while the engine is held: a stop
                // that waited for it would come back once the engine is free.
                const EngineBlocker engine;
                dialog->reject();
                answeredAtOnce = engine.holding();
            });
            poll->start(1);
        });
        note(prompts, &noted);
        window.showSignatureDialog(false, {files.first(), large}, {}, files.first());
        QVERIFY(dialog.isNull());
        QCOMPARE(noted, (QStringList{QStringLiteral("Подписание|Подписание остановлено: подписано файлов 1 из 2. Не "
                                                    "подписаны:\n• large.pdf")}));
        QVERIFY(answeredAtOnce);
        QCOMPARE(bench->kinds(), (QStringList{"describe", "sign"}));
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(bench->path(QStringLiteral("large_подписан.pdf"))), 20000);
        QVERIFY(QFileInfo::exists(bench->path(QStringLiteral("a_подписан.pdf.sig"))));
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // Mode 3: each further file gets its own stamped copy, and an existing
    // one beside it is kept.
    void stampedFurtherFiles()
    {
        const QString earlier = windowtest::writeFixture(bench->files, QStringLiteral("b_подписан.pdf"), "earlier");
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        const QStringList noted = runStampedBatch(window, files.mid(0, 2));
        QCOMPARE(noted.size(), 2);
        QCOMPARE(linesOf(noted[1]).value(3), QStringLiteral("Дополнительно подписано файлов: 1."));
        QCOMPARE(fixtures::readFile(earlier), QByteArray("earlier"));
        QCOMPARE(signedInputs(), (QStringList{"a_подписан.pdf", "b_подписан (1).pdf"}));
        // Each signature is named after the stamped copy it signs.
        for (const Call& call : bench->calls()) {
            if (call.kind == QLatin1String("sign"))
                QCOMPARE(call.output, call.input + QStringLiteral(".sig"));
        }
        PdfDocument stamped;
        QVERIFY(stamped.open(bench->path(QStringLiteral("b_подписан (1).pdf"))));
        // The stamped copy was opened (ribbon road, a stamped first file).
        QCOMPARE(window.currentDocument()->filePath(), bench->path(QStringLiteral("a_подписан.pdf")));
    }
};

QTEST_MAIN(TestSigningBatch)
#include "tst_signingbatch.moc"
