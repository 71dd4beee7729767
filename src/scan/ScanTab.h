#pragma once

#include "ScanEngine.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QThread;
class QTimer;
class QToolButton;
class ScanWorker;

// Picks a scanner, sets resolution, mode, brightness and the clean-up
// options, previews and scans. Each run goes through a ScanWorker on a thread
// of its own; a finished scan leaves through pageScanned.
class ScanTab : public QWidget {
    Q_OBJECT

public:
    explicit ScanTab(QWidget* parent = nullptr);
    // With a back-end of the caller's choosing (tests).
    ScanTab(std::unique_ptr<ScanBackend> backend, QWidget* parent);
    ~ScanTab() override;

    ScanParams currentParams() const;
    bool isBusy() const { return m_busy; }
    // What turns the status lines' Russian texts into the interface
    // language; the texts as written without one.
    void setTextTranslator(std::function<QString(const QString&)> translate);

signals:
    void pageScanned(QImage image);

public slots:
    void onRefreshDevices();
    void onDeviceSelected(int index);
    void onInterfaceChanged(int index);
    void onPreviewClicked();
    void onScanClicked();
    void onWorkerFinished(QImage result, bool isPreview);
    void onWorkerError(QString msg);
    void onScanProgress(int percent);
    void saveSettings();

private:
    static constexpr int kOptionCount = 11;

    void buildUi();
    QWidget* buildSettingsFrame();
    QWidget* buildScanFrame();
    QWidget* buildControls();
    void loadSettings();
    void populateResolutions(const QList<int>& values);
    void startWorker(bool preview);
    void endRun(const QString& status);
    void finishEarlierRun();
    void setControlsEnabled(bool on);
    void setPreviewImage(const QImage& image);
    void startLivePreview();
    void stopLivePreview();
    void startNativeScan();
    void setStatus(const QString& text);
    QString translated(const QString& source) const;
    // False (with a status line) while busy or without an open device; saves the settings otherwise.
    bool readyToAcquire();

    std::unique_ptr<ScanBackend> m_backend;
    std::function<QString(const QString&)> m_translate;
    QComboBox* m_deviceCombo = nullptr;
    QToolButton* m_refreshButton = nullptr;
    QComboBox* m_interfaceCombo = nullptr;
    std::array<QCheckBox*, kOptionCount> m_options{};
    QComboBox* m_resolutionCombo = nullptr;
    QComboBox* m_colorModeCombo = nullptr;
    QSlider* m_brightnessSlider = nullptr;
    QLabel* m_brightnessValue = nullptr;
    QComboBox* m_pageSizeCombo = nullptr;
    QComboBox* m_orientationCombo = nullptr;
    QCheckBox* m_adfBox = nullptr;
    QCheckBox* m_duplexBox = nullptr;
    QSpinBox* m_delaySpin = nullptr;
    QLabel* m_previewLabel = nullptr;
    QPushButton* m_previewButton = nullptr;
    QPushButton* m_scanButton = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_statusLabel = nullptr;
    QThread* m_thread = nullptr;
    QPointer<ScanWorker> m_worker;
    bool m_busy = false;
    bool m_loading = false;
    QTimer* m_liveTimer = nullptr;
};
