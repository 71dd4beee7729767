#include "PdfRepair.h"

#include "PdfEngineInternal.h"
#include "PdfiumApi.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QPDFWriter.hh>

#include <future>
#include <memory>
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

// Streams whose data cannot be decoded (a flipped byte in compressed data)
// are emptied: pdfium would draw them half and write them back broken.
void dropUnreadableStreams(QPDF& pdf)
{
    for (QPDFObjectHandle object : pdf.getAllObjects()) {
        if (!object.isStream())
            continue;
        Pl_Discard discard;
        bool attempted = false;
        bool read = false;
        try {
            read = object.pipeStreamData(&discard, &attempted, 0, qpdf_dl_generalized, true, false);
        } catch (const std::exception&) {
            read = false;
        }
        if (!read)
            object.replaceStreamData(std::string(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    }
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

// A flat page tree of the pages qpdf found, their inherited attributes
// written into each page, so that every index loads on its own.
void flattenPageTree(QPDF& pdf)
{
    pdf.pushInheritedAttributesToPage();
    const std::vector<QPDFObjectHandle> pages = pdf.getAllPages();
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

PdfRepair::Result rewrite(QpdfFile& file)
{
    PdfRepair::Result result;
    QString error;
    int pages = 0;
    if (!file.run([&](QPDF& pdf) {
            if (!cleanTrailer(pdf))
                throw std::runtime_error("trailer cannot be rewritten");
            flattenPageTree(pdf);
            dropUnreadableStreams(pdf);
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
            writer.setDeterministicID(true);
        }, &error)) {
        result.verdict = PdfRepair::Verdict::Unrepairable;
        result.reason = unrepairableText(error);
        return result;
    }
    result.verdict = PdfRepair::Verdict::Repaired;
    result.repaired = bytes;
    result.pageCount = pages;
    return result;
}

}  // namespace

PdfRepair::Result PdfRepair::examine(const QByteArray& bytes)
{
    Result result;
    QpdfFile file;
    QString error;
    if (!file.load(bytes, &error)) {
        result.reason = error;
        return result;
    }
    // The page tree is walked by pdfium (pageTreeLoads); qpdf reads only the
    // cross-references and the trailer here.
    if (file.damageWarningCount() == 0) {
        result.verdict = Verdict::Sound;
        return result;
    }
    Result repaired = rewrite(file);
    if (repaired.verdict == Verdict::Repaired)
        repaired.reason = damagedText(QStringLiteral("предупреждений при чтении: %1.").arg(file.damageWarningCount()));
    return repaired;
}

PdfRepair::Result PdfRepair::repair(const QByteArray& bytes)
{
    QpdfFile file;
    QString error;
    if (!file.load(bytes, &error)) {
        Result result;
        result.verdict = Verdict::Unrepairable;
        result.reason = unrepairableText(error);
        return result;
    }
    return rewrite(file);
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
        Buffer buffer(reinterpret_cast<unsigned char*>(content.data()), content.size());
        auto input = std::make_shared<BufferInputSource>("content", &buffer);
        QPDFTokenizer tokenizer;
        tokenizer.allowEOF();
        for (;;) {
            const QPDFTokenizer::token_type_e type = tokenizer.readToken(input, "content", true).getType();
            if (type == QPDFTokenizer::tt_bad) {
                readable = false;
                return;
            }
            if (type == QPDFTokenizer::tt_eof)
                return;
        }
    }, nullptr);
    return ran && readable;
}

QString PdfRepair::unregenerableText(int pageIndex)
{
    return QStringLiteral("Содержимое страницы %1 повреждено: записать на неё нельзя.").arg(pageIndex + 1);
}

FPDF_DOCUMENT PdfRepair::loadChecked(const QByteArray& bytes, QByteArray* used, bool* repaired, QString* error,
                                     std::vector<QSizeF>* sizes, bool* damagedAsIs)
{
    if (damagedAsIs)
        *damagedAsIs = false;
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
    if (check.verdict == Verdict::Sound && originalLoads) {
        *used = bytes;
        if (sizes)
            *sizes = std::move(originalSizes);
        return original.release();
    }
    if (check.verdict == Verdict::Unreadable && !original) {
        *error = originalError;
        return nullptr;
    }
    const Result fix = check.verdict == Verdict::Repaired ? check : repair(bytes);
    DocumentPtr repairedDoc;
    if (fix.verdict == Verdict::Repaired) {
        repairedDoc.reset(api.FPDF_LoadMemDocument64(fix.repaired.constData(), size_t(fix.repaired.size()), nullptr));
        if (repairedDoc && (!pageTreeLoads(repairedDoc.get(), &repairedSizes) || api.FPDF_GetPageCount(repairedDoc.get()) < originalPages))
            repairedDoc.reset();
    }
    if (repairedDoc) {
        *used = fix.repaired;
        *repaired = true;
        if (sizes)
            *sizes = std::move(repairedSizes);
        return repairedDoc.release();
    }
    if (originalLoads) {
        *used = bytes;
        if (sizes)
            *sizes = std::move(originalSizes);
        if (damagedAsIs)
            *damagedAsIs = true;
        return original.release();
    }
    *error = !fix.reason.isEmpty() ? fix.reason : originalError;
    if (error->isEmpty())
        *error = unrepairableText(QStringLiteral("страницы не читаются."));
    return nullptr;
}

}  // namespace pdfengine
