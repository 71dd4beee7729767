#pragma once

#include "EditPlan.h"
#include "PdfPageTransform.h"
#include "PdfSignatures.h"
#include "SavedFileCheck.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class DocumentChanges;
class QIODevice;
class SaveMeter;
struct fpdf_document_t__;
struct TextBlock;
struct fpdf_page_t__;
namespace pdfengine {
struct DocumentCloser;
struct EditAreas;
struct PageCloser;
struct PageResourceSnapshot;
class PageTextWriter;
class QpdfFile;
class WriterFonts;
}

// Which page objects a render draws.
enum PdfRenderLayer : int {
    PdfRenderAll = 0,
    PdfRenderWithoutText = 1,
    PdfRenderTextOnly = 2,
    // What the page draws after its text over it (boxes, pictures, stamps), alone.
    PdfRenderOverText = 3,
};

// One open PDF over pdfium. The whole file is read into memory and pdfium reads
// from that copy. Every operation that reaches pdfium takes the process-wide
// pdfium lock, so documents may be used from several threads.
//
// Failures: false, -1 or an empty result; where a failure has a reason it is in
// lastError() right after the call. Nothing throws.
//
// Rectangles and points are in points of the displayed page (after /Rotate),
// origin bottom-left, y upward, unless a function says otherwise.
class PdfDocument {
public:
    // Where on its page a link or bookmark leads, as the file gives it: the
    // left and top of the view in the page's user space (unrotated, as
    // pdfium reads it); a missing side keeps the view where it is on that
    // axis. Turned into displayed-page points by spotOnPage when followed,
    // so reading an outline never loads its pages.
    struct PageSpot {
        std::optional<double> left;
        std::optional<double> top;
        bool operator==(const PageSpot&) const = default;
    };

    struct LinkTarget {
        enum Kind { None = 0, Page = 1, Url = 2, File = 3 };
        int kind = None;
        int pageIndex = -1;
        QUrl url;
        QString path;
        PageSpot spot;  // for Page
    };

    struct OutlineItem {
        QString title;
        int pageIndex = -1;
        QUrl url;
        QList<OutlineItem> children;
        PageSpot spot;  // with pageIndex
    };

    struct FindOptions {
        bool matchCase = false;
        bool wholeWord = false;
        bool useRegex = false;
    };

    PdfDocument();
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    // isOpen, isModified and revision may be read from any thread without the
    // engine lock; filePath belongs to the thread that opens and saves.
    bool isOpen() const { return m_doc.load(std::memory_order_acquire) != nullptr; }
    QString filePath() const { return m_filePath; }
    QString lastError() const;
    bool isModified() const { return m_modified.load(std::memory_order_acquire); }
    // Changes whenever the document's pages or their content may have changed
    // (open, create, close, reload after save, page operations, content writes),
    // so callers can key caches of derived data (text, sizes) on it.
    quint64 revision() const { return m_revision.load(std::memory_order_acquire); }
    // The file was damaged and the open document is qpdf's repaired copy of
    // it: its bytes differ from the file's although nothing was edited, so a
    // save must write them. Cleared when another document is loaded or the
    // document is saved.
    bool wasRepaired() const { return m_repaired.load(std::memory_order_acquire); }
    // Pages other readers find in the file that could not be kept (indices
    // of the file's pages), empty when none was lost. Set on opening.
    std::vector<int> lostPages() const { return m_lostPages; }
    QString lostPagesText() const;
    // The repair read the file's pages otherwise than its page tree lists
    // them (a page added, a loop or a repeated subtree cut, another order).
    bool pageListChanged() const { return m_pageListChanged; }
    // False while the file the document was opened from holds pages, or an
    // order of them, the document lacks: no save goes over that file. Set on
    // opening and kept through every edit and reload until a save to
    // another file; may be read from any thread without the engine lock.
    bool holdsSourceWhole() const { return !m_sourceGuarded.load(std::memory_order_acquire); }
    // Why a save over the file is refused, empty when it is not.
    QString sourceGuardText() const;

