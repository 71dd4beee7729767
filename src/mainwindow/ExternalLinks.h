#pragma once

#include "LinkOpening.h"

class QUrl;
class QWidget;

// Opens a link from a document or the network by the program's one rule for
// links (openUntrustedLink). Returns whether it was handed to the desktop.
bool openExternalLink(QWidget* parent, const QUrl& url);
