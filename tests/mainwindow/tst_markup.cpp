// The markup tab: where marks and free text land, when the stored selection
// is used up, the marker colour, what the user is told, and free text that
// stays with its own document.
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include "FreeTextDialog.h"

#include <QColorDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

using namespace windowtest;

namespace {

QWidget* markupTab(MainWindow& window)
{
    auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    for (int i = 0; i < ribbon->count(); ++i) {
        if (ribbon->tabText(i) == QStringLiteral("Разметка"))
            return ribbon->widget(i);
    }
    return nullptr;
}

QToolButton* markupButton(MainWindow& window, const QString& text)
{
    return buttonByTip(markupTab(window), text);
}

// The view reports a region drawn on page (top-left points).
void select(MainWindow& window, int page, const QRectF& rect)
{
    emit view(window)->selectionRectReady(page, rect);
}

// The colour of a page-top point of the document's page, rendered at 1.
QColor pixelAt(PdfDocument* doc, int page, const QPointF& pageTop)
{
    return doc->renderPage(page, 1.0, 0).pixelColor(pageTop.toPoint());
}

void chooseColour(prompt::Driver& prompts, const QColor& colour)
{
    prompts.whenShown([colour](QDialog* dialog) {
        if (auto* picker = qobject_cast<QColorDialog*>(dialog)) {
            picker->setCurrentColor(colour);
            picker->accept();
        } else {
            dialog->reject();
        }
    });
}

} // namespace

class MarkupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup() { m_window.reset(); }

    void markLandsOnTheSelectionAndUsesItUp_data();
    void markLandsOnTheSelectionAndUsesItUp();
    void failedMarkKeepsTheSelection();
    void markerColourOutlivesACancel();
    void noteFailureIsShown();
    void freeTextPlacement_data();
    void freeTextPlacement();
    void freeTextStaysWithItsDocument();
    void freeTextWindowClosesWithItsDocument();

private:
    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(AppProduct::editor);
        return *m_window;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void MarkupTest::markLandsOnTheSelectionAndUsesItUp_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("status");
    QTest::addColumn<double>("tintedY");  // page-top y inside the mark
    QTest::addColumn<double>("clearY");   // page-top y inside the selection but not marked
    QTest::newRow("highlight") << "Маркер" << "Маркер добавлен на стр. 1" << 102.0 << -1.0;
    QTest::newRow("underline") << "Подчерк." << "Подчёркивание добавлен на стр. 1" << 119.0 << 105.0;
    QTest::newRow("strike-out") << "Зачерк." << "Зачёркивание добавлен на стр. 1" << 110.0 << 102.0;
}

// A selection 100 points below the top of an 842-point page, 20 high: the
// mark's bottom lies at y = 722 in PDF points. A second mark without a new
// selection only asks for one, in a notice.
void MarkupTest::markLandsOnTheSelectionAndUsesItUp()
{
    QFETCH(QString, button);
    QFETCH(QString, status);
    QFETCH(double, tintedY);
    QFETCH(double, clearY);
    showWithPdf(window(), m_dir, 2);
    PdfDocument* doc = window().currentDocument();
    select(window(), 0, QRectF(300, 100, 200, 20));
    markupButton(window(), button)->click();
    QCOMPARE(statusText(window()), status);
    QVERIFY(doc->isModified());
    const QColor inside = pixelAt(doc, 0, QPointF(400, tintedY));
    QVERIFY2(inside.blue() < 150 && inside.red() > 200, qPrintable(inside.name()));
    if (clearY >= 0)
        QCOMPARE(pixelAt(doc, 0, QPointF(400, clearY)), QColor(Qt::white));
    QCOMPARE(pixelAt(doc, 0, QPointF(400, 97)), QColor(Qt::white));
    QCOMPARE(pixelAt(doc, 0, QPointF(400, 123)), QColor(Qt::white));

    QString notice;
    prompt::Driver prompts;
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    markupButton(window(), button)->click();
    QCOMPARE(notice, QStringLiteral("Разметка|Выделите текст для разметки"));
    QCOMPARE(statusText(window()), QStringLiteral("Выделите текст для разметки"));
}

void MarkupTest::failedMarkKeepsTheSelection()
{
    showWithPdf(window(), m_dir, 1);
    select(window(), 5, QRectF(10, 10, 50, 20));  // a page the document lacks
    QString notice;
    prompt::Driver prompts;
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    QVERIFY(!window().markSelection(0, QStringLiteral("Маркер"), Qt::yellow));
    QVERIFY2(notice.startsWith(QStringLiteral("Разметка|Ошибка: ")), qPrintable(notice));
    // The selection stays: the next try fails the same way, not for want of one.
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    QVERIFY(!window().markSelection(0, QStringLiteral("Маркер"), Qt::yellow));
    QVERIFY2(notice.startsWith(QStringLiteral("Разметка|Ошибка: ")), qPrintable(notice));
}

