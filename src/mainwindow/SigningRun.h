#pragma once

#include "SignatureRecords.h"
#include "SigningChild.h"
#include "StampedPdfCopy.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class MainWindow;
class QJsonObject;
class QProcess;
class SignatureDialog;
class SigningBatch;
class SigningPreparation;
class SigningScratch;
class TerminationWatch;

// The run's record: the request as sent and what came back.
struct AsyncSignResult {
    SignatureRequest request;
    SignatureResult result;
    QString stampedPdfPath;  // empty unless a stamped copy was made
    QString requestFilePath;
    QString finalTitle;  // empty: "Подписание"
    QString finalText;   // empty: success
};

// One press of "Подписать": the dialog's settings become a request; a first
// child reads the key material and names the certificate; the file is
// prepared off the GUI thread (a fresh copy of the open document, a stamped
// copy) and a second child signs it, the pass phrases handed over through
// its standard input. The output takes a free name without replacing
// anything (another run may take the wanted one meanwhile): the name the
// child wrote is the one shown and journalled. Further files follow as a
// batch. The run belongs to the dialog: closing the dialog, or a SIGTERM,
// ends it at once, killing its child, letting its preparation go and
// removing its scratch folder (request file, document copy, the children's
// temporary files, the stage of a stamped copy and its signature) and what
// the stopped run had made: only files it can prove its own, never a name.
class SigningRun : public QObject {
    Q_OBJECT
public:
    SigningRun(SignatureDialog* dialog, MainWindow* window, const SigningChild& children);
    ~SigningRun() override;

    // startSigningRun: every outcome is shown to the user.
    void start();
    // Ends the run at once: the child is killed, a batch stops, the
    // preparation is let go, scratch and unfinished outputs go.
    void abort();
    bool isRunning() const { return running; }

    // The request keys but the pass phrases as one compact JSON object;
    // false with error "Не удалось подготовить параметры подписи: %1" when
    // it cannot be written.
    static bool writeSignatureRequestFile(const SignatureRequest& request, const QString& path, QString* error);
    // The pass phrases, for the child's standard input.
    static QByteArray secretsFor(const SignatureRequest& request);

private:
    static bool writeRequestObject(const QJsonObject& object, const QString& path, QString* error);
    QString writeRequest(bool describeOnly);
    void describeCertificate();
    void finishDescribe(QProcess* process, bool processOk, const QByteArray& out, const QByteArray& err,
                        const QString& fallbackText);
    void prepareAndSign();
    void prepared(const QString& error);
    void sendRequest();
    void finishSigningRun(QProcess* process, bool processOk, const QByteArray& out, const QByteArray& err,
                          const QString& fallbackText);
    void failSigningRun(const QString& title, const QString& text);
    bool placeStamped();
    void succeed();
    void openResult(const QString& path);
    void end();
    void startChild(const QString& requestPath, bool describe);

    QPointer<SignatureDialog> dialog;
    QPointer<MainWindow> window;
    SigningChild children;
    std::shared_ptr<SigningScratch> scratch;  // shared with a preparation until it ended
    std::unique_ptr<TerminationWatch> termination;  // while running
    SigningPreparation* preparation = nullptr;
    QPointer<QProcess> child;
    bool childSigns = false;  // the child is the signing one, not the describing one
    SigningBatch* batch = nullptr;  // while a batch runs
    bool running = false;
    bool aborted = false;

    AsyncSignResult record;
    SigningCertificate certificate;
    SignatureStampOptions stampOptions;
    QString input;          // the source path
    QString journalInput;   // the file the journal names for the first signature
    bool inputIsOpenDocument = false;
    QString sourceCopyPath;  // the open document's copy, in the scratch
    // A stamped copy and its signature: made in a stage, then placed.
    StampedOutputs stagedOutputs;
    StampedOutputs placedOutputs;
};
