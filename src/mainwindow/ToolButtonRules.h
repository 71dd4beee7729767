#pragma once

#include <QString>

// What a ribbon tool button made with wiring does, chosen from its icon name
// and text by the first matching rule (exact, case-sensitive comparisons).
enum class ToolCommand {
    None,
    Print,
    OpenDialog,
    SaveExportDialog,
    PasswordDialog,
    OcrDocument,
    PageTools,
    AnnotationProperties,
    DocumentProperties,
    Settings,
    LoadError,
    UnsavedChanges,
    About,
    Search,
    ZoomIn,
    ZoomOut,
    RotateLeft,
    RotateRight,
    FitWidth,
    FullScreen,
};

ToolCommand toolCommandFor(const QString& iconName, const QString& text);