// A colour chosen on the marker's menu is used by every kind and survives a
// cancelled choice.
void MarkupTest::markerColourOutlivesACancel()
{
    showWithPdf(window(), m_dir, 1);
    PdfDocument* doc = window().currentDocument();
    QToolButton* marker = markupButton(window(), QStringLiteral("Маркер"));
    prompt::Driver prompts;
    chooseColour(prompts, QColor(0, 0, 255));
    emit marker->customContextMenuRequested(QPoint(1, 1));
    prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
    emit marker->customContextMenuRequested(QPoint(1, 1));
    select(window(), 0, QRectF(100, 200, 200, 40));
    markupButton(window(), QStringLiteral("Подчерк."))->click();
    const QColor bar = pixelAt(doc, 0, QPointF(200, 239.0));
    QVERIFY2(bar.red() < 200 && bar.blue() > 200, qPrintable(bar.name()));
    chooseColour(prompts, QColor(255, 255, 0));  // back to yellow for later tests
    emit marker->customContextMenuRequested(QPoint(1, 1));
}

void MarkupTest::noteFailureIsShown()
{
    showWithPdf(window(), m_dir, 1);
    QString notice;
    prompt::Driver prompts;
    prompts.whenShown([](QDialog* dialog) {
        if (auto* edit = dialog->findChild<QPlainTextEdit*>())
            edit->setPlainText(QStringLiteral("Проверить"));
        dialog->accept();
    });
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    markupButton(window(), QStringLiteral("Заметка"))->click();
    QVERIFY2(notice.startsWith(QStringLiteral("Заметка|Ошибка: ")), qPrintable(notice));
    QVERIFY(!window().currentDocument()->isModified());
}

void MarkupTest::freeTextPlacement_data()
{
    QTest::addColumn<int>("selectionPage");
    QTest::addColumn<QRectF>("selection");
    QTest::addColumn<int>("page");
    QTest::addColumn<QRectF>("placement");
    QTest::newRow("no selection") << -1 << QRectF() << 0 << QRectF(119, 381, 357, 40);
    QTest::newRow("empty selection keeps its page") << 1 << QRectF(10, 10, 100, 0) << 1
                                                    << QRectF(119, 381, 357, 40);
    QTest::newRow("selection") << 1 << QRectF(50, 100, 200, 30) << 1 << QRectF(50, 712, 200, 30);
}

void MarkupTest::freeTextPlacement()
{
    QFETCH(int, selectionPage);
    QFETCH(QRectF, selection);
    QFETCH(int, page);
    QFETCH(QRectF, placement);
    showWithPdf(window(), m_dir, 2);
    if (selectionPage >= 0)
        select(window(), selectionPage, selection);
    FreeTextDialog* dialog = window().openFreeTextWindow();
    QVERIFY(dialog);
    QCOMPARE(dialog->page(), page);
    const QRectF got = dialog->placement();
    QVERIFY2(qAbs(got.x() - placement.x()) < 0.01 && qAbs(got.y() - placement.y()) < 0.01 &&
                 qAbs(got.width() - placement.width()) < 0.01 && qAbs(got.height() - placement.height()) < 0.01,
             qPrintable(QStringLiteral("%1 %2 %3 %4").arg(got.x()).arg(got.y()).arg(got.width()).arg(got.height())));
    dialog->close();
}

// Opened on a.pdf, the window writes into a.pdf after b.pdf became the shown
// document; b.pdf is unchanged.
void MarkupTest::freeTextStaysWithItsDocument()
{
    showSmall(window());
    window().openFile(writePdf(m_dir, QStringLiteral("a.pdf"), 1));
    PdfDocument* a = window().currentDocument();
    QPointer<FreeTextDialog> dialog = window().openFreeTextWindow();
    window().openFile(writePdf(m_dir, QStringLiteral("b.pdf"), 1));
    PdfDocument* b = window().currentDocument();
    QVERIFY(a != b);
    dialog->findChild<QTextEdit*>()->setPlainText(QStringLiteral("  Проверка вставки  "));
    prompt::buttonWithText(dialog, QStringLiteral("Вставить"))->click();
    QTRY_VERIFY(!dialog);
    QVERIFY(a->extractAllText(0).contains(QStringLiteral("Проверка вставки")));
    QVERIFY(a->isModified());
    QVERIFY(!b->isModified());
    QVERIFY(!b->extractAllText(0).contains(QStringLiteral("Проверка")));
    QCOMPARE(tabTexts(window()).value(0), QStringLiteral("a.pdf *"));
}

void MarkupTest::freeTextWindowClosesWithItsDocument()
{
    showSmall(window());
    window().openFile(writePdf(m_dir, QStringLiteral("a.pdf"), 1));
    QPointer<FreeTextDialog> dialog = window().openFreeTextWindow();
    window().openFile(writePdf(m_dir, QStringLiteral("b.pdf"), 1));
    QPointer<FreeTextDialog> other = window().openFreeTextWindow();
    QVERIFY(window().closeDocumentAt(0));
    QTRY_VERIFY(!dialog);
    QVERIFY(other);
    other->close();
}

QTEST_MAIN(MarkupTest)
#include "tst_markup.moc"
