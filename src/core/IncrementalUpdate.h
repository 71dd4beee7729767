#pragma once
// Appends changed objects to a PDF's bytes as one update section, so every
// byte of the file before it stays as it was. The section's cross-reference
// takes the form of the file's last one (a table or a stream).

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QPDF;

namespace pdfengine {

class IncrementalUpdate {
public:
    // base: the bytes pdf was read from; objects: object and generation
    // numbers, written as pdf now holds them (streams compressed). An
    // encrypted file takes only objects that hold no string or stream. False
    // with the reason, *out untouched, on failure; qpdf's exceptions stay inside.
    static bool append(QPDF& pdf, const QByteArray& base, const std::vector<std::pair<int, int>>& objects,
                       QByteArray* out, QString* error);

    // original followed by only those objects of updated (original plus an
    // update that may rewrite objects unchanged, as pdfium's does) that
    // differ from the original or are new. *changed counts them. False for
    // an original qpdf reads only by repairing it. goOn, when given, is
    // asked before each object is compared and may stop the work (false).
    static bool trimmed(const QByteArray& original, const QByteArray& updated, QByteArray* out, int* changed,
                        QString* error, const std::function<bool()>& goOn = {});

    // Offset named by the file's last startxref, or -1.
    static qint64 lastCrossReference(const QByteArray& bytes);
};

}  // namespace pdfengine
