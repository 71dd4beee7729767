// Writing into page content: the text layer and edited blocks, pictures, free
// text and highlights.
#include "PdfDocument.h"

#include "ContentStreamEditor.h"
#include "IncrementalUpdate.h"
#include "PdfChangeNotice.h"
#include "PageGlyphRemoval.h"
#include "PagePictureRemoval.h"
#include "PageGlyphs.h"
#include "PageOwnContent.h"
#include "PageResourceNames.h"
#include "PageRemovalTrial.h"
#include "PageBlockWrite.h"
#include "PageTextWriter.h"
#include "PdfEngineInternal.h"
#include "QpdfFile.h"
#include "TextBlock.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QDebug>
#include <QTransform>

#include <cmath>

using namespace pdfengine;

namespace {

constexpr double kFreeTextLineSpacing = 1.2;
constexpr double kMarkBarShare = 0.1;  // underline and strike-out bars, of the rectangle's height
constexpr double kMinMarkBar = 1.0;
constexpr double kMaxMarkBar = 4.0;

// Where a mark of kind is drawn: the whole rectangle for a highlight, a bar
// along its bottom edge for an underline, a bar through its middle for a
// strike-out (PDF points, y up).
QRectF markArea(const QRectF& rect, int kind)
{
    const QRectF box = rect.normalized();
    const double bar = std::clamp(box.height() * kMarkBarShare, kMinMarkBar, kMaxMarkBar);
    switch (kind) {
    case 1:
        return QRectF(box.x(), box.y(), box.width(), bar);
    case 2:
        return QRectF(box.x(), box.center().y() - bar / 2, box.width(), bar);
    default:
        return box;
    }
}

// The page to write into, or null with the reason in error.
PagePtr pageForWriting(FPDF_DOCUMENT doc, int pageIndex, QString& error)
{
    if (!doc) {
        error = QStringLiteral("Документ не открыт.");
        return PagePtr();
    }
    PagePtr page(pageIndex >= 0 ? pdfApi().FPDF_LoadPage(doc, pageIndex) : nullptr);
    if (!page)
        error = QStringLiteral("Не удалось открыть страницу %1.").arg(pageIndex + 1);
    return page;
}

// Whether any glyph of the page stands in the boxes.
bool glyphsInside(const PageGlyphs& glyphs, const std::vector<TurnedBox>& boxes)
{
    return std::any_of(boxes.begin(), boxes.end(),
                       [&](const TurnedBox& box) { return !glyphs.inside(box.rect, box.toFrame()).empty(); });
}

// Where the content editor looks for each moved line's glyphs: its box, and
// upright, the band from each glyph's baseline up to half its size, for the
// glyphs whose ink stands in it. The editor places a glyph by the middle of
// its face, which a line of low ink (leader dots) does not reach; the band
// stays short of the lines above and below.
constexpr double kFaceMiddleReach = 0.5;  // of a glyph's size above its baseline

std::vector<QPolygonF> placesTheEditorTakes(const std::vector<MovedBox>& moved, const PageGlyphs& glyphs)
{
    std::vector<QPolygonF> places;
    for (const MovedBox& box : moved) {
        if (box.from.isTurned()) {
            places.push_back(box.from.polygon());
            continue;
        }
        QRectF place = box.from.bounds();
        for (const PageGlyph& glyph : glyphs.inside(box.from.rect, box.from.toFrame()))
            if (glyph.visible && !glyph.own && glyph.size > 0 && hasArea(glyph.advanceBox))
                place = place.united(QRectF(glyph.advanceBox.left(), glyph.baseline, glyph.advanceBox.width(),
                                            glyph.size * kFaceMiddleReach));
        places.push_back(QPolygonF(place));
    }
    return places;
}

QString refusalText(int pageIndex, const QString& reason)
{
    return QStringLiteral("Текст страницы %1 нельзя удалить точно: %2").arg(pageIndex + 1).arg(reason);
}

QString editRefusalText(int pageIndex, const QString& reason)
{
    return QStringLiteral("Правка страницы %1 не записана: %2").arg(pageIndex + 1).arg(reason);
}

QString swallowedText(int pageIndex)
{
    return QStringLiteral("Содержимое страницы %1 повреждено: записанное на неё не читается.").arg(pageIndex + 1);
}

// Writes the page's content again and reads it back: false, with the reason,
// when pdfium refuses or when the page's own content swallows what was
// appended to it (an open string, say). The page handle is the reloaded page.
bool regenerateAndCheck(FPDF_DOCUMENT doc, int pageIndex, PagePtr& page, int inserted, QString& error)
{
    touchOwnObjects(page.get());
    if (!pdfApi().FPDFPage_GenerateContent(page.get())) {
        error = QStringLiteral("pdfium не смог записать содержимое страницы %1.").arg(pageIndex + 1);
        return false;
    }
    page.reset(pdfApi().FPDF_LoadPage(doc, pageIndex));
    if (inserted > 0 && (!page || countOwnObjects(page.get()) < inserted)) {
        error = swallowedText(pageIndex);
        return false;
    }
    return true;
}

// What became of objects appended to a page: the reason when they were not
// written, and whether the page was regenerated at all.
struct AppendOutcome {
    bool touched = false;
    QString error;
};

AppendOutcome commitAppendedObjects(FPDF_DOCUMENT doc, int pageIndex, PagePtr& page, int inserted)
{
    if (!appendedContentReads(doc, pageIndex))
        return {false, swallowedText(pageIndex)};
    QString error;
    regenerateAndCheck(doc, pageIndex, page, inserted, error);
    return {true, error};
}

int quarterTurnsOf(const PdfPageTransform& transform)
{
    return ((transform.quarterTurns() % 4) + 4) % 4;
}

// What a write of blocks changed on a page, for the check of the saved file.
PageEdit blockEdit(const std::vector<TextBlock>& blocks, const EditAreas& areas, const PageBlockWrite& write,
                   const PdfPageTransform& transform)
{
    PageEdit edit;
    edit.edited = areas.edited;
    edit.kept = areas.kept;
    edit.cleared = areas.cleared;
    edit.quarterTurns = quarterTurnsOf(transform);
    edit.moved = areas.moved;
    edit.glyphsKnown = areas.glyphsKnown;
    edit.taken = areas.taken;
    edit.textEdited = areas.textEdited;
    edit.deleted = write.deletedPlaces();
    edit.keptWords = write.keptWords();
    constexpr double kTextBoxMargin = 2.0;  // a glyph's middle may stand just past a tight box
    for (const TextBlock& block : blocks) {
        if (block.textEdited && !block.removed && !block.isImage && !block.text.trimmed().isEmpty()) {
            edit.texts << block.text;
            edit.textBoxes.push_back(TurnedBox(block.rect, block.rotation).grown(kTextBoxMargin));
        }
        // A searchable layer adds or moves text where nothing shows a change,
        // on purpose: only the page's own lines leave its text as it was.
        if (block.invisibleText || !std::all_of(block.lines.begin(), block.lines.end(), [](const TextBlock::Line& line) {
                return isNativeLine(line) && !line.invisibleText;
            }))
            edit.textKept = false;
    }
    return edit;
}

std::vector<QPolygonF> userPolygons(const std::vector<QPolygonF>& displayed, const PdfPageTransform& transform)
{
    std::vector<QPolygonF> user;
    for (const QPolygonF& area : displayed)
        user.push_back(transform.toUserMatrix().map(area));
    return user;
}

QStringList blockTexts(const std::vector<TextBlock>& blocks)
{
    QStringList texts;
    for (const TextBlock& block : blocks)
        if (!block.removed)
            texts << block.text;
    return texts;
}

// What a change of a page's objects in qpdf wrote (objects by number),
// and how many things it changed.
using PageObjectsChange = std::function<int(QPDFObjectHandle page, std::vector<std::pair<int, int>>& written)>;

// bytes with what change wrote on their page pageIndex appended as an
// update; *out stays empty when it changed nothing. False with the reason.
bool pageObjectsChanged(const QByteArray& bytes, int pageIndex, const PageObjectsChange& change, QByteArray* out,
                        QString* error)
{
    QpdfFile file;
    int changes = 0;
    std::vector<std::pair<int, int>> written;
    return file.load(bytes, error) &&
           file.run([&](QPDF& pdf) {
               const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
               if (pageIndex >= 0 && size_t(pageIndex) < pages.size())
                   changes = change(pages[size_t(pageIndex)], written);
           }, error) &&
           (changes == 0 || IncrementalUpdate::append(file.pdf(), bytes, written, out, error));
}

} // namespace

