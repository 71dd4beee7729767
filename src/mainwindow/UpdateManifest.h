#pragma once

#include "AppProduct.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reading the update manifest and telling the user what it offers. The
// manifest comes from the network: every member is checked for its type, and
// only an https package address is ever offered for opening.

// What one check is about, fixed when it starts.
struct UpdateCheckInputs {
    QString manifestUrl;
    QString channel;
    QString productId;
    QString productName;
    QString currentVersion;
    bool appImage = false;  // the process runs from an AppImage
};

// The outcome as the window shows it.
struct UpdateCheckOutcome {
    enum Kind { NetworkFailure, Malformed, NoProduct, NoPackage, UpdateAvailable, UpToDate };
    Kind kind = NetworkFailure;
    QString status;  // the status line; empty leaves it as it was
    QString title;
    QString text;
    QString link;  // offered by "Открыть ссылку"; empty when nothing may be opened
};

// The inputs of a check now: the manifest address (VORN_UPDATE_URL over the
// setting), the channel, the product and the version of this build.
UpdateCheckInputs currentUpdateCheckInputs(AppProduct product);
// The manifest address used while updates/manifestUrl is not set.
QString defaultUpdateManifestUrl();

// "vorn-pdf-editor", "vorn-pdf-viewer" or "vorn-ecp".
QString updateProductId(AppProduct product);

// The platform keys in the order they are looked up.
QStringList updatePlatformOrder(bool appImage);

// Whether offered is newer than current: by numeric segments where both
// have some, else by the trimmed texts.
bool isNewerVersion(const QString& offered, const QString& current);

// An address "Открыть ссылку" may open: a valid https URL with a host.
bool isOpenablePackageUrl(const QString& url);

UpdateCheckOutcome updateNetworkFailure(const QString& error, const UpdateCheckInputs& inputs);
UpdateCheckOutcome evaluateUpdateManifest(const QByteArray& body, const UpdateCheckInputs& inputs);
