// The view shows page edits owned elsewhere: each document's blocks and
// history stay with it, and edits that go away while shown leave the view
// working on none.
#include "ViewTestSupport.h"

#include <QFile>
#include <QSignalSpy>

using namespace viewtest;

class TestPdfViewEdits : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void eachEditsKeepsItsBlocksAndHistory_data();
    void eachEditsKeepsItsBlocksAndHistory();
    void editsGoingAwayWhileShown();

private:
    void deleteBlockWith(const QString& text);

    QTemporaryDir m_dir;
    std::unique_ptr<PdfDocument> m_doc;
    std::unique_ptr<PdfView> m_view;
};

void TestPdfViewEdits::init()
{
    const QString path = m_dir.filePath(QStringLiteral("letter.pdf"));
    QFile::remove(path);
    QVERIFY(QFile::copy(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")), path));
    m_doc = std::make_unique<PdfDocument>();
    QVERIFY(m_doc->open(path));
    m_view = makeView(700, 700);
    QVERIFY(m_view);
    m_view->setDocument(m_doc.get());
    m_view->setEditMode(true);
}

void TestPdfViewEdits::cleanup()
{
    m_view.reset();
    m_doc.reset();
}

void TestPdfViewEdits::deleteBlockWith(const QString& text)
{
    const int index = blockWith(*m_view, text);
    QVERIFY(index >= 0);
    m_view->selectOcrBlock(index, false);
    m_view->setFocus();
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    QCOMPARE(blockWith(*m_view, text), -1);
}

void TestPdfViewEdits::eachEditsKeepsItsBlocksAndHistory_data()
{
    QTest::addColumn<bool>("undoInOther");
    QTest::newRow("other edits untouched") << false;
    QTest::newRow("undo in the other edits") << true;
}

void TestPdfViewEdits::eachEditsKeepsItsBlocksAndHistory()
{
    QFETCH(bool, undoInOther);
    PageEdits first;
    PageEdits second;
    m_view->setEdits(&first);
    m_view->setOcrBlocks(m_doc->extractText(0), 0, false);
    deleteBlockWith(QStringLiteral("carried over"));
    QVERIFY(first.isDirty());
    QVERIFY(first.canUndo());

    QSignalSpy availability(m_view.get(), &PdfView::undoRedoAvailabilityChanged);
    m_view->setEdits(&second);
    QVERIFY(!m_view->hasOcrBlocks());
    QVERIFY(!m_view->canUndo());
    QCOMPARE(availability.last(), (QList<QVariant>{false, false}));
    m_view->setOcrBlocks(m_doc->extractText(0), 0, false);
    deleteBlockWith(QStringLiteral("Staff counted"));
    if (undoInOther)
        m_view->undo();
    QCOMPARE(blockWith(*m_view, QStringLiteral("Staff counted")) >= 0, undoInOther);

    m_view->setEdits(&first);
    QVERIFY(m_view->blocksDirty());
    QCOMPARE(blockWith(*m_view, QStringLiteral("carried over")), -1);
    QVERIFY(blockWith(*m_view, QStringLiteral("Staff counted")) >= 0);
    QVERIFY(m_view->canUndo());
    m_view->undo();
    QVERIFY(blockWith(*m_view, QStringLiteral("carried over")) >= 0);
    QCOMPARE(blockWith(*m_view, QStringLiteral("Staff counted")) >= 0, true);
    // The other edits kept their own state meanwhile.
    QCOMPARE(second.canRedo(), undoInOther);
    QCOMPARE(second.isDirty(), !undoInOther);
}

void TestPdfViewEdits::editsGoingAwayWhileShown()
{
    auto owned = std::make_unique<PageEdits>();
    m_view->setEdits(owned.get());
    m_view->setOcrBlocks(m_doc->extractText(0), 0, false);
    const int index = blockWith(*m_view, QStringLiteral("Quarterly"));
    QVERIFY(index >= 0);
    m_view->activateOcrBlock(index);
    QVERIFY(m_view->hasActiveTextEditor());
    owned.reset();
    QVERIFY(m_view->edits() != nullptr);
    QVERIFY(!m_view->hasOcrBlocks());
    QVERIFY(!m_view->hasActiveTextEditor());
    QCOMPARE(m_view->activeBlock(), -1);
    // The view keeps working on edits of its own.
    m_view->setOcrBlocks(m_doc->extractText(0), 0, false);
    deleteBlockWith(QStringLiteral("Quarterly"));
    m_view->undo();
    QVERIFY(blockWith(*m_view, QStringLiteral("Quarterly")) >= 0);
}

QTEST_MAIN(TestPdfViewEdits)
#include "tst_pdfview_edits.moc"
