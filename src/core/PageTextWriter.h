#pragma once
// Writing text, white-outs and pictures into one loaded page. Rectangles are
// in displayed-page points; every object is mapped into user space through the
// page transform, so text reads upright on turned pages.

#include "PageGlyphs.h"
#include "PdfEngineInternal.h"
#include "TextBlock.h"
#include "TurnedBox.h"
#include "WriterFonts.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace pdfengine {

struct LineRun;

struct TextStyle {
    QString fontFamily;
    float fontSize = 10;
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
};

// Where a rewritten line's old text stood: a rectangle in the frame toFrame
// maps the page into (where the old line runs left to right). A recognised
// line also knows what it read there, which gives its width on a scan that
// has no glyphs of its own.
struct OldLinePlace {
    QRectF rect;
    QTransform toFrame;
    QString recognisedText;
    // Its recognised words in that frame, which tell where its columns stood.
    std::vector<std::pair<QString, QRectF>> recognisedWords;
    // Where a native line's glyphs stood in its box and how it was aligned.
    std::optional<TextBlock::Line::Placement> laid;
    // The line was given another weight or slant: the page's own font is not its face.
    bool restyled = false;
    // The line's own glyphs in that frame, where they are known: read
    // instead of all that stands in rect (a stamp over the line, a page
    // under it).
    std::optional<std::vector<PageGlyph>> glyphs;
};

class PageTextWriter {
public:
    PageTextWriter(FPDF_DOCUMENT doc, FPDF_PAGE page, WriterFonts& fonts);
    ~PageTextWriter();

