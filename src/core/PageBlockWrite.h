#pragma once
// One write of a page's blocks through a PageTextWriter: every text block is
// planned (what it covers, which lines it draws again), old places are
// covered white without reaching other lines, changed lines are drawn over
// them in their own frames (on a scan only their changed words as text, the
// others as the scan's own pixels), and the searchable layer is written.
// Callers hold the pdfium lock.

#include "ContentStreamEditor.h"
#include "EditPlan.h"
#include "LineCorrection.h"
#include "LineGlyphs.h"
#include "PageGlyphs.h"
#include "PageTextWriter.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#include <QImage>
#include <QPolygonF>
#include <QString>

#include <optional>
#include <vector>

namespace pdfengine {

struct ScanLineWord;

// A part of a page's render: its top-left pixel's place in the whole render,
// whose pixels per point across and down are the scales.
struct ScanPicture {
    QImage image;
    QImage shown;  // the same before the write hid any ink
    QPoint origin;
    double scaleX = 0;
    double scaleY = 0;
    double pageHeight = 0;
};

class PageBlockWrite {
public:
    PageBlockWrite(FPDF_PAGE page, PageTextWriter& writer, const PageGlyphs& oldGlyphs,
                   const std::vector<TextBlock>& blocks, bool forceWhiteout);

    // Whether anything is drawn visibly (covered, rewritten or moved).
    bool drawsVisibly() const;
    // Where the page's own glyphs must go: the old places of rewritten text
    // blocks (displayed-page points).
    std::vector<TurnedBox> removalBoxes() const;
    // The program's own objects the write replaces: its text and white-outs
    // under the new white-outs, and its earlier searchable layer except for
    // the lines left as they were.
    std::vector<int> objectsToRemove() const;
    // Writes every block; false with the reason when an object is refused.
    // otherLayer: boxes of another tool's searchable layer, which keeps the
    // recognised lines it already carries.
    bool write(const std::vector<QRectF>& otherLayer, bool& changed, QString& error);

    // What the write may change: the white-outs, and what it drew once written.
    std::vector<TurnedBox> editedAreas() const;
    // Text lines the write leaves as they stand: no edit may reach them.
    std::vector<TurnedBox> keptLines() const;
    // The old places the write clears on purpose (before any growth).
    std::vector<TurnedBox> clearedPlaces() const;
    // The band of the page the write draws in, known before it writes: every
    // row a white-out, a redrawn line or a picture covers (null: none).
    QRectF drawnBand(const QSizeF& pageSize) const;
    // The old places of the blocks only moved, each with its move: what
    // stands there is moved in the page's content as it stands (codes,
    // fonts and matrices kept), not written again.
    std::vector<MovedBox> movedBoxes() const;
    // Where the page's pictures lose their pixels for good: the scan's ink
    // the write covers, less the pixels its kept words are drawn from
    // (displayed-page points).
    std::vector<QPolygonF> pictureRemovals() const;

