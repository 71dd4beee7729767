// The page's edits without a widget: each block operation with its undo and
// redo, the history's limits, and the write-back into a real document.
#include "BlockFixtures.h"
#include "PageEdits.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"

#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum Op { Delete, Group, Ungroup, Reorder, AppendText, AppendImages, ReplaceImage };

std::vector<TextBlock> threeBlocks()
{
    return {fixtures::oneLineBlock(QStringLiteral("Alpha beta"), QRectF(50, 700, 120, 14), 12),
            fixtures::oneLineBlock(QStringLiteral("Gamma"), QRectF(50, 680, 60, 14), 12),
            fixtures::oneLineBlock(QStringLiteral("Delta"), QRectF(50, 660, 60, 14), 12)};
}

QImage filled(const QColor& color)
{
    QImage image(8, 6, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

QStringList texts(const PageEdits& edits)
{
    QStringList out;
    for (const TextBlock& block : edits.blocks())
        out << block.text;
    return out;
}

QSet<int> setOf(const QList<int>& list)
{
    return QSet<int>(list.begin(), list.end());
}

// Runs one operation; returns the selection it leaves.
QSet<int> apply(PageEdits& edits, int op, const QSet<int>& indexes, int mode)
{
    switch (op) {
    case Delete:
        edits.removeBlocks(indexes);
        return {};
    case Group:
        return {edits.groupBlocks(indexes, 792)};
    case Ungroup:
        edits.ungroupToWords(indexes);
        return {};
    case Reorder:
        return edits.reorderBlocks(indexes, mode);
    case AppendText:
        return {edits.appendTextBlock(0, QRectF(300, 300, 80, 20), QStringLiteral("New"), QString(), 11, Qt::black)};
    case AppendImages:
        return edits.appendImageBlocks(0, {QRectF(300, 300, 40, 30), QRectF(350, 300, 40, 30)},
                                       {filled(Qt::red), filled(Qt::blue)});
    case ReplaceImage:
        edits.replaceImage(*indexes.begin(), filled(Qt::green));
        return indexes;
    }
    return {};
}

} // namespace

class TestPageEdits : public QObject {
    Q_OBJECT
private slots:
    void operationUndoRedo_data();
    void operationUndoRedo();
    void imageReplacementKeepsTheOriginal();
    void refusedOperationsChangeNothing_data();
    void refusedOperationsChangeNothing();
    void undoAndRedoKeepTypingNotYetRecorded();
    void historyKeepsAtMostTheLimit();
    void historyEmptiedByEveryLoadAndClear_data();
    void historyEmptiedByEveryLoadAndClear();
    void commitWritesIntoRealDocument();
    void commitToMissingPageKeepsTheEdits();
};

void TestPageEdits::operationUndoRedo_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("removedPlaces");
    QTest::addColumn<QList<int>>("selection");

    const QString ab = QStringLiteral("Alpha beta"), g = QStringLiteral("Gamma"), d = QStringLiteral("Delta");
    QTest::newRow("delete middle") << int(Delete) << QList<int>{1} << 0 << QStringList{ab, d} << 1 << QList<int>{};
    QTest::newRow("delete first and last") << int(Delete) << QList<int>{0, 2} << 0 << QStringList{g} << 2
                                           << QList<int>{};
    QTest::newRow("group apart") << int(Group) << QList<int>{0, 2} << 0 << QStringList{ab + u'\n' + d, g} << 1
                                 << QList<int>{0};
    QTest::newRow("group later two") << int(Group) << QList<int>{2, 1} << 0 << QStringList{ab, g + u'\n' + d} << 1
                                     << QList<int>{1};
    QTest::newRow("ungroup to words") << int(Ungroup) << QList<int>{0} << 0
                                      << QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), g, d} << 0
                                      << QList<int>{};
    QTest::newRow("ungroup one word") << int(Ungroup) << QList<int>{1} << 0 << QStringList{ab, g, d} << 0
                                      << QList<int>{};
    QTest::newRow("forward") << int(Reorder) << QList<int>{0} << 0 << QStringList{g, ab, d} << 0 << QList<int>{1};
    QTest::newRow("forward at the top") << int(Reorder) << QList<int>{2} << 0 << QStringList{ab, g, d} << 0
                                        << QList<int>{2};
    QTest::newRow("backward") << int(Reorder) << QList<int>{2} << 1 << QStringList{ab, d, g} << 0 << QList<int>{1};
    QTest::newRow("to the front") << int(Reorder) << QList<int>{0, 1} << 2 << QStringList{d, ab, g} << 0
                                  << QList<int>{1, 2};
    QTest::newRow("to the back") << int(Reorder) << QList<int>{2} << 3 << QStringList{d, ab, g} << 0
                                 << QList<int>{0};
    QTest::newRow("append text") << int(AppendText) << QList<int>{} << 0
                                 << QStringList{ab, g, d, QStringLiteral("New")} << 0 << QList<int>{3};
    QTest::newRow("append images") << int(AppendImages) << QList<int>{} << 0
                                   << QStringList{ab, g, d, QStringLiteral("[image]"), QStringLiteral("[image]")} << 0
                                   << QList<int>{3, 4};
}

