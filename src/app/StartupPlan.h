#pragma once

#include "AppProduct.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A worker mode: gets the whole argument list, prints one JSON line and
// returns the process exit code.
using WorkerRunner = int (*)(const QStringList& arguments);

// How the process goes on after the edition is known.
enum class StartKind {
    Worker,            // a worker mode, no window at all
    Windowed,          // editor or viewer: show the window, open one file
    FileManagerAction, // merge, compress or sign the given files
    EcpSigning,        // the signing edition's own start
};

// What the command line asks for, decided before anything else happens.
struct StartupPlan {
    AppProduct product = AppProduct::ecp;
    StartKind start = StartKind::Windowed;
    WorkerRunner worker = nullptr;
    QString shellAction;  // "merge", "compress" or "sign"
    QStringList files;    // the file to open, the action's files, or the files to sign
    bool showSplash = false;
};

// arguments as QCoreApplication::arguments() gives them, program path first.
// Worker and file-manager options count only as the second argument.
StartupPlan planStartup(const QStringList& arguments);

// The splash's pause per stage from the value of VORN_PRELOADER_STEP_MS:
// a non-negative decimal integer, otherwise the default.
int preloaderStepMs(const QByteArray& environmentValue);
