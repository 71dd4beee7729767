#pragma once

#include "ScanEngine.h"

#include <QMutex>

#include <atomic>
#include <memory>

// The back-end over the SANE library: lists local and network scanners,
// opens one, sets resolution, mode and brightness by option name and reads
// one frame.
class SaneBackend : public ScanBackend {
public:
    SaneBackend();
    ~SaneBackend() override;

    bool init() override;
    void cleanup() override;
    QList<ScanDevice> enumerateDevices() override;
    bool openDevice(const QString& name) override;
    void closeDevice() override;
    QList<int> supportedResolutions() override;
    QImage doPreview(const ScanParams& params) override { return acquire(params, true); }
    QImage doScan(const ScanParams& params) override { return acquire(params, false); }
    QString lastError() const override;
    bool isDeviceOpen() const override { return m_handle != nullptr; }
    void cancelAcquisition() override;

    static QList<int> defaultResolutions();

private:
    struct HandleCloser {
        void operator()(void* handle) const;
    };
    using Handle = std::unique_ptr<void, HandleCloser>;

    QImage acquire(const ScanParams& params, bool preview);
    int findOption(const char* name) const;
    int setIntOption(const char* name, int value);
    // Reads one frame; TooLarge when it grows past limit bytes (no error set).
    enum class Read { Done, Failed, TooLarge };
    Read readFrame(QByteArray* bytes, qint64 limit);
    void setError(const QString& error);

    bool m_initialised = false;
    Handle m_handle;
    std::atomic<bool> m_cancelled{false};
    mutable QMutex m_errorLock;
    QString m_lastError;
};
