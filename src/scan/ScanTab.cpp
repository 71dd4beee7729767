#include "ScanTab.h"

#include "ScanWorker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kLiveIntervalMs = 100;
constexpr int kCancelRepeatMs = 50;

}  // namespace

ScanTab::ScanTab(QWidget* parent) : ScanTab(createScanBackend(), parent) {}

ScanTab::ScanTab(std::unique_ptr<ScanBackend> backend, QWidget* parent)
    : QWidget(parent), m_backend(std::move(backend))
{
    buildUi();
    loadSettings();
    onRefreshDevices();
}

ScanTab::~ScanTab()
{
    if (m_liveTimer) {
        m_liveTimer->stop();
        delete m_liveTimer;
        m_liveTimer = nullptr;
    }
    if (m_backend)
        m_backend->stopLivePreview();
    // The run must end before its back-end goes: cancel the acquisition and
    // wait, never leaving a running thread or a back-end in use behind.
    if (m_thread) {
        m_thread->quit();
        while (!m_thread->wait(kCancelRepeatMs)) {
            if (m_backend)
                m_backend->cancelAcquisition();
        }
        delete m_worker.data();
    }
    saveSettings();
    if (m_backend)
        m_backend->cleanup();
}

void ScanTab::setTextTranslator(std::function<QString(const QString&)> translate)
{
    m_translate = std::move(translate);
}

QString ScanTab::translated(const QString& source) const
{
    return m_translate ? m_translate(source) : source;
}

// Status lines come long after the window was translated.
void ScanTab::setStatus(const QString& status)
{
    m_statusLabel->setText(translated(status));
}

ScanParams ScanTab::currentParams() const
{
    ScanParams params;
    const int resolution = m_resolutionCombo->currentData().toInt();
    params.resolution = resolution < 1 ? 300 : resolution;
    params.colorMode = m_colorModeCombo->currentIndex();
    params.brightness = m_brightnessSlider->value();
    params.pageSize = m_pageSizeCombo->currentText();
    params.landscape = m_orientationCombo->currentIndex() == 1;
    params.adf = m_adfBox->isChecked();
    params.duplex = m_duplexBox->isChecked();
    params.delayMs = m_delaySpin->value() * 1000;
    bool* flags[kOptionCount] = {&params.geomCorr,    &params.perspCorr,    &params.skew,
                                 &params.structural,  &params.noiseRemove,  &params.autoBright,
                                 &params.autoContrast, &params.whiteBalance, &params.denoise,
                                 &params.sharpen,     &params.textEnhance};
    for (int i = 0; i < kOptionCount; ++i)
        *flags[i] = m_options[size_t(i)]->isChecked();
    return params;
}

void ScanTab::onRefreshDevices()
{
    if (m_busy)
        return;  // the worker holds the back-end
    stopLivePreview();
    m_deviceCombo->blockSignals(true);
    m_deviceCombo->clear();
    if (!m_backend) {
        m_deviceCombo->blockSignals(false);
        return;
    }
    const QList<ScanDevice> devices = m_backend->enumerateDevices();
    for (const ScanDevice& device : devices) {
        const QString text = device.vendor.isEmpty() ? device.model : device.vendor + QLatin1Char(' ') + device.model;
        m_deviceCombo->addItem(text, device.name);
    }
    m_deviceCombo->setEnabled(true);
    if (devices.isEmpty()) {
        m_deviceCombo->addItem(tr("Нет доступных устройств"));
        m_deviceCombo->setEnabled(false);
        setStatus(tr("Сканер не обнаружен"));
    }
    m_deviceCombo->blockSignals(false);
    onDeviceSelected(0);
}

