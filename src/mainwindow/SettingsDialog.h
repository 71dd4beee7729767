#pragma once

#include <QDialog>

class MainWindow;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QSpinBox;

// The settings dialog: six pages filled from the stored settings when it is
// built; "Применить" writes them all and applies the live ones to the window.
// Not modal, deleted when closed; several may be open at once.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(MainWindow& window);

    // The default address of the update manifest.
    // The first render-zoom item value fuzzily equal to the stored one, or
    // the first item (automatic).
    static int renderZoomIndex(const QList<double>& values, double stored);

    void apply();

private:
    QWidget* buildInterfacePage();
    QWidget* buildDocumentsPage();
    QWidget* buildOcrPage();
    QWidget* buildPrintPage();
    QWidget* buildSigningPage();
    QWidget* buildServicePage();
    void clearRecentFiles();
    void resetWindowPlacement();
    void resetRibbonTab();

    MainWindow& m_window;
    QComboBox* m_density = nullptr;
    QComboBox* m_theme = nullptr;
    QComboBox* m_language = nullptr;
    QCheckBox* m_floatingBar = nullptr;
    QCheckBox* m_rememberTab = nullptr;
    QCheckBox* m_rememberRecent = nullptr;
    QCheckBox* m_restoreLast = nullptr;
    QCheckBox* m_autoSave = nullptr;
    QSpinBox* m_autoSaveMinutes = nullptr;
    QComboBox* m_ocrLanguages = nullptr;
    QComboBox* m_ocrQuality = nullptr;
    QCheckBox* m_preferNativeText = nullptr;
    QCheckBox* m_regionOnly = nullptr;
    QCheckBox* m_fontLabels = nullptr;
    QComboBox* m_paper = nullptr;
    QComboBox* m_orientation = nullptr;
    QSpinBox* m_dpi = nullptr;
    QSpinBox* m_copies = nullptr;
    QComboBox* m_scale = nullptr;
    QComboBox* m_revocationMode = nullptr;
    QSpinBox* m_searchTimeout = nullptr;
    QSpinBox* m_searchWithRevocationTimeout = nullptr;
    QSpinBox* m_revocationTimeout = nullptr;
    QLineEdit* m_manifestUrl = nullptr;
    QComboBox* m_channel = nullptr;
};