    // The document's announcements: the page operations, content writes and
    // saves, each after it changed the document; aboutToChange before.
    DocumentChanges* changes() const { return m_changes.get(); }

    // Document core
    bool open(const QString& path);
    bool createEmpty();
    void close();
    void markModified();

    // What a save may do to the signed revisions of a signed file. Changes
    // that only add (pages turned, moved or added, text and pictures put on
    // pages) are appended after them and keep every signature valid; after a
    // removal (text, a page) or on a damaged file the file is written anew,
    // which invalidates them.
    enum class SignedRevisions {
        Keep,           // such a save is refused: lastError names the signatures
        MayInvalidate,  // the user agreed to lose them
    };
    // progress, when given, is told the part of the save done of the whole
    // and may stop it (false) while the file is still untouched: the save
    // fails with "Сохранение остановлено.", the file and the document stay as
    // they were. committing is asked when the file is about to be replaced:
    // false stops the save as above; after true nothing stops it.
    bool save(const QString& path, SignedRevisions signedRevisions = SignedRevisions::Keep,
              const std::function<bool(int done, int total)>& progress = {},
              const std::function<bool()>& committing = {});
    bool saveAs(const QString& path, SignedRevisions signedRevisions = SignedRevisions::Keep);
    // A copy elsewhere leaves the signed file as it is, so by default it may
    // be written anew.
    bool saveCopy(const QString& path, SignedRevisions signedRevisions = SignedRevisions::MayInvalidate) const;
    // The signatures of the file as opened or last saved that still cover
    // their revisions; changed only by open and save, under the engine lock,
    // so the thread that opens and saves reads it without.
    const std::vector<PdfSignature>& signatures() const { return m_signatures; }
    // The last save or copy was refused because it would have written the
    // signed revisions anew; cleared by the next one.
    bool saveRefusedForSignatures() const { return m_saveRefusedForSignatures.load(); }

    // Pages
    int pageCount() const;
    QSizeF pageSize(int pageIndex) const;
    // Every page's size (as pageSize gives it) and the revision they belong to,
    // read in one hold of the engine lock. Waits at most waitMs for the lock
    // (as long as needed when negative) and returns false, reading nothing,
    // when it could not be had: the GUI thread must not wait on a long render.
    bool readPageSizes(std::vector<QSizeF>* sizes, quint64* revision, int waitMs) const;
    PdfPageTransform pageTransform(int pageIndex) const;
    bool deletePage(int pageIndex);
    bool rotatePage(int pageIndex, int degrees);
    bool movePage(int from, int to);
    bool insertBlankPage(int index, const QSizeF& size);
    bool appendPage(const QString& path, int pageIndex);
    bool importDocument(const QString& path);
    bool appendRenderedPage(const QImage& image, const QSizeF& pageSize);
    bool extractPageSubset(const QList<int>& pages, const QString& path) const;

    // Rendering
    QImage renderPageLayer(int pageIndex, double scale, int rotation, PdfRenderLayer layer,
                           bool transparentBackground) const;
    QImage renderPage(int pageIndex, double scale, int rotation) const;
    // The page as it reads once blocks are written on it (as overlayOcrText
    // writes them, an empty list taking its invisible text away): the write
    // goes into a copy of the document apart from this one, which is then
    // rendered. Null, with the write's reason in *error, when the write fails.
    QImage renderPageWritten(int pageIndex, const std::vector<TextBlock>& blocks, double scale, int rotation,
                             QString* error = nullptr) const;
    QImage renderPageRegion(int pageIndex, double scale, const QRectF& region) const;

    // Links, outline, search and plain text
    LinkTarget linkAtPoint(int pageIndex, const QPointF& point) const;
    QList<OutlineItem> outline() const;
    QList<QRectF> findText(int pageIndex, const QString& text) const;
    QList<QRectF> findTextWithOptions(int pageIndex, const QString& text, const FindOptions& options) const;
    // The same search, each match with its own rectangles (one per line a
    // phrase runs over), in page order.
    QList<QList<QRectF>> findMatches(int pageIndex, const QString& text, const FindOptions& options) const;
    // spot (in page pageIndex's user space) in displayed-page points, origin
    // bottom-left; an axis the spot leaves open stays open (after a /Rotate
    // of a quarter turn the file's top is the displayed left).
    PageSpot spotOnPage(int pageIndex, const PageSpot& spot) const;
    QString extractAllText(int pageIndex) const;
    QString extractAllTextAllPages() const;

