#pragma once

#include "ScannedPdfExportOptions.h"

#include <QDialog>
#include <QImage>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// The options of the scanned-look export, with a live preview of one page
// and a button that stores them as defaults. Modal; the export runs after it.
class ScannedPdfExportDialog : public QDialog {
    Q_OBJECT

public:
    // preview makes the preview picture for the options shown.
    ScannedPdfExportDialog(const ScannedPdfExportOptions& initial,
                           std::function<QImage(const ScannedPdfExportOptions&)> preview, QWidget* parent);

    // The options as the controls show them.
    ScannedPdfExportOptions options() const;

private:
    QWidget* buildSettingsColumn(const ScannedPdfExportOptions& initial);
    QWidget* buildPreviewCard();
    QSlider* addSlider(class QFormLayout* form, const QString& text, int maximum, int value);
    void refreshPreview();
    void browse();
    void saveDefaults();

    std::function<QImage(const ScannedPdfExportOptions&)> m_preview;
    ScannedPdfExportOptions m_lastRead;
    QLineEdit* m_file = nullptr;
    QComboBox* m_dpi = nullptr;
    QComboBox* m_rotation = nullptr;
    QDoubleSpinBox* m_margin = nullptr;
    QDoubleSpinBox* m_skew = nullptr;
    QCheckBox* m_randomize = nullptr;
    QCheckBox* m_grayscale = nullptr;
    std::array<QSlider*, 7> m_sliders{};
    QLabel* m_previewLabel = nullptr;
    QPushButton* m_defaultsButton = nullptr;
};