// All or nothing: the page is written again only when every object was
// accepted and the page changed nowhere but where the blocks were edited; on
// any failure it is closed unwritten, as it was.
bool PdfDocument::overlayOcrText(int pageIndex, const std::vector<TextBlock>& blocks, bool forceWhiteout)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (blocks.empty()) {
        setLastError(QStringLiteral("Нет блоков для записи на страницу."));
        return false;
    }
    QString error;
    PagePtr page = pageForWriting(m_doc, pageIndex, error);
    if (!page) {
        setLastError(error);
        return false;
    }
    if (!contentWritableUnlocked(pageIndex))
        return false;
    const PageResourceSnapshot asRead = pageResourcesUnlocked(pageIndex);
    if (!ownPageResourcesUnlocked(pageIndex, asRead, page))
        return false;
    const bool anyEdited = std::any_of(blocks.begin(), blocks.end(), isEditedBlock);
    const bool anyMoved = std::any_of(blocks.begin(), blocks.end(), [](const TextBlock& b) {
        return hasArea(b.originalRect) && (!sameIntegerRect(b.rect, b.originalRect) || isTurnedByUser(b) || b.removed);
    });
    // Where the old glyphs stand, read before anything is removed. Its fonts
    // stay loaded in this document: it goes before the document is read again.
    auto glyphsHolder = std::make_unique<PageGlyphs>(anyEdited || anyMoved || forceWhiteout ? FPDF_DOCUMENT(m_doc)
                                                                                           : nullptr,
                                                     page.get());
    const PageGlyphs& oldGlyphs = *glyphsHolder;

    m_writtenPages.insert(pageIndex);
    writerFontsUnlocked().notePage(pageIndex);
    auto writer = std::make_unique<PageTextWriter>(m_doc, page.get(), writerFontsUnlocked());
    PageBlockWrite write(page.get(), *writer, oldGlyphs, blocks, forceWhiteout);
    const PdfPageTransform transform = pageTransformOf(page.get());
    const double trialScale = pageTrialScale(transform.pageSize());
    // The band the write draws in, as it looks now.
    // (Drawing off the page changes nothing that shows.)
    const QRectF band = write.drawsVisibly()
                            ? write.drawnBand(transform.pageSize()).intersected(QRectF(QPointF(), transform.pageSize()))
                            : QRectF();
    QPoint bandOrigin;
    const QImage before = band.isEmpty() ? QImage() : renderLoadedPageRegion(page.get(), trialScale, band, &bandOrigin);

    // The state to go back to when the page's own glyphs, or the scan's
    // pixels, cannot be removed: the bytes the document was read from,
    // unless it changed since.
    const std::vector<TurnedBox> boxes = write.removalBoxes();
    const std::vector<GlyphSpot> removedSpots = write.removedGlyphs();
    const std::vector<PageBlockWrite::WordMove> wordMoves = write.wordMoves();
    const std::vector<TypedPlace> typedPlaces = write.typedPlaces();
    const QTransform toUser = transform.toUserMatrix();
    const auto userVector = [&toUser](const QPointF& by) { return toUser.map(by) - toUser.map(QPointF()); };
    std::vector<TakenGlyph> taken;
    for (const GlyphSpot& spot : removedSpots)
        taken.push_back({spot, false, QPointF()});
    for (const PageBlockWrite::WordMove& move : wordMoves)
        for (const GlyphSpot& spot : move.glyphs)
            taken.push_back({spot, true, userVector(move.by)});
    const bool removal = glyphsInside(oldGlyphs, boxes) || !taken.empty();
    const std::vector<QPolygonF> erased = userPolygons(write.pictureRemovals(), transform);
    QByteArray rollback;
    const bool rewriteBefore = m_rewriteOnSave, modifiedBefore = m_modified, changedBefore = m_changedSinceLoad;
    const auto rollBack = [&] {
        reloadFromBytesUnlocked(rollback);  // the write above is undone with it
        m_rewriteOnSave = rewriteBefore;
        m_modified = modifiedBefore;
        m_changedSinceLoad = changedBefore;
    };
    if ((removal || !erased.empty()) && !serializeForEditUnlocked(&rollback, &error)) {
        setLastError(refusalText(pageIndex, error));
        return false;
    }

    const std::vector<int> doomed = write.objectsToRemove();
    // Another tool's searchable layer stays; recognised lines it already
    // carries get no second copy.
    std::vector<int> ownLayer, otherLayer;
    std::vector<QRectF> ownLayerBoxes, otherLayerBoxes;
    writer->collectInvisibleText(ownLayer, otherLayer, ownLayerBoxes, otherLayerBoxes);
    const bool removedOwn = writer->removeObjectsAt(doomed);
    bool changed = removedOwn;
    if (!write.write(otherLayerBoxes, changed, error)) {
        setLastError(error);
        return false;
    }
    const EditAreas areas{write.editedAreas(), write.keptLines(), write.clearedPlaces(), write.movedBoxes(),
                          write.knowsGlyphs(),       taken,              write.textAreas()};
    const std::vector<QPolygonF> movedPlaces = placesTheEditorTakes(areas.moved, oldGlyphs);
    // The page as it now draws, before anything is kept: a white-out over a
    // line left as it stands, or a change outside the edited boxes, leaves
    // the page as it was.
    QPoint afterOrigin;
    if (!band.isEmpty() &&
        !rendersChangeOnlyInside(before, renderLoadedPageRegion(page.get(), trialScale, band, &afterOrigin),
                                 bandOrigin, areas, transform.pageSize(), trialScale, &error)) {
        setLastError(editRefusalText(pageIndex, error));
        return false;
    }
    // A page that would swallow new objects is left as it was.
    if (writer->insertedCount() > 0 && !appendedContentReads(m_doc, pageIndex)) {
        setLastError(swallowedText(pageIndex));
        return false;
    }
    const int inserted = writer->insertedCount();
    writer.reset();
    glyphsHolder.reset();
    const PageEdit edit = blockEdit(blocks, areas, write, transform);
    if (changed) {
        const bool written = regenerateAndCheck(m_doc, pageIndex, page, inserted, error);
        // The content changed even where it cannot be read back.
        if (removedOwn || removal)
            markChangedUnlocked();
        else
            markAddedUnlocked();
        if (!written) {
            PageEdit unknown = edit;
            unknown.texts.clear();
            unknown.placesKnown = false;
            notePageEditUnlocked(pageIndex, unknown);
            setLastError(error);
            return false;
        }
    }
    page.reset();
    // What the page's forms draw with goes back before anything reads the page's content.
    if (changed)
        keepPageResourcesUnlocked(pageIndex, asRead);
    if (!removal) {
        if (inserted > 0)
            wrapPageStreamsUnlocked(pageIndex);
        if (!erasePicturePixelsUnlocked(pageIndex, erased, areas, rollback, rollBack))
            return false;
        if (changed)
            notePageEditUnlocked(pageIndex, edit, blockTexts(blocks));
        return true;
    }

    // Then the page's own glyphs under the rewritten blocks are cut out of
    // its content stream (the program's text written over them stays), and
    // the document is read again from the edited bytes.
    GlyphEdit glyphEdit;
    for (const TurnedBox& box : boxes)
        glyphEdit.areas.push_back(toUser.map(box.polygon()));
    glyphEdit.glyphs = removedSpots;
    for (const TurnedBox& box : write.ruleAreas())
        glyphEdit.ruleAreas.push_back(toUser.map(box.polygon()));
    // Text only moved goes in the content as it stands: its codes, fonts and matrices.
    for (size_t i = 0; i < areas.moved.size(); ++i)
        glyphEdit.moves.push_back({toUser.map(movedPlaces[i]), userVector(areas.moved[i].by), {}});
    for (const PageBlockWrite::WordMove& move : wordMoves)
        glyphEdit.moves.push_back({toUser.map(move.area.polygon()), userVector(move.by), move.glyphs});
    // Typed words read where the words they replace stood.
    for (const TypedPlace& place : typedPlaces)
        glyphEdit.typed.push_back({place.anchor, toUser.map(place.from), toUser.map(place.to), place.after});
    QByteArray current, after;
    int removed = 0;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PageGlyphRemoval::run(current, pageIndex, glyphEdit, areas, &after, &removed, &error)) {
        rollBack();
        setLastError(refusalText(pageIndex, error));
        return false;
    }
    if (removed > 0 && !reloadFromBytesUnlocked(after))
        return false;
    if (removed > 0)
        markChangedUnlocked();  // text only moved changes nothing before the content is edited
    if (!erasePicturePixelsUnlocked(pageIndex, erased, areas, rollback, rollBack))
        return false;
    notePageEditUnlocked(pageIndex, edit, blockTexts(blocks));
    return true;
}

