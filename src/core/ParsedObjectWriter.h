#pragma once
// Objects of a PDF parsed by qpdf written out by hand, under their own
// numbers and generations: the pieces of an appended update, and a whole
// file written anew for a PDF whose attached files are sealed by a key of
// their own (each stream's key depends on its number, and its bytes can
// only be kept, never decoded).

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QPDF;
class QPDFObjectHandle;

namespace pdfengine {

class ParsedObjectWriter {
public:
    // (number, generation) and the offset its object starts at.
    using Placed = std::vector<std::pair<std::pair<int, int>, qint64>>;

    // One object's value, and for a stream its dictionary, its stored bytes
    // and their /Length. pack: a stream without filters is packed (one
    // already packed keeps its bytes: nothing is inflated).
    static QByteArray body(QPDFObjectHandle object, bool pack);

    // A cross-reference table of the objects placed, one subsection each;
    // freeHead: object 0 first, as a whole file's table starts.
    static QByteArray table(const Placed& placed, bool freeHead);

    // The whole file anew: every object the trailer reaches (and encryption,
    // when not null, named as the trailer's /Encrypt) with its dictionary and
    // stored bytes under its own number and generation. Object streams are
    // opened into plain objects, and what nothing reaches is left out.
    // check is told the bytes written so far and may stop the write (false).
    // qpdf's exceptions stay inside: false with the reason.
    static bool wholeFile(QPDF& pdf, QPDFObjectHandle encryption, QByteArray* out, QString* error,
                          const std::function<bool(qint64)>& check = {});
};

}  // namespace pdfengine
