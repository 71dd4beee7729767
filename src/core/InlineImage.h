#pragma once
// Where an inline image (BI ... ID data EI) of page content ends, found as
// PDF readers find it. An unfiltered picture holds exactly the bytes its
// width, height, colour space and bits per component make, whatever they
// look like (an "EI", a bracket, a percent sign); the readers then look for
// the operator EI. A filtered one, whose length only its decoder knows, ends
// at the first EI that content follows, as qpdf finds it.

#include <QtGlobal>

#include <string>

class QPDFObjectHandle;

namespace pdfengine {

class InlineImage {
public:
    // content: decoded content; dictionary: its text between BI and ID;
    // idEnd: the offset just past ID; resources: where the colour spaces it
    // names are. One past the image's EI, or -1 when it has none. qpdf's
    // exceptions stay inside.
    static qint64 end(const std::string& content, const std::string& dictionary, size_t idEnd,
                      QPDFObjectHandle resources);
};

}  // namespace pdfengine
