#pragma once

#include <QString>

// Proposed names of derived documents. They compute strings only; only
// uniqueSiblingPathLikeChrome looks at the file system.

// The word for kind ("compressed", "merged"; any other kind is "scanned") in
// the interface language, safe for a file name, never empty.
QString localizedExportSuffix(const QString& kind);

// path's folder (or the home folder), its base name with "_<word>" appended
// unless it already ends so (any letter case), and ".pdf".
QString withLocalizedPdfSuffix(const QString& path, const QString& kind);

// The output for kind beside source; fallbackBase when source has no name.
QString suggestedSiblingPdfPath(const QString& source, const QString& kind, const QString& fallbackBase);

// path itself when no such file exists, else the first free
// "<base> (<n>).<suffix>" in its folder.
QString uniqueSiblingPathLikeChrome(const QString& path);

// path with "." and suffix added unless its extension is suffix already, in
// any letter case ("scan.jpeg" with "jpg" is "scan.jpeg.jpg").
QString withExtension(const QString& path, const QString& suffix);

// The stamped copy that a visible signature signs: beside the signature
// output, the source's base name with "_подписан" (Russian interface) or
// "_signed" unless it already ends so, and ".pdf". Not made unique.
QString stampedPdfPathForSignature(const QString& sourcePath, const QString& outputPath);
