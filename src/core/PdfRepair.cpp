#include "PdfRepair.h"

#include "InlineImage.h"
#include "PdfEngineInternal.h"
#include "PdfiumApi.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <cctype>
#include <future>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace pdfengine {

namespace {

QString damagedText(const QString& detail)
{
    return QStringLiteral("Файл повреждён: %1").arg(detail);
}

QString unrepairableText(const QString& detail)
{
    return QStringLiteral("Файл повреждён и не может быть восстановлен: %1").arg(detail);
}

// The page dictionaries reachable from the page tree, as qpdf sees them.
int walkPages(QPDF& pdf)
{
    return int(pdf.getAllPages().size());
}

// Resources of the wrong kind (a string where a font should be) are dropped
// from each page, so that nothing reads one as what it is not.
void dropMistypedResources(QPDFObjectHandle page)
{
    QPDFObjectHandle resources = page.getKey("/Resources");
    if (!resources.isDictionary()) {
        page.replaceKey("/Resources", QPDFObjectHandle::newDictionary());
        return;
    }
    for (const char* category : {"/Font", "/XObject", "/ExtGState", "/Pattern", "/Shading", "/Properties"}) {
        QPDFObjectHandle entries = resources.getKey(category);
        if (entries.isNull())
            continue;
        if (!entries.isDictionary()) {
            resources.removeKey(category);
            continue;
        }
        for (const std::string& name : entries.getKeys()) {
            QPDFObjectHandle entry = entries.getKey(name);
            if (!entry.isDictionary() && !entry.isStream())
                entries.removeKey(name);
        }
    }
}

// Page dictionaries the tree no longer reaches (a flipped byte broke the
// reference to them) are put back where their numbers place them among the
// pages it does reach, when those come in the order of their numbers.
std::vector<QPDFObjectHandle> withOrphanPages(QPDF& pdf, std::vector<QPDFObjectHandle> pages)
{
    std::set<QPDFObjGen> reached;
    int last = -1;
    bool ordered = true;
    for (const QPDFObjectHandle& page : pages) {
        reached.insert(page.getObjGen());
        ordered = ordered && page.getObjectID() > last;
        last = page.getObjectID();
    }
    for (QPDFObjectHandle object : pdf.getAllObjects()) {
        if (!object.isDictionary() || !object.getKey("/Type").isNameAndEquals("/Page") ||
            reached.count(object.getObjGen()))
            continue;
        auto at = pages.end();
        if (ordered)
            at = std::find_if(pages.begin(), pages.end(), [&object](const QPDFObjectHandle& page) {
                return page.getObjectID() > object.getObjectID();
            });
        pages.insert(at, object);
    }
    return pages;
}

// A flat page tree of the pages qpdf found, their inherited attributes
// written into each page, so that every index loads on its own.
void flattenPageTree(QPDF& pdf)
{
    pdf.pushInheritedAttributesToPage();
    const std::vector<QPDFObjectHandle> pages = withOrphanPages(pdf, pdf.getAllPages());
    QPDFObjectHandle root = pdf.getRoot();
    QPDFObjectHandle tree = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    QPDFObjectHandle kids = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle page : pages) {
        if (!page.isDictionary())
            continue;
        page.replaceKey("/Parent", tree);
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        dropMistypedResources(page);
        kids.appendItem(page);
    }
    tree.replaceKey("/Type", QPDFObjectHandle::newName("/Pages"));
    tree.replaceKey("/Kids", kids);
    tree.replaceKey("/Count", QPDFObjectHandle::newInteger(kids.getArrayNItems()));
    root.replaceKey("/Pages", tree);
    pdf.updateAllPagesCache();
}

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c));
}

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c));
}

// The bytes with their last cross-reference offset pointing at no table:
// qpdf then finds the objects by scanning the file, as other readers do.
// Empty when the file names no offset.
QByteArray withTableUnnamed(const QByteArray& bytes)
{
    const qsizetype at = bytes.lastIndexOf("startxref");
    if (at < 0)
        return QByteArray();
    QByteArray rescanned = bytes;
    qsizetype digit = at + 9;
    while (digit < rescanned.size() && isSpace(rescanned[digit]))
        ++digit;
    if (digit >= rescanned.size() || !isDigit(rescanned[digit]))
        return QByteArray();
    for (; digit < rescanned.size() && isDigit(rescanned[digit]); ++digit)
        rescanned[digit] = '0';
    return rescanned;
}

