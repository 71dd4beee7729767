#pragma once

#include "ScannedPdfExportOptions.h"

#include <QImage>

// One clean page picture made to look put through a flatbed scanner: turned
// by options.rotation, shrunk inside paper margins, tilted, darkened, noisy,
// banded, streaked, shadowed at the edges and folded at a corner. Every random
// choice is seeded from pageIndex, so the same input always gives the same
// picture; preview changes only the tilt. Opaque ARGB32 at options.dpi; a
// null image gives a null image.
QImage applyScannedPdfEffect(const QImage& image, const ScannedPdfExportOptions& options, int pageIndex, bool preview);

// The seeds of the three generators, exposed for the tests that replay them.
quint32 scannedTiltSeed(int pageIndex, bool preview);
quint32 scannedToneSeed(int pageIndex);
quint32 scannedStreakSeed(int pageIndex);
