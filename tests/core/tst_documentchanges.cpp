// What a document announces: one signal per operation, after the change and
// outside the engine lock, none for a change that did not happen, and
// nothing changed when a listener refuses.
#include "DocumentChanges.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "TextBlock.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Op { InsertBlank, InsertBefore0, AppendPage, ImportPdf, ImportTiff, AppendPicture, Delete, DeleteMissing,
                Move, MoveInPlace, Rotate, FreeText, Picture, WriteBlocks, Save };

const QString kData = QStringLiteral(VORN_TEST_DATA_DIR);

// Every announcement as "name(args)@pages", the page count read in the slot:
// a slot that runs inside the engine lock would never return.
QStringList* record(PdfDocument& doc, QStringList* log)
{
    DocumentChanges* changes = doc.changes();
    PdfDocument* d = &doc;
    const auto add = [d, log](const QString& what) { log->append(what + QStringLiteral("@%1").arg(d->pageCount())); };
    QObject::connect(changes, &DocumentChanges::aboutToChange, changes, [add] { add(QStringLiteral("about")); });
    QObject::connect(changes, &DocumentChanges::pagesInserted, changes,
                     [add](int first, int count) { add(QStringLiteral("inserted(%1,%2)").arg(first).arg(count)); });
    QObject::connect(changes, &DocumentChanges::pagesRemoved, changes,
                     [add](int first, int count) { add(QStringLiteral("removed(%1,%2)").arg(first).arg(count)); });
    QObject::connect(changes, &DocumentChanges::pageMoved, changes,
                     [add](int from, int to) { add(QStringLiteral("moved(%1,%2)").arg(from).arg(to)); });
    QObject::connect(changes, &DocumentChanges::pageRotated, changes,
                     [add](int page) { add(QStringLiteral("rotated(%1)").arg(page)); });
    QObject::connect(changes, &DocumentChanges::pageContentChanged, changes,
                     [add](int page) { add(QStringLiteral("content(%1)").arg(page)); });
    QObject::connect(changes, &DocumentChanges::saved, changes,
                     [add](const QString&) { add(QStringLiteral("saved")); });
    return log;
}

bool run(PdfDocument& doc, Op op, const QString& savePath)
{
    switch (op) {
    case Op::InsertBlank: return doc.insertBlankPage(1, QSizeF(595, 842));
    case Op::InsertBefore0: return doc.insertBlankPage(-3, QSizeF(595, 842));
    case Op::AppendPage: return doc.appendPage(kData + QStringLiteral("/gs-helvetica.pdf"), 0);
    case Op::ImportPdf: return doc.importDocument(kData + QStringLiteral("/groff-columns.pdf"));
    case Op::ImportTiff: return doc.importDocument(kData + QStringLiteral("/pictures/scan-3pages.tif"));
    case Op::AppendPicture: {
        QImage picture(40, 60, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        return doc.appendRenderedPage(picture, QSizeF(200, 300));
    }
    case Op::Delete: return doc.deletePage(0);
    case Op::DeleteMissing: return doc.deletePage(7);
    case Op::Move: return doc.movePage(0, 1);
    case Op::MoveInPlace: return doc.movePage(1, 1);
    case Op::Rotate: return doc.rotatePage(1, 90);
    case Op::FreeText:
        return doc.addFreeText(0, QRectF(72, 500, 200, 20), QStringLiteral("Added"), QStringLiteral("Helvetica"), 12,
                               Qt::black);
    case Op::Picture: {
        QImage picture(20, 20, QImage::Format_RGB32);
        picture.fill(Qt::red);
        return doc.addImageToPage(1, QPointF(72, 72), QSizeF(40, 40), picture);
    }
    case Op::WriteBlocks: {
        TextBlock block;
        block.text = QStringLiteral("Written");
        block.rect = block.originalRect = QRectF(72, 600, 120, 16);
        block.textEdited = true;
        return doc.overlayOcrText(0, {block}, false);
    }
    case Op::Save: return doc.save(savePath);
    }
    return false;
}

} // namespace

class TestDocumentChanges : public QObject {
    Q_OBJECT

private slots:
    void announcesEachChangeOnce_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QStringList>("expected");  // the fixture has 2 pages

