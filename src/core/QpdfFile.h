#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QPDF;
class QPDFObjectHandle;
class QPDFWriter;

namespace pdfengine {

// The most page tree nodes a page may stand below, the top node counted:
// pdfium reads no page deeper, and qpdf's own walks of the tree recurse.
constexpr int kMaxPageTreeLevels = 1024;

// What a walk of the page tree does with a kid it is told of.
enum class PageTreeStep { Next, Descend, Erase };

// Walks the page tree under top in order, without recursion: visit is told
// of each kid of a node at level (the top is 1) and says whether to go on
// past it, down into its kids, or take it out of its /Kids array. Callers
// catch qpdf's exceptions.
void walkPageTree(QPDFObjectHandle top, const std::function<PageTreeStep(QPDFObjectHandle kid, int level)>& visit);

// One PDF parsed by qpdf from bytes it keeps alive for as long as the parse.
// qpdf's warnings are collected, never printed, and its exceptions stay inside
// these functions: every failure comes back as false with a reason.
class QpdfFile {
public:
    QpdfFile();
    ~QpdfFile();
    QpdfFile(const QpdfFile&) = delete;
    QpdfFile& operator=(const QpdfFile&) = delete;

    bool load(const QByteArray& bytes, QString* error, const QString& description = QStringLiteral("document"));
    bool isLoaded() const { return m_pdf != nullptr; }
    QPDF& pdf() { return *m_pdf; }
    const QByteArray& bytes() const { return m_bytes; }

    // Runs work on the parsed file; an exception thrown by qpdf becomes false with its text.
    bool run(const std::function<void(QPDF&)>& work, QString* error);

    // Writes the file to bytes; configure sets the writer's options before the
    // write (a file with sealed attachments is written by hand instead, every
    // object under its own number). check, when given, is told the bytes
    // written so far and may stop the write (false).
    bool write(QByteArray* out, const std::function<void(QPDFWriter&)>& configure, QString* error,
               const std::function<bool(qint64)>& check = {});

    // How many warnings qpdf gave since the load (a damaged file gives some
    // while it is read), leaving out those of the page tree's loop check;
    // each kid it cut counts as one.
    int warningCount() const;

    // The warnings that say the file is really damaged, each kid cut from
    // the page tree counting as one: a /Size smaller than the objects
    // written (poppler's pdfunite does it) loses nothing and is not counted.
    int damageWarningCount() const;

    // The file's attached files are encrypted by crypt filters that leave
    // its pages and strings clear: it was read with its encryption passed
    // over, and is written with it put back and their bytes kept.
    bool attachmentsSealed() const { return m_attachmentsSealed; }

    // Kids of the page tree taken out on loading because they led back to a
    // node already walked (a loop, or a subtree listed twice) or nested
    // deeper than kMaxPageTreeLevels: qpdf's own walks would recurse without end.
    int pageTreeCuts() const { return m_treeCuts; }
    // Of those, the kids cut for their depth.
    int pageTreeDepthCuts() const { return m_deepCuts; }

private:
    bool loadSealedAttachments(const QByteArray& name);
    void checkPageTree();
    bool writeWith(QByteArray* out, const std::function<void(QPDFWriter&)>& configure, QString* error,
                   const std::function<bool(qint64)>& check);

    QByteArray m_bytes;
    std::unique_ptr<QPDF> m_pdf;
    bool m_attachmentsSealed = false;
    int m_sealedNumber = 0, m_sealedGeneration = 0;  // the encryption dictionary's, kept whatever becomes of the trailer
    int m_treeCuts = 0;
    int m_deepCuts = 0;
    int m_strayCuts = 0;  // kids taken out that are no pages (a font): each counts as a warning
    int m_treeWarnings = 0;  // warnings the loop check gave, reading the tree's objects
};

// A stream's decoded data, at most limit bytes: decoding stops there, so a
// small stream that inflates without bound costs no more than limit. False
// when the stream holds more (out then has its first limit bytes) or cannot
// be decoded. qpdf's exceptions stay inside.
// The encryption dictionary of a file read with its attached files sealed
// (see attachmentsSealed), which an update appended to it must name again;
// null for any other file.
QPDFObjectHandle sealedEncryption(QPDF& pdf);

bool readDecodedStream(QPDFObjectHandle stream, size_t limit, std::string* out);

// Leaves the trailer as qpdf's writer makes it for a sound file: /Root,
// /Info, /ID and /Encrypt stay, every other key goes (a misspelt /Size, the
// keys of an old cross-reference), and /Size is there for the writer to
// fill in: without it the writer writes none and other readers give up.
// qpdf's exceptions stay inside; false when the trailer could not be set.
bool cleanTrailer(QPDF& pdf);

}  // namespace pdfengine
