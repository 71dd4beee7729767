#pragma once

#include "PdfDocument.h"

#include <QList>
#include <QString>

// One forecast of the size fit.
struct CompressionFitEstimate {
    int index = -1;  // the candidate's index
    QString label;
    PdfDocument::CompressionOptions options;
    qint64 bytes = -1;
    bool sampled = false;
    bool keepsText = false;  // the copy keeps the document's text
};

struct CompressionFitChoice {
    int index = -1;  // into the estimates; -1 when none has a size
    bool fits = false;
};

// The search for compression settings that keep a PDF under a size limit.
// Candidates are tried in order of preference: the document as it is, then
// copies that keep the text (when there is text), then the rasterising
// presets. Renders are shared: each sampled page is rendered once per
// resolution and encoded from that render for every preset of it, and the
// search stops at the first candidate that fits. No candidate larger than
// the source is ever listed.
class CompressionFit {
public:
    struct Candidate {
        QString label;
        PdfDocument::CompressionOptions options;
    };

    struct Outcome {
        QList<CompressionFitEstimate> estimates;  // in order of preference
        CompressionFitChoice choice;
        // Every candidate was measured; otherwise the list ends at the choice
        // and any candidate left out is larger than the limit.
        bool complete = false;
        bool encrypted = false;
        QString error;  // when no estimate was made
    };

    // The fifteen rasterising presets; their index is their position.
    static const QList<Candidate>& rasterPresets();
    // Candidates before the presets, numbered after them.
    static constexpr int kKeptCopyIndex = 15;

    static Outcome run(const QString& path, qint64 targetBytes, int encoderThreads);

    // Whether the file at path is encrypted (false when it cannot be read).
    static bool isEncryptedFile(const QString& path);
};

// The rule of the fit: the first entry at most targetBytes; else the smallest
// entry that keeps the text; else the smallest. The earlier entry wins a tie;
// entries without a size never count. Entry has bytes and keepsText.
template <typename Entry>
CompressionFitChoice chooseCompressionFitEntry(const QList<Entry>& entries, qint64 targetBytes)
{
    int smallest = -1;
    int smallestKeepingText = -1;
    for (int i = 0; i < int(entries.size()); ++i) {
        const qint64 bytes = entries.at(i).bytes;
        if (bytes <= 0)
            continue;
        if (bytes <= targetBytes)
            return {i, true};
        if (smallest < 0 || bytes < entries.at(smallest).bytes)
            smallest = i;
        if (entries.at(i).keepsText && (smallestKeepingText < 0 || bytes < entries.at(smallestKeepingText).bytes))
            smallestKeepingText = i;
    }
    return {smallestKeepingText >= 0 ? smallestKeepingText : smallest, false};
}
