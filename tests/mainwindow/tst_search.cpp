// Search over the active document: the result list, stepping and wrapping,
// the dialog's table and its controls.
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include "QuietWait.h"
#include "SearchDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>

using namespace windowtest;

namespace {

// Ten pages; "Lorem" (once each) on the 1-based pages given.
QString writeLoremPdf(const QTemporaryDir& dir, const QList<int>& loremPages, int perPage = 1)
{
    QStringList texts;
    for (int page = 1; page <= 10; ++page) {
        QStringList words{QStringLiteral("Page")};
        if (loremPages.contains(page)) {
            for (int i = 0; i < perPage; ++i)
                words << QStringLiteral("Lorem");
        }
        texts << words.join(QLatin1Char(' '));
    }
    return writeFixture(dir, QStringLiteral("lorem.pdf"), fixtures::textPdf(texts));
}

SearchDialog* openDialog(MainWindow& window)
{
    window.showSearchDialog();
    QList<SearchDialog*> dialogs = window.findChildren<SearchDialog*>();
    return dialogs.isEmpty() ? nullptr : dialogs.last();
}

QPushButton* dialogButtonNamed(QWidget* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text && button->isVisibleTo(dialog))
            return button;
    }
    return nullptr;
}

QComboBox* firstFindBox(SearchDialog* dialog)
{
    auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
    return tabs->widget(0)->findChild<QComboBox*>(QStringLiteral("DialogCombo"));
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    // A search that outlasts the quiet time goes on behind the window: the
    // tests that read its results at once give it all the time a busy
    // machine needs; those about running searches set 0.
    void init()
    {
        isolateSettings();
        setQuietTime(kPatientQuietMs);
    }
    void cleanup()
    {
        m_window.reset();
        setQuietTime(kQuietMs);
    }

    void startEntry_data();
    void startEntry();
    void stepsWrapBothWays_data();
    void stepsWrapBothWays();
    void changedOptionsRebuildTheList();
    void nothingFoundDiscardsTheList();
    void countSelectsNothingAndLeavesTheView();
    void findAllListsOneRowPerRectangleAndRowsActivate();
    void comboKeepsOneItemPerExactText();
    void transparencySlider_data();
    void transparencySlider();
    void rowClickAfterAnEditSearchesAgain();
    void replaceOnlyExplains();
    void phraseOverALineEndIsOneEntry();
    void findBoxOpensWithTheLastQuerySelected();
    void longSearchShowsProgressAndStops();
    void searchGoesOnWhileTheWindowIsUsed();
    void manyMatchesFillEveryRow();

private:
    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(AppProduct::editor);
        return *m_window;
    }
    void open(const QList<int>& loremPages, int perPage = 1)
    {
        showSmall(window());
        window().openFile(writeLoremPdf(m_dir, loremPages, perPage));
        QVERIFY(window().isDocumentLoaded());
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void SearchTest::startEntry_data()
{
    QTest::addColumn<QList<int>>("loremPages");
    QTest::addColumn<int>("viewPage");
    QTest::addColumn<bool>("backward");
    QTest::addColumn<int>("expectedPage");  // 1-based page of the entry chosen
    QTest::newRow("forward from 5 goes to 8") << QList<int>{2, 8} << 5 << false << 8;
    QTest::newRow("backward from 5 goes to 2") << QList<int>{2, 8} << 5 << true << 2;
    QTest::newRow("forward past the last page wraps to the first") << QList<int>{2, 3} << 5 << false << 2;
    QTest::newRow("backward before the first page wraps to the last") << QList<int>{7, 9} << 5 << true << 9;
    QTest::newRow("the view's own page counts") << QList<int>{5} << 5 << true << 5;
}

void SearchTest::startEntry()
{
    QFETCH(QList<int>, loremPages);
    QFETCH(int, viewPage);
    QFETCH(bool, backward);
    QFETCH(int, expectedPage);
    open(loremPages);
    view(window())->setCurrentPage(viewPage - 1);
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, backward);
    QCOMPARE(window().searchResultList().size(), loremPages.size());
    QCOMPARE(window().currentSearchHit().page, expectedPage - 1);
    QCOMPARE(view(window())->currentPage(), expectedPage - 1);
    QCOMPARE(statusText(window()), QStringLiteral("«Lorem» — стр. %1 (1/1), всего %2")
                                       .arg(expectedPage)
                                       .arg(loremPages.size()));
}

