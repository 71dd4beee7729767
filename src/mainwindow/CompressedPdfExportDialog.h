#pragma once

#include "CompressionLevels.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QProcess>

#include <array>
#include <memory>

class BusyRing;
class DocumentJob;
class PdfDocument;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTemporaryFile;
class QTimer;
class QToolButton;

// The compressed-PDF export: six size levels, the fine settings behind them,
// a size limit and its fit, a size forecast and the output path. The fit runs
// the fit worker on a private copy of the document as soon as the dialog is
// shown; its estimates are kept for the dialog's lifetime. Saving is the
// caller's, with options() and outputPath() once exec() accepted.
class CompressedPdfExportDialog : public QDialog {
    Q_OBJECT

public:
    // The dialog and its forecast hold document while they need it;
    // suggestedOutputPath is the proposal (it already carries the localized word).
    CompressedPdfExportDialog(std::shared_ptr<PdfDocument> document, const QString& suggestedOutputPath,
                              bool shellMode, QWidget* parent = nullptr);
    // The same for a document the caller keeps open while the dialog lives.
    CompressedPdfExportDialog(PdfDocument* document, const QString& suggestedOutputPath, bool shellMode,
                              QWidget* parent = nullptr);
    ~CompressedPdfExportDialog() override;

    // The program run as the fit worker; the application itself by default.
    static void setFitWorkerProgram(const QString& program);

    PdfDocument::CompressionOptions options() const;
    // The output field as a PDF path with the localized word, "" when empty.
    // The dialog's own proposal is kept as it is.
    QString outputPath() const;
    bool openResultAfterSave() const;
    qint64 documentFileSize() const { return m_documentFileSize; }

    // True while a fit worker runs.
    bool isFitRunning() const { return !m_fitProcess.isNull(); }

    void resizeEvent(QResizeEvent* event) override;

private:
    // A text set after the dialog was shown (and translated), in the interface language.
    static QString shownText(const char* source);
    void buildLayout(bool shellMode);
    QWidget* buildLevelGroup();
    QWidget* buildFineSettings();
    QLayout* buildButtonRow();
    void connectHandlers();
    void loadSettings();

    void onLevelChanged(int level);
    void onFineSettingChanged();
    void applyStage(const CompressionStageUi& stage);
    void showCustomStage();
    void refreshStageChips();
    void refreshFineSettingsHints();
    void showCachedForecast();
    void applyOptionsToFineSettings(const PdfDocument::CompressionOptions& options);
    void applyChoice(const PdfDocument::CompressionOptions& options);
    QString fitResultText(const QString& firstLine, bool fits, const QString& label, qint64 bytes, bool sampled,
                          const PdfDocument::CompressionOptions& options, bool keepsText) const;
    // Some estimate of the last fit keeps the document's text.
    bool documentHasText() const;

    void browse();
    void saveDefaults();
    void estimate();

    void startSizeFit(bool mayUseCache);
    bool chooseFitFromCache(bool reusesRun);
    void onSizeFitFinished(int exitCode, QProcess::ExitStatus status);
    void onSizeFitError(QProcess::ProcessError error);
    void endSizeFit();
    void setControlsEnabled(bool enabled);
    void placeOverlay();
    void keepOnScreen();
    void stopFitProcess();

    std::shared_ptr<PdfDocument> m_document;
    qint64 m_documentFileSize = 0;
    QString m_suggestedOutputPath;
    QList<CachedCompressionEstimate> m_estimateCache;
    bool m_estimateCacheReady = false;
    // The last run measured every candidate; else its estimates answer only
    // limits up to its own.
    bool m_estimateComplete = false;
    qint64 m_estimateTargetBytes = 0;
    bool m_estimateRunMatched = false;
    qint64 m_fitTargetBytes = 0;  // of the run under way
    bool m_encrypted = false;
    bool m_applyingLevel = false;

    QPointer<QProcess> m_fitProcess;
    std::unique_ptr<QTemporaryFile> m_fitCopy;
    std::unique_ptr<DocumentJob> m_estimateJob;
    QTimer* m_refitTimer = nullptr;

    QLineEdit* m_outputEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
    QCheckBox* m_openAfterSave = nullptr;
    QLabel* m_levelTitle = nullptr;
    QLabel* m_levelBadge = nullptr;
    QSlider* m_levelSlider = nullptr;
    std::array<QLabel*, kCompressionLevelCount> m_chips{};
    QLabel* m_description = nullptr;
    QLabel* m_warning = nullptr;
    QDoubleSpinBox* m_limitSpin = nullptr;
    QPushButton* m_fitButton = nullptr;
    QToolButton* m_advancedButton = nullptr;
    QGroupBox* m_fineGroup = nullptr;
    QComboBox* m_dpiCombo = nullptr;
    QSlider* m_qualitySlider = nullptr;
    QLabel* m_qualityValue = nullptr;
    QCheckBox* m_grayscale = nullptr;
    QCheckBox* m_recompressSmall = nullptr;
    QCheckBox* m_rasterize = nullptr;
    QCheckBox* m_monochrome = nullptr;
    QLabel* m_fineHint = nullptr;
    QLabel* m_forecast = nullptr;
    QPushButton* m_saveDefaultsButton = nullptr;
    QPushButton* m_estimateButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QFrame* m_overlay = nullptr;
    QLabel* m_overlayTitle = nullptr;
    BusyRing* m_ring = nullptr;
};
