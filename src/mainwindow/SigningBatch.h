#pragma once

#include "SignatureRecords.h"
#include "SigningChild.h"
#include "StampedPdfCopy.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>

#include <memory>

class MainWindow;
class QEventLoop;
class QProcess;
class SignatureDialog;
class SigningScratch;

// The files after the first, signed with the first one's settings once the
// user agrees: a stamped copy made off the GUI thread where the mode asks
// for one, then one child each, waited for in a local event loop. A failure
// is noted and the batch goes on, the failed file leaving no output;
// cancel() (the dialog closed) stops at once: the running child is killed,
// a preparation let go, and the file in hand leaves no output.
class SigningBatch {
    Q_DECLARE_TR_FUNCTIONS(SigningBatch)
public:
    SigningBatch(SignatureDialog* dialog, MainWindow* window, const SigningChild& children,
                 const SignatureRequest& templateRequest, const SigningCertificate& certificate,
                 const SignatureStampOptions& stampOptions);

    // Asks, signs and appends the final message's lines and the files to open.
    void run(const QStringList& remainingFiles, QStringList* lines, QStringList* openList);
    void cancel();
    bool cancelled() const { return stopped; }
    // What a stopped batch tells: how many of all the files were signed, the
    // first one included, the names of those the stop left unsigned, and
    // those refused before it with their reasons.
    QString stoppedText() const;

    // Signs one file in a child and waits; true only for a result whose ok
    // is true, else error holds the text to show: the child's answer read
    // as the single run reads it (signingChildAnswer), its refusal's reason
    // whatever its exit code. Its request file (the pass phrases go through
    // the child's standard input) and the child's temporary files live in a
    // private scratch folder: the file's own while a file is in hand, else
    // one that goes before returning.
    bool signFileInWorker(const SignatureRequest& request, SignatureResult* result, QString* error);

private:
    bool signOne(const QString& file, QString* stampedPath, SignatureRequest* request, SignatureResult* result,
                 QString* error);
    bool signInScratch(const QString& file, QString* stampedPath, SignatureRequest* request, SignatureResult* result,
                       QString* error);
    void appendFailures(QStringList* lines) const;
    // The stamped copy of file, made on a thread while a local loop waits.
    bool stampInBackground(const QString& file, const QString& stamped, QString* error);

    QPointer<SignatureDialog> dialog;
    QPointer<MainWindow> window;
    SigningChild children;
    SignatureRequest templateRequest;
    SigningCertificate certificate;
    SignatureStampOptions stampOptions;
    QPointer<QProcess> child;
    QPointer<QEventLoop> loop;
    std::shared_ptr<SigningScratch> scratch;  // of the file in hand
    bool stopped = false;
    int total = 0;
    int signedCount = 0;        // the first file included
    QStringList unsignedNames;  // the further files not signed nor refused so far, in order
    QStringList failures;       // "<name> — <reason>" of the files refused
};