    // The page's own glyphs the write takes away, by their spots, where it
    // knows them: the glyphs of the page's own lines it writes again or
    // deletes, found by their boxes, and of the words replaced in the lines
    // it corrects. What stands over or under them stays.
    std::vector<GlyphSpot> removedGlyphs() const;
    // The words of corrected lines moved whole along their lines to make
    // room (displayed-page points): their glyphs, and the paths wholly
    // inside area, go where by takes them.
    struct WordMove {
        TurnedBox area;
        QPointF by;
        std::vector<GlyphSpot> glyphs;
    };
    std::vector<WordMove> wordMoves() const;
    // Every word of the page's own that corrected lines keep, moved or not
    // (displayed-page points): the save holds each to its look.
    const std::vector<KeptWordPlace>& keptWords() const { return m_keptWords; }
    // Where the typed words of corrected lines go in the page's content:
    // each run at the first glyph of the word it replaces (its anchor in
    // user space, its line from..to in displayed-page points).
    std::vector<TypedPlace> typedPlaces() const;
    bool knowsGlyphs() const;
    // Where paths wholly inside go with those glyphs (displayed-page points).
    std::vector<TurnedBox> ruleAreas() const;
    // The old places of deleted text blocks whose glyphs it does not know
    // (displayed-page points): no letter of the page's own may stay there.
    std::vector<TurnedBox> deletedPlaces() const;
    // Where the write changes the page's text otherwise (displayed-page
    // points): what it covers white, moves as an area, or takes away by
    // area where it does not know the glyphs.
    std::vector<TurnedBox> textAreas() const;

private:
    // A native block only moved: its text, size, turn and styles as they were.
    bool movesGlyphs(size_t index) const;
    // The glyphs of a native block's lines the write takes away, each line
    // found by its glyph boxes; none for a block taken by its place.
    void findLineGlyphs();
    bool takesByGlyphs(size_t index) const { return !m_lineGlyphs[index].empty(); }
    // The frame a native block's old glyphs are measured in, and a line's
    // old box there: from the bottom of its glyphs, as wide as they run and
    // as high as the line.
    static QTransform oldFrameOf(const TextBlock& block);
    static QRectF oldLineBox(const TextBlock::Line& line);
    // Lines of the page's own text corrected where they stand keep the words
    // the user left; a line whose words all change is written again whole.
    void planCorrections();
    const LineCorrection* correctionOf(size_t index, size_t line) const;
    void noteKeptWords();
    bool writeCorrection(size_t index, size_t line, const LineCorrection& correction);
    std::optional<TypedPlace> typedPlaceOf(const LineGlyphs& line, const LineCorrection& correction,
                                           const TypedRun& run) const;
    // The program's own objects a corrected block takes away: those drawing
    // a glyph it takes (they go whole, their other words typed again).
    void collectOwnTaken(size_t index, std::vector<int>& own) const;
    // The glyphs line k of a block taken by glyphs takes away: all of them,
    // or those of its replaced words where it is corrected.
    std::vector<size_t> takenOf(size_t index, size_t line) const;
    // The old glyphs of line k of a block taken by its glyphs, in the frame
    // of its old place; none when the line written is not one of those.
    std::optional<std::vector<PageGlyph>> oldGlyphsOf(size_t index, size_t line, const QTransform& toFrame) const;
    // What covers a native block's old place: the boxes of its own glyphs
    // there (the glyphs go from the content; nothing else there is touched),
    // or the place itself where it holds none.
    std::vector<TurnedBox> nativePatches(size_t index, const TurnedBox& place) const;
    void addTextBlockAreas(size_t index, std::vector<TurnedBox>& areas) const;
    void coverLayerWords(FPDF_PAGE page);
    void keepWhiteOutsOffOtherLines();
    bool writeTextBlock(size_t index, const std::vector<QRectF>& otherLayer, bool& changed, QString& error);
    bool writeInvisibleCopy(const TextBlock& block, const TextBlock::Line& line, QString& error);
    bool writeVisibleLine(const TextBlock& block, size_t index, size_t line, double lift);
    OldLinePlace oldPlaceFor(const TextBlock& block, size_t index, size_t line) const;
    double baselineLift(const TextBlock& block, size_t index, size_t line) const;
    std::vector<std::pair<QString, QRectF>> scanWordsOf(size_t index, size_t line) const;
    std::vector<std::pair<QString, QRectF>> scanWordsOnInk(size_t index, size_t line) const;
    QTransform pageToScanPixels() const;
    const TurnedBox* paintedOver(size_t index, size_t line) const;
    void renderScanLines(FPDF_PAGE page);
    void coverKeptWordsInk();
    void hideRemovedScanInk();
    std::optional<bool> writeScanWords(size_t index, size_t line, double lift);
    TextStyle scanStyle(size_t index, size_t line) const;
    std::vector<ScanLineWord> scanLayout(size_t index, size_t line) const;
    std::vector<ScanLineWord> scanLayout(size_t index, size_t line,
                                         const std::vector<std::pair<QString, QRectF>>& oldWords) const;
    QRectF keptBand(size_t index, size_t line, const TurnedBox& painted) const;
    static bool onlyPictureGlyphs(const std::vector<PageGlyph>& glyphs);

    PageTextWriter& m_writer;
    const PageGlyphs& m_glyphs;
    const std::vector<TextBlock>& m_blocks;
    std::vector<BlockPlan> m_plans;           // per block; empty for images
    std::vector<std::vector<TurnedBox>> m_painted;  // per block: the white-outs as drawn
    std::vector<std::vector<LineGlyphs>> m_lineGlyphs;  // per block: its lines' glyphs, taken by glyph
    std::vector<std::vector<std::optional<LineCorrection>>> m_corrections;  // per block and line
    std::vector<KeptWordPlace> m_keptWords;
    bool m_forceWhiteout = false;
    QString m_markLoss;  // why a correction is refused: the words left would lose their marks
    QString m_overflow;  // why a correction is refused: its line does not fit on the page, or runs into the text after it
    QSizeF m_pageSize;
    // The page as it showed before the write around the scan lines whose
    // untouched words keep their pixels, at the scan's own resolution.
    ScanPicture m_scan;
};

}  // namespace pdfengine
