#pragma once
// The page text model: text and image blocks of one page with their lines,
// words and style runs. Rectangles are PDF points, origin bottom-left.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

struct TextBlock {
    struct Line {
        struct Span {
            QString text;
            float fontSize = 10.0f;
            QString fontFamily;
            QColor color = Qt::black;
            bool bold = false;
            bool italic = false;
            bool superscript = false;
            bool subscript = false;
            // The glyphs' own fill colour in the PDF (color is what a render
            // shows); invalid when unknown.
            QColor fill = QColor();
        };

        struct Word {
            QString text;
            QRectF rect;
            float confidence = 0.0f; // 0..100 for recognised words, 100 for native ones
        };

        QString text;
        QRectF rect;
        std::vector<Span> spans; // native lines only
        std::vector<Word> words;
        float fontSize = 10.0f;
        QString fontFamily; // empty: the block's family and weight apply
        QColor color = Qt::black;
        bool bold = false;
        bool italic = false;
        bool invisibleText = false;
        // Native lines: per character of text, the box of the glyph that
        // draws it on the page (the frame of rect); empty when not known.
        std::vector<QRectF> glyphBoxes;
        // The text those glyphs draw, kept while the line's text is edited.
        QString glyphText;

        // Where a native line's glyphs stood when read, relative to the
        // bottom-left corner of rect (so it moves with the line): the first
        // glyph's origin on the baseline and how far its advances ran; and how
        // the line sat between the page's margins. Text written over the line
        // keeps its baseline and this alignment.
        struct Placement {
            QPointF origin;
            double width = 0;
            Qt::Alignment alignment = Qt::AlignLeft;
        };
        std::optional<Placement> placement;
        // A line of a turned scan runs turned by this many degrees, clockwise
        // as displayed, about the centre of rect: rect, its words' boxes (each
        // about its own centre) and its baseline lie in that turned frame.
        // The block's own rotation comes on top.
        double turn = 0.0;
        // How far above the bottom of rect its baseline stands; negative when
        // not known.
        double baselineLift = -1.0;
        // Recognised lines: the text and box the page shows for the line, as
        // it was recognised; empty for a line the page does not show. A write
        // redraws only the lines that no longer match them.
        QString originalText;
        QRectF originalRect;
        // Its words as recognised there (boxes as in words): where its
        // columns stood, which a rewrite keeps.
        std::vector<Word> originalWords;
        // The user gave the line another weight or slant with its text as it
        // was: it is written again all the same.
        bool restyled = false;
    };

    QString text;
    QString richText;
    QRectF rect;
    QRectF originalRect;
    std::vector<Line> lines;
    QImage image;
    int pageIndex = 0;
    bool isTable = false;
    bool isImage = false;
    bool inkRegion = false;
    float fontSize = 10.0f;
    QString fontFamily;
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
    bool invisibleText = false;
    bool textEdited = false;
    // The picture was replaced since the block was made: it is written even
    // where the block has not moved. originalImage keeps the picture the page
    // shows, whose ink a write still has to cover.
    bool imageEdited = false;
    QImage originalImage;
    double rotation = 0.0;
    // Deleted by the user: nothing of it is written, its old place
    // (originalRect) is cleared and its old text taken off the page.
    bool removed = false;
    // The rotation the block had when it was made: native lines set in another
    // direction carry it from the page; the user's turning changes rotation only.
    double originalRotation = 0.0;
};

// The lines hold the block's text (joined by blanks, blanks collapsed): they
// are written as they are.
bool linesCarryText(const TextBlock &block);

// Gives a line a new box over the same glyphs: its placement stays where
// its glyphs are.
void setLineBox(TextBlock::Line &line, const QRectF &box);

// Where text with no old glyphs to follow gets its baseline: this share of
// its size above the bottom of its box.
inline constexpr double kBaselineLiftOfSize = 0.12;
// The narrowest room between the words of a justified line written again,
// in shares of its size: a blank other readers still read as one (mupdf
// parts words from 0.15 on, poppler about there), with a margin.
inline constexpr double kMinJustifiedGapOfSize = 0.17;
// How far apart, in shares of their size, the lines of text the user adds stand.
inline constexpr double kAddedLinePitchOfSize = 1.2;

// Rotation beyond this many degrees counts as rotated.
inline constexpr double kBlockRotationEpsilon = 0.1;

// A rectangle with positive width and height (a null original rectangle
// marks a block the user added).
bool hasArea(const QRectF &r);

// Shown and written from richText rather than text.
bool isRichTextBlock(const TextBlock &block);

// A line from the PDF's own text layer (as opposed to a recognised one).
bool isNativeLine(const TextBlock::Line &line);

// An image placed by the user, with no origin in the page.
bool isInsertedImageObject(const TextBlock &block);

// The picture the page shows at the block's old place.
const QImage &pagePicture(const TextBlock &block);

// The user turned the block away from the rotation it was made with.
bool isTurnedByUser(const TextBlock &block);

// The block was moved, resized or rotated since it was made.
bool scannedExportBlockMoved(const TextBlock &block);

// What stands for a deleted block: its old place, cleared, with the places
// its recognised lines were read at, and the glyph boxes of its lines of the
// page's own text (by which their glyphs, and nothing over or under them, go).
TextBlock removedPlaceOf(const TextBlock &block);

// A digest of what a write of the blocks depends on: equal digests, equal writes.
QByteArray blocksFingerprint(const std::vector<TextBlock> &blocks);
