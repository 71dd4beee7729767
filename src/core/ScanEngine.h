#pragma once

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>

#include <memory>

// One scanner that can be opened.
struct ScanDevice {
    QString name;  // passed to openDevice
    QString vendor;
    QString model;
    QString type;
};

// The settings of one preview or scan; the eleven flags switch the clean-up chain.
struct ScanParams {
    int resolution = 300;
    int colorMode = 0;  // 0 colour, 1 grey, 2 black and white
    int brightness = 0;  // -100 … 100
    QString pageSize = QStringLiteral("A4");
    bool landscape = false;
    bool adf = false;
    bool duplex = false;
    int delayMs = 0;
    bool geomCorr = false;
    bool perspCorr = false;
    bool skew = false;
    bool structural = false;
    bool noiseRemove = false;
    bool autoBright = false;
    bool autoContrast = false;
    bool whiteBalance = false;
    bool denoise = false;
    bool sharpen = false;
    bool textEnhance = false;
};

// A scanner library behind one interface. Image operations fail with a null
// image; lastError() then tells why, when there is a reason.
class ScanBackend {
public:
    virtual ~ScanBackend() = default;
    virtual bool init() = 0;
    virtual void cleanup() = 0;
    virtual QList<ScanDevice> enumerateDevices() = 0;
    virtual bool openDevice(const QString& name) = 0;
    virtual void closeDevice() = 0;
    virtual QList<int> supportedResolutions() = 0;
    virtual QImage doPreview(const ScanParams& params) = 0;
    virtual QImage doScan(const ScanParams& params) = 0;
    virtual QString lastError() const = 0;
    virtual bool isDeviceOpen() const = 0;
    virtual bool hasLivePreview() const { return false; }
    virtual bool isCameraDevice() const { return false; }
    virtual bool startLivePreview() { return false; }
    virtual void stopLivePreview() {}
    virtual QImage grabLiveFrame() { return QImage(); }
    virtual bool supportsNativeDialog() const { return false; }
    virtual QImage doNativeScan(unsigned long long windowId) { return QImage(); }
    // Asks a running doPreview/doScan to stop soon; callable from any thread.
    // The stopped run returns a null image.
    virtual void cancelAcquisition() {}
};

// The SANE back-end, or the demo one when SANE cannot start or the
// environment variable VORN_SCAN_BACKEND is "demo". Never null.
std::unique_ptr<ScanBackend> createScanBackend();

// The clean-up chain: the steps the flags of params switch on, in a fixed
// order. No flag set: the image comes back unchanged. A black-and-white
// picture comes back black and white, one bit a pixel; deskew keeps the
// picture's size.
QImage applyPostProcess(QImage image, const ScanParams& params);
// Grey with every value at or above 128 white and the rest black, one bit a
// pixel (QImage::Format_Mono); the resolution is kept.
QImage blackAndWhite(const QImage& image);
// Pure black and white: one bit a pixel in black and white, or 8-bit grey
// with no value but 0 and 255.
bool isBlackAndWhite(const QImage& image);
// Brightness, colour mode and orientation for a live camera frame.
QImage applyCameraParams(QImage frame, const ScanParams& params);

// Dots per inch to the dots per metre a QImage carries.
int scanDotsPerMeter(int dpi);

// The page, in points, a scanned picture fills at its own resolution (300 dpi
// along an axis that has none); a size close to a standard paper size
// becomes that size.
QSizeF scanPageSize(const QImage& image);
// Why a scanned picture cannot be a page (its page would be smaller or larger
// than a PDF page may be); empty when it can.
QString scanPageRefusal(const QImage& image);

// Frames the clean-up chain takes: turning a page holds two 32-bit copies of
// it, which past this many pixels would pass a gigabyte.
constexpr qint64 kMaxCleanUpPixels = 110'000'000;
// Whether params switch on any step of the clean-up chain.
bool anyCleanUpStep(const ScanParams& params);
// Why a frame of this many pixels cannot go through the steps params switch
// on; empty when it can. Asked before a frame is read, where its size is
// known, and after.
QString scanFrameRefusal(QSize frame, const ScanParams& params);