void SearchTest::stepsWrapBothWays_data()
{
    QTest::addColumn<QList<int>>("loremPages");
    QTest::addColumn<QList<bool>>("steps");  // backward per step, after the first find
    QTest::addColumn<QList<int>>("entries");  // the current entry after each step
    QTest::newRow("one entry stays forward") << QList<int>{4} << QList<bool>{false, false} << QList<int>{0, 0};
    QTest::newRow("one entry stays backward") << QList<int>{4} << QList<bool>{true, true} << QList<int>{0, 0};
    QTest::newRow("last entry wraps to 0") << QList<int>{1, 2, 3} << QList<bool>{false, false, false}
                                           << QList<int>{1, 2, 0};
    QTest::newRow("entry 0 backward wraps to the last") << QList<int>{1, 2, 3} << QList<bool>{true, true}
                                                        << QList<int>{2, 1};
}

void SearchTest::stepsWrapBothWays()
{
    QFETCH(QList<int>, loremPages);
    QFETCH(QList<bool>, steps);
    QFETCH(QList<int>, entries);
    open(loremPages);
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, false);
    QCOMPARE(window().currentSearchEntry(), 0);
    for (int i = 0; i < steps.size(); ++i) {
        window().onFindNext(QStringLiteral("Lorem"), false, false, false, steps[i]);
        QCOMPARE(window().currentSearchEntry(), entries[i]);
        QCOMPARE(view(window())->currentPage(), loremPages[entries[i]] - 1);
    }
}

// The signature holds the query and every option: a change of only the
// case option searches again.
void SearchTest::changedOptionsRebuildTheList()
{
    open({2, 3});
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, false);
    const QString first = window().currentSearchSignature();
    QCOMPARE(first, QStringLiteral("Lorem\x1F" "nocase\x1F" "any\x1F" "plain"));
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, false);
    QCOMPARE(window().currentSearchEntry(), 1);
    window().onFindNext(QStringLiteral("Lorem"), true, false, false, false);
    QCOMPARE(window().currentSearchSignature(), QStringLiteral("Lorem\x1F" "case\x1F" "any\x1F" "plain"));
    // Rebuilt and started again from the view's page (3), not stepped past it.
    QCOMPARE(window().currentSearchEntry(), 1);
    window().onFindNext(QStringLiteral("Lorem"), true, false, false, false);
    QCOMPARE(window().currentSearchEntry(), 0);
    window().onFindNext(QStringLiteral("lorem"), true, false, false, false);
    QVERIFY(window().searchResultList().isEmpty());
}

void SearchTest::nothingFoundDiscardsTheList()
{
    open({2});
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, false);
    QVERIFY(view(window())->currentSearchHit() >= 0);
    window().onFindNext(QStringLiteral("absent"), false, false, false, false);
    QCOMPARE(view(window())->currentSearchHit(), -1);
    QVERIFY(window().currentSearchSignature().isEmpty());
    QCOMPARE(window().currentSearchEntry(), -1);
    QCOMPARE(statusText(window()), QStringLiteral("«absent» — не найдено"));
    // An invalid expression finds nothing.
    window().onFindNext(QStringLiteral("(("), false, false, true, false);
    QCOMPARE(statusText(window()), QStringLiteral("«((» — не найдено"));
}

void SearchTest::countSelectsNothingAndLeavesTheView()
{
    open({2, 8});
    window().onFindNext(QStringLiteral("Page"), false, false, false, false);
    const int highlighted = view(window())->currentSearchHit();
    const int shownPage = view(window())->currentPage();
    SearchDialog* dialog = openDialog(window());
    QVERIFY(dialog);
    firstFindBox(dialog)->setEditText(QStringLiteral("  Lorem "));
    dialogButtonNamed(dialog, QStringLiteral("Подсчитать"))->click();
    QCOMPARE(dialog->resultTable()->rowCount(), 2);
    QVERIFY(dialog->resultTable()->selectedItems().isEmpty());
    QCOMPARE(window().currentSearchEntry(), -1);
    QCOMPARE(view(window())->currentSearchHit(), highlighted);
    QCOMPARE(view(window())->currentPage(), shownPage);
    QCOMPARE(statusText(window()), QStringLiteral("Найдено вхождений «Lorem»: 2"));
}

void SearchTest::findAllListsOneRowPerRectangleAndRowsActivate()
{
    open({3, 6}, 2);
    SearchDialog* dialog = openDialog(window());
    firstFindBox(dialog)->setEditText(QStringLiteral("Lorem"));
    dialogButtonNamed(dialog, QStringLiteral("Найти все в документе"))->click();
    QTableWidget* table = dialog->resultTable();
    QCOMPARE(table->rowCount(), 4);
    const QList<QStringList> rows{{"1", "3", "1"}, {"2", "3", "2"}, {"3", "6", "1"}, {"4", "6", "2"}};
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < 3; ++column)
            QCOMPARE(table->item(row, column)->text(), rows[row][column]);
        QCOMPARE(table->item(row, 3)->text(), QStringLiteral("Lorem"));
    }
    QCOMPARE(window().currentSearchEntry(), 0);
    QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 0);
    QCOMPARE(view(window())->currentPage(), 2);

    // A row click searches what the table recorded, not what the box holds now.
    firstFindBox(dialog)->setEditText(QStringLiteral("Page"));
    emit table->cellClicked(3, 1);
    QCOMPARE(window().currentSearchEntry(), 3);
    QCOMPARE(window().currentSearchHit().page, 5);
    QCOMPARE(window().currentSearchHit().index, 1);
    QCOMPARE(view(window())->currentSearchHit(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 3);
    QCOMPARE(statusText(window()), QStringLiteral("«Lorem» — стр. 6 (2/2), всего 4"));
}

void SearchTest::comboKeepsOneItemPerExactText()
{
    open({2});
    SearchDialog* dialog = openDialog(window());
    QComboBox* box = firstFindBox(dialog);
    QPushButton* next = dialogButtonNamed(dialog, QStringLiteral("Найти далее"));
    for (const QString& text : {QStringLiteral("Lorem"), QStringLiteral("Lorem"), QStringLiteral("lorem")}) {
        box->setEditText(text);
        next->click();
    }
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QStringLiteral("Lorem"));
    QCOMPARE(box->itemText(1), QStringLiteral("lorem"));
    // A new dialog starts with the last query as its one item.
    SearchDialog* second = openDialog(window());
    QVERIFY(second != dialog);
    QCOMPARE(firstFindBox(second)->count(), 1);
    QCOMPARE(firstFindBox(second)->itemText(0), QStringLiteral("lorem"));
}

void SearchTest::transparencySlider_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("opacity");
    QTest::newRow("none") << 0 << 1.0;
    QTest::newRow("most") << 65 << 0.35;
    QTest::newRow("beyond is clamped") << 90 << 0.35;
}

void SearchTest::transparencySlider()
{
    QFETCH(int, value);
    QFETCH(double, opacity);
    showSmall(window());
    SearchDialog* dialog = openDialog(window());
    auto* slider = dialog->findChild<QSlider*>(QStringLiteral("DialogSlider"));
    slider->setValue(value);
    if (value > slider->maximum())
        dialog->applyTransparency(value);
    QVERIFY(qAbs(dialog->windowOpacity() - opacity) < 0.01);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(dialog->graphicsEffect());
    QVERIFY(effect);
    QVERIFY(qAbs(effect->opacity() - opacity) < 1e-9);
    bool shown = false;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        shown = shown || label->text() == QStringLiteral("%1%").arg(std::min(value, 65));
    QVERIFY(shown);
}

