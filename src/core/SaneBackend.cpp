#include "SaneBackend.h"

#include "SaneOptions.h"

#include <QMutexLocker>

#include <sane/sane.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kPreviewDpi = 75;
constexpr int kReadChunk = 64 * 1024;

QString statusText(SANE_Status status)
{
    return QString::fromUtf8(sane_strstatus(status));
}

// sane_init and sane_exit once for all back-ends alive at a time.
class SaneSession {
public:
    static SANE_Status acquire()
    {
        QMutexLocker locker(&s_lock);
        if (s_users == 0) {
            SANE_Int version = 0;
            const SANE_Status status = sane_init(&version, nullptr);
            if (status != SANE_STATUS_GOOD)
                return status;
        }
        ++s_users;
        return SANE_STATUS_GOOD;
    }

    static void release()
    {
        QMutexLocker locker(&s_lock);
        if (s_users > 0 && --s_users == 0)
            sane_exit();
    }

private:
    static inline QMutex s_lock;
    static inline int s_users = 0;
};

// Why a frame of these parameters cannot be read and cleaned up; empty when
// it can.
QString frameRefusal(const SANE_Parameters& frame, const ScanParams& params)
{
    const QString refusal = SaneOptions::frameRefusal(frame);
    if (refusal.isEmpty() && frame.lines > 0)
        return scanFrameRefusal(QSize(frame.pixels_per_line, frame.lines), params);
    return refusal;
}

}  // namespace

void SaneBackend::HandleCloser::operator()(void* handle) const
{
    sane_close(static_cast<SANE_Handle>(handle));
}

SaneBackend::SaneBackend() = default;

SaneBackend::~SaneBackend()
{
    cleanup();
}

QList<int> SaneBackend::defaultResolutions()
{
    return {75, 100, 150, 200, 300, 400, 600, 1200};
}

bool SaneBackend::init()
{
    if (m_initialised)
        return true;
    const SANE_Status status = SaneSession::acquire();
    m_initialised = status == SANE_STATUS_GOOD;
    if (!m_initialised)
        setError(QStringLiteral("sane_init: %1").arg(statusText(status)));
    return m_initialised;
}

void SaneBackend::cleanup()
{
    closeDevice();
    if (m_initialised) {
        SaneSession::release();
        m_initialised = false;
    }
}

QList<ScanDevice> SaneBackend::enumerateDevices()
{
    QList<ScanDevice> devices;
    if (!m_initialised)
        return devices;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return devices;
    for (int i = 0; list[i]; ++i) {
        const SANE_Device* d = list[i];
        devices.append(ScanDevice{QString::fromUtf8(d->name), QString::fromUtf8(d->vendor),
                                  QString::fromUtf8(d->model), QString::fromUtf8(d->type)});
    }
    return devices;
}

bool SaneBackend::openDevice(const QString& name)
{
    closeDevice();
    if (!m_initialised) {
        setError(QStringLiteral("sane_open: %1").arg(statusText(SANE_STATUS_INVAL)));
        return false;
    }
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(name.toUtf8().constData(), &handle);
    if (status != SANE_STATUS_GOOD || !handle) {
        setError(QStringLiteral("sane_open: %1").arg(statusText(status)));
        return false;
    }
    m_handle.reset(handle);
    return true;
}

void SaneBackend::closeDevice()
{
    m_handle.reset();
}

QString SaneBackend::lastError() const
{
    QMutexLocker locker(&m_errorLock);
    return m_lastError;
}

void SaneBackend::setError(const QString& error)
{
    QMutexLocker locker(&m_errorLock);
    m_lastError = error;
}

void SaneBackend::cancelAcquisition()
{
    m_cancelled = true;
    if (m_handle)
        sane_cancel(m_handle.get());
}

int SaneBackend::findOption(const char* name) const
{
    SANE_Int count = 0;
    sane_control_option(m_handle.get(), 0, SANE_ACTION_GET_VALUE, &count, nullptr);
    const QByteArray wanted(name);
    for (int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* option = sane_get_option_descriptor(m_handle.get(), i);
        if (option && option->name && wanted == option->name)
            return SANE_OPTION_IS_ACTIVE(option->cap) ? i : -1;
    }
    return -1;
}

QList<int> SaneBackend::supportedResolutions()
{
    if (!m_handle)
        return defaultResolutions();
    const int index = findOption("resolution");
    if (index < 0)
        return defaultResolutions();
    return SaneOptions::resolutions(*sane_get_option_descriptor(m_handle.get(), index), defaultResolutions());
}