void TestPageEdits::operationUndoRedo()
{
    QFETCH(int, op);
    QFETCH(QList<int>, indexes);
    QFETCH(int, mode);
    QFETCH(QStringList, after);
    QFETCH(int, removedPlaces);
    QFETCH(QList<int>, selection);

    PageEdits edits;
    edits.load(threeBlocks(), 0, false);
    const QStringList before = texts(edits);
    QSignalSpy changed(&edits, &PageEdits::changed);

    edits.pushStep(edits.snapshot(QStringLiteral("step")));
    QCOMPARE(texts(edits), before); // recording a step changes nothing
    QCOMPARE(apply(edits, op, setOf(indexes), mode), setOf(selection));
    QCOMPARE(texts(edits), after);
    QCOMPARE(int(edits.removedPlaces().size()), removedPlaces);
    QCOMPARE(edits.groupIds().size(), edits.blocks().size());
    QVERIFY(edits.isDirty());
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toInt(), 0);

    QVERIFY(edits.canUndo());
    edits.undo();
    QCOMPARE(texts(edits), before);
    QVERIFY(edits.removedPlaces().empty());
    QVERIFY(!edits.isDirty());
    QVERIFY(edits.canRedo());

    edits.redo();
    QCOMPARE(texts(edits), after);
    QCOMPARE(int(edits.removedPlaces().size()), removedPlaces);
    QVERIFY(edits.isDirty());
    QVERIFY(edits.canUndo());
    QVERIFY(!edits.canRedo());
    if (op == AppendImages) {
        QVERIFY(edits.groupIds()[3] != 0);
        QCOMPARE(edits.groupIds()[3], edits.groupIds()[4]);
    }
}

void TestPageEdits::imageReplacementKeepsTheOriginal()
{
    PageEdits edits;
    edits.load(threeBlocks(), 0, false);
    apply(edits, AppendImages, {}, 0);
    const QRgb red = edits.blocks()[3].image.pixel(0, 0);
    for (int round = 0; round < 2; ++round) {
        edits.pushStep(edits.snapshot(QStringLiteral("image")));
        QVERIFY(edits.replaceImage(3, filled(round == 0 ? Qt::green : Qt::yellow)));
    }
    // A second replacement still remembers the image the page had.
    QCOMPARE(edits.blocks()[3].originalImage.pixel(0, 0), red);
    QCOMPARE(edits.blocks()[3].image.pixel(0, 0), filled(Qt::yellow).pixel(0, 0));
    edits.undo();
    edits.undo();
    QVERIFY(!edits.blocks()[3].imageEdited);
    QCOMPARE(edits.blocks()[3].image.pixel(0, 0), red);
}

void TestPageEdits::refusedOperationsChangeNothing_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QList<int>>("indexes");
    QTest::newRow("group one") << int(Group) << QList<int>{1};
    QTest::newRow("group with an image") << int(Group) << QList<int>{0, 3};
    QTest::newRow("group past the end") << int(Group) << QList<int>{0, 9};
    QTest::newRow("replace a text block") << int(ReplaceImage) << QList<int>{0};
    QTest::newRow("replace past the end") << int(ReplaceImage) << QList<int>{7};
    QTest::newRow("delete nothing") << int(Delete) << QList<int>{};
}

void TestPageEdits::refusedOperationsChangeNothing()
{
    QFETCH(int, op);
    QFETCH(QList<int>, indexes);
    PageEdits edits;
    std::vector<TextBlock> blocks = threeBlocks();
    TextBlock image = fixtures::oneLineBlock(QStringLiteral("[image]"), QRectF(300, 300, 40, 30), 10);
    image.isImage = true;
    blocks.push_back(image);
    edits.load(blocks, 0, false);
    const QStringList before = texts(edits);
    if (op == Group)
        QCOMPARE(edits.groupBlocks(setOf(indexes), 792), -1);
    else if (op == ReplaceImage)
        QVERIFY(!edits.replaceImage(indexes.value(0), filled(Qt::green)));
    else
        apply(edits, op, setOf(indexes), 0);
    QCOMPARE(texts(edits), before);
    QVERIFY(!edits.isDirty());
}

