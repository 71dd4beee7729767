#pragma once

#include "SignatureRecords.h"
#include "SignatureStampTemplate.h"
#include "SigningChild.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QStringList>

#include <memory>

class BusyRing;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProcess;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class SigningScratch;

// What a signing run reads from the dialog when its button is pressed.
struct SignatureDialogInputs {
    QString outputPath;  // trimmed
    SignatureMode mode = DetachedCms;
    QString tsaUrl;  // trimmed
    QString certificatePath;
    QString privateKeyPath;
    QString keyPassword;  // as entered
    QString pkcs12Path;
    QString pkcs12Password;  // as entered
    int stampPage = 1;  // 1-based
    QString stampPosition;
    double stampWidthMm = 82.0;
    double stampHeightMm = 34.0;
    QString stampTemplateId;
    bool openResult = false;  // the box exists only for file-manager runs
};

// "Подписание документа": how a file is signed. The dialog signs nothing and
// stores no pass phrase; "Подписать" asks for a run (runRequested), which
// reads inputs() and drives setSigningBusy. "Отмена", Escape and closing
// stop a run and close the dialog. The certificate list comes from a child
// of the program (--vorn-cert-list), one search at a time; a listed key file
// chosen in it is put into the key fields, which are what signs.
class SignatureDialog : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        QString sourcePath;    // absolute; signed first
        QString explicitPath;  // the source when a file was given, else empty
        QStringList remainingFiles;
        QStringList skippedFiles;
        bool shellMode = false;
        QString openDocumentPath;  // the window's open document, if any
        int openDocumentPageCount = 0;
        SigningChild children;
    };

    SignatureDialog(const Setup& setup, QWidget* parent);
    ~SignatureDialog() override;

    const Setup& setup() const { return m_setup; }
    SignatureDialogInputs inputs() const;
    int currentSignatureMode() const;
    int stampPageCount() const;
    void setOutputPath(const QString& path);
    void setSigningBusy(bool busy, const QString& text);
    // The busy state's progress in thousandths; negative hides it.
    void setSigningProgress(int permille);
    bool isSigningBusy() const { return m_busy; }
    QList<SigningCertificate> certificates() const { return m_certificates; }

    void applySignatureModeToDialog();
    void reloadStampTemplateCombo(const QString& wantedId);
    void showSigningDiagnostics();

    // The certificate search (SignatureDialog_certificates.cpp).
    void startCertificateSearch();
    void finishCertificateSearch(QProcess* process, bool processOk, const QByteArray& out, const QByteArray& err,
                                 const QString& fallbackText);
    void rebuildCertificateList();
    bool appendCertificateSection(bool available);
    // The key file a listed certificate came from ("linux-file|<path>");
    // empty for other entries.
    static QString listedKeyFile(const QString& certificateId);
    // A key file path the settings group "signing/linux" remembers.
    static QString storedKeyFile(const char* key);
    // The search's time-out in seconds for the stored settings, clamped.
    static int certificateSearchTimeoutSeconds(bool revocationSearch);
    static QString certificateSearchTimeoutText(int seconds);
    // The length of one second of the search's time-out; tests shorten it.
    static void setSearchSecondMs(int ms);
    // The family a certificate is listed under.
    static QString certificateFamily(const SigningCertificate& certificate);

signals:
    void runRequested();

private:
    QWidget* buildFileGroup();
    QWidget* buildCertificateGroup();
    QWidget* buildModeGroup();
    QWidget* buildTsaGroup();
    QWidget* buildStampGroup();
    QWidget* buildKeyGroup();
    QWidget* buildBusyOverlay();
    void refreshSubtitle();
    void setDefaultOutput();
    QString defaultOutputForMode() const;
    void ensureTemplateIcon(int row);
    void queueTemplateIcons(const QList<int>& rows);
    void drawNextTemplateIcon();
    void chooseOutput();
    void browseInto(QLineEdit* field, const QString& caption, const QString& filter);
    // The key fields follow a certificate the user picks in the list; the
    // list shows the one the fields sign with.
    void useListedCertificate();
    void selectCertificateOfKeyFields();
    int rowOfKeyFields() const;
    bool listsKeyFiles() const;

    Setup m_setup;
    QString m_revocationMode;
    QList<SigningCertificate> m_certificates;
    QPointer<QProcess> m_search;
    QPointer<QPushButton> m_runButton;
    std::unique_ptr<SigningScratch> m_searchScratch;  // the search child's temporary files
    bool m_busy = false;
    bool m_followingFields = false;  // the list's selection is being set from the fields
    QList<SignatureStampTemplateEntry> m_stampTemplates;  // as listed in the template box
    QIcon m_blankTemplateIcon;  // a row whose preview is not drawn yet
    QList<int> m_pendingIcons;  // rows an open list shows, drawn one at a time
    mutable int m_sourcePageCount = 0;  // the source file's pages, once counted

    QLabel* m_subtitle = nullptr;
    QGroupBox* m_fileGroup = nullptr;
    QGroupBox* m_certificateGroup = nullptr;
    QGroupBox* m_modeGroup = nullptr;
    QGroupBox* m_tsaGroup = nullptr;
    QGroupBox* m_stampGroup = nullptr;
    QLineEdit* m_output = nullptr;
    QLineEdit* m_filter = nullptr;
    QCheckBox* m_showUnavailable = nullptr;
    QStackedWidget* m_certificateStack = nullptr;
    QListWidget* m_certificateList = nullptr;
    QWidget* m_loadingPage = nullptr;
    BusyRing* m_loadingRing = nullptr;
    QPushButton* m_refresh = nullptr;
    QComboBox* m_mode = nullptr;
    QLineEdit* m_tsa = nullptr;
    QSpinBox* m_stampPage = nullptr;
    QComboBox* m_stampPosition = nullptr;
    QDoubleSpinBox* m_stampWidth = nullptr;
    QDoubleSpinBox* m_stampHeight = nullptr;
    QComboBox* m_stampTemplate = nullptr;
    QLineEdit* m_certificatePath = nullptr;
    QLineEdit* m_privateKeyPath = nullptr;
    QLineEdit* m_keyPassword = nullptr;
    QLineEdit* m_pkcs12Path = nullptr;
    QLineEdit* m_pkcs12Password = nullptr;
    QCheckBox* m_openResult = nullptr;
    QPushButton* m_diagnostics = nullptr;
    QPushButton* m_cancel = nullptr;
    QFrame* m_overlay = nullptr;
    QLabel* m_overlayText = nullptr;
    BusyRing* m_overlayRing = nullptr;
    QProgressBar* m_overlayProgress = nullptr;
};
