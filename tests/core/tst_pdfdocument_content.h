#pragma once
// Shared by the content-writing tests: blocks made and found, and the
// measures of a page's pixels before and after an edit.

#include "BlockFixtures.h"
#include "PageTextWriter.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"

#include <QDir>
#include <QPainter>
#include <QMap>
#include <QTransform>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::PageSpec;
using fixtures::TextRun;

namespace contenttest {

inline TextBlock ocrBlock(const QString& text, const QRectF& rect, float size = 14)
{
    return fixtures::oneLineBlock(text, rect, size);
}

// Bounding box of dark pixels inside area (pixels).
inline QRect inkBox(const QImage& image, const QRect& area)
{
    QRect box;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110)
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

// How many times each word stands in a list; a ligature glyph ("ﬃ") reads
// as its letters.
inline QMap<QString, int> wordCounts(const QStringList& words)
{
    QMap<QString, int> counts;
    for (const QString& w : words)
        ++counts[w.normalized(QString::NormalizationForm_KC)];
    return counts;
}

// Share of pixels outside the boxes (points, bottom-left origin) that differ.
inline double changedShareOutside(const QImage& before, const QImage& after, const QList<QRectF>& boxes, double pageHeight,
                           double dpi)
{
    if (before.size() != after.size() || before.isNull())
        return 1.0;
    const double scale = dpi / 72.0;
    QList<QRect> skipped;
    for (const QRectF& r : boxes)
        skipped << QRect(int(r.x() * scale) - 3, int((pageHeight - r.bottom()) * scale) - 3, int(r.width() * scale) + 7,
                         int(r.height() * scale) + 7);
    qint64 changed = 0, total = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            if (std::any_of(skipped.begin(), skipped.end(), [&](const QRect& r) { return r.contains(x, y); }))
                continue;
            ++total;
            const QRgb a = before.pixel(x, y), b = after.pixel(x, y);
            changed += qAbs(qGray(a) - qGray(b)) > 40;
        }
    return total ? double(changed) / double(total) : 1.0;
}

// The box on the page of a block's rect turned by its rotation.
inline QRectF shownBox(const QRectF& rect, double rotation)
{
    QTransform turn;
    turn.translate(rect.center().x(), rect.center().y());
    turn.rotate(-rotation);
    turn.translate(-rect.center().x(), -rect.center().y());
    return turn.mapRect(rect).adjusted(-1.5, -1.5, 1.5, 1.5);
}

inline std::vector<TextBlock>::iterator blockWithText(std::vector<TextBlock>& blocks, const QString& text)
{
    return std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text.trimmed() == text; });
}

}  // namespace contenttest

class TestPdfDocumentContent : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void ownLayerIsReplacedAndRemoved();
    void anotherToolsLayerIsKept();
    void fiveEditCyclesKeepTheLineInPlace_data();
    void fiveEditCyclesKeepTheLineInPlace();
    void editChangesOnlyTheEditedLine_data();
    void editChangesOnlyTheEditedLine();
    void linesLaidOverEachOtherKeepEachOther_data();
    void linesLaidOverEachOtherKeepEachOther();
    void unchangedBlocksKeepTheWordCount_data();
    void unchangedBlocksKeepTheWordCount();
    void scannedLineIsCoveredWhole();
    void failedWriteLeavesThePageAsItWas();
    void damagedContentNeverCrashes_data();
    void damagedContentNeverCrashes();
    void recognisedWordsAreSearchableWhereTheyStand();
    void movedImagesCoverTheirOldPlace_data();
    void movedImagesCoverTheirOldPlace();
    void movedOrTurnedBlockIsRedrawn_data();
    void movedOrTurnedBlockIsRedrawn();
    void textOnTurnedPageReadsUpright();
    void highlightsShowOverPicturesWithClampedAlpha();
    void refusedWritesSayWhy();
    void marksOfEachKindOnAScan_data();
    void marksOfEachKindOnAScan();
    void freeTextCarriesRussian_data();
    void freeTextCarriesRussian();
    void freeTextLinesStackInTheRectangle();
    void secondAdditionKeepsTheFirstsResources();
    void editedParagraphsAreLaidOutOverTheBlock();
    void deletedScanWordLeavesEveryPictureCoding_data();
    void deletedScanWordLeavesEveryPictureCoding();
    void formsKeepWhatTheyDrawWithThePagesResources_data();
    void formsKeepWhatTheyDrawWithThePagesResources();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openPage(PdfDocument& doc, const PageSpec& page, const QString& name);
    QTemporaryDir m_dir;
};
