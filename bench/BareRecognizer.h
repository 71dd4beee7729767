#pragma once
// The recogniser alone, for timing our pipeline against it: a page image
// handed to Tesseract, recognised, and every word read.

#include <QElapsedTimer>
#include <QImage>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <cmath>
#include <memory>

namespace {

struct PixDeleter {
    void operator()(Pix *pix) const { pixDestroy(&pix); }
};

struct RecognizerDeleter {
    void operator()(tesseract::TessBaseAPI *api) const
    {
        api->End();
        delete api;
    }
};

// Grey pages as 8-bit grey, the recogniser's quickest input, as the engine does.
inline std::unique_ptr<Pix, PixDeleter> toPix(const QImage &image, double scale)
{
    const int dpi = int(std::lround(scale * 72));
    if (image.isGrayscale()) {
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        std::unique_ptr<Pix, PixDeleter> pix(pixCreate(grey.width(), grey.height(), 8));
        for (int y = 0; y < grey.height(); ++y) {
            l_uint32 *out = pixGetData(pix.get()) + size_t(y) * size_t(pixGetWpl(pix.get()));
            for (int x = 0; x < grey.width(); ++x)
                SET_DATA_BYTE(out, x, grey.constScanLine(y)[x]);
        }
        pixSetResolution(pix.get(), dpi, dpi);
        return pix;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::unique_ptr<Pix, PixDeleter> pix(pixCreate(rgb.width(), rgb.height(), 32));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        l_uint32 *out = pixGetData(pix.get()) + size_t(y) * size_t(pixGetWpl(pix.get()));
        for (int x = 0; x < rgb.width(); ++x)
            out[x] = (l_uint32(qRed(row[x])) << 24) | (l_uint32(qGreen(row[x])) << 16) | (l_uint32(qBlue(row[x])) << 8);
    }
    pixSetResolution(pix.get(), dpi, dpi);
    return pix;
}

// The recogniser alone: image hand-over, recognition and reading every word.
inline double bareRecognizerMs(tesseract::TessBaseAPI &api, const QImage &image, double scale)
{
    QElapsedTimer timer;
    timer.start();
    const auto pix = toPix(image, scale);
    api.SetImage(pix.get());
    api.Recognize(nullptr);
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    int words = 0;
    if (it) {
        do {
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            words += text != nullptr;
        } while (it->Next(tesseract::RIL_WORD));
    }
    api.Clear();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace
