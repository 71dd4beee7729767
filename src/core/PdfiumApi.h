#pragma once
// Our own declarations of the pdfium C API we call.
// Written for pdfium 159.0.8149, as shipped in the pypdfium2 5.15.2 wheel.
//
// The library is not linked: it exports its own FreeType and C++ allocator,
// which would capture Qt's calls in the same process. PdfiumLibrary.cpp loads it
// with dlopen(RTLD_LOCAL | RTLD_DEEPBIND) and resolves every function below into
// one table of pointers; a missing name fails the load.
//
// Include this header only from engine .cpp files.

#include <cstddef>
#include <cstdint>

class QMutex;
class QString;

extern "C" {

typedef struct fpdf_action_t__* FPDF_ACTION;
typedef struct fpdf_bitmap_t__* FPDF_BITMAP;
typedef struct fpdf_bookmark_t__* FPDF_BOOKMARK;
typedef struct fpdf_dest_t__* FPDF_DEST;
typedef struct fpdf_document_t__* FPDF_DOCUMENT;
typedef struct fpdf_font_t__* FPDF_FONT;
typedef struct fpdf_link_t__* FPDF_LINK;
typedef struct fpdf_page_t__* FPDF_PAGE;
typedef struct fpdf_pagelink_t__* FPDF_PAGELINK;
typedef struct fpdf_pageobject_t__* FPDF_PAGEOBJECT;
typedef struct fpdf_pageobjectmark_t__* FPDF_PAGEOBJECTMARK;
typedef struct fpdf_schhandle_t__* FPDF_SCHHANDLE;
typedef struct fpdf_textpage_t__* FPDF_TEXTPAGE;

typedef int FPDF_BOOL;
typedef unsigned long FPDF_DWORD;
typedef const char* FPDF_BYTESTRING;
typedef unsigned short FPDF_WCHAR;
typedef const FPDF_WCHAR* FPDF_WIDESTRING;

typedef struct FS_RECTF_ {
    float left;
    float top;
    float right;
    float bottom;
} FS_RECTF;

typedef struct FS_SIZEF_ {
    float width;
    float height;
} FS_SIZEF;

typedef struct FS_MATRIX_ {
    float a, b, c, d, e, f;
} FS_MATRIX;

typedef struct FPDF_LIBRARY_CONFIG_ {
    int version;
    const char** m_pUserFontPaths;
    void* m_pIsolate;
    unsigned int m_v8EmbedderSlot;
    void* m_pPlatform;       // version 3
    int m_RendererType;      // version 4
    int m_FontLibraryType;   // version 5
    FPDF_BOOL m_BrotliEnabled;
    FPDF_BOOL m_IsolatePerDocument;
} FPDF_LIBRARY_CONFIG;

typedef struct FPDF_FILEWRITE_ {
    int version;
    int (*WriteBlock)(struct FPDF_FILEWRITE_* pThis, const void* pData, unsigned long size);
} FPDF_FILEWRITE;

typedef struct FPDF_FILEACCESS_ {
    unsigned long m_FileLen;
    int (*m_GetBlock)(void* param, unsigned long position, unsigned char* pBuf, unsigned long size);
    void* m_Param;
} FPDF_FILEACCESS;

typedef struct FS_QUADPOINTSF_ {
    float x1, y1, x2, y2, x3, y3, x4, y4;
} FS_QUADPOINTSF;

typedef struct FPDF_IMAGEOBJ_METADATA_ {
    unsigned int width;
    unsigned int height;
    float horizontal_dpi;
    float vertical_dpi;
    unsigned int bits_per_pixel;
    int colorspace;
    int marked_content_id;
} FPDF_IMAGEOBJ_METADATA;

} // extern "C"