// qpdf trusts a cross-reference table that it can read even where its
// offsets lead nowhere (all zero, say), and then finds no catalog.
bool loadRecovering(QpdfFile& file, const QByteArray& bytes, QString* error)
{
    if (file.load(bytes, error) && file.run([](QPDF& pdf) { pdf.getRoot().getKey("/Pages"); }, error))
        return true;
    const QByteArray rescanned = withTableUnnamed(bytes);
    QString rescanError;
    return !rescanned.isEmpty() && file.load(rescanned, &rescanError);
}

// Reads "<number> <generation> obj" at offset, after blanks, as qpdf does.
bool objectStartsAt(const QByteArray& bytes, qint64 offset, int number, int generation)
{
    qsizetype at = qsizetype(offset);
    const auto skipBlanks = [&bytes, &at] {
        const qsizetype from = at;
        while (at < bytes.size() && isSpace(bytes[at]))
            ++at;
        return at > from;
    };
    const auto readNumber = [&bytes, &at](int* value) {
        const qsizetype from = at;
        qint64 n = 0;
        for (; at < bytes.size() && isDigit(bytes[at]) && at - from < 10; ++at)
            n = n * 10 + (bytes[at] - '0');
        *value = int(n);
        return at > from;
    };
    int n = -1, g = -1;
    if (offset < 0 || offset >= bytes.size())
        return false;
    skipBlanks();
    return readNumber(&n) && n == number && skipBlanks() && readNumber(&g) && g == generation && skipBlanks() &&
           bytes.mid(at, 3) == "obj";
}

// Whether every object the cross-references place in the file starts where
// they say. A table whose offsets are a few bytes off reads without a
// warning until an object is fetched; pdfium finds the objects anyway, but
// an update appended to such a file reads nowhere else.
bool offsetsLeadToObjects(QpdfFile& file)
{
    bool sound = true;
    const bool ran = file.run([&](QPDF& pdf) {
        for (const auto& [id, entry] : pdf.getXRefTable()) {
            if (entry.getType() == 1 && !objectStartsAt(file.bytes(), entry.getOffset(), id.getObj(), id.getGen())) {
                sound = false;
                return;
            }
        }
    }, nullptr);
    return ran && sound;
}

constexpr int kMaxTreeDepth = 64;

// The page tree as the file writes it: every reference of a /Kids array
// that is not itself a node counts as a page (other readers count it so),
// and those naming no page dictionary are noted by their index. Direct
// items of a broken array (a flipped byte makes "10 0 R" a number and a
// word) are no pages.
void countPageReferences(QPDFObjectHandle node, int depth, std::set<QPDFObjGen>& seen, int* count,
                         std::vector<int>* unreadable)
{
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (depth > kMaxTreeDepth || !kids.isArray())
        return;
    for (int i = 0; i < kids.getArrayNItems(); ++i) {
        QPDFObjectHandle kid = kids.getArrayItem(i);
        if (!kid.isIndirect() || !seen.insert(kid.getObjGen()).second)
            continue;
        if (kid.isDictionary() && kid.getKey("/Kids").isArray() && !kid.getKey("/Type").isNameAndEquals("/Page")) {
            countPageReferences(kid, depth + 1, seen, count, unreadable);
            continue;
        }
        if (!kid.isDictionary())
            unreadable->push_back(*count);
        ++*count;
    }
}

// Pages the file's tree names, -1 when it cannot be read; *unreadable
// receives the indices of those that are no page dictionary. Read before
// qpdf's own walk, which makes direct items pages.
int sourcePageCount(QpdfFile& file, std::vector<int>* unreadable = nullptr)
{
    int pages = 0;
    std::vector<int> missing;
    const bool read = file.run([&](QPDF& pdf) {
        std::set<QPDFObjGen> seen;
        countPageReferences(pdf.getRoot().getKey("/Pages"), 0, seen, &pages, &missing);
    }, nullptr);
    if (unreadable)
        *unreadable = std::move(missing);
    return read ? pages : -1;
}

// Which of the file's sourcePages pages a document of kept pages lacks:
// those the repair left out when they account for all, else the last ones
// (pdfium stops reading a broken tree where it breaks).
std::vector<int> pagesLost(int sourcePages, int kept, const std::vector<int>& leftOut)
{
    std::vector<int> lost;
    if (sourcePages <= kept || kept < 0)
        return lost;
    if (int(leftOut.size()) == sourcePages - kept)
        return leftOut;
    for (int page = kept; page < sourcePages; ++page)
        lost.push_back(page);
    return lost;
}