// The scan's pixels the write covers go from the page's pictures too, and
// the next save writes the file anew: no earlier revision keeps them.
bool PdfDocument::erasePicturePixelsUnlocked(int pageIndex, const std::vector<QPolygonF>& areas,
                                             const EditAreas& trial, const QByteArray& earlier,
                                             const std::function<void()>& rollBack)
{
    if (areas.empty())
        return true;
    QByteArray current, after;
    QString error;
    int pictures = 0;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PagePictureRemoval::run(earlier, current, pageIndex, areas, trial, &after, &pictures, &error)) {
        rollBack();
        setLastError(refusalText(pageIndex, error));
        return false;
    }
    if (pictures == 0)
        return true;
    if (!reloadFromBytesUnlocked(after))
        return false;
    m_modified = true;
    m_rewriteOnSave = true;
    return true;
}

bool PdfDocument::removeInvisibleTextLayer(int pageIndex)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    QString error;
    PagePtr page = pageForWriting(m_doc, pageIndex, error);
    if (!page) {
        setLastError(error);
        return false;
    }
    auto writer = std::make_unique<PageTextWriter>(m_doc, page.get(), writerFontsUnlocked());
    std::vector<int> own, original;
    std::vector<QRectF> ownBoxes, boxes;
    writer->collectInvisibleText(own, original, ownBoxes, boxes);
    // Hidden text goes: the page draws as before, its text reads otherwise.
    PageEdit hiddenTextGone;
    hiddenTextGone.textKept = false;
    hiddenTextGone.quarterTurns = quarterTurnsOf(pageTransformOf(page.get()));
    // Nothing to remove writes nothing, even on content that does not read whole.
    if (!own.empty() && !contentWritableUnlocked(pageIndex))
        return false;
    const PageResourceSnapshot asRead = own.empty() ? PageResourceSnapshot() : pageResourcesUnlocked(pageIndex);
    if (asRead.shared) {
        writer.reset();
        if (!ownPageResourcesUnlocked(pageIndex, asRead, page))
            return false;
        writer = std::make_unique<PageTextWriter>(m_doc, page.get(), writerFontsUnlocked());
        own.clear();
        original.clear();
        writer->collectInvisibleText(own, original, ownBoxes, boxes);
    }
    if (writer->removeObjectsAt(own)) {
        if (!pdfApi().FPDFPage_GenerateContent(page.get())) {
            setLastError(QStringLiteral("pdfium не смог записать содержимое страницы %1.").arg(pageIndex + 1));
            return false;
        }
        markChangedUnlocked();
        notePageEditUnlocked(pageIndex, hiddenTextGone);
    }
    writer.reset();
    page.reset();
    if (!own.empty())
        keepPageResourcesUnlocked(pageIndex, asRead);
    if (original.empty())
        return true;
    // Another tool's layer shares its content with what the page shows: it is
    // cut out of that content token by token, where that changes nothing the
    // page shows; otherwise it stays.
    QByteArray current, after;
    int removed = 0;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PageGlyphRemoval::removeInvisibleLayer(current, pageIndex, &after, &removed, &error)) {
        setLastError(refusalText(pageIndex, error));
        return true;
    }
    if (removed > 0 && reloadFromBytesUnlocked(after)) {
        m_modified = true;
        m_rewriteOnSave = true;
        notePageEditUnlocked(pageIndex, hiddenTextGone);
    }
    return true;
}

