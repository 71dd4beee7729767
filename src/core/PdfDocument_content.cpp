// Writing into page content.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"

using namespace pdfengine;

bool PdfDocument::addImageToPage(int pageIndex, const QPointF& position, const QSizeF& size, const QImage& image)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0 || image.isNull() || size.width() <= 0 || size.height() <= 0)
        return false;
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page)
        return false;
    if (!insertImageObject(m_doc, page.get(), QRectF(position, size), image))
        return false;
    pdfApi().FPDFPage_GenerateContent(page.get());
    bumpRevision();
    m_modified = true;
    return true;
}