// Rows reuse the rectangles of the same search while the document is the
// same; after an edit they are searched again.
void SearchTest::rowClickAfterAnEditSearchesAgain()
{
    open({2, 3});
    SearchDialog* dialog = openDialog(window());
    firstFindBox(dialog)->setEditText(QStringLiteral("Lorem"));
    dialogButtonNamed(dialog, QStringLiteral("Найти все в документе"))->click();
    QCOMPARE(dialog->resultTable()->rowCount(), 2);
    QVERIFY(window().currentDocument()->addFreeText(0, QRectF(72, 300, 200, 20), QStringLiteral("Lorem"),
                                                     QStringLiteral("Helvetica"), 12, Qt::black));
    emit dialog->resultTable()->cellClicked(1, 0);
    QCOMPARE(window().searchResultList().size(), 3);
    QCOMPARE(window().currentSearchHit().page, 1);
    QCOMPARE(statusText(window()), QStringLiteral("«Lorem» — стр. 2 (1/1), всего 3"));
}

// Both replace buttons explain why nothing is replaced; the document stays.
void SearchTest::replaceOnlyExplains()
{
    open({2});
    SearchDialog* dialog = openDialog(window());
    auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
    const QList<QComboBox*> boxes = tabs->widget(1)->findChildren<QComboBox*>(QStringLiteral("DialogCombo"));
    QCOMPARE(boxes.size(), 2);
    boxes[0]->setEditText(QStringLiteral(" Lorem "));
    boxes[1]->setEditText(QStringLiteral("Ipsum"));
    for (const QString& button : {QStringLiteral("Заменить"), QStringLiteral("Заменить все")}) {
        QString notice;
        prompt::Driver prompts;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
        for (QPushButton* pushed : tabs->widget(1)->findChildren<QPushButton*>()) {
            if (pushed->text() == button)
                pushed->click();
        }
        QCOMPARE(notice, QStringLiteral("Замена|Замена «Lorem» → «Ipsum» в PDF-потоке не поддерживается.\n"
                                        "Выполните OCR, отредактируйте текстовые блоки и вставьте слой обратно."));
    }
    QVERIFY(!window().currentDocument()->isModified());
    QVERIFY(window().currentDocument()->extractAllText(1).contains(QStringLiteral("Lorem")));
}

// A phrase that runs over a line end is one match: one entry, one row, both
// of its rectangles shown as the current hit.
void SearchTest::phraseOverALineEndIsOneEntry()
{
    showSmall(window());
    fixtures::PageSpec page;
    page.runs << fixtures::TextRun{QStringLiteral("the deadline is the"), 72, 600, 14}
              << fixtures::TextRun{QStringLiteral("fourteenth of March"), 72, 580, 14};
    window().openFile(writeFixture(m_dir, QStringLiteral("across.pdf"), fixtures::pagesPdf({page})));
    window().onFindNext(QStringLiteral("the fourteenth"), false, false, false, false);
    QCOMPARE(window().searchResultList().size(), 1);
    QCOMPARE(statusText(window()), QStringLiteral("«the fourteenth» — стр. 1 (1/1), всего 1"));
    QCOMPARE(view(window())->currentSearchHit(), 0);
    QCOMPARE(view(window())->currentSearchHitCount(), 2);

    SearchDialog* dialog = openDialog(window());
    firstFindBox(dialog)->setEditText(QStringLiteral("the fourteenth"));
    dialogButtonNamed(dialog, QStringLiteral("Найти все в документе"))->click();
    QCOMPARE(dialog->resultTable()->rowCount(), 1);
    QCOMPARE(statusText(window()), QStringLiteral("«the fourteenth» — стр. 1 (1/1), всего 1"));
}