bool PdfDocument::appendToPage(int pageIndex, const std::function<bool(PageTextWriter&)>& add)
{
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page || !contentWritableUnlocked(pageIndex))
        return false;
    const PageResourceSnapshot asRead = pageResourcesUnlocked(pageIndex);
    if (!ownPageResourcesUnlocked(pageIndex, asRead, page))
        return false;
    m_writtenPages.insert(pageIndex);
    writerFontsUnlocked().notePage(pageIndex);
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    if (!add(writer))
        return false;
    PageEdit appended;
    appended.placesKnown = false;
    appended.quarterTurns = quarterTurnsOf(pageTransformOf(page.get()));
    const AppendOutcome outcome = commitAppendedObjects(m_doc, pageIndex, page, writer.insertedCount());
    if (outcome.touched) {
        markAddedUnlocked();
        notePageEditUnlocked(pageIndex, appended);
        page.reset();
        keepPageResourcesUnlocked(pageIndex, asRead);
    }
    if (!outcome.error.isEmpty())
        setLastError(outcome.error);
    return outcome.error.isEmpty();
}

void PdfDocument::wrapPageStreamsUnlocked(int pageIndex)
{
    if (m_bytesDamaged)
        return;
    // Most pages leave no text state: they need no wrapping, and the document
    // is not read again.
    const std::vector<int>& origins = pageOriginsUnlocked();
    const int origin = pageIndex >= 0 && pageIndex < int(origins.size()) ? origins[size_t(pageIndex)] : -1;
    if (origin >= 0 && !m_fileBytes.isEmpty()) {
        if (!m_contentSource) {
            m_contentSource = std::make_unique<QpdfFile>();
            m_contentSource->load(m_fileBytes, nullptr);
        }
        bool leaves = true;
        if (m_contentSource->isLoaded())
            m_contentSource->run([&](QPDF& pdf) {
                const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
                if (size_t(origin) < pages.size())
                    leaves = ContentStreamEditor::leavesTextState(pages[size_t(origin)]);
            }, nullptr);
        if (!leaves)
            return;
    }
    QByteArray current, wrapped;
    QString error;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PageGlyphRemoval::wrapPageStreams(current, pageIndex, &wrapped, &error)) {
        qWarning().noquote() << "Page" << pageIndex + 1 << "keeps its streams unwrapped:" << error;
        return;
    }
    if (!wrapped.isEmpty())
        reloadFromBytesUnlocked(wrapped);
}