// Constants of the C API that the engine uses.
namespace pdfium {
constexpr int kErrSuccess = 0;
constexpr int kBitmapGray = 1;
constexpr int kBitmapBGR = 2;
constexpr int kBitmapBGRx = 3;
constexpr int kBitmapBGRA = 4;
constexpr int kBitmapBGRAPremul = 5;
constexpr int kRenderAnnot = 0x01;
constexpr int kRenderLcdText = 0x02;
constexpr int kPageObjUnknown = 0;
constexpr int kPageObjText = 1;
constexpr int kPageObjPath = 2;
constexpr int kPageObjImage = 3;
constexpr int kPageObjShading = 4;
constexpr int kPageObjForm = 5;
constexpr unsigned long kActionGoTo = 1;
constexpr unsigned long kActionRemoteGoTo = 2;
constexpr unsigned long kActionUri = 3;
constexpr unsigned long kActionLaunch = 4;
constexpr unsigned long kActionEmbeddedGoTo = 5;
constexpr unsigned long kDestViewXyz = 1;
constexpr unsigned long kDestViewFitH = 3;
constexpr unsigned long kDestViewFitV = 4;
constexpr unsigned long kDestViewFitR = 5;
constexpr unsigned long kDestViewFitBH = 7;
constexpr unsigned long kDestViewFitBV = 8;
constexpr unsigned long kMatchCase = 0x00000001;
constexpr unsigned long kMatchWholeWord = 0x00000002;
constexpr unsigned long kSaveIncremental = 1;
constexpr unsigned long kSaveNoIncremental = 2;
constexpr int kFontTrueType = 2;
constexpr int kFillModeWinding = 2;
constexpr int kTextRenderInvisible = 3;
constexpr int kColorSpaceDeviceGray = 1;
constexpr int kColorSpaceCalGray = 4;
constexpr int kColorSpaceIccBased = 7;
} // namespace pdfium