void ScanTab::onDeviceSelected(int index)
{
    if (m_busy)
        return;
    stopLivePreview();
    if (!m_backend || index < 0 || m_deviceCombo->count() == 0)
        return;
    const QString name = m_deviceCombo->itemData(index).toString();
    if (name.isEmpty())
        return;
    if (!m_backend->openDevice(name)) {
        setStatus(translated(tr("Ошибка открытия: ")) + m_backend->lastError());
        return;
    }
    populateResolutions(m_backend->supportedResolutions());
    const bool camera = m_backend->isCameraDevice();
    m_adfBox->setEnabled(!camera);
    m_duplexBox->setEnabled(!camera);
    m_pageSizeCombo->setEnabled(!camera);
    m_orientationCombo->setEnabled(!camera);

    m_interfaceCombo->blockSignals(true);
    m_interfaceCombo->clear();
    if (camera) {
        if (name.startsWith(QLatin1String("vfw:")))
            m_interfaceCombo->addItem(tr("Камера (VFW)"), QStringLiteral("vfw"));
        else
            m_interfaceCombo->addItem(tr("Камера (MF)"), QStringLiteral("mf"));
    } else {
        m_interfaceCombo->addItem(tr("SANE (Linux)"), QStringLiteral("sane"));
    }
    const QString stored = QSettings().value(QStringLiteral("scan/interface_id"), QStringLiteral("wia")).toString();
    m_interfaceCombo->setCurrentIndex(std::max(0, m_interfaceCombo->findData(stored)));
    m_interfaceCombo->blockSignals(false);

    setStatus(tr("Устройство: %1").arg(m_deviceCombo->currentText()));
    if (m_backend->hasLivePreview())
        startLivePreview();
}

void ScanTab::onInterfaceChanged(int)
{
    saveSettings();
}

void ScanTab::populateResolutions(const QList<int>& values)
{
    const bool camera = m_backend && m_backend->isDeviceOpen() && m_backend->isCameraDevice();
    const QString remembered = m_resolutionCombo->currentText();
    m_resolutionCombo->blockSignals(true);
    m_resolutionCombo->clear();
    for (int value : values)
        m_resolutionCombo->addItem(camera ? QStringLiteral("%1p").arg(value) : QStringLiteral("%1 dpi").arg(value),
                                   value);
    int index = m_resolutionCombo->findText(remembered);
    if (index < 0)
        index = m_resolutionCombo->findText(camera ? QStringLiteral("720p") : QStringLiteral("300 dpi"));
    m_resolutionCombo->setCurrentIndex(std::max(0, index));
    m_resolutionCombo->blockSignals(false);
}

void ScanTab::setControlsEnabled(bool on)
{
    m_previewButton->setEnabled(on);
    m_scanButton->setEnabled(on);
    m_deviceCombo->setEnabled(on && !m_deviceCombo->itemData(0).toString().isEmpty());
    m_resolutionCombo->setEnabled(on);
    m_colorModeCombo->setEnabled(on);
    m_brightnessSlider->setEnabled(on);
    // Refreshing or switching would reach the back-end the worker is using.
    m_refreshButton->setEnabled(on);
    m_interfaceCombo->setEnabled(on);
}

bool ScanTab::readyToAcquire()
{
    if (m_busy || !m_backend)
        return false;
    if (!m_backend->isDeviceOpen()) {
        setStatus(tr("Выберите устройство"));
        return false;
    }
    saveSettings();
    return true;
}

void ScanTab::onPreviewClicked()
{
    if (!readyToAcquire())
        return;
    startWorker(true);
}

void ScanTab::onScanClicked()
{
    if (!readyToAcquire())
        return;
    if (m_interfaceCombo->currentData().toString() == QLatin1String("native"))
        startNativeScan();
    else
        startWorker(false);
}

// The earlier run has reported; its thread ends as soon as run() returned.
void ScanTab::finishEarlierRun()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_worker = nullptr;
}

