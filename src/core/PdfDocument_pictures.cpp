// Picture files brought in as pages.
#include "PdfDocument.h"

#include "PdfChangeNotice.h"
#include "PdfEngineInternal.h"
#include "PicturePagePdf.h"
#include "PictureFile.h"
#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

using namespace pdfengine;

namespace {

// Pages taken from one multi-page picture file.
constexpr int kMaxPictureFrames = 5000;
constexpr qint64 kPdfSignatureWindow = 1024;  // readers find "%PDF-" this far into a file

// Whether the file's name says picture: a suffix one of the readers knows.
bool namedAsPicture(const QString& path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    return !suffix.isEmpty() && suffix != "pdf" && QImageReader::supportedImageFormats().contains(suffix);
}

} // namespace

// Every page of a multi-page TIFF becomes a page, in order; pages appended
// before a page that fails stay. A JPEG that needs no change keeps its bytes.
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
        const bool pdfLike = file.seek(0) && file.read(kPdfSignatureWindow).contains("%PDF-");
        file.close();
        // A file named as a picture whose content is neither a picture nor a PDF.
        if (namedAsPicture(path) && !pdfLike) {
            setLastError(QStringLiteral("Файл не является изображением: его содержимое не читается как рисунок."));
            return false;
        }
        return appendPagesFromFile(path, -1);
    }

    PictureFile picture(reader, path);
    const QString damage = picture.damage();
    if (!damage.isEmpty()) {
        setLastError(damage);
        return false;
    }
    PictureFile::Jpeg jpeg;
    if (picture.readJpeg(&jpeg))
        return appendPicturePage(jpegPagePdf(jpeg.bytes, jpeg.layout, jpeg.turn, jpeg.page), jpeg.page);
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
        if (!appendRenderedPage(read.image, read.page)) {
            if (lastError().isEmpty())
                setLastError(QStringLiteral("Не удалось добавить страницу с изображением."));
            return false;
        }
    }
    return true;
}

// The page comes in from a one-page PDF of the picture, so the picture keeps
// the fewest channels that carry it (no RGB copy of a grey scan, no mask on
// an opaque photo, one bit for black and white).
bool PdfDocument::appendRenderedPage(const QImage& image, const QSizeF& pageSize)
{
    const ChangeNotice notice(*this, ChangeNotice::Inserted);
    if (notice.refused())
        return false;
    if (image.isNull())
        return false;
    return appendPicturePage(picturePagePdf(image, pageSize), pageSize);
}

bool PdfDocument::appendPicturePage(const QByteArray& pagePdf, const QSizeF& pageSize)
{
    if (!(pageSize.width() > 0 && pageSize.height() > 0 && pageSize.width() <= kMaxPageSide &&
          pageSize.height() <= kMaxPageSide)) {
        setLastError(QStringLiteral("Страница %1 × %2 пт не может быть в PDF: сторона страницы больше 0 и не больше %3 пт.")
                         .arg(pageSize.width(), 0, 'f', 1)
                         .arg(pageSize.height(), 0, 'f', 1)
                         .arg(kMaxPageSide, 0, 'f', 0));
        return false;
    }
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
    // Pages read from the file keep their place in the record of where each page came from.
    pageOriginsUnlocked();
    if (!api.FPDF_ImportPages(m_doc, source.get(), nullptr, api.FPDF_GetPageCount(m_doc))) {
        setLastError(QStringLiteral("pdfium не смог добавить страницу с изображением."));
        return false;
    }
    m_pageOrigins.push_back(-1);
    markAddedUnlocked();
    return true;
}