// Writes value into a one-word int or fixed option; returns the value the
// device took, or 0 when the option is missing or not writable.
int SaneBackend::setIntOption(const char* name, int value)
{
    const int index = findOption(name);
    if (index < 0)
        return 0;
    const SANE_Option_Descriptor* option = sane_get_option_descriptor(m_handle.get(), index);
    if (!option || !SaneOptions::writable(*option) || option->size != sizeof(SANE_Word)
        || (option->type != SANE_TYPE_INT && option->type != SANE_TYPE_FIXED))
        return 0;
    SANE_Word word = SaneOptions::wordFor(*option, value);
    SANE_Int info = 0;
    sane_control_option(m_handle.get(), index, SANE_ACTION_SET_VALUE, &word, &info);
    if (sane_control_option(m_handle.get(), index, SANE_ACTION_GET_VALUE, &word, nullptr) != SANE_STATUS_GOOD)
        return value;
    return SaneOptions::intFrom(*option, word);
}

SaneBackend::Read SaneBackend::readFrame(QByteArray* bytes, qint64 limit)
{
    std::vector<SANE_Byte> chunk(kReadChunk);
    for (;;) {
        SANE_Int length = 0;
        const SANE_Status status = sane_read(m_handle.get(), chunk.data(), kReadChunk, &length);
        if (status == SANE_STATUS_EOF)
            break;
        if (status != SANE_STATUS_GOOD) {
            // A stop from another thread may reach the back-end between two
            // reads, which then finds no scan running: still a stop.
            setError(QStringLiteral("sane_read: %1").arg(statusText(m_cancelled ? SANE_STATUS_CANCELLED : status)));
            return Read::Failed;
        }
        if (bytes->size() + length > limit)
            return Read::TooLarge;
        bytes->append(reinterpret_cast<const char*>(chunk.data()), length);
    }
    if (m_cancelled) {
        setError(QStringLiteral("sane_read: %1").arg(statusText(SANE_STATUS_CANCELLED)));
        return Read::Failed;
    }
    return Read::Done;
}

QImage SaneBackend::acquire(const ScanParams& params, bool preview)
{
    if (!m_handle) {
        setError(QStringLiteral("No device open"));
        return QImage();
    }
    m_cancelled = false;
    const int wantedDpi = preview ? kPreviewDpi : params.resolution;
    const int takenDpi = setIntOption("resolution", wantedDpi);
    const int dpi = takenDpi > 0 ? takenDpi : wantedDpi;

    bool threshold = params.colorMode != 0 && params.colorMode != 1;
    const int modeIndex = findOption("mode");
    if (modeIndex >= 0) {
        const SANE_Option_Descriptor* option = sane_get_option_descriptor(m_handle.get(), modeIndex);
        const QByteArray mode =
            option && SaneOptions::writable(*option) ? SaneOptions::modeFor(*option, params.colorMode, &threshold).toUtf8()
                                                      : QByteArray();
        if (!mode.isEmpty() && option->size > mode.size()) {
            QByteArray value(option->size, '\0');
            memcpy(value.data(), mode.constData(), static_cast<size_t>(mode.size()));
            SANE_Int info = 0;
            sane_control_option(m_handle.get(), modeIndex, SANE_ACTION_SET_VALUE, value.data(), &info);
        }
    }
    if (params.brightness != 0)
        setIntOption("brightness", params.brightness);

    if (m_cancelled) {
        setError(QStringLiteral("sane_start: %1").arg(statusText(SANE_STATUS_CANCELLED)));
        return QImage();
    }
    // A frame that cannot be taken is refused before the device starts, on
    // the size it expects: a back-end stopped just after its start may hang
    // (the test device's reader thread, cancelled at once, never ends).
    SANE_Parameters frame{};
    QString refusal;
    if (sane_get_parameters(m_handle.get(), &frame) == SANE_STATUS_GOOD)
        refusal = frameRefusal(frame, params);
    if (!refusal.isEmpty()) {
        setError(refusal);
        return QImage();
    }
    const SANE_Status started = sane_start(m_handle.get());
    if (started != SANE_STATUS_GOOD) {
        setError(QStringLiteral("sane_start: %1").arg(statusText(started)));
        return QImage();
    }
    // Once more on what it will send: before its bytes are read, where the
    // device tells its size, else once they grow past the largest.
    frame = SANE_Parameters{};
    sane_get_parameters(m_handle.get(), &frame);
    refusal = frameRefusal(frame, params);
    if (!refusal.isEmpty()) {
        sane_cancel(m_handle.get());
        setError(refusal);
        return QImage();
    }
    QByteArray bytes;
    // One allocation when the device tells the frame's size up front.
    if (frame.lines > 0)
        bytes.reserve(qint64(frame.lines) * frame.bytes_per_line);
    const qint64 limit =
        std::min(SaneOptions::kMaxFrameBytes, SaneOptions::kMaxFrameSide * qint64(frame.bytes_per_line));
    const Read read = readFrame(&bytes, limit);
    sane_cancel(m_handle.get());
    if (read == Read::TooLarge)
        setError(SaneOptions::oversizeReason(frame, bytes.size() + 1));
    if (read != Read::Done)
        return QImage();

    QString reason;
    QImage image = SaneOptions::frameImage(frame, bytes, dpi, &reason);
    bytes.clear();
    if (image.isNull()) {
        if (!reason.isEmpty())
            setError(reason);
        return image;
    }
    return threshold ? SaneOptions::thresholded(image) : image;
}