    // The version the file declares in its header, as 10 * major + minor (17
    // for 1.7); 0 for a document that was never read from a file.
    int fileVersion() const;
    // The fonts the page draws text with, forms included, each once in order
    // of first use: the font's own name without a subset tag.
    QStringList pageFontNames(int pageIndex) const;

    // Export and compression
    // Settings of every compression operation; readers clamp imageDpi to 36..600
    // and jpegQuality to 1..100.
    struct CompressionOptions {
        int imageDpi = 150;
        int jpegQuality = 55;
        bool grayscale = false;
        bool recompressSmallImages = true;  // keeping objects: re-encode images that need no downscaling
        bool rasterizePages = true;         // one picture per page, or keep the objects
        bool monochrome = false;            // rasterising: 1-bit pictures instead of JPEG
        bool operator==(const CompressionOptions&) const = default;
    };
    // The smallest forecast over the fixed presets.
    struct CompressionEstimate {
        qint64 bytes = -1;
        QString label;
        CompressionOptions options;
        bool sampled = false;  // extrapolated from a sample of pages
    };
    // Told the pages done and their count; returning false cancels.
    using Progress = std::function<bool(int done, int total)>;
    // format: "pdf", "txt", "html", "xhtml", "png", "jpg", "jpeg" or "bmp" (any
    // letter case). Pictures are one file per page at dpi (36..600), named
    // "<base>_<page>.<suffix>" beside path when there is more than one page.
    // progress, when given, is called on the calling thread before each page
    // and at the end; a cancelled export leaves none of its files and fails
    // with "Экспорт отменён.".
    bool exportDocument(const QString& format, const QString& path, int dpi, const Progress& progress = {});
    qint64 estimateCompressedSize(const CompressionOptions& options, bool* sampled = nullptr) const;
    CompressionEstimate estimateMinimumCompressedSize() const;
    // A page that cannot be rendered is written as a white page: the file is
    // kept, false is returned and lastError() names the pages. progress, when
    // given, is called (on the calling thread) with the pages done and the
    // page count before each page and at the end; returning false cancels:
    // nothing is written and lastError() is "Сжатие отменено.".
    using CompressionProgress = Progress;
    bool compressTo(const QString& path, const CompressionOptions& options,
                    const CompressionProgress& progress = {}) const;


    // Native text and images as page blocks, in reading order
    std::vector<TextBlock> extractText(int pageIndex) const;
    std::vector<TextBlock> extractImages(int pageIndex) const;

    // The page's glyphs by what they mean. A glyph means nothing when pdfium
    // has no Unicode for it (0, U+FFFD, private use, a control code) or only
    // its code above ASCII as a guess (a legacy 8-bit font without a Unicode
    // map). Glyphs of text that draws nothing (a searchable layer) count apart.
    struct GlyphMeaning {
        int drawn = 0;
        int drawnWithoutMeaning = 0;
        int hiddenWithMeaning = 0;
        // Most drawn glyphs mean nothing: the text the page shows cannot be offered.
        bool drawnTextMeansNothing() const;
        // ... and no hidden layer with meaning stands in for it.
        bool offersNoText() const;
    };
    GlyphMeaning glyphMeaning(int pageIndex) const;
    // The page's glyphs as a preview of a write needs them: a corrected line
    // of a searchable layer keeps to the size the layer sets its words at.
    std::vector<pdfengine::GlyphMark> glyphMarks(int pageIndex) const;

    // Page content. overlayOcrText writes a page's blocks: edited, moved or
    // turned ones visibly over a white-out of their old place, and a fitted
    // invisible copy of every line that shows no text of its own.
    bool overlayOcrText(int pageIndex, const std::vector<TextBlock>& blocks, bool forceWhiteout);
    // Removes the page's invisible (searchable) text, as overlayOcrText does
    // before writing; for a page whose blocks were all deleted. False only
    // when the page cannot be loaded.
    bool removeInvisibleTextLayer(int pageIndex);
    bool addFreeText(int pageIndex, const QRectF& rect, const QString& text, const QString& fontFamily, float fontSize,
                     const QColor& color);
    bool addImageToPage(int pageIndex, const QPointF& position, const QSizeF& size, const QImage& image);
    bool addMarkupAnnot(int pageIndex, const QRectF& rect, const QColor& color, int);
    bool addHighlightAnnot(int pageIndex, const QRectF& rect, const QColor& color);
    bool addStickyNote(int pageIndex, const QPointF& position, const QString&, const QString&);

    // Largest picture a render may allocate, in pixels.
    static constexpr qint64 kMaxRenderPixels = qint64(80) * 1000 * 1000;
    // Largest file the engine reads into memory.
    static constexpr qint64 kMaxFileBytes = qint64(1536) * 1024 * 1024;
    // The largest page side a PDF allows, in points.
    static constexpr double kMaxPageSide = 14400.0;

private:
    class ChangeNotice;
    std::unique_ptr<DocumentChanges> m_changes;
    bool writeToFile(const QString& path, SignedRevisions signedRevisions,
                     const std::function<bool(int, int)>& progress, const std::function<bool()>& committing);
    // The file's signatures and a digest of the longest signed revision,
    // read from the bytes the document is now bound to.
    void noteSignaturesUnlocked(const QByteArray& bytes);
    void forgetSignatures();
    // False, with the reason, when bytes would not keep the signed revisions
    // as their prefix and the caller did not agree to that.
    bool keepsSignedRevisionsUnlocked(const QByteArray& bytes, SignedRevisions signedRevisions) const;
    // The pages are the document's that the bytes hold, in their order; none: every page.
    bool readsBackUnlocked(QByteArray& bytes, const QList<int>& pages = {},
                           pdfengine::WrittenCopy copy = pdfengine::WrittenCopy::Whole) const;
    // The document's bytes are now those of a file: later saves are compared with them.
    void resetCheckSourceUnlocked(const QByteArray& bytes);
    // The page of the check source page pageIndex shows; -1: none; below
    // -1: the origin of a page put in from another file.
    int checkOriginUnlocked(int pageIndex) const;
    // Takes an edit of page pageIndex into what changed since the check
    // source; blockTexts: the texts the page's blocks hold now.
    void notePageEditUnlocked(int pageIndex, const pdfengine::PageEdit& edit, const QStringList& blockTexts = {});