// found: the pages the file's tree names, unreadable: those of them that
// are no page dictionary (both read before qpdf walked the tree).
PdfRepair::Result rewrite(QpdfFile& file, int found, const std::vector<int>& unreadable)
{
    PdfRepair::Result result;
    result.lostPages = unreadable;
    QString error;
    int pages = 0;
    if (!file.run([&](QPDF& pdf) {
            if (!cleanTrailer(pdf))
                throw std::runtime_error("trailer cannot be rewritten");
            flattenPageTree(pdf);
            pages = walkPages(pdf);
        }, &error)) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = unrepairableText(error);
        return result;
    }
    if (pages < 1) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = unrepairableText(QStringLiteral("в нём не найдено ни одной страницы."));
        return result;
    }
    QByteArray bytes;
    if (!file.write(&bytes, [](QPDFWriter& writer) {
            writer.setObjectStreamMode(qpdf_o_generate);
            // Streams that do not decode keep their bytes: other readers still
            // read much of them, and pdfium never writes such a page again.
            writer.setDecodeLevel(qpdf_dl_none);
            writer.setDeterministicID(true);
        }, &error)) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = unrepairableText(error);
        return result;
    }
    result.verdict = PdfRepair::Verdict::Repaired;
    result.repaired = bytes;
    result.pageCount = pages;
    result.sourcePages = found;
    return result;
}

}  // namespace

PdfRepair::Result PdfRepair::examine(const QByteArray& bytes)
{
    Result result;
    QpdfFile file;
    QString error;
    if (!loadRecovering(file, bytes, &error)) {
        result.reason = error;
        return result;
    }
    // qpdf walks the page tree as other readers do: the document is held to
    // its count, and damage met on the way shows as warnings.
    std::vector<int> unreadable;
    const int pages = sourcePageCount(file, &unreadable);
    const bool walked = file.run([](QPDF& pdf) { walkPages(pdf); }, nullptr);
    if (walked && pages >= 0 && file.damageWarningCount() == 0) {
        if (offsetsLeadToObjects(file)) {
            result.verdict = Verdict::Sound;
            result.sourcePages = pages;
            return result;
        }
        if (!file.load(withTableUnnamed(bytes), &error)) {
            result.verdict = Verdict::Unrepairable;
            result.reason = unrepairableText(error);
            return result;
        }
    }
    Result repaired = rewrite(file, pages, unreadable);
    if (repaired.verdict == Verdict::Repaired)
        repaired.reason = damagedText(QStringLiteral("предупреждений при чтении: %1.").arg(file.damageWarningCount()));
    return repaired;
}

PdfRepair::Result PdfRepair::repair(const QByteArray& bytes)
{
    QpdfFile file;
    QString error;
    if (!loadRecovering(file, bytes, &error)) {
        Result result;
        result.verdict = Verdict::Unrepairable;
        result.reason = unrepairableText(error);
        return result;
    }
    std::vector<int> unreadable;
    const int pages = sourcePageCount(file, &unreadable);
    return rewrite(file, pages, unreadable);
}

bool PdfRepair::pageTreeLoads(FPDF_DOCUMENT doc, std::vector<QSizeF>* sizes)
{
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDF_GetPageCount(doc);
    if (count < 0)
        return false;
    if (sizes) {
        sizes->clear();
        sizes->reserve(size_t(count));
    }
    for (int page = 0; page < count; ++page) {
        FS_SIZEF size{};
        if (!api.FPDF_GetPageSizeByIndexF(doc, page, &size))
            return false;
        if (sizes)
            sizes->push_back(QSizeF(size.width, size.height));
    }
    return true;
}