// The find box opens with the last query selected, so typing replaces it.
void SearchTest::findBoxOpensWithTheLastQuerySelected()
{
    open({2});
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, false);
    SearchDialog* dialog = openDialog(window());
    QLineEdit* typed = firstFindBox(dialog)->lineEdit();
    QCOMPARE(typed->selectedText(), QStringLiteral("Lorem"));
    QTest::keyClicks(typed, QStringLiteral("Page"));
    QCOMPARE(typed->text(), QStringLiteral("Page"));
}

// A search that lasts goes on behind the dialog, which tells its progress
// and can stop it; stopped, it leaves no results.
void SearchTest::longSearchShowsProgressAndStops()
{
    setQuietTime(0);  // every search goes on behind the window
    const auto restore = qScopeGuard([] { setQuietTime(kPatientQuietMs); });
    open({2, 5});
    SearchDialog* dialog = openDialog(window());
    QCOMPARE(dialog->fillResults(QStringLiteral("Lorem"), {}, true), -1);
    QVERIFY(window().searchRunning());
    QPushButton* stop = dialogButtonNamed(dialog, QStringLiteral("Остановить"));
    QVERIFY(stop);
    stop->click();
    QVERIFY(!window().searchRunning());
    QVERIFY(!stop->isVisibleTo(dialog));
    QVERIFY(window().searchResultList().isEmpty());
    QCOMPARE(dialog->resultTable()->rowCount(), 0);
    bool told = false;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        told = told || label->text() == QStringLiteral("Поиск остановлен");
    QVERIFY(told);

    // Left alone, the same search ends by itself and fills the table.
    QCOMPARE(dialog->fillResults(QStringLiteral("Lorem"), {}, true), -1);
    QTRY_COMPARE(dialog->resultTable()->rowCount(), 2);
    QCOMPARE(window().currentSearchHit().page, 1);
    QVERIFY(!stop->isVisibleTo(dialog));
}

// The first find-next returns at once; its hit is shown when the search
// ends. Another tab shown meanwhile stops it.
void SearchTest::searchGoesOnWhileTheWindowIsUsed()
{
    setQuietTime(0);
    const auto restore = qScopeGuard([] { setQuietTime(kPatientQuietMs); });
    open({4});
    window().onFindNext(QStringLiteral("Lorem"), false, false, false, false);
    QTRY_COMPARE(window().currentSearchEntry(), 0);
    QCOMPARE(view(window())->currentPage(), 3);

    window().onFindNext(QStringLiteral("Page"), false, false, false, false);
    QVERIFY(window().searchRunning());
    window().openFile(writePdf(m_dir, QStringLiteral("other.pdf"), 2));
    QVERIFY(!window().searchRunning());
    QVERIFY(window().searchResultList().isEmpty());
    QCOMPARE(window().currentSearchEntry(), -1);
}

// Thousands of matches fill the table a batch at a time; in the end every
// row is there, numbered on its page.
void SearchTest::manyMatchesFillEveryRow()
{
    showSmall(window());
    QStringList texts;
    for (int page = 0; page < 90; ++page)
        texts << QStringList(50, QStringLiteral("ab")).join(QLatin1Char(' '));
    window().openFile(writeFixture(m_dir, QStringLiteral("many.pdf"), fixtures::textPdf(texts)));
    SearchDialog* dialog = openDialog(window());
    QCOMPARE(dialog->fillResults(QStringLiteral("ab"), {}, true), 4500);
    QTableWidget* table = dialog->resultTable();
    QCOMPARE(table->rowCount(), 4500);
    QTRY_VERIFY(table->item(4499, 0));
    for (int row : {0, 49, 50, 3999, 4000, 4499}) {
        QCOMPARE(table->item(row, 0)->text(), QString::number(row + 1));
        QCOMPARE(table->item(row, 1)->text(), QString::number(row / 50 + 1));
        QCOMPARE(table->item(row, 2)->text(), QString::number(row % 50 + 1));
    }
    QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 0);
}

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
