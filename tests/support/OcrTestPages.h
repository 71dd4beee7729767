#pragma once
// Pages rendered with QPainter for recognition tests and the benchmark, with
// the text they carry, and the accuracy measures used on them.

#include "TextBlock.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

struct TestPage {
    QString name;
    QImage image;
    double scale = 1.0; // pixels per point
    double pageWidth = 595.0;
    double pageHeight = 842.0;
    QStringList lines;         // the text, line by line in reading order
    QStringList lastLines;     // lines near the foot of the page
    QRectF pictureRect;        // points, null when the page has no picture
    QRectF stampRect;
    QRectF scribbleRect;
    double skewDegrees = 0.0; // clockwise turn of the scan
    QString bodyFamily;
    int bodySizePt = 0;
    QStringList bodyLines;     // lines set in bodySizePt
    QList<QStringList> cells;  // a table's rows, cell by cell
};

// What a scanner and its compression do to a page.
struct ScanDefects {
    double skewDegrees = 0.0; // clockwise
    int noise = 0;            // amplitude of grey noise, 0..255; also scatters specks
    bool blur = false;
    int jpegQuality = -1;     // -1: no JPEG round trip
};

namespace testpages {

TestPage mixedLanguagePage(double dpi);
TestPage englishPage(double dpi);
TestPage tablePage(double dpi);
TestPage picturePage(double dpi);
std::vector<TestPage> allPages(double dpi);

// The page as scanned with the given defects (deterministic).
TestPage scanned(TestPage page, const ScanDefects &defects);
// The degraded pages the recognition checks run on, named after their kind.
std::vector<TestPage> scanPages();

QStringList words(const QStringList &lines);
QStringList words(const std::vector<TextBlock> &blocks);
QString blocksText(const std::vector<TextBlock> &blocks);

// Share of the reference words found among the recognised ones (each used once).
double wordRecall(const QStringList &reference, const QStringList &recognised);
// Edit distance of the word sequences joined by single spaces, per reference character.
double characterErrorRate(const QStringList &reference, const QStringList &recognised);

} // namespace testpages
