#pragma once

#include "ScanEngine.h"

// One virtual flatbed scanner whose pages are a white sheet of the chosen
// paper size with a frame and a notice, so the scan path works without hardware.
class StubBackend : public ScanBackend {
public:
    bool init() override { return true; }
    void cleanup() override {}
    QList<ScanDevice> enumerateDevices() override;
    bool openDevice(const QString& name) override;
    void closeDevice() override { m_open = false; }
    QList<int> supportedResolutions() override;
    QImage doPreview(const ScanParams& params) override { return demoPage(params, true); }
    QImage doScan(const ScanParams& params) override { return demoPage(params, false); }
    QString lastError() const override { return QString(); }
    bool isDeviceOpen() const override { return m_open; }

    static QImage demoPage(const ScanParams& params, bool preview);

private:
    bool m_open = false;
};
