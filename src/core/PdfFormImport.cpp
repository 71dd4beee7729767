#include "PdfFormImport.h"

#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <set>
#include <stdexcept>
#include <vector>

namespace pdfengine {

namespace {

// Fields reached by following /Parent up from a widget; bounded against loops.
QPDFObjectHandle topField(QPDFObjectHandle widget)
{
    constexpr int kMaxDepth = 64;
    QPDFObjectHandle field = widget;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        QPDFObjectHandle parent = field.getKey("/Parent");
        if (!parent.isDictionary() || !parent.isIndirect())
            break;
        field = parent;
    }
    return field;
}

bool isWidget(QPDFObjectHandle annot)
{
    return annot.isDictionary() && annot.getKey("/Subtype").isNameAndEquals("/Widget");
}

// Widgets on pages that the document's form does not list are entered in it
// (and a form made when there is none), so that qpdf treats them as fields.
void registerOrphanFields(QPDF& pdf)
{
    QPDFObjectHandle root = pdf.getRoot();
    QPDFObjectHandle form = root.getKey("/AcroForm");
    std::set<QPDFObjGen> listed;
    if (form.isDictionary() && form.getKey("/Fields").isArray()) {
        for (QPDFObjectHandle field : form.getKey("/Fields").aitems())
            listed.insert(field.getObjGen());
    }
    std::vector<QPDFObjectHandle> orphans;
    for (QPDFObjectHandle page : pdf.getAllPages()) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        if (!annots.isArray())
            continue;
        for (QPDFObjectHandle annot : annots.aitems()) {
            if (!isWidget(annot) || !annot.isIndirect())
                continue;
            QPDFObjectHandle field = topField(annot);
            if (listed.insert(field.getObjGen()).second)
                orphans.push_back(field);
        }
    }
    if (orphans.empty())
        return;
    if (!form.isDictionary()) {
        form = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        root.replaceKey("/AcroForm", form);
    }
    QPDFObjectHandle fields = form.getKey("/Fields");
    if (!fields.isArray()) {
        fields = QPDFObjectHandle::newArray();
        form.replaceKey("/Fields", fields);
    }
    for (const QPDFObjectHandle& field : orphans)
        fields.appendItem(field);
}

}  // namespace

bool PdfFormImport::hasFormFields(const QByteArray& pdf)
{
    QpdfFile file;
    if (!file.load(pdf, nullptr))
        return false;
    bool found = false;
    file.run([&](QPDF& qpdf) {
        for (QPDFObjectHandle page : qpdf.getAllPages()) {
            QPDFObjectHandle annots = page.getKey("/Annots");
            if (!annots.isArray())
                continue;
            for (QPDFObjectHandle annot : annots.aitems()) {
                if (isWidget(annot)) {
                    found = true;
                    return;
                }
            }
        }
    }, nullptr);
    return found;
}

bool PdfFormImport::appendPages(const QByteArray& target, const QByteArray& source, int pageIndex, QByteArray* out,
                                QString* error)
{
    QpdfFile to;
    QpdfFile from;
    if (!to.load(target, error) || !from.load(source, error, QStringLiteral("imported file")))
        return false;
    const bool copied = from.run([&](QPDF& sourcePdf) {
        registerOrphanFields(sourcePdf);
        QPDFAcroFormDocumentHelper sourceForm(sourcePdf);
        const std::vector<QPDFPageObjectHelper> all = QPDFPageDocumentHelper(sourcePdf).getAllPages();
        if (pageIndex >= int(all.size()))
            throw std::runtime_error("no such page in the imported file");
        std::vector<QPDFObjectHandle> pages;
        for (size_t i = 0; i < all.size(); ++i) {
            if (pageIndex < 0 || int(i) == pageIndex)
                pages.push_back(all[i].getObjectHandle());
        }
        QPDF& targetPdf = to.pdf();
        registerOrphanFields(targetPdf);
        QPDFPageDocumentHelper targetPages(targetPdf);
        QPDFAcroFormDocumentHelper targetForm(targetPdf);
        for (QPDFObjectHandle& page : pages) {
            targetPages.addPage(QPDFPageObjectHelper(page), false);
            QPDFPageObjectHelper added = targetPages.getAllPages().back();
            targetForm.fixCopiedAnnotations(added.getObjectHandle(), page, sourceForm);
        }
    }, error);
    return copied && to.write(out, {}, error);
}

}  // namespace pdfengine