    // Visible text at rect, its baseline baselineLift above the rect's bottom
    // (negative: 0.12 of the size), turned by rotationDegrees (clockwise as
    // displayed) about rotationCentre.
    bool addVisibleText(const QString& text, const QRectF& rect, const TextStyle& style, double rotationDegrees = 0,
                        const QPointF& rotationCentre = {}, double baselineLift = -1);
    // The same, rect lying in a frame that placement puts onto the page.
    bool addVisibleText(const QString& text, const QRectF& rect, const TextStyle& style, const QTransform& placement,
                        double baselineLift);
    // A line written again over the glyphs it replaces (those standing in
    // old.rect, read before the write; rect: where the line stands now, in
    // the frame placement puts onto the page). It keeps their size, their
    // font where that draws every character, their fill colours run by run
    // and their width: another face's wider or narrower glyphs are scaled
    // horizontally. It never runs past the page's edge. Without visible old
    // glyphs a recognised line keeps the width it was read at; otherwise it
    // is addVisibleText. A native line's old layout (old.laid) says where its
    // first glyph starts in rect and how it was aligned: a right-aligned line
    // ends where it ended, a centred one keeps its centre, a justified one
    // spreads its words over the old width. stepWords: the line is a scan's,
    // turned a little; each word stands upright where it falls on the turned
    // baseline, as readers join the letters of a word only on one baseline.
    bool addRewrittenLine(const QString& text, const QRectF& rect, const TextStyle& style, const OldLinePlace& old,
                          const PageGlyphs& glyphs, const QTransform& placement, double baselineLift,
                          bool stepWords = false);
    // Invisible text stretched over rect: the searchable layer. blankAfter:
    // a blank follows the text outside rect, so readers part it from the next
    // word however close the recognised boxes stand.
    bool addInvisibleText(const QString& text, const QRectF& rect, const TextStyle& style, bool blankAfter = false);
    // Invisible text at the style's size on a baseline, stretched along it
    // over the width of rect (a frame that placement puts onto the page):
    // the searchable layer of a recognised word, read back at its own size
    // and baseline. stepped: it stands upright where its middle falls on the
    // turned baseline (a scan's slight turn), else it is turned with it.
    bool addInvisibleRun(const QString& text, const QRectF& rect, double baseline, const TextStyle& style,
                         const QTransform& placement, bool stepped, bool blankAfter = false);
    // A white rectangle grown by 1.5 points on every side, turned by
    // rotationDegrees about its centre; false when pdfium refuses it.
    bool addWhiteRect(const QRectF& rect, double rotationDegrees = 0);
    // A white box grown by growth points on every side in its own frame.
    bool addWhiteBox(const TurnedBox& box, double growth);
    bool addImage(const QRectF& rect, const QImage& image, double rotationDegrees = 0);
    // The picture over rect, a frame that placement puts onto the page.
    bool addImage(const QRectF& rect, const QImage& image, const QTransform& placement);
    // How wide text runs in the face addVisibleText sets it in at the
    // style's size; negative when no face takes it.
    double visibleAdvance(const QString& text, const TextStyle& style);
    // How far right of its advance the first glyph's ink of text starts in
    // the face addInvisibleRun sets it in, at the style's size.
    double invisibleLeftBearing(const QString& text, const TextStyle& style);
    // Visible text on a baseline of a frame that placement puts onto the
    // page, its first glyph's ink starting at inkLeft, its glyphs scaled
    // across by scale; stepWords as for addRewrittenLine. blankAfter: a
    // blank follows its last glyph, so readers part it from the next word
    // however close that stands.
    bool addWordsAt(const QString& text, double inkLeft, double scale, double baseline, const TextStyle& style,
                    const QTransform& placement, bool stepWords, bool blankAfter = false);
    // The face words typed into a line of the page's own are set in: the
    // first of the page's fonts given that draws every character of text as
    // the page draws it (line: the glyphs of that line), else the style's
    // face, fixed-pitch where the line is. Null, with the reason kept, when
    // none draws the text.
    FPDF_FONT typedFace(const QString& text, const TextStyle& style, const std::vector<FPDF_FONT>& own,
                        const PageGlyphs& glyphs, const std::vector<PageGlyph>& line);
    // Visible text in font at size and colour on a baseline of a frame that
    // placement puts onto the page, its first glyph's advance starting at x,
    // its glyphs scaled across by scale; gap: where the font draws no blank,
    // its words are set apart by so much.
    bool addRunAt(const QString& text, FPDF_FONT font, double size, const QColor& color, double x, double scale,
                  double baseline, const QTransform& placement, double gap = 0);
    // Indices of the objects given among the page's.
    void collectObjects(const std::set<FPDF_PAGEOBJECT>& objects, std::vector<int>& indices) const;
    // Puts the picture in place of the topmost image object shown at rect,
    // at the same place in the page's drawing order; false when none stands
    // there or pdfium refuses.
    bool replaceImage(const QRectF& rect, const QImage& image);
    // A translucent rectangle blended with Multiply over the page content.
    bool addMarkupRect(const QRectF& rect, const QColor& color);
    // Removes every text object drawn invisibly (alpha below 5 or render mode 3).
    bool removeInvisibleText();
    // Indices and boxes of the program's own invisible text objects, except
    // those centred in one of the kept boxes (displayed-page points).
    void collectOwnInvisibleText(const std::vector<TurnedBox>& kept, std::vector<int>& indices,
                                 std::vector<QRectF>& boxes) const;
    // Indices of the text objects lying inside box grown like a white-out,
    // split into the program's own and the page's original ones. A turned
    // box takes the objects centred in it.
    void collectTextInside(const TurnedBox& box, std::vector<int>& own, std::vector<int>& original) const;
    // Indices of the program's own white-outs lying inside box, as collectTextInside finds them.
    void collectWhiteOutsInside(const TurnedBox& box, std::vector<int>& own) const;
    // The box, in box's own frame, around the invisible text objects centred
    // in it: on a scan the layer's words span the ink of their words, which a
    // line box read from the layer's glyphs may not.
    QRectF invisibleTextAround(const TurnedBox& box) const;
    // Indices and boxes (displayed-page points) of the invisible text objects,
    // split into the program's own and the page's original ones.
    void collectInvisibleText(std::vector<int>& own, std::vector<int>& original, std::vector<QRectF>& ownBoxes,
                              std::vector<QRectF>& originalBoxes) const;
    // Removes the objects at the given indices (as counted before any removal).
    bool removeObjectsAt(std::vector<int> indices);
    // How many objects this writer put into the page.
    int insertedCount() const { return m_inserted; }
    // Where the visible text and pictures it put in stand (displayed-page points).
    const std::vector<QRectF>& drawnBounds() const { return m_drawn; }
    // Why the last text could not be written.
    QString lastError() const { return m_lastError; }

private:
    bool removeTextObjectsWhere(const std::function<bool(FPDF_PAGEOBJECT)>& doomed);
    bool placeTextObject(const QString& text, const QRectF& rect, const TextStyle& style, bool invisible,
                         const QTransform& displayedMatrixExtra, double baselineLift = -1, bool blankAfter = false);
    // The face that draws text in style; null, with the reason kept, when none can.
    FPDF_FONT styleFont(const TextStyle& style, const QString& text, WriterFonts::Drawn drawn);
    bool insertOwn(FPDF_PAGEOBJECT object);
    void noteDrawn(FPDF_PAGEOBJECT object, int type);
    bool placeRun(FPDF_FONT font, double size, const QString& text, const QColor& color, const QTransform& placement);
    // How far right of its origin the first glyph of text starts its ink.
    double leftBearing(FPDF_FONT font, double size, const QString& text) const;
    bool placeLaidRun(FPDF_FONT font, double size, const LineRun& run, const std::vector<QColor>& colors,
                      double baseline, const QTransform& placement, bool stepWords);
    bool placeBlankAfter(FPDF_FONT font, double size, const LineRun& run, const QColor& color, double baseline,
                         const QTransform& placement, bool stepWords);
    int imageObjectAt(const QRectF& rect) const;
    void transformIntoPage(FPDF_PAGEOBJECT object, const QTransform& displayed) const;

    FPDF_DOCUMENT m_doc;
    FPDF_PAGE m_page;
    PdfPageTransform m_transform;
    QTransform m_toUser;
    WriterFonts& m_fonts;
    QString m_lastError;
    int m_inserted = 0;
    std::vector<QRectF> m_drawn;
};

// The colour of every character of newText, which replaces oldText (one
// colour per character): kept characters keep theirs, replaced ones take the
// colour of the first glyph they replace, inserted ones that of the character
// before them, blanks that of the character before them.
std::vector<QColor> colorsForRewrittenText(const QString& oldText, const std::vector<QColor>& oldColors,
                                           const QString& newText, const QColor& fallback);

// The lines to write for a block: its own lines, or, when the user edited the
// text, the current text laid out in lines over the block's geometry.
std::vector<TextBlock::Line> linesForWriting(const TextBlock& block);

} // namespace pdfengine
