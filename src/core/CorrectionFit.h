#pragma once
// Keeps a corrected line on its page: typed words that would run past the
// page's edge take the whole line back along itself, as far as the page
// leaves room; a line wider than that room cannot be written as it stands.

#include "LineCorrection.h"

#include <QSizeF>
#include <QTransform>

#include <functional>

namespace pdfengine {

// How far a typed run reaches along its line, from its x.
using RunWidth = std::function<double(const TypedRun& run)>;

// Shifts every kept word and typed run of correction along the line (its
// frame; toPage maps the frame onto the page, of pageSize in points) the
// least that keeps them all on the page, where the line did not already
// reach past it. False, correction unchanged, when they cannot all fit.
bool keepOnPage(LineCorrection& correction, const LineGlyphs& line, const QTransform& toPage, const QSizeF& pageSize,
                const RunWidth& runWidth);

}  // namespace pdfengine