// X(name, result, (arguments)) for every function we resolve.
#define VORN_PDFIUM_FUNCTIONS(X)                                                              \
    X(FPDF_InitLibraryWithConfig, void, (const FPDF_LIBRARY_CONFIG*))                         \
    X(FPDF_GetLastError, unsigned long, ())                                                   \
    X(FPDF_LoadMemDocument64, FPDF_DOCUMENT, (const void*, size_t, FPDF_BYTESTRING))          \
    X(FPDF_CreateNewDocument, FPDF_DOCUMENT, ())                                              \
    X(FPDF_CloseDocument, void, (FPDF_DOCUMENT))                                              \
    X(FPDF_SaveAsCopy, FPDF_BOOL, (FPDF_DOCUMENT, FPDF_FILEWRITE*, FPDF_DWORD))               \
    X(FPDF_GetPageCount, int, (FPDF_DOCUMENT))                                                \
    X(FPDF_GetFileVersion, FPDF_BOOL, (FPDF_DOCUMENT, int*))                                  \
    X(FPDF_GetPageSizeByIndexF, FPDF_BOOL, (FPDF_DOCUMENT, int, FS_SIZEF*))                   \
    X(FPDF_GetMetaText, unsigned long, (FPDF_DOCUMENT, FPDF_BYTESTRING, void*, unsigned long))\
    X(FPDF_LoadPage, FPDF_PAGE, (FPDF_DOCUMENT, int))                                         \
    X(FPDF_ClosePage, void, (FPDF_PAGE))                                                      \
    X(FPDF_GetPageWidthF, float, (FPDF_PAGE))                                                 \
    X(FPDF_GetPageHeightF, float, (FPDF_PAGE))                                                \
    X(FPDF_GetPageBoundingBox, FPDF_BOOL, (FPDF_PAGE, FS_RECTF*))                             \
    X(FPDF_RenderPageBitmap, void, (FPDF_BITMAP, FPDF_PAGE, int, int, int, int, int, int))    \
    X(FPDF_RenderPageBitmapWithMatrix, void,                                                  \
      (FPDF_BITMAP, FPDF_PAGE, const FS_MATRIX*, const FS_RECTF*, int))                       \
    X(FPDF_ImportPages, FPDF_BOOL, (FPDF_DOCUMENT, FPDF_DOCUMENT, FPDF_BYTESTRING, int))      \
    X(FPDF_ImportPagesByIndex, FPDF_BOOL,                                                     \
      (FPDF_DOCUMENT, FPDF_DOCUMENT, const int*, unsigned long, int))                         \
    X(FPDF_MovePages, FPDF_BOOL, (FPDF_DOCUMENT, const int*, unsigned long, int))             \
    X(FPDFBitmap_CreateEx, FPDF_BITMAP, (int, int, int, void*, int))                          \
    X(FPDFBitmap_Destroy, void, (FPDF_BITMAP))                                                \
    X(FPDFBitmap_FillRect, FPDF_BOOL, (FPDF_BITMAP, int, int, int, int, FPDF_DWORD))          \
    X(FPDFBitmap_GetBuffer, void*, (FPDF_BITMAP))                                             \
    X(FPDFBitmap_GetWidth, int, (FPDF_BITMAP))                                                \
    X(FPDFBitmap_GetHeight, int, (FPDF_BITMAP))                                               \
    X(FPDFBitmap_GetStride, int, (FPDF_BITMAP))                                               \
    X(FPDFBitmap_GetFormat, int, (FPDF_BITMAP))                                               \
    X(FPDFPage_New, FPDF_PAGE, (FPDF_DOCUMENT, int, double, double))                          \
    X(FPDFPage_Delete, void, (FPDF_DOCUMENT, int))                                            \
    X(FPDFPage_GetRotation, int, (FPDF_PAGE))                                                 \
    X(FPDFPage_SetRotation, void, (FPDF_PAGE, int))                                           \
    X(FPDFPage_GenerateContent, FPDF_BOOL, (FPDF_PAGE))                                       \
    X(FPDFPage_CountObjects, int, (FPDF_PAGE))                                                \
    X(FPDFPage_GetObject, FPDF_PAGEOBJECT, (FPDF_PAGE, int))                                  \
    X(FPDFPage_InsertObject, FPDF_BOOL, (FPDF_PAGE, FPDF_PAGEOBJECT))                         \
    X(FPDFPage_InsertObjectAtIndex, FPDF_BOOL, (FPDF_PAGE, FPDF_PAGEOBJECT, size_t))          \
    X(FPDFPage_RemoveObject, FPDF_BOOL, (FPDF_PAGE, FPDF_PAGEOBJECT))                         \
    X(FPDFPageObj_Destroy, void, (FPDF_PAGEOBJECT))                                           \
    X(FPDFPageObj_GetType, int, (FPDF_PAGEOBJECT))                                            \
    X(FPDFPageObj_GetBounds, FPDF_BOOL, (FPDF_PAGEOBJECT, float*, float*, float*, float*))    \
    X(FPDFPageObj_GetRotatedBounds, FPDF_BOOL, (FPDF_PAGEOBJECT, FS_QUADPOINTSF*))            \
    X(FPDFFormObj_CountObjects, int, (FPDF_PAGEOBJECT))                                       \
    X(FPDFFormObj_GetObject, FPDF_PAGEOBJECT, (FPDF_PAGEOBJECT, unsigned long))               \
    X(FPDFPageObj_GetMatrix, FPDF_BOOL, (FPDF_PAGEOBJECT, FS_MATRIX*))                        \
    X(FPDFPageObj_Transform, void,                                                            \
      (FPDF_PAGEOBJECT, double, double, double, double, double, double))                      \
    X(FPDFPageObj_GetFillColor, FPDF_BOOL,                                                    \
      (FPDF_PAGEOBJECT, unsigned int*, unsigned int*, unsigned int*, unsigned int*))          \
    X(FPDFPageObj_SetFillColor, FPDF_BOOL,                                                    \
      (FPDF_PAGEOBJECT, unsigned int, unsigned int, unsigned int, unsigned int))              \
    X(FPDFPageObj_HasTransparency, FPDF_BOOL, (FPDF_PAGEOBJECT))                              \
    X(FPDFPageObj_SetIsActive, FPDF_BOOL, (FPDF_PAGEOBJECT, FPDF_BOOL))                        \
    X(FPDFPageObj_SetBlendMode, void, (FPDF_PAGEOBJECT, FPDF_BYTESTRING))                      \
    X(FPDFPageObj_CreateNewRect, FPDF_PAGEOBJECT, (float, float, float, float))               \
    X(FPDFPath_SetDrawMode, FPDF_BOOL, (FPDF_PAGEOBJECT, int, FPDF_BOOL))                     \
    X(FPDFPath_GetDrawMode, FPDF_BOOL, (FPDF_PAGEOBJECT, int*, FPDF_BOOL*))                   \
    X(FPDFPageObj_NewImageObj, FPDF_PAGEOBJECT, (FPDF_DOCUMENT))                              \
    X(FPDFImageObj_SetMatrix, FPDF_BOOL,                                                      \
      (FPDF_PAGEOBJECT, double, double, double, double, double, double))                      \
    X(FPDFImageObj_SetBitmap, FPDF_BOOL, (FPDF_PAGE*, int, FPDF_PAGEOBJECT, FPDF_BITMAP))     \
    X(FPDFImageObj_LoadJpegFileInline, FPDF_BOOL,                                             \
      (FPDF_PAGE*, int, FPDF_PAGEOBJECT, FPDF_FILEACCESS*))                                   \
    X(FPDFImageObj_GetBitmap, FPDF_BITMAP, (FPDF_PAGEOBJECT))                                 \
    X(FPDFImageObj_GetRenderedBitmap, FPDF_BITMAP, (FPDF_DOCUMENT, FPDF_PAGE, FPDF_PAGEOBJECT))\
    X(FPDFImageObj_GetImagePixelSize, FPDF_BOOL, (FPDF_PAGEOBJECT, unsigned int*, unsigned int*))\
    X(FPDFImageObj_GetImageMetadata, FPDF_BOOL,                                               \
      (FPDF_PAGEOBJECT, FPDF_PAGE, FPDF_IMAGEOBJ_METADATA*))                                  \
    X(FPDFImageObj_GetImageDataRaw, unsigned long, (FPDF_PAGEOBJECT, void*, unsigned long))   \
    X(FPDFImageObj_GetImageFilterCount, int, (FPDF_PAGEOBJECT))                               \
    X(FPDFImageObj_GetImageFilter, unsigned long, (FPDF_PAGEOBJECT, int, void*, unsigned long))\
    X(FPDFText_LoadFont, FPDF_FONT, (FPDF_DOCUMENT, const uint8_t*, uint32_t, int, FPDF_BOOL))\
    X(FPDFText_LoadStandardFont, FPDF_FONT, (FPDF_DOCUMENT, FPDF_BYTESTRING))                 \
    X(FPDFFont_Close, void, (FPDF_FONT))                                                      \
    X(FPDFFont_GetBaseFontName, size_t, (FPDF_FONT, char*, size_t))                           \
    X(FPDFFont_GetFamilyName, size_t, (FPDF_FONT, char*, size_t))                             \
    X(FPDFFont_GetFlags, int, (FPDF_FONT))                                                    \
    X(FPDFFont_GetWeight, int, (FPDF_FONT))                                                   \
    X(FPDFFont_GetItalicAngle, FPDF_BOOL, (FPDF_FONT, int*))                                  \
    X(FPDFFont_GetGlyphWidth, FPDF_BOOL, (FPDF_FONT, uint32_t, float, float*))                \
    X(FPDFFont_GetFontData, FPDF_BOOL, (FPDF_FONT, uint8_t*, size_t, size_t*))                \
    X(FPDFPageObj_CreateTextObj, FPDF_PAGEOBJECT, (FPDF_DOCUMENT, FPDF_FONT, float))          \
    X(FPDFText_SetText, FPDF_BOOL, (FPDF_PAGEOBJECT, FPDF_WIDESTRING))                        \
    X(FPDFTextObj_SetTextRenderMode, FPDF_BOOL, (FPDF_PAGEOBJECT, int))                       \
    X(FPDFTextObj_GetTextRenderMode, int, (FPDF_PAGEOBJECT))                                  \
    X(FPDFTextObj_GetFontSize, FPDF_BOOL, (FPDF_PAGEOBJECT, float*))                          \
    X(FPDFTextObj_GetFont, FPDF_FONT, (FPDF_PAGEOBJECT))                                      \
    X(FPDFTextObj_GetText, unsigned long,                                                     \
      (FPDF_PAGEOBJECT, FPDF_TEXTPAGE, FPDF_WCHAR*, unsigned long))                           \
    X(FPDFText_LoadPage, FPDF_TEXTPAGE, (FPDF_PAGE))                                          \
    X(FPDFText_ClosePage, void, (FPDF_TEXTPAGE))                                              \
    X(FPDFText_CountChars, int, (FPDF_TEXTPAGE))                                              \
    X(FPDFText_GetUnicode, unsigned int, (FPDF_TEXTPAGE, int))                                \
    X(FPDFText_IsGenerated, int, (FPDF_TEXTPAGE, int))                                        \
    X(FPDFText_HasUnicodeMapError, int, (FPDF_TEXTPAGE, int))                                 \
    X(FPDFText_GetFontSize, double, (FPDF_TEXTPAGE, int))                                     \
    X(FPDFText_GetFontInfo, unsigned long, (FPDF_TEXTPAGE, int, void*, unsigned long, int*))  \
    X(FPDFText_GetFontWeight, int, (FPDF_TEXTPAGE, int))                                      \
    X(FPDFText_GetFillColor, FPDF_BOOL,                                                       \
      (FPDF_TEXTPAGE, int, unsigned int*, unsigned int*, unsigned int*, unsigned int*))       \
    X(FPDFText_GetCharAngle, float, (FPDF_TEXTPAGE, int))                                     \
    X(FPDFText_GetCharBox, FPDF_BOOL, (FPDF_TEXTPAGE, int, double*, double*, double*, double*))\
    X(FPDFText_GetLooseCharBox, FPDF_BOOL, (FPDF_TEXTPAGE, int, FS_RECTF*))                   \
    X(FPDFText_GetCharOrigin, FPDF_BOOL, (FPDF_TEXTPAGE, int, double*, double*))              \
    X(FPDFText_GetMatrix, FPDF_BOOL, (FPDF_TEXTPAGE, int, FS_MATRIX*))                        \
    X(FPDFText_GetTextObject, FPDF_PAGEOBJECT, (FPDF_TEXTPAGE, int))                          \
    X(FPDFText_CountRects, int, (FPDF_TEXTPAGE, int, int))                                    \
    X(FPDFText_GetRect, FPDF_BOOL, (FPDF_TEXTPAGE, int, double*, double*, double*, double*))  \
    X(FPDFText_FindStart, FPDF_SCHHANDLE, (FPDF_TEXTPAGE, FPDF_WIDESTRING, unsigned long, int))\
    X(FPDFText_FindNext, FPDF_BOOL, (FPDF_SCHHANDLE))                                         \
    X(FPDFText_GetSchResultIndex, int, (FPDF_SCHHANDLE))                                      \
    X(FPDFText_GetSchCount, int, (FPDF_SCHHANDLE))                                            \
    X(FPDFText_FindClose, void, (FPDF_SCHHANDLE))                                             \
    X(FPDFLink_LoadWebLinks, FPDF_PAGELINK, (FPDF_TEXTPAGE))                                  \
    X(FPDFLink_CountWebLinks, int, (FPDF_PAGELINK))                                           \
    X(FPDFLink_GetURL, int, (FPDF_PAGELINK, int, unsigned short*, int))                       \
    X(FPDFLink_CountRects, int, (FPDF_PAGELINK, int))                                         \
    X(FPDFLink_GetRect, FPDF_BOOL, (FPDF_PAGELINK, int, int, double*, double*, double*, double*))\
    X(FPDFLink_CloseWebLinks, void, (FPDF_PAGELINK))                                          \
    X(FPDFLink_GetLinkAtPoint, FPDF_LINK, (FPDF_PAGE, double, double))                        \
    X(FPDFLink_GetDest, FPDF_DEST, (FPDF_DOCUMENT, FPDF_LINK))                                \
    X(FPDFLink_GetAction, FPDF_ACTION, (FPDF_LINK))                                           \
    X(FPDFAction_GetType, unsigned long, (FPDF_ACTION))                                       \
    X(FPDFAction_GetDest, FPDF_DEST, (FPDF_DOCUMENT, FPDF_ACTION))                            \
    X(FPDFAction_GetFilePath, unsigned long, (FPDF_ACTION, void*, unsigned long))             \
    X(FPDFAction_GetURIPath, unsigned long, (FPDF_DOCUMENT, FPDF_ACTION, void*, unsigned long))\
    X(FPDFDest_GetDestPageIndex, int, (FPDF_DOCUMENT, FPDF_DEST))                             \
    X(FPDFDest_GetView, unsigned long, (FPDF_DEST, unsigned long*, float*))                   \
    X(FPDFDest_GetLocationInPage, FPDF_BOOL,                                                  \
      (FPDF_DEST, FPDF_BOOL*, FPDF_BOOL*, FPDF_BOOL*, float*, float*, float*))                \
    X(FPDFBookmark_GetFirstChild, FPDF_BOOKMARK, (FPDF_DOCUMENT, FPDF_BOOKMARK))              \
    X(FPDFBookmark_GetNextSibling, FPDF_BOOKMARK, (FPDF_DOCUMENT, FPDF_BOOKMARK))             \
    X(FPDFBookmark_GetTitle, unsigned long, (FPDF_BOOKMARK, void*, unsigned long))            \
    X(FPDFBookmark_GetAction, FPDF_ACTION, (FPDF_BOOKMARK))                                   \
    X(FPDFBookmark_GetDest, FPDF_DEST, (FPDF_DOCUMENT, FPDF_BOOKMARK))                        \
    X(FPDFPageObj_SetMatrix, FPDF_BOOL, (FPDF_PAGEOBJECT, const FS_MATRIX*))                  \
    X(FPDFPageObj_GetStrokeColor, FPDF_BOOL,                                                  \
      (FPDF_PAGEOBJECT, unsigned int*, unsigned int*, unsigned int*, unsigned int*))          \
    X(FPDFPageObj_AddMark, FPDF_PAGEOBJECTMARK, (FPDF_PAGEOBJECT, FPDF_BYTESTRING))           \
    X(FPDFPageObj_CountMarks, int, (FPDF_PAGEOBJECT))                                         \
    X(FPDFPageObj_GetMark, FPDF_PAGEOBJECTMARK, (FPDF_PAGEOBJECT, unsigned long))             \
    X(FPDFPageObjMark_GetName, FPDF_BOOL,                                                     \
      (FPDF_PAGEOBJECTMARK, void*, unsigned long, unsigned long*))

// The resolved entry points. Every call must be made while holding pdfiumMutex().
struct PdfiumApi {
#define VORN_PDFIUM_MEMBER(name, result, args) result(*name) args = nullptr;
    VORN_PDFIUM_FUNCTIONS(VORN_PDFIUM_MEMBER)
#undef VORN_PDFIUM_MEMBER
};

// Loads the library and starts it once per process. False (with a reason) when
// the library or one of its functions cannot be found.
bool ensurePdfium(QString* error = nullptr);

// The started library; only valid after ensurePdfium() returned true.
const PdfiumApi& pdfApi();

// The process-wide lock around every pdfium call: pdfium is not thread-safe,
// not even across documents.
QMutex& pdfiumMutex();

// Names of the functions in the table, and whether each was resolved, for tests.
struct PdfiumSymbolState {
    const char* name;
    bool resolved;
};
int pdfiumSymbolCount();
PdfiumSymbolState pdfiumSymbol(int index);