void TestPageEdits::undoAndRedoKeepTypingNotYetRecorded()
{
    PageEdits edits;
    edits.load(threeBlocks(), 0, false);
    QString typing; // what a live editor holds for block 1
    edits.setSnapshotSource([&edits, &typing](const QString& label) {
        PageEdits::Snapshot now = edits.snapshot(label);
        if (!typing.isEmpty())
            now.blocks[1].text = typing;
        return now;
    });
    edits.pushStep(edits.snapshot(QStringLiteral("Удаление блоков")));
    edits.removeBlocks({2});
    typing = QStringLiteral("Gamma typed");
    edits.undo();
    typing.clear();
    QCOMPARE(texts(edits).size(), 3);
    edits.redo();
    // The state left by the undo had the typing: redo brings it back.
    QCOMPARE(texts(edits), (QStringList{QStringLiteral("Alpha beta"), QStringLiteral("Gamma typed")}));
    QCOMPARE(edits.blocksWithEdits().size(), size_t(3)); // the removed place goes first
    QVERIFY(edits.blocksWithEdits().front().removed);
}

void TestPageEdits::historyKeepsAtMostTheLimit()
{
    PageEdits edits;
    edits.load(threeBlocks(), 0, false);
    for (int i = 0; i < PageEdits::kMaxUndoSteps + 5; ++i) {
        edits.pushStep(edits.snapshot(QStringLiteral("Порядок блоков")));
        edits.reorderBlocks({0}, 0);
    }
    int undone = 0;
    while (edits.canUndo()) {
        edits.undo();
        ++undone;
    }
    QCOMPARE(undone, PageEdits::kMaxUndoSteps);
}

void TestPageEdits::historyEmptiedByEveryLoadAndClear_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("load") << 0;
    QTest::newRow("show") << 1;
    QTest::newRow("clear") << 2;
    QTest::newRow("another page") << 3;
}

void TestPageEdits::historyEmptiedByEveryLoadAndClear()
{
    QFETCH(int, how);
    PageEdits edits;
    edits.load(threeBlocks(), 0, false);
    edits.pushStep(edits.snapshot(QStringLiteral("Удаление блоков")));
    edits.removeBlocks({0});
    edits.pushStep(edits.snapshot(QStringLiteral("Удаление блоков")));
    edits.removeBlocks({0});
    edits.undo();
    QVERIFY(edits.canUndo() && edits.canRedo());
    if (how == 0)
        edits.load(threeBlocks(), 1, true);
    else if (how == 1)
        edits.show(1, threeBlocks(), {});
    else if (how == 2)
        edits.clear();
    else
        edits.startPage(1);
    QVERIFY(!edits.canUndo());
    QVERIFY(!edits.canRedo());
    QCOMPARE(edits.isDirty(), how == 0);
    QCOMPARE(edits.page(), how == 2 ? -1 : 1);
}

void TestPageEdits::commitWritesIntoRealDocument()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("letter.pdf"));
    QVERIFY(QFile::copy(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")), path));
    PdfDocument document;
    QVERIFY(document.open(path));
    std::vector<TextBlock> blocks = document.extractText(0);
    QVERIFY(!blocks.empty());

    PageEdits edits;
    edits.load(blocks, 0, false);
    QSet<int> gone;
    for (int i = 0; i < int(edits.blocks().size()); ++i) {
        if (edits.blocks()[size_t(i)].text.contains(QStringLiteral("carried over")))
            gone.insert(i);
    }
    QCOMPARE(gone.size(), 1);
    edits.pushStep(edits.snapshot(QStringLiteral("Удаление блоков")));
    edits.removeBlocks(gone);
    edits.appendTextBlock(0, QRectF(72, 500, 200, 16), QStringLiteral("Added by the clerk"), QString(), 11, Qt::black);
    QSignalSpy changed(&edits, &PageEdits::changed);
    QVERIFY(edits.commit(document));
    QVERIFY(edits.isEmpty());
    QVERIFY(!edits.isDirty());
    QVERIFY(!edits.canUndo());
    QCOMPARE(changed.last().at(0).toInt(), 0);

    const QString saved = dir.filePath(QStringLiteral("saved.pdf"));
    QVERIFY(document.saveCopy(saved));
    QVERIFY2(pdftools::installed(QStringLiteral("pdftotext")), "pdftotext is missing (poppler-utils)");
    const QString words = pdftools::words(saved, 0).join(u' ');
    QVERIFY2(!words.contains(QStringLiteral("carried")), qPrintable(words));
    QVERIFY2(words.contains(QStringLiteral("Added by the clerk")), qPrintable(words));
    QVERIFY2(words.contains(QStringLiteral("Quarterly report")), qPrintable(words));
    QVERIFY2(words.contains(QStringLiteral("Staff counted")), qPrintable(words));
}

void TestPageEdits::commitToMissingPageKeepsTheEdits()
{
    PdfDocument document;
    QVERIFY(document.open(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))));
    PageEdits edits;
    edits.load(threeBlocks(), 7, true); // a page the document does not have
    QVERIFY(!edits.commit(document));
    QCOMPARE(texts(edits).size(), 3);
    QVERIFY(edits.isDirty());
}

QTEST_GUILESS_MAIN(TestPageEdits)
#include "tst_pageedits.moc"
