// Workbooks imported as pages: where the pages go, at what size, and what a
// cancelled, empty or oversized import leaves and says.
#include "PromptDriver.h"
#include "QuietWait.h"
#include "WindowTestSupport.h"

#include "XlsxFixtures.h"
#include "XlsxImportDialog.h"
#include "XlsxPreviewWidget.h"
#include "WorkProgressDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScopeGuard>

using namespace windowtest;

namespace {

QString workbook(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/xlsx/") + name;
}

// "1", "2", ... for the fixture's "Page N" pages, "" for a sheet's page.
QStringList pageLabels(PdfDocument* doc)
{
    QStringList labels;
    for (int i = 0; i < doc->pageCount(); ++i) {
        const QString text = doc->extractAllText(i).trimmed();
        labels << (text.startsWith(QStringLiteral("Page ")) ? text.mid(5) : QString());
    }
    return labels;
}

// The import dialog, after before() had its way with it, accepted.
void importWith(prompt::Driver& prompts, const std::function<void(XlsxImportDialog*)>& before = {})
{
    prompts.whenShown([before](QDialog* dialog) {
        auto* sheet = qobject_cast<XlsxImportDialog*>(dialog);
        if (!sheet) {
            dialog->reject();
            return;
        }
        if (before)
            before(sheet);
        if (QPushButton* button = prompt::buttonWithText(dialog, QStringLiteral("Импортировать")))
            button->click();
        else
            dialog->reject();
    });
}

} // namespace

class SpreadsheetImportTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup() { m_window.reset(); }

    void positions_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("end") << 0 << QStringList{"1", "2", "3", "", ""};
        QTest::newRow("after the current page") << 1 << QStringList{"1", "2", "", "", "3"};
        QTest::newRow("before the current page") << 2 << QStringList{"1", "", "", "2", "3"};
    }

    void positions()
    {
        QFETCH(int, position);
        QFETCH(QStringList, expected);
        MainWindow& window = openWindow(3);
        view(window)->setCurrentPage(1);
        prompt::Driver prompts;
        importWith(prompts);
        QString error;
        QVERIFY(window.importFile(workbook("lo-rows100.xlsx"), position, &error));
        PdfDocument* doc = window.currentDocument();
        QCOMPARE(pageLabels(doc), expected);
        for (int i = 0; i < doc->pageCount(); ++i) {
            const QSizeF size = doc->pageSize(i);
            QVERIFY(qAbs(size.width() - 595) < 0.01 && qAbs(size.height() - 842) < 0.01);
        }
        QVERIFY(window.findChildren<XlsxImportDialog*>().isEmpty());
    }

    // Landscape pages come in at the landscape size.
    void landscapePages()
    {
        MainWindow& window = openWindow(1);
        prompt::Driver prompts;
        importWith(prompts, [](XlsxImportDialog* dialog) {
            for (QRadioButton* button : dialog->findChildren<QRadioButton*>())
                if (button->text() == QStringLiteral("Альбомная"))
                    button->click();
        });
        QVERIFY(window.importFile(workbook("lo-rows100.xlsx"), 0));
        PdfDocument* doc = window.currentDocument();
        QCOMPARE(doc->pageCount(), 4);
        QVERIFY(qAbs(doc->pageSize(3).width() - 842) < 0.01 && qAbs(doc->pageSize(3).height() - 595) < 0.01);
    }

    // A cancelled dialog adds nothing and says nothing, from every entry.
    void cancelIsSilent()
    {
        MainWindow& window = openWindow(2);
        prompt::Driver prompts;
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        QString error;
        QVERIFY(!window.importFile(workbook("lo-rows100.xlsx"), 0, &error));
        QCOMPARE(error, QString());
        QCOMPARE(window.currentDocument()->pageCount(), 2);

        prompt::chooseFile(prompts, workbook("lo-rows100.xlsx"));
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        QString noted;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);
        window.onImportPageRequested(1);
        QTest::qWait(50);
        QCOMPARE(noted, QString());
        QCOMPARE(prompts.pending(), 1);
        QCOMPARE(window.currentDocument()->pageCount(), 2);
        QVERIFY(!window.currentDocument()->isModified());
    }

    // A workbook that gives no page says why, not what the document last failed at.
    void noPageGivesTheReason()
    {
        MainWindow& window = openWindow(2);
        QVERIFY(!window.importFile(m_dir.filePath(QStringLiteral("missing.pdf")), 0)); // a stale last error
        const QString empty = m_dir.filePath(QStringLiteral("empty.xlsx"));
        QVERIFY(writeZip(empty, minimalXlsx("<sheetData/>")));
        prompt::Driver prompts;
        prompt::chooseFile(prompts, empty);
        importWith(prompts);
        QString noted;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);
        window.onImportPageRequested(0);
        QTRY_COMPARE(noted, QStringLiteral("Ошибки импорта|Не удалось импортировать:\nempty.xlsx: В книге нет данных для импорта."));
        QCOMPARE(window.currentDocument()->pageCount(), 2);
    }

    // More pages than the bound: refused with a notice before any page is added.
    void tooManyPagesAreRefused()
    {
        MainWindow& window = openWindow(1);
        QByteArray rows;
        for (int r = 1; r <= 700; ++r)
            rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>1</v></c></row>";
        const QString path = m_dir.filePath(QStringLiteral("many.xlsx"));
        QVERIFY(writeZip(path, minimalXlsx("<sheetData>" + rows + "</sheetData>")));
        prompt::Driver prompts;
        importWith(prompts, [](XlsxImportDialog* dialog) {
            QList<int>& breaks = dialog->findChild<XlsxPreviewWidget*>()->breaks;
            breaks.clear();
            for (int r = 2; r <= 601; ++r)
                breaks << r;
        });
        QString noted;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);
        QString error;
        QVERIFY(!window.importFile(path, 0, &error));
        QCOMPARE(noted, QStringLiteral("Импорт Excel|Слишком много страниц для импорта: 601."));
        QCOMPARE(error, QString());
        QCOMPARE(window.currentDocument()->pageCount(), 1);

        // At the bound itself the pages come.
        importWith(prompts, [](XlsxImportDialog* dialog) {
            QList<int>& breaks = dialog->findChild<XlsxPreviewWidget*>()->breaks;
            breaks = {100, 200};
        });
        QVERIFY(window.importFile(path, 0));
        QCOMPARE(window.currentDocument()->pageCount(), 4);
    }

    // Cancelling while the pages are drawn leaves the document as it was,
    // not even marked modified: the pages come in only once all are drawn.
    void cancelWhileDrawing()
    {
        MainWindow& window = openWindow(1);
        setQuietTime(0);  // the prompt shows however fast the pages are drawn
        const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
        QByteArray rows;
        for (int r = 1; r <= 4000; ++r) {
            const QByteArray n = QByteArray::number(r);
            rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>строка " + n +
                    "</t></is></c><c r=\"B" + n + "\"><v>" + n + ".5</v></c></row>";
        }
        const QString path = m_dir.filePath(QStringLiteral("long.xlsx"));
        QVERIFY(writeZip(path, minimalXlsx("<sheetData>" + rows + "</sheetData>")));
        prompt::Driver prompts;
        importWith(prompts, [](XlsxImportDialog* dialog) {
            dialog->findChild<XlsxPreviewWidget*>()->breaks = {1000, 2000, 3000};
        });
        prompts.whenShown([](QDialog* dialog) {
            QVERIFY(dynamic_cast<WorkProgressDialog*>(dialog));
            dialog->reject();
        });
        QString error;
        QVERIFY(!window.importFile(path, 0, &error));
        QCOMPARE(error, QString());
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(window.currentDocument()->pageCount(), 1);
        QVERIFY(!window.currentDocument()->isModified());
    }

    void pageCountIsWhatTheImportAdds_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<int>("sheet");     // shown in the preview
        QTest::addColumn<int>("paper");     // index in the paper list
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<QList<int>>("moved"); // breaks of the shown sheet, when moved
        // The register's journal runs to several pages while the shown
        // sheet takes one; of the three sheets (10, 100 and 10 rows) the
        // second is two pages long.
        QTest::newRow("register") << "openpyxl-register.xlsx" << 0 << 0 << false << QList<int>();
        QTest::newRow("register, journal shown") << "openpyxl-register.xlsx" << 1 << 0 << false << QList<int>();
        QTest::newRow("three sheets") << "lo-three-sheets.xlsx" << 0 << 0 << false << QList<int>();
        QTest::newRow("three sheets, landscape") << "lo-three-sheets.xlsx" << 0 << 0 << true << QList<int>();
        QTest::newRow("three sheets, A3") << "lo-three-sheets.xlsx" << 2 << 1 << false << QList<int>();
        QTest::newRow("three sheets, breaks moved") << "lo-three-sheets.xlsx" << 1 << 0 << false << QList<int>{40, 70};
    }

    // The dialog's "Страниц:" counts the pages of every sheet it imports, not
    // only the shown one, as the options and the breaks now stand.
    void pageCountIsWhatTheImportAdds()
    {
        QFETCH(QString, book);
        QFETCH(int, sheet);
        QFETCH(int, paper);
        QFETCH(bool, landscape);
        QFETCH(QList<int>, moved);
        MainWindow& window = openWindow(1);
        prompt::Driver prompts;
        int shown = -1;
        int previewed = -1;
        importWith(prompts, [&](XlsxImportDialog* dialog) {
            dialog->findChild<QComboBox*>()->setCurrentIndex(paper);
            for (QRadioButton* orientation : dialog->findChildren<QRadioButton*>()) {
                if (landscape && orientation->text() == QStringLiteral("Альбомная"))
                    orientation->click();
            }
            dialog->findChild<QListWidget*>()->setCurrentRow(sheet);
            XlsxPreviewWidget* preview = dialog->findChild<XlsxPreviewWidget*>();
            if (!moved.isEmpty()) {
                preview->breaks = moved;
                emit preview->pageBreaksChanged();
            }
            previewed = preview->pageCount();
            for (const QLabel* label : dialog->findChildren<QLabel*>()) {
                if (label->text().startsWith(QStringLiteral("Страниц: ")))
                    shown = label->text().mid(9).toInt();
            }
        });
        QString error;
        const int added = window.appendSpreadsheetPages(*window.currentDocument(), workbook(book), &error);
        QCOMPARE(prompts.pending(), 0);
        QVERIFY2(added > 0, qPrintable(error));
        QCOMPARE(shown, added);
        QVERIFY2(added > previewed, qPrintable(QStringLiteral("the shown sheet alone: %1").arg(previewed)));
        QCOMPARE(window.currentDocument()->pageCount(), 1 + added);
    }

    // The page tools' entry: pages appended to a document of their own.
    void appendToAnotherDocument()
    {
        MainWindow& window = openWindow(2);
        PdfDocument other;
        QVERIFY(other.createEmpty());
        prompt::Driver prompts;
        importWith(prompts);
        QString error;
        // Sheets of 10, 100 and 10 rows: the second is two pages long.
        QCOMPARE(window.appendSpreadsheetPages(other, workbook("lo-three-sheets.xlsx"), &error), 4);
        QCOMPARE(other.pageCount(), 4);
        QCOMPARE(window.currentDocument()->pageCount(), 2);
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        QCOMPARE(window.appendSpreadsheetPages(other, workbook("lo-three-sheets.xlsx"), &error), MainWindow::kImportSkipped);
        QCOMPARE(other.pageCount(), 4);
    }

private:
    MainWindow& openWindow(int pages)
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showWithPdf(*m_window, m_dir, pages);
        return *m_window;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(SpreadsheetImportTest)
#include "tst_spreadsheetimport.moc"