PageResourceSnapshot PdfDocument::pageResourcesUnlocked(int pageIndex)
{
    PageResourceSnapshot snapshot;
    const std::vector<int>& origins = pageOriginsUnlocked();
    const int origin = pageIndex >= 0 && pageIndex < int(origins.size()) ? origins[size_t(pageIndex)] : -1;
    if (m_bytesDamaged || m_fileBytes.isEmpty())
        return snapshot;
    const auto read = [&](QpdfFile& file, int index) {
        if (file.isLoaded())
            file.run([&](QPDF& pdf) {
                const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
                if (index >= 0 && size_t(index) < pages.size())
                    snapshot = pageResourceSnapshot(pages[size_t(index)]);
            }, nullptr);
    };
    if (origin < 0) {
        // A page put in since the file was read (imported from another
        // document) stands only in the document as it is now.
        QByteArray current;
        QString error;
        QpdfFile now;
        if (serializeForEditUnlocked(&current, &error) && now.load(current, &error))
            read(now, pageIndex);
        return snapshot;
    }
    if (!m_contentSource) {
        m_contentSource = std::make_unique<QpdfFile>();
        m_contentSource->load(m_fileBytes, nullptr);
    }
    read(*m_contentSource, origin);
    return snapshot;
}

void PdfDocument::keepPageResourcesUnlocked(int pageIndex, const PageResourceSnapshot& asRead)
{
    // Only a name no object of the page carries can have gone: most pages
    // are not read again.
    if (!asRead.droppable || m_bytesDamaged)
        return;
    QByteArray current, kept;
    QString error;
    const auto restore = [&asRead](QPDFObjectHandle page, std::vector<std::pair<int, int>>& written) {
        return restoreResources(page.getQPDF(), page, asRead, written);
    };
    if (serializeForEditUnlocked(&current, &error) && pageObjectsChanged(current, pageIndex, restore, &kept, &error) &&
        (kept.isEmpty() || reloadFromBytesUnlocked(kept)))
        return;
    qWarning().noquote() << "Page" << pageIndex + 1 << "may lack resources its content looks up:" << error;
}

