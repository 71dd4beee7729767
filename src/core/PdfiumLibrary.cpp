#include "PdfiumApi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <dlfcn.h>

#include <mutex>

namespace {

struct SymbolEntry {
    const char* name;
    void** slot;
};

PdfiumApi g_api;
bool g_ready = false;
QString g_loadError;
std::once_flag g_once;

QStringList candidateLibraryPaths()
{
    QStringList paths;
#ifdef VORN_PDFIUM_LIBRARY
    paths << QStringLiteral(VORN_PDFIUM_LIBRARY);
#endif
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        paths << appDir + QStringLiteral("/libpdfium.so") << appDir + QStringLiteral("/_pdfium/libpdfium.so")
              << appDir + QStringLiteral("/../lib/vorn-pdf/libpdfium.so");
    }
    return paths;
}

std::vector<SymbolEntry> symbolTable()
{
    std::vector<SymbolEntry> table;
#define VORN_PDFIUM_ENTRY(name, result, args) table.push_back({#name, reinterpret_cast<void**>(&g_api.name)});
    VORN_PDFIUM_FUNCTIONS(VORN_PDFIUM_ENTRY)
#undef VORN_PDFIUM_ENTRY
    return table;
}

// The sanitizers' runtimes refuse RTLD_DEEPBIND; their builds bind normally.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kDeepBind = 0;
#else
constexpr int kDeepBind = RTLD_DEEPBIND;
#endif

void* openLibrary()
{
    // RTLD_DEEPBIND keeps pdfium's own FreeType and allocator bound inside the
    // library; RTLD_LOCAL keeps them away from Qt's lookups.
    QStringList tried;
    for (const QString& path : candidateLibraryPaths()) {
        if (!QFileInfo::exists(path))
            continue;
        void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | kDeepBind);
        if (handle)
            return handle;
        tried << QString::fromLocal8Bit(dlerror());
    }
    g_loadError = tried.isEmpty() ? QStringLiteral("PDFium library not found")
                                  : QStringLiteral("PDFium library cannot be loaded: ") + tried.join(QStringLiteral("; "));
    return nullptr;
}

void loadAndStart()
{
    void* handle = openLibrary();
    if (!handle)
        return;
    QStringList missing;
    for (const SymbolEntry& entry : symbolTable()) {
        *entry.slot = dlsym(handle, entry.name);
        if (!*entry.slot)
            missing << QString::fromLatin1(entry.name);
    }
    if (!missing.isEmpty()) {
        g_loadError = QStringLiteral("PDFium library lacks: ") + missing.join(QStringLiteral(", "));
        return;
    }
    FPDF_LIBRARY_CONFIG config{};
    config.version = 3;
    QMutexLocker lock(&pdfiumMutex());
    g_api.FPDF_InitLibraryWithConfig(&config);
    g_ready = true;
    // The library stays loaded and started for the life of the process.
}

} // namespace

bool ensurePdfium(QString* error)
{
    std::call_once(g_once, loadAndStart);
    if (!g_ready && error)
        *error = g_loadError;
    return g_ready;
}

const PdfiumApi& pdfApi()
{
    return g_api;
}

QMutex& pdfiumMutex()
{
    static QMutex mutex;
    return mutex;
}

int pdfiumSymbolCount()
{
    return int(symbolTable().size());
}

PdfiumSymbolState pdfiumSymbol(int index)
{
    const std::vector<SymbolEntry> table = symbolTable();
    if (index < 0 || index >= int(table.size()))
        return {nullptr, false};
    return {table[size_t(index)].name, *table[size_t(index)].slot != nullptr};
}
