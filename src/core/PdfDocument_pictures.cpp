// Picture files brought in as pages.
#include "PdfDocument.h"

#include "PdfChangeNotice.h"
#include "PdfEngineInternal.h"
#include "PicturePagePdf.h"
#include "PictureFile.h"
#include "RegularFile.h"

#include <QFile>
#include <QImageReader>

using namespace pdfengine;

namespace {

constexpr double kMaxPageSide = 14400.0;  // the largest page side a PDF allows, in points
// Pages taken from one multi-page picture file.
constexpr int kMaxPictureFrames = 5000;

} // namespace

// Every page of a multi-page TIFF becomes a page, in order; pages appended
// before a page that fails stay.
bool PdfDocument::importDocument(const QString& path)
{
    const ChangeNotice notice(*this, ChangeNotice::Inserted);
    if (notice.refused())
        return false;
    // A device or a FIFO is refused before any reader waits on it or reads it without end.
    QFile file;
    QString refusal;
    if (RegularFile::open(path, kMaxFileBytes, &file, &refusal) != RegularFile::Opened) {
        setLastError(refusal);
        return false;
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        file.close();
        return appendPagesFromFile(path, -1);
    }

    PictureFile picture(reader);
    const QString damage = picture.damage(path);
    if (!damage.isEmpty()) {
        setLastError(damage);
        return false;
    }
    const int frames = picture.frameCount();
    if (frames > kMaxPictureFrames) {
        setLastError(QStringLiteral("В файле изображения %1 страниц, больше %2.").arg(frames).arg(kMaxPictureFrames));
        return false;
    }
    for (int frame = 0; frame < frames; ++frame) {
        QString error;
        PictureFile::Frame read;
        if (frame > 0 && !picture.nextFrame())
            error = QStringLiteral("страница не найдена.");
        else
            read = picture.readFrame();
        if (error.isEmpty())
            error = read.error;
        if (!error.isEmpty()) {
            setLastError(frames > 1 ? QStringLiteral("Страница %1 из %2: %3").arg(frame + 1).arg(frames).arg(error) : error);
            return false;
        }
        setLastError(QString());
        if (!appendRenderedPage(read.image, PictureFile::pageSize(read.fullSize))) {
            if (lastError().isEmpty())
                setLastError(QStringLiteral("Не удалось добавить страницу с изображением."));
            return false;
        }
    }
    return true;
}

// The page comes in from a one-page PDF of the picture, so the picture keeps
// the fewest channels that carry it (no RGB copy of a grey scan, no mask on
// an opaque photo).
bool PdfDocument::appendRenderedPage(const QImage& image, const QSizeF& pageSize)
{
    const ChangeNotice notice(*this, ChangeNotice::Inserted);
    if (notice.refused())
        return false;
    if (image.isNull() || !(pageSize.width() > 0 && pageSize.height() > 0 && pageSize.width() <= kMaxPageSide &&
                            pageSize.height() <= kMaxPageSide))
        return false;
    const QByteArray pagePdf = picturePagePdf(image, pageSize);
    if (pagePdf.isEmpty()) {
        setLastError(QStringLiteral("Не удалось записать изображение в страницу."));
        return false;
    }
    if (!isOpen() && !createEmpty())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    const PdfiumApi& api = pdfApi();
    DocumentPtr source(api.FPDF_LoadMemDocument64(pagePdf.constData(), size_t(pagePdf.size()), nullptr));
    if (!source) {
        setLastError(pdfiumErrorString());
        return false;
    }
    if (!api.FPDF_ImportPages(m_doc, source.get(), nullptr, api.FPDF_GetPageCount(m_doc)))
        return false;
    markAddedUnlocked();
    return true;
}