    bool loadFromFileUnlocked(const QString& path);
    // As a file of path (empty: none) holding bytes was opened.
    bool loadFromBytesUnlocked(const QByteArray& bytes, const QString& path);
    void dropDoc();
    // What the open document knew about the file it came from (repaired,
    // damaged, pages lost or read otherwise): gone once another document is
    // open or this one was saved.
    void forgetSourceStateUnlocked();
    // Revisions are unique across documents, so a cache keyed on a revision
    // never takes a new document at an old one's address for the old one.
    void bumpRevision()
    {
        m_revision.store(s_nextRevision.fetch_add(1, std::memory_order_relaxed), std::memory_order_release);
    }
    static inline std::atomic<quint64> s_nextRevision{1};
    // Every edit of the open document: modified, and caches keyed on the
    // revision go stale. An edit that may have taken anything away makes the
    // next save write the file anew; one that only added lets it append.
    void markChangedUnlocked()
    {
        m_rewriteOnSave = true;
        markAddedUnlocked();
    }
    void markAddedUnlocked()
    {
        m_modified = true;
        m_changedSinceLoad = true;
        bumpRevision();
    }
    void setLastError(const QString& text) const;
    // check, when given, is told the bytes written so far and may stop the write.
    bool writeDocumentTo(QIODevice& out, unsigned long flags, QString* error,
                         const std::function<bool(qint64)>& check = {}) const;
    bool serializeForEditUnlocked(QByteArray* bytes, QString* error,
                                  const std::function<bool(qint64)>& check = {}) const;
    // meter, when given, follows the steps and may stop them (false).
    bool documentBytesUnlocked(QByteArray* bytes, QString* error, SaveMeter* meter = nullptr) const;
    // The document as a save writes it, opened apart from the open one,
    // which holds what pdfium made to draw annotations: copies and extracted
    // pages are written from it. *bytes keeps what it reads; null, with the
    // reason, when it could not be opened.
    std::unique_ptr<fpdf_document_t__, pdfengine::DocumentCloser> savedCopyUnlocked(QByteArray* bytes,
                                                                                    QString* error) const;
    // The compressed copy that keeps the objects, made from that document.
    QByteArray objectKeepingCopyUnlocked(const CompressionOptions& options, QString* error) const;
    bool reloadFromBytesUnlocked(const QByteArray& bytes);
    bool appendPagesFromFile(const QString& path, int pageIndex);
    // Whether the pages a copy of source's page pageIndex (all for -1)
    // holds from index first show what they showed in source; false, with
    // the reason in lastError, when the copy lost part of them.
    bool copiedPagesKeptUnlocked(const QByteArray& copy, int first, const QByteArray& source, int pageIndex,
                                 int wanted);
    // Pages put in from source (page pageIndex, all for -1) from index
    // first on, pages of fileBytes when inBytes: each is proved against its
    // page of source at every save.
    void notePutInPagesUnlocked(const QByteArray& source, int first, int pageIndex, int wanted, bool inBytes);
    // Whether pdfium's copy of the listed pages would break part of them,
    // so that qpdf copies them; the caller holds the lock.
    bool pagesNeedQpdfUnlocked(const QList<int>& pages) const;
    // Appends the page of a one-page picture PDF of pageSize points.
    bool appendPicturePage(const QByteArray& pagePdf, const QSizeF& pageSize);
    // The two ways pages of a checked source come in; the caller holds the lock.
    bool appendPagesUnlocked(fpdf_document_t__* source, const QByteArray& sourceBytes, int pageIndex, int wanted);
    bool appendQpdfPagesUnlocked(const QByteArray& source, int pageIndex, int wanted);
    // Which page of fileBytes each page of the document was read from (-1:
    // made since; below -1, put in from another file, see m_putInPages);
    // kept through page operations so that a page's original content can
    // be checked before pdfium writes it again.
    std::vector<int>& pageOriginsUnlocked();
    // Whether every page of the tree is found by index; remembered per revision.
    bool pageTreeLoadsUnlocked();
    // A page edit of pdfium's own, checked by its caller. Turning, moving or
    // adding pages takes nothing away, so a save may append it; a page of the
    // file that was removed must not stay in an earlier revision.
    enum class PageTreeChange { Appendable, RemovesContent };
    void markPageTreeChangedUnlocked(PageTreeChange change);
    // False, with the reason in lastError, when the page's original content
    // does not read whole: writing it would lose the part pdfium could not read.
    bool contentWritableUnlocked(int pageIndex);
    QList<QList<QRectF>> findRegex(int pageIndex, const QString& pattern, bool matchCase) const;
    // Fonts of text written into the open document, loaded once for its life.
    pdfengine::WriterFonts& writerFontsUnlocked();
    // Lets `add` put objects on the page, then writes the page and reads it
    // back; the caller holds the lock.
    bool appendToPage(int pageIndex, const std::function<bool(pdfengine::PageTextWriter&)>& add);
    // Puts the page's own streams between q and Q ahead of the program's
    // objects, so the text state they leave (Tz, Tr, ...) does not reach the
    // program's text; the document is read again from the wrapped bytes.
    // False, with the reason in lastError, when that could not be done.
    void wrapPageStreamsUnlocked(int pageIndex);
    // pdfium writes a page's content again keeping only the resources its
    // objects carry: the page's resources as read before a write, and after
    // it the names the page's content and the forms it draws still look up
    // put back into them (the document is read again).
    pdfengine::PageResourceSnapshot pageResourcesUnlocked(int pageIndex);
    void keepPageResourcesUnlocked(int pageIndex, const pdfengine::PageResourceSnapshot& asRead);
    // pdfium writes those dictionaries in place: where other pages may draw
    // with them too (asRead.shared), the page gets copies of its own first
    // and the document is read again (page, open on it, is opened anew), so
    // a write changes no other page. False, with the reason in lastError,
    // when that could not be done.
    bool ownPageResourcesUnlocked(int pageIndex, const pdfengine::PageResourceSnapshot& asRead,
                                  std::unique_ptr<fpdf_page_t__, pdfengine::PageCloser>& page);
    // Clears the areas (user space) in the pictures page pageIndex draws
    // there and drew in earlier (the bytes before the write), the page
    // looking as before outside trial's edited areas; on failure rollBack
    // undoes the write and the reason is in lastError.
    bool erasePicturePixelsUnlocked(int pageIndex, const std::vector<QPolygonF>& areas,
                                    const pdfengine::EditAreas& trial, const QByteArray& earlier,
                                    const std::function<void()>& rollBack);

