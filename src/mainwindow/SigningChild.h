#pragma once

#include "SignatureRecords.h"

#include <QString>
#include <QStringList>

class QObject;
class QProcess;

// How the window starts its signing children: a program (the program itself
// unless a test stands one in) with its own arguments and then the edition
// option, so a child reads and writes the settings store of the edition that
// started it.
struct SigningChild {
    QString program;
    QString editionOption;  // "--vorn-product=..."; empty adds nothing

    // Sets program, arguments, environment (marker = "1") and separate
    // channels, and the child ends with this process; the caller connects
    // and starts. A child given a scratch
    // folder keeps its temporary files there (TMPDIR), so whatever a killed
    // child leaves goes with that folder.
    void configure(QProcess* process, const QStringList& arguments, const char* marker,
                   const QString& scratchFolder = QString()) const;
};

// Starts the configured child and hands it secrets through its standard
// input, which is then closed: a pass phrase never goes into a file.
void startSigningChild(QProcess* process, const QByteArray& secrets);

// Ends a child at once: its ends are claimed and its signals cut, so no
// slot hears of it, then it is killed and reaped. The caller deletes it.
void killSigningChild(QProcess* process);

// The once-guard of a child's ends: true the first time it is asked for
// process (setting "_vorn_done"), false afterwards and for a null process.
bool claimSigningChildEnd(QObject* process);

// The signing child's answer as every run reads it, whatever its exit code:
// the result object it printed (a refusal carries its reason there), else
// its standard error, trimmed, else fallbackText; a failure always has its
// error text. processOk is false for a child that did not end normally: its
// output then counts for nothing.
SignatureResult signingChildAnswer(bool processOk, const QByteArray& out, const QByteArray& err,
                                   const QString& fallbackText, const SignatureRequest& request);

// What a signing child made for a run that is not to keep it goes: the file
// its answer named, only while that name is still the very file it wrote
// (another run may have taken the name since), and what a child killed
// midway left beside wantedOutput (see removeSaveLeftovers), never a live
// writer's.
void removeWhatChildLeft(const SignatureResult& answer, const QString& wantedOutput);
