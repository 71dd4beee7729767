#pragma once
// Which installed font files text written into a page takes, by the family
// and style asked for. No pdfium: the page view shows edited text in the same
// faces.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pdfengine {

// Font files tried for text, in order, for the style asked for.
QStringList fontFileCandidates(bool bold, bool italic);
// The files tried for text in family: an installed face with the metrics of
// a standard family (Helvetica, Times, Courier and their look-alikes) first,
// then fontFileCandidates, their sans faces first for a family named sans.
QStringList writerFontFiles(const QString& family, bool bold, bool italic);
// The installed face with the metrics of a standard family (Helvetica, Times,
// Courier and their look-alikes) in the style asked for; empty for other families.
QString metricTwinFile(const QString& family, bool bold, bool italic);
// The family names a fixed-pitch face (Courier, Liberation Mono, DejaVu Sans Mono...).
bool looksMonospaced(const QString& family);
// The family a line set in a fixed-pitch face is written in: its own when
// that names one, else Liberation Mono.
QString monospacedFamily(const QString& family);
// Standard-14 font used when no font file can be loaded.
QByteArray standardFontFor(const QString& family, bool bold, bool italic);
// Tests point the font lookup at another root (empty: the real file system).
void setFontRootForTesting(const QString& root);

} // namespace pdfengine