    QMutex& m_mutex;
    mutable QMutex m_errorMutex;
    mutable QString m_lastError;
    // Written under the engine lock; atomic so that isOpen() needs no lock.
    std::atomic<fpdf_document_t__*> m_doc{nullptr};
    QString m_filePath;
    QByteArray m_fileBytes;
    std::atomic<bool> m_modified{false};
    std::atomic<bool> m_repaired{false};
    std::vector<int> m_lostPages;
    bool m_pageListChanged = false;
    std::atomic<bool> m_sourceGuarded{false};  // lost pages or a changed page list
    bool m_bytesDamaged = false;  // m_fileBytes are damaged and unrepaired: a save writes the document whole
    quint64 m_soundTreeRevision = 0;         // the revision whose page tree was found sound
    std::vector<QSizeF> m_openedSizes;       // page sizes read while the file was checked
    quint64 m_openedSizesRevision = 0;       // ... valid for this revision only
    std::vector<int> m_pageOrigins;          // empty: page i was read from page i
    std::vector<signed char> m_originChecked;  // per page of fileBytes: 0 unknown, 1 readable, -1 not
    std::unique_ptr<pdfengine::QpdfFile> m_contentSource;  // qpdf's parse of fileBytes, made on first need
    // Something was removed or replaced since the file was read: the next
    // save writes the file anew, leaving no earlier revision that holds it.
    bool m_rewriteOnSave = false;
    // pdfium's document differs from m_fileBytes, the bytes it was read from.
    bool m_changedSinceLoad = false;
    std::set<int> m_writtenPages;  // pages the program wrote text into since the file was opened
    // The bytes every save is compared with (as opened, last saved or merged:
    // the page origins count their pages), and what the user changed on
    // their pages since, by page of them.
    QByteArray m_checkSource;
    // Per page of fileBytes: its page of the check source (or the origin of
    // a put-in page); empty: the same.
    std::vector<int> m_checkOrigins;
    std::map<int, pdfengine::PageEdit> m_pageEdits;
    // Pages put in from other files since the check source was read: the
    // bytes each file was read from, and per put-in page its file, its page
    // there and whether its content reads whole (0 unknown, 1 yes, -1 no).
    // A put-in page's origin is -2 - its index in m_putInPages.
    struct PutInPage {
        int source = -1;
        int page = -1;
        signed char readable = 0;
    };
    std::vector<QByteArray> m_putInSources;
    std::vector<PutInPage> m_putInPages;
    std::vector<PdfSignature> m_signatures;
    qint64 m_signedLength = 0;  // bytes of the longest signed revision
    QByteArray m_signedDigest;  // their SHA-256
    mutable std::atomic<bool> m_saveRefusedForSignatures{false};
    std::atomic<quint64> m_revision{0};
    std::unique_ptr<pdfengine::WriterFonts> m_writerFonts;  // dropped before the document closes
};