bool PdfRepair::pageContentReadable(QpdfFile& file, int pageIndex)
{
    if (!file.isLoaded())
        return true;
    bool readable = true;
    const bool ran = file.run([&](QPDF& pdf) {
        const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
        if (pageIndex < 0 || pageIndex >= int(pages.size()))
            return;
        // The streams are read as one content, as pdfium reads them.
        std::string content;
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pages[size_t(pageIndex)]).getPageContents()) {
            Pl_Buffer decoded("content");
            bool attempted = false;
            if (!stream.isStream() || !stream.pipeStreamData(&decoded, &attempted, 0, qpdf_dl_generalized, true, false)) {
                readable = false;
                return;
            }
            std::unique_ptr<Buffer> data(decoded.getBuffer());
            content.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
            content.push_back('\n');
        }
        // Tokens only: a broken string, name or number is what pdfium stops at.
        // An inline picture's data is passed over as readers pass it.
        Buffer buffer(reinterpret_cast<unsigned char*>(content.data()), content.size());
        auto input = std::make_shared<BufferInputSource>("content", &buffer);
        QPDFTokenizer tokenizer;
        tokenizer.allowEOF();
        size_t imageStart = 0;
        for (;;) {
            const QPDFTokenizer::Token token = tokenizer.readToken(input, "content", true);
            if (token.getType() == QPDFTokenizer::tt_bad) {
                readable = false;
                return;
            }
            if (token.getType() == QPDFTokenizer::tt_eof)
                return;
            if (token.getType() != QPDFTokenizer::tt_word)
                continue;
            const auto at = size_t(input->tell());
            if (token.getValue() == "BI")
                imageStart = at;
            if (token.getValue() != "ID")
                continue;
            const qint64 end = InlineImage::end(content, content.substr(imageStart, at - 2 - imageStart), at,
                                                QPDFPageObjectHelper(pages[size_t(pageIndex)]).getAttribute("/Resources", false));
            if (end < 0 || imageStart == 0) {
                readable = false;
                return;
            }
            input->seek(end, SEEK_SET);
            imageStart = 0;
        }
    }, nullptr);
    return ran && readable;
}

QString PdfRepair::unregenerableText(int pageIndex)
{
    return QStringLiteral("Содержимое страницы %1 повреждено: записать на неё нельзя.").arg(pageIndex + 1);
}

FPDF_DOCUMENT PdfRepair::loadChecked(const QByteArray& bytes, QByteArray* used, bool* repaired, QString* error,
                                     std::vector<QSizeF>* sizes, bool* damagedAsIs, std::vector<int>* lostPages)
{
    if (damagedAsIs)
        *damagedAsIs = false;
    if (lostPages)
        lostPages->clear();
    std::vector<QSizeF> originalSizes;
    std::vector<QSizeF> repairedSizes;
    *repaired = false;
    // qpdf needs no engine lock: its check runs while pdfium loads the file.
    const PdfiumApi& api = pdfApi();
    std::future<Result> checking = std::async(std::launch::async, [bytes] { return examine(bytes); });
    DocumentPtr original(api.FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
    const QString originalError = original ? QString() : pdfiumErrorString();
    const bool originalLoads = original && pageTreeLoads(original.get(), &originalSizes);
    const int originalPages = originalLoads ? api.FPDF_GetPageCount(original.get()) : -1;
    const Result check = checking.get();
    if (check.verdict == Verdict::Sound && originalLoads && originalPages >= check.sourcePages) {
        *used = bytes;
        if (sizes)
            *sizes = std::move(originalSizes);
        return original.release();
    }
    if (check.verdict == Verdict::Unreadable && !original) {
        *error = originalError;
        return nullptr;
    }
    // Damaged, or pdfium finds fewer pages than qpdf: the copy qpdf makes
    // of what it reads wins unless it keeps fewer pages.
    const Result fix = check.verdict == Verdict::Repaired ? check : repair(bytes);
    const int sourcePages = std::max(check.sourcePages, fix.sourcePages);
    DocumentPtr repairedDoc;
    if (fix.verdict == Verdict::Repaired) {
        repairedDoc.reset(api.FPDF_LoadMemDocument64(fix.repaired.constData(), size_t(fix.repaired.size()), nullptr));
        if (repairedDoc && (!pageTreeLoads(repairedDoc.get(), &repairedSizes) ||
                            api.FPDF_GetPageCount(repairedDoc.get()) < std::max(originalPages, 1)))
            repairedDoc.reset();
    }
    if (repairedDoc) {
        *used = fix.repaired;
        *repaired = true;
        if (sizes)
            *sizes = std::move(repairedSizes);
        if (lostPages)
            *lostPages = pagesLost(sourcePages, api.FPDF_GetPageCount(repairedDoc.get()), fix.lostPages);
        return repairedDoc.release();
    }
    if (originalLoads) {
        *used = bytes;
        if (sizes)
            *sizes = std::move(originalSizes);
        if (damagedAsIs)
            *damagedAsIs = check.verdict != Verdict::Sound;
        if (lostPages)
            *lostPages = pagesLost(sourcePages, originalPages, {});
        return original.release();
    }
    *error = !fix.reason.isEmpty() ? fix.reason : originalError;
    if (error->isEmpty())
        *error = unrepairableText(QStringLiteral("страницы не читаются."));
    return nullptr;
}

}  // namespace pdfengine
