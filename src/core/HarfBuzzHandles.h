#pragma once
// Owners of HarfBuzz handles, for the engine files that read font programs.
// Internal: included by .cpp files only.

#include <hb.h>

#include <memory>

namespace pdfengine {

struct HbBlobDestroyer {
    void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
};
struct HbFaceDestroyer {
    void operator()(hb_face_t* face) const { hb_face_destroy(face); }
};
struct HbFontDestroyer {
    void operator()(hb_font_t* font) const { hb_font_destroy(font); }
};
struct HbSetDestroyer {
    void operator()(hb_set_t* set) const { hb_set_destroy(set); }
};
using HbBlobPtr = std::unique_ptr<hb_blob_t, HbBlobDestroyer>;
using HbFacePtr = std::unique_ptr<hb_face_t, HbFaceDestroyer>;
using HbFontPtr = std::unique_ptr<hb_font_t, HbFontDestroyer>;
using HbSetPtr = std::unique_ptr<hb_set_t, HbSetDestroyer>;

} // namespace pdfengine