bool PdfDocument::ownPageResourcesUnlocked(int pageIndex, const PageResourceSnapshot& asRead, PagePtr& page)
{
    if (!asRead.shared)
        return true;
    page.reset();  // closed while the document is read again
    QByteArray current, owned;
    QString error;
    if (!serializeForEditUnlocked(&current, &error) ||
        !pageObjectsChanged(current, pageIndex, ownResources, &owned, &error) ||
        (!owned.isEmpty() && !reloadFromBytesUnlocked(owned))) {
        qWarning().noquote() << "Page" << pageIndex + 1 << "keeps resources other pages share:" << error;
        setLastError(editRefusalText(pageIndex, QStringLiteral("страница рисует ресурсами, общими с другими "
                                                               "страницами, а дать ей свои не удалось.")));
        return false;
    }
    page = pageForWriting(m_doc, pageIndex, error);
    if (!page)
        setLastError(error);
    return bool(page);
}

bool PdfDocument::addFreeText(int pageIndex, const QRectF& rect, const QString& text, const QString& fontFamily,
                              float fontSize, const QColor& color)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || text.isEmpty() || pageIndex < 0)
        return false;
    // One text object per line, the last on the rectangle's bottom and the
    // others above it; the faces are the writer's embedded subsets, so any
    // script typed is drawn and read back as typed.
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QRectF box = rect.normalized();
    const double lineGap = kFreeTextLineSpacing * std::max(double(fontSize), 1.0);
    const bool written = appendToPage(pageIndex, [&](PageTextWriter& writer) {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString line = lines[i].trimmed();
            if (line.isEmpty())
                continue;
            const QRectF lineBox = box.translated(0, double(lines.size() - 1 - i) * lineGap);
            if (!writer.addVisibleText(line, lineBox, TextStyle{fontFamily, fontSize, color, false, false})) {
                if (!writer.lastError().isEmpty())
                    setLastError(writer.lastError());
                return false;
            }
        }
        return true;
    });
    if (!written)
        return false;
    // Text, unlike paths and pictures, takes the text state the page leaves.
    wrapPageStreamsUnlocked(pageIndex);
    return true;
}

