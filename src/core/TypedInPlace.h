#pragma once
// Pieces of content that put the program's typed words inside a text
// object of the page's own: the object is ended, the words drawn in the
// page's first state, and the object begun again where it stood.

#include "ContentStreamEditor.h"

#include <QPointF>
#include <QTransform>

#include <optional>
#include <string>
#include <vector>

namespace pdfengine {

// The place whose anchor is the glyph drawn at origin at size, or -1.
int typedPlaceAt(const std::vector<TypedPlace>& places, const QPointF& origin, double size);
// The place on whose line a run of the program's own starting at origin stands, or -1.
int typedPlaceAlong(const std::vector<TypedPlace>& places, const QPointF& origin);

// The program's content span drawn where the page's matrix is ctm, in the
// text state and graphics state its own stream gave it (state: its gs).
// None where ctm cannot be undone.
std::optional<std::string> typedSpanAt(const QTransform& ctm, const std::string& state, const std::string& span);

// Begins the text object again with its line matrix (set again by
// lineSteps, the operators that set lineMatrix since BT), and its text
// matrix where the glyphs shown so far took it (at, along the line from the
// line matrix), at size and horizontal scale; font, where given, sets the
// font the step is shown in. None where that is no step along the line.
std::optional<std::string> resumedTextObject(const std::string& lineSteps, const QTransform& lineMatrix,
                                             const QTransform& at, double size, double scale, const std::string& font);

}  // namespace pdfengine
