#pragma once

#include "ScanEngine.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <memory>

// A back-end whose answers the test sets: the devices, the image or error of
// a run, a slow read that waits until it is released or cancelled, a camera
// with live frames. The shared state outlives the back-end the tab owns.
struct FakeScanState {
    QList<ScanDevice> devices{{QStringLiteral("fake:0"), QStringLiteral("Fake"), QStringLiteral("Flatbed"),
                               QStringLiteral("flatbed scanner")}};
    QList<int> resolutions{75, 150, 300, 600};
    bool openSucceeds = true;
    QImage image;
    QString error;
    bool slow = false;  // the run waits for release() or a cancel
    bool camera = false;
    QImage liveFrame;
    std::atomic<int> runs{0};
    std::atomic<int> enumerations{0};
    std::atomic<bool> running{false};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> destroyed{false};
    std::atomic<bool> usedWhileRunning{false};
    QMutex lock;
    QWaitCondition wake;
    bool released = false;
    ScanParams lastParams;
    bool lastWasPreview = false;

    void release()
    {
        QMutexLocker locker(&lock);
        released = true;
        wake.wakeAll();
    }
};

class FakeScanBackend : public ScanBackend {
public:
    explicit FakeScanBackend(std::shared_ptr<FakeScanState> state) : m_state(std::move(state)) {}
    ~FakeScanBackend() override
    {
        if (m_state->running)
            m_state->usedWhileRunning = true;
        m_state->destroyed = true;
    }

    bool init() override { return true; }
    void cleanup() override { touch(); }
    QList<ScanDevice> enumerateDevices() override
    {
        touch();
        ++m_state->enumerations;
        return m_state->devices;
    }
    bool openDevice(const QString&) override
    {
        touch();
        m_open = m_state->openSucceeds;
        return m_open;
    }
    void closeDevice() override { m_open = false; }
    QList<int> supportedResolutions() override { return m_state->resolutions; }
    QImage doPreview(const ScanParams& params) override { return run(params, true); }
    QImage doScan(const ScanParams& params) override { return run(params, false); }
    QString lastError() const override { return m_state->error; }
    bool isDeviceOpen() const override { return m_open; }
    bool isCameraDevice() const override { return m_state->camera; }
    bool hasLivePreview() const override { return m_state->camera; }
    bool startLivePreview() override { return m_state->camera; }
    QImage grabLiveFrame() override { return m_state->liveFrame; }
    void cancelAcquisition() override
    {
        m_state->cancelled = true;
        m_state->wake.wakeAll();
    }

private:
    void touch()
    {
        if (m_state->running)
            m_state->usedWhileRunning = true;
    }

    QImage run(const ScanParams& params, bool preview)
    {
        m_state->running = true;
        ++m_state->runs;
        m_state->lastParams = params;
        m_state->lastWasPreview = preview;
        if (m_state->slow) {
            QMutexLocker locker(&m_state->lock);
            while (!m_state->released && !m_state->cancelled)
                m_state->wake.wait(&m_state->lock, 20);
        }
        const bool cancelled = m_state->cancelled;
        m_state->running = false;
        return cancelled ? QImage() : m_state->image;
    }

    std::shared_ptr<FakeScanState> m_state;
    bool m_open = false;
};
