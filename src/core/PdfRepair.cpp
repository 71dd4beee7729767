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

#include <QDebug>

#include <algorithm>
#include <cctype>
#include <climits>
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

QString treeTooDeepText()
{
    return QStringLiteral("Страницы файла вложены в дерево страниц глубже %1 уровней: такой файл программа не открывает.")
        .arg(kMaxPageTreeLevels);
}

QString encryptionNotRewritableText()
{
    return QStringLiteral("Шифрование этого файла программа не может записать заново, поэтому не открывает его.");
}

QString unreadableObjectsText()
{
    return QStringLiteral("его объекты не читаются.");
}

// qpdf's message stays in the log: the reason shown is the program's own.
QString unrepairableText(const QString& detail, const QString& library)
{
    qWarning().noquote() << "qpdf:" << library;
    return unrepairableText(detail);
}

// Whether qpdf's writer writes the file's encryption as it read it: it
// takes the key length from /Length, which its reader passes over where
// the method fixes the length (or guesses it where /Length makes no sense).
bool encryptionRewritable(QPDF& pdf)
{
    if (!pdf.isEncrypted())
        return true;
    QPDFObjectHandle encrypt = pdf.getTrailer().getKey("/Encrypt");
    QPDFObjectHandle version = encrypt.getKey("/V");
    QPDFObjectHandle length = encrypt.getKey("/Length");
    if (!version.isInteger())
        return false;
    const long long v = version.getIntValue();
    if (v <= 1)
        return true;
    if (!length.isInteger())
        return false;
    const long long bits = length.getIntValue();
    if (v == 2 || v == 3)
        return bits % 8 == 0 && bits >= 40 && bits <= 128;
    return (v == 4 && bits == 128) || (v == 5 && bits == 256);
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
// pages it does reach, when those come in the order of their numbers
// (references to nothing, which are dropped, aside).
std::vector<QPDFObjectHandle> withOrphanPages(QPDF& pdf, std::vector<QPDFObjectHandle> pages)
{
    std::set<QPDFObjGen> reached;
    int last = -1;
    bool ordered = true;
    for (QPDFObjectHandle page : pages) {
        reached.insert(page.getObjGen());
        if (!page.isDictionary())
            continue;
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
// written into each page, so that every index loads on its own. Pages the
// tree no longer reaches are put back only when it does not read whole.
// Returns the pages kept, in order.
std::vector<QPDFObjGen> flattenPageTree(QPDF& pdf, bool withOrphans)
{
    pdf.pushInheritedAttributesToPage();
    const std::vector<QPDFObjectHandle> pages =
        withOrphans ? withOrphanPages(pdf, pdf.getAllPages()) : pdf.getAllPages();
    QPDFObjectHandle root = pdf.getRoot();
    QPDFObjectHandle tree = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    QPDFObjectHandle kids = QPDFObjectHandle::newArray();
    std::vector<QPDFObjGen> kept;
    for (QPDFObjectHandle page : pages) {
        if (!page.isDictionary())
            continue;
        page.replaceKey("/Parent", tree);
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        dropMistypedResources(page);
        kids.appendItem(page);
        kept.push_back(page.getObjGen());
    }
    tree.replaceKey("/Type", QPDFObjectHandle::newName("/Pages"));
    tree.replaceKey("/Kids", kids);
    tree.replaceKey("/Count", QPDFObjectHandle::newInteger(kids.getArrayNItems()));
    root.replaceKey("/Pages", tree);
    pdf.updateAllPagesCache();
    return kept;
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

// The page tree as the file writes it, read before qpdf's own walk, which
// makes direct items pages and copies a page listed twice.
struct TreePages {
    std::vector<QPDFObjGen> pages;  // every reference of a /Kids array that is not itself a node
    std::vector<int> unreadable;    // indices of those that name no page dictionary
    int direct = 0;                 // direct items of /Kids arrays: references a flipped byte broke
    int declared = -1;              // the top node's /Count
    bool repeated = false;          // a page listed twice
    bool read = false;
    // qpdf finds every page the tree names, each once: its list is the document's.
    bool whole() const { return read && unreadable.empty() && direct == 0 && !repeated; }
};

// Walks the tree in order without recursion, each node once, to the depth
// the load left it (see kMaxPageTreeLevels).
void readTreeNodes(QPDFObjectHandle top, std::set<QPDFObjGen>& seen, TreePages& tree)
{
    walkPageTree(top, [&](QPDFObjectHandle kid, int level) {
        if (!kid.isIndirect()) {
            ++tree.direct;
            return PageTreeStep::Next;
        }
        if (kid.isDictionary() && kid.getKey("/Kids").isArray() && !kid.getKey("/Type").isNameAndEquals("/Page"))
            return seen.insert(kid.getObjGen()).second && level < kMaxPageTreeLevels ? PageTreeStep::Descend
                                                                                       : PageTreeStep::Next;
        if (!kid.isDictionary())
            tree.unreadable.push_back(int(tree.pages.size()));
        tree.repeated = !seen.insert(kid.getObjGen()).second || tree.repeated;
        tree.pages.push_back(kid.getObjGen());
        return PageTreeStep::Next;
    });
}

TreePages readTree(QpdfFile& file)
{
    TreePages tree;
    tree.read = file.run([&tree](QPDF& pdf) {
        QPDFObjectHandle top = pdf.getRoot().getKey("/Pages");
        if (top.getKey("/Count").isInteger())
            tree.declared = int(std::clamp<long long>(top.getKey("/Count").getIntValue(), -1, INT_MAX));
        std::set<QPDFObjGen> seen;
        readTreeNodes(top, seen, tree);
    }, nullptr);
    return tree;
}

// Which of the file's sourcePages pages a document of kept pages lacks,
// read by pdfium from the file as it is: the last ones (pdfium stops
// reading a broken tree where it breaks, and keeps to its /Count).
std::vector<int> pagesLost(int sourcePages, int kept)
{
    std::vector<int> lost;
    for (int page = std::max(kept, 0); page < sourcePages; ++page)
        lost.push_back(page);
    return lost;
}

// The pages of the tree a repaired copy of kept pages lacks. The two lists
// run side by side: a page put back from outside the tree (its reference
// was broken) stands in for a page of the tree not kept where it comes.
std::vector<int> treePagesLost(const TreePages& tree, const std::vector<QPDFObjGen>& kept)
{
    const std::set<QPDFObjGen> inTree(tree.pages.begin(), tree.pages.end());
    const std::set<QPDFObjGen> keptSet(kept.begin(), kept.end());
    std::vector<int> lost;
    size_t at = 0;
    for (size_t page = 0; page < tree.pages.size(); ++page) {
        if (keptSet.count(tree.pages[page])) {
            while (at < kept.size() && kept[at] != tree.pages[page])
                ++at;
            at = std::min(at + 1, kept.size());
        } else if (at < kept.size() && !inTree.count(kept[at])) {
            ++at;
        } else {
            lost.push_back(int(page));
        }
    }
    return lost;
}

// The repaired copy against the tree: the pages of the tree it lacks, and
// whether its list is other than the tree's (a page added, a loop or a
// repeated subtree cut, more pages than the tree's /Count).
void compareWithTree(const TreePages& tree, const std::vector<QPDFObjGen>& kept, int cuts, PdfRepair::Result& result)
{
    result.lostPages = treePagesLost(tree, kept);
    const int count = int(kept.size());
    const int named = int(tree.pages.size()) + tree.direct;
    const bool added = tree.whole() ? kept != tree.pages : count > named;
    result.pagesChanged = cuts > 0 || added || (tree.declared >= 0 && tree.declared < count);
    result.keepsTree = tree.read && result.lostPages.empty() && count >= named;
}

PdfRepair::Result rewrite(QpdfFile& file, const TreePages& tree)
{
    PdfRepair::Result result;
    result.pagesChanged = file.pageTreeCuts() > 0;
    result.sourcePages = tree.read ? int(tree.pages.size()) : -1;
    QString error;
    std::vector<QPDFObjGen> kept;
    bool encrypted = false;
    bool rewritable = true;
    file.run([&](QPDF& pdf) {
        encrypted = pdf.isEncrypted();
        rewritable = encryptionRewritable(pdf);
    }, nullptr);
    if (!rewritable) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = encryptionNotRewritableText();
        return result;
    }
    if (!file.run([&](QPDF& pdf) {
            if (!cleanTrailer(pdf))
                throw std::runtime_error("trailer cannot be rewritten");
            kept = flattenPageTree(pdf, !tree.whole());
        }, &error)) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = unrepairableText(QStringLiteral("его не удаётся записать заново."), error);
        return result;
    }
    if (kept.empty()) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = file.pageTreeDepthCuts() > 0
                            ? treeTooDeepText()
                            : unrepairableText(QStringLiteral("в нём не найдено ни одной страницы."));
        return result;
    }
    QByteArray bytes;
    if (!file.write(&bytes, [encrypted](QPDFWriter& writer) {
            writer.setObjectStreamMode(qpdf_o_generate);
            // Streams that do not decode keep their bytes: other readers still
            // read much of them, and pdfium never writes such a page again.
            writer.setDecodeLevel(qpdf_dl_none);
            // An encrypted file keeps its identifier, which its key is made
            // of; qpdf derives none from the data of a file it encrypts.
            writer.setDeterministicID(!encrypted);
        }, &error)) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        // The encryption itself was found writable above: the reason is the write's.
        result.reason = unrepairableText(QStringLiteral("его не удаётся записать заново."), error);
        return result;
    }
    result.verdict = PdfRepair::Verdict::Repaired;
    result.repaired = bytes;
    result.pageCount = int(kept.size());
    compareWithTree(tree, kept, file.pageTreeCuts(), result);
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
    // its count, and damage met on the way (a loop cut on loading too)
    // shows as warnings.
    const TreePages tree = readTree(file);
    const bool walked = file.run([](QPDF& pdf) { walkPages(pdf); }, nullptr);
    if (walked && tree.read && file.damageWarningCount() == 0) {
        if (offsetsLeadToObjects(file)) {
            result.verdict = Verdict::Sound;
            result.sourcePages = int(tree.pages.size());
            return result;
        }
        if (!file.load(withTableUnnamed(bytes), &error)) {
            result.verdict = Verdict::Unrepairable;
            result.reason = unrepairableText(unreadableObjectsText(), error);
            return result;
        }
    }
    Result repaired = rewrite(file, tree);
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
        result.reason = unrepairableText(unreadableObjectsText(), error);
        return result;
    }
    const TreePages tree = readTree(file);
    return rewrite(file, tree);
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
                                     std::vector<QSizeF>* sizes, bool* damagedAsIs, SourcePages* source)
{
    if (damagedAsIs)
        *damagedAsIs = false;
    SourcePages pages;
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
        if (source)
            *source = pages;
        return original.release();
    }
    if (check.verdict == Verdict::Unreadable && !original) {
        *error = originalError;
        return nullptr;
    }
    // Damaged, or pdfium finds fewer pages than qpdf: the copy qpdf makes
    // of what it reads wins, unless it keeps fewer pages than pdfium reads
    // from the file and lacks a page of the tree.
    const Result fix = check.verdict == Verdict::Repaired ? check : repair(bytes);
    const int sourcePages = std::max(check.sourcePages, fix.sourcePages);
    DocumentPtr repairedDoc;
    int repairedPages = -1;
    if (fix.verdict == Verdict::Repaired) {
        repairedDoc.reset(api.FPDF_LoadMemDocument64(fix.repaired.constData(), size_t(fix.repaired.size()), nullptr));
        repairedPages = repairedDoc ? api.FPDF_GetPageCount(repairedDoc.get()) : -1;
        if (repairedDoc && (!pageTreeLoads(repairedDoc.get(), &repairedSizes) ||
                            (repairedPages < std::max(originalPages, 1) && !fix.keepsTree)))
            repairedDoc.reset();
    }
    if (repairedDoc) {
        *used = fix.repaired;
        *repaired = true;
        if (sizes)
            *sizes = std::move(repairedSizes);
        pages.lost = repairedPages == fix.pageCount ? fix.lostPages : pagesLost(sourcePages, repairedPages);
        pages.changed = fix.pagesChanged || originalPages > repairedPages;
        if (source)
            *source = pages;
        return repairedDoc.release();
    }
    if (originalLoads) {
        *used = bytes;
        if (sizes)
            *sizes = std::move(originalSizes);
        if (damagedAsIs)
            *damagedAsIs = check.verdict != Verdict::Sound;
        pages.lost = pagesLost(sourcePages, originalPages);
        pages.changed = check.pagesChanged || fix.pagesChanged || (sourcePages >= 0 && originalPages > sourcePages);
        if (source)
            *source = pages;
        return original.release();
    }
    *error = !fix.reason.isEmpty() ? fix.reason : originalError;
    if (error->isEmpty())
        *error = unrepairableText(QStringLiteral("страницы не читаются."));
    return nullptr;
}

}  // namespace pdfengine