        const QString about = QStringLiteral("about@2");
        QTest::newRow("insert") << Op::InsertBlank << true << QStringList{about, "inserted(1,1)@3"};
        QTest::newRow("insert before the first") << Op::InsertBefore0 << true << QStringList{about, "inserted(0,1)@3"};
        QTest::newRow("append a page of a file") << Op::AppendPage << true << QStringList{about, "inserted(2,1)@3"};
        QTest::newRow("import a pdf") << Op::ImportPdf << true << QStringList{about, "inserted(2,2)@4"};
        QTest::newRow("import a three-page tiff, once") << Op::ImportTiff << true << QStringList{about, "inserted(2,3)@5"};
        QTest::newRow("append a picture") << Op::AppendPicture << true << QStringList{about, "inserted(2,1)@3"};
        QTest::newRow("delete") << Op::Delete << true << QStringList{about, "removed(0,1)@1"};
        QTest::newRow("delete a missing page") << Op::DeleteMissing << false << QStringList{about};
        QTest::newRow("move") << Op::Move << true << QStringList{about, "moved(0,1)@2"};
        QTest::newRow("move in place") << Op::MoveInPlace << true << QStringList{about};
        QTest::newRow("rotate") << Op::Rotate << true << QStringList{about, "rotated(1)@2"};
        // Content writes leave every page in its place: they ask nobody (the
        // write-back of edits is what aboutToChange's listeners do).
        QTest::newRow("free text") << Op::FreeText << true << QStringList{"content(0)@2"};
        QTest::newRow("picture") << Op::Picture << true << QStringList{"content(1)@2"};
        QTest::newRow("edits written") << Op::WriteBlocks << true << QStringList{"content(0)@2"};
        QTest::newRow("save") << Op::Save << true << QStringList{"saved@2"};
    }

    void announcesEachChangeOnce()
    {
        QFETCH(Op, op);
        QFETCH(bool, succeeds);
        QFETCH(QStringList, expected);

        QTemporaryDir dir;
        PdfDocument doc;
        QVERIFY(doc.open(kData + QStringLiteral("/groff-columns.pdf")));
        QStringList log;
        record(doc, &log);
        QCOMPARE(run(doc, op, dir.filePath(QStringLiteral("saved.pdf"))), succeeds);
        QCOMPARE(log, expected);
    }

    void refusedChangeChangesNothing_data()
    {
        QTest::addColumn<Op>("op");
        QTest::newRow("insert") << Op::InsertBlank;
        QTest::newRow("import") << Op::ImportTiff;
        QTest::newRow("delete") << Op::Delete;
        QTest::newRow("move") << Op::Move;
        QTest::newRow("rotate") << Op::Rotate;
    }

    void refusedChangeChangesNothing()
    {
        QFETCH(Op, op);
        PdfDocument doc;
        QVERIFY(doc.open(kData + QStringLiteral("/groff-columns.pdf")));
        const quint64 revision = doc.revision();
        QObject::connect(doc.changes(), &DocumentChanges::aboutToChange, doc.changes(),
                         [&doc] { doc.changes()->refuse(QStringLiteral("edits not written")); });
        QStringList log;
        record(doc, &log);
        QVERIFY(!run(doc, op, QString()));
        QCOMPARE(doc.lastError(), QStringLiteral("edits not written"));
        QCOMPARE(doc.revision(), revision);
        QVERIFY(!doc.isModified());
        QCOMPARE(log, QStringList{QStringLiteral("about@2")});
        // The next change is asked afresh.
        QObject::disconnect(doc.changes(), &DocumentChanges::aboutToChange, doc.changes(), nullptr);
        QVERIFY(run(doc, op, QString()));
    }

    // A listener that writes into the page before the change (as the window
    // writes pending edits) is announced on its own, and the change after it.
    void writeFromAboutToChangeIsAnnounced()
    {
        PdfDocument doc;
        QVERIFY(doc.open(kData + QStringLiteral("/groff-columns.pdf")));
        QStringList log;
        QObject::connect(doc.changes(), &DocumentChanges::aboutToChange, doc.changes(),
                         [&doc] { run(doc, Op::WriteBlocks, QString()); });
        record(doc, &log);
        QVERIFY(doc.deletePage(1));
        QCOMPARE(log, (QStringList{"content(0)@2", "about@2", "removed(1,1)@1"}));
        QVERIFY(doc.extractAllText(0).contains(QStringLiteral("Written")));
    }
};

QTEST_GUILESS_MAIN(TestDocumentChanges)
#include "tst_documentchanges.moc"