void ScanTab::startWorker(bool preview)
{
    finishEarlierRun();
    m_busy = true;
    m_progressBar->setValue(0);
    m_progressBar->show();
    setControlsEnabled(false);
    setStatus(preview ? tr("Предпросмотр...") : tr("Сканирование..."));

    auto* worker = new ScanWorker(m_backend.get(), currentParams(), preview);
    m_thread = new QThread(this);
    worker->moveToThread(m_thread);
    m_worker = worker;
    connect(m_thread, &QThread::started, worker, &ScanWorker::run);
    connect(worker, &ScanWorker::finished, this, &ScanTab::onWorkerFinished);
    connect(worker, &ScanWorker::error, this, &ScanTab::onWorkerError);
    connect(worker, &ScanWorker::progress, this, &ScanTab::onScanProgress);
    connect(worker, &ScanWorker::finished, m_thread, &QThread::quit);
    connect(worker, &ScanWorker::error, m_thread, &QThread::quit);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    m_thread->start(QThread::InheritPriority);
}

void ScanTab::onScanProgress(int percent)
{
    m_progressBar->setValue(percent);
}

void ScanTab::endRun(const QString& status)
{
    m_busy = false;
    m_progressBar->hide();
    setControlsEnabled(true);
    setStatus(status);
}

void ScanTab::onWorkerFinished(QImage result, bool isPreview)
{
    m_busy = false;
    m_progressBar->hide();
    setControlsEnabled(true);
    setPreviewImage(result);
    if (isPreview) {
        setStatus(tr("Предпросмотр готов"));
        return;
    }
    setStatus(tr("Сканирование завершено"));
    emit pageScanned(result);
}

void ScanTab::onWorkerError(QString msg)
{
    endRun(translated(tr("Ошибка: ")) + msg);
}

void ScanTab::setPreviewImage(const QImage& image)
{
    if (image.isNull()) {
        m_previewLabel->setText(tr("Ошибка предпросмотра"));
        return;
    }
    const QWidget* area = m_previewLabel->parentWidget();
    const QSize target = area ? area->size() : QSize(300, 180);
    const QPixmap pixmap =
        QPixmap::fromImage(image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_previewLabel->setPixmap(pixmap);
    m_previewLabel->resize(pixmap.size());
}

void ScanTab::stopLivePreview()
{
    if (m_liveTimer) {
        m_liveTimer->stop();
        m_liveTimer->deleteLater();
        m_liveTimer = nullptr;
    }
    if (m_backend)
        m_backend->stopLivePreview();
}

void ScanTab::startLivePreview()
{
    stopLivePreview();
    if (!m_backend || !m_backend->hasLivePreview())
        return;
    if (!m_backend->startLivePreview()) {
        m_previewLabel->setText(tr("Не удалось запустить камеру"));
        return;
    }
    m_previewLabel->setText(tr("Инициализация камеры..."));
    m_liveTimer = new QTimer(this);
    m_liveTimer->setInterval(kLiveIntervalMs);
    connect(m_liveTimer, &QTimer::timeout, this, [this] {
        if (m_busy)
            return;
        const QImage frame = m_backend->grabLiveFrame();
        if (!frame.isNull())
            setPreviewImage(applyCameraParams(frame, currentParams()));
    });
    m_liveTimer->start();
}

void ScanTab::startNativeScan()
{
    if (m_liveTimer)
        m_liveTimer->stop();
    m_busy = true;
    setControlsEnabled(false);
    setStatus(tr("Ожидание сканирования..."));
    m_progressBar->setValue(10);
    m_progressBar->show();
    const QImage image = m_backend->doNativeScan(winId());
    m_busy = false;
    m_progressBar->hide();
    setControlsEnabled(true);
    if (m_liveTimer)
        m_liveTimer->start();
    if (image.isNull()) {
        const QString reason = m_backend->lastError();
        setStatus(reason.isEmpty() ? tr("Отменено") : translated(tr("Ошибка: ")) + reason);
        return;
    }
    setPreviewImage(image);
    setStatus(tr("Сканирование завершено"));
    emit pageScanned(image);
}