bool PdfDocument::addImageToPage(int pageIndex, const QPointF& position, const QSizeF& size, const QImage& image)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0 || image.isNull() || size.width() <= 0 || size.height() <= 0)
        return false;
    return appendToPage(pageIndex, [&](PageTextWriter& writer) { return writer.addImage(QRectF(position, size), image); });
}

// Drawn over the content with Multiply rather than under it, so the mark also
// shows on pages that are one full-page picture. Kind 0 fills the rectangle,
// 1 underlines it, 2 strikes it through.
bool PdfDocument::addMarkupAnnot(int pageIndex, const QRectF& rect, const QColor& color, int kind)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    constexpr int kMinAlpha = 20;
    constexpr int kMaxAlpha = 120;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0)
        return false;
    QColor fill = color.isValid() ? color : QColor(255, 230, 0, 90);
    fill.setAlpha(std::clamp(fill.alpha(), kMinAlpha, kMaxAlpha));
    const QRectF area = markArea(rect, kind);
    return appendToPage(pageIndex, [&](PageTextWriter& writer) { return writer.addMarkupRect(area, fill); });
}

bool PdfDocument::addHighlightAnnot(int pageIndex, const QRectF& rect, const QColor& color)
{
    return addMarkupAnnot(pageIndex, rect, color, 0);
}

bool PdfDocument::addStickyNote(int, const QPointF&, const QString&, const QString&)
{
    setLastError(QStringLiteral("Заметки в PDF пока не поддерживаются."));
    return false;
}
