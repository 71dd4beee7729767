#include "PageGlyphRemoval.h"

#include "ContentCopy.h"
#include "ContentStreamEditor.h"
#include "IncrementalUpdate.h"
#include "PageRemovalTrial.h"
#include "PdfEngineInternal.h"
#include "QpdfFile.h"
#include "StandardEncodings.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QBuffer>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <set>

namespace pdfengine {

namespace {

// The first bytes of a content stream, decoded.
std::string streamHead(QPDFObjectHandle stream, size_t length)
{
    std::string head;
    readDecodedStream(stream, length, &head);  // a longer stream gives its first bytes
    return head;
}

// The program's stream: its own objects, or text it moved (drawn as written
// too). A page's stream holding words the program typed in its text opens
// with the page's text.
bool isOwnStream(QPDFObjectHandle stream)
{
    const std::string head = streamHead(stream, 256);
    const size_t own = std::min(head.find("/VornEdit BMC"), head.find('/' + std::string(kMovedContentTag) + " BMC"));
    return own != std::string::npos && head.rfind("BT", own) == std::string::npos;
}

// pdfium opens a stream it writes after content that leaves the drawing
// position moved (early pdfTeX's "1 0 0 1 72 769.89 cm") by undoing that move.
// Once the page's streams stand between q and Q the move is undone already:
// undone twice, the stream would draw far off the page. False when the
// stream opens otherwise.
bool dropUndoneMove(QPDFObjectHandle stream)
{
    static const QRegularExpression undo(QStringLiteral("^q\\n(?:[-+]?(?:\\d+\\.?\\d*|\\.\\d+) ){6}cm\\n"));
    std::string data;
    if (!readDecodedStream(stream, size_t(ContentStreamEditor::kMaxStreamBytes), &data))
        return false;
    constexpr size_t kHead = 256;
    const QRegularExpressionMatch move =
        undo.match(QString::fromLatin1(data.data(), qsizetype(std::min(data.size(), kHead))));
    if (!move.hasMatch())
        return false;
    stream.replaceStreamData("q\n" + data.substr(size_t(move.capturedLength())), QPDFObjectHandle::newNull(),
                             QPDFObjectHandle::newNull());
    return true;
}

// How many q the streams leave open; -1 when they cannot be read or close
// more than they open, which readers ignore and a wrap would not.
class OpenSaves : public QPDFObjectHandle::ParserCallbacks {
public:
    static int after(const std::vector<QPDFObjectHandle>& streams)
    {
        OpenSaves counter;
        try {
            for (const QPDFObjectHandle& stream : streams)
                QPDFObjectHandle::parseContentStream(stream, &counter);
        } catch (const std::exception&) {
            return -1;
        }
        return counter.m_overClosed ? -1 : counter.m_open;
    }
    void handleObject(QPDFObjectHandle object, size_t, size_t) override
    {
        if (!object.isOperator())
            return;
        const std::string op = object.getOperatorValue();
        if (op == "q")
            ++m_open;
        else if (op == "Q" && m_open == 0)
            m_overClosed = true;
        else if (op == "Q")
            --m_open;
    }
    void handleEOF() override {}

private:
    int m_open = 0;
    bool m_overClosed = false;
};

// Where a stream's spans of the program's moved content lie: from the tag
// before each BMC that opens one to the end of the EMC that closes it.
class MovedSpans : public QPDFObjectHandle::ParserCallbacks {
public:
    static std::vector<std::pair<size_t, size_t>> of(QPDFObjectHandle stream)
    {
        MovedSpans spans;
        QPDFObjectHandle::parseContentStream(stream, &spans);
        return spans.m_spans;
    }
    void handleObject(QPDFObjectHandle object, size_t offset, size_t length) override
    {
        if (object.isName()) {
            m_name = object.getName();
            m_nameAt = offset;
            return;
        }
        if (!object.isOperator())
            return;
        const std::string op = object.getOperatorValue();
        if (op == "BMC" || op == "BDC") {
            const bool moved = op == "BMC" && m_name == '/' + std::string(kMovedContentTag) && m_open == 0;
            m_open += m_open > 0 || moved;
            if (moved)
                m_start = m_nameAt;
        } else if (op == "EMC" && m_open > 0 && --m_open == 0) {
            m_spans.emplace_back(m_start, offset + length);
        }
        m_name.clear();
    }
    void handleEOF() override {}

private:
    std::vector<std::pair<size_t, size_t>> m_spans;
    std::string m_name;
    size_t m_nameAt = 0;
    size_t m_start = 0;
    int m_open = 0;  // marked sequences open inside a moved span, its own counted
};

bool isClosingStream(QPDFObjectHandle stream)
{
    const std::string head = streamHead(stream, 64);
    if (head.empty() || head.size() % 2)
        return false;
    for (size_t i = 0; i < head.size(); i += 2)
        if (head.compare(i, 2, "Q\n") != 0)
            return false;
    return true;
}

// The page's own streams leave their text state (Tz, Tc, Tw, Ts, TL) to the
// streams after them, and the program's streams set only font and matrix:
// the page's streams go between q and Q, so the program's text is drawn as
// written. The closing stream also closes every q they leave open, so the
// program's streams start in the page's first state. A page already wrapped
// is left as it is.
void wrapPageStreams(QPDF& pdf, QPDFObjectHandle& page, std::vector<std::pair<int, int>>& changed)
{
    QPDFObjectHandle contents = page.getKey("/Contents");
    if (!contents.isArray())
        return;
    const int count = contents.getArrayNItems();
    int firstOwn = -1;
    for (int i = 0; i < count && firstOwn < 0; ++i)
        if (isOwnStream(contents.getArrayItem(i)))
            firstOwn = i;
    if (firstOwn <= 0)
        return;
    if (streamHead(contents.getArrayItem(0), 3) == "q\n" && isClosingStream(contents.getArrayItem(firstOwn - 1)))
        return;
    const std::vector<QPDFObjectHandle> all = contents.getArrayAsVector();
    const int open = OpenSaves::after(std::vector<QPDFObjectHandle>(all.begin(), all.begin() + firstOwn));
    std::string closing = "Q\n";
    for (int i = 0; i < open; ++i)
        closing += "Q\n";
    QPDFObjectHandle opening = QPDFObjectHandle::newStream(&pdf, "q\n");
    QPDFObjectHandle close = QPDFObjectHandle::newStream(&pdf, closing);
    contents.insertItem(firstOwn, close);
    contents.insertItem(0, opening);
    const QPDFObjectHandle holder = contents.isIndirect() ? contents : page;
    std::vector<QPDFObjectHandle> touched{opening, close, holder};
    // Where the page's q and Q do not pair up, the state after the wrap is
    // not known: the program's streams are left as pdfium wrote them.
    for (int i = firstOwn + 2; open >= 0 && i < count + 2; ++i) {
        QPDFObjectHandle own = contents.getArrayItem(i);
        if (isOwnStream(own) && dropUndoneMove(own))
            touched.push_back(own);
    }
    for (const QPDFObjectHandle& object : touched) {
        const std::pair<int, int> id{object.getObjectID(), object.getGeneration()};
        if (std::find(changed.begin(), changed.end(), id) == changed.end())
            changed.push_back(id);
    }
}

// The bytes with the page's own streams wrapped (an update of their own),
// or the bytes as they are when nothing needs wrapping.
bool wrappedPage(const QByteArray& original, int pageIndex, QByteArray* wrapped, QString* error)
{
    *wrapped = original;
    QpdfFile file;
    if (!file.load(original, error))
        return false;
    std::vector<std::pair<int, int>> changed;
    if (!file.run([&](QPDF& pdf) {
            const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
            if (pdf.isEncrypted() || pageIndex < 0 || size_t(pageIndex) >= pages.size())
                return;
            QPDFObjectHandle page = pages[size_t(pageIndex)];
            pdfengine::wrapPageStreams(pdf, page, changed);
        }, error))
        return false;
    return changed.empty() || IncrementalUpdate::append(file.pdf(), original, changed, wrapped, error);
}

bool isStandardTextFont(const std::string& name)
{
    static const std::set<std::string> names = {
        "Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
        "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic",
        "Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"};
    return names.count(name) > 0;
}

// Widths of the standard fonts from pdfium's own metrics, read in a scratch
// document so the open one gains no font object.
class StandardFontWidths {
public:
    // glyph: a text face's letter, a symbol face's code.
    double operator()(const std::string& baseFont, char16_t glyph)
    {
        const bool symbolic = baseFont == "ZapfDingbats" || baseFont == "Symbol";
        // pdfium's face reaches its letters by WinAnsi: others are not asked.
        if ((!symbolic && (!isStandardTextFont(baseFont) || !inWinAnsi(glyph))) || (symbolic && glyph > 255) ||
            glyph == 0)
            return -1;
        FPDF_FONT font = fontNamed(baseFont);
        float width = 0;
        if (!font || !pdfApi().FPDFFont_GetGlyphWidth(font, glyph, 1000.0f, &width))
            return -1;
        return width;
    }

private:
    FPDF_FONT fontNamed(const std::string& name)
    {
        if (!m_scratch)
            m_scratch.reset(pdfApi().FPDF_CreateNewDocument());
        if (!m_scratch)
            return nullptr;
        auto known = m_fonts.find(name);
        if (known == m_fonts.end())
            known = m_fonts.emplace(name, FontPtr(pdfApi().FPDFText_LoadStandardFont(m_scratch.get(), name.c_str())))
                        .first;
        return known->second.get();
    }

    DocumentPtr m_scratch;
    std::map<std::string, FontPtr> m_fonts;  // closed before their document
};

// pdfium ends an update of a file with a cross-reference stream by a stream
// that lacks its /Type and its endobj, which other readers refuse: both are
// put in, after the offset startxref names, so no offset moves.
void mendCrossReferenceStream(QByteArray& bytes, qsizetype baseSize)
{
    const qint64 at = IncrementalUpdate::lastCrossReference(bytes);
    if (at < baseSize || bytes.mid(at, 4) == "xref")
        return;
    const qsizetype dict = bytes.indexOf("<<", at);
    const qsizetype stream = bytes.indexOf("stream", at);
    if (dict < 0 || stream < dict)
        return;
    if (!bytes.mid(dict, stream - dict).contains("/Type")) {
        bytes.insert(dict + 2, "/Type/XRef ");
    }
    const qsizetype end = bytes.lastIndexOf("endstream");
    const qsizetype startxref = bytes.lastIndexOf("startxref");
    if (end > at && startxref > end && !bytes.mid(end, startxref - end).contains("endobj"))
        bytes.insert(end + 9, "\r\nendobj");
}

}  // namespace

bool PageGlyphRemoval::serialize(FPDF_DOCUMENT doc, const QByteArray& loaded, QByteArray* bytes, QString* error,
                                 const std::function<bool(qint64)>& check)
{
    bytes->clear();
    QBuffer buffer(bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!writeDocument(doc, buffer, pdfium::kSaveIncremental, check)) {
        *error = pdfiumErrorString();
        return false;
    }
    buffer.close();
    if (!bytes->startsWith(loaded)) {
        *error = QStringLiteral("pdfium изменил исходные байты файла");
        return false;
    }
    mendCrossReferenceStream(*bytes, loaded.size());
    return true;
}

bool PageGlyphRemoval::wrapPageStreams(const QByteArray& before, int pageIndex, QByteArray* after, QString* error)
{
    after->clear();
    QByteArray wrapped;
    if (!wrappedPage(before, pageIndex, &wrapped, error))
        return false;
    if (wrapped.size() != before.size())
        *after = wrapped;
    return true;
}

bool PageGlyphRemoval::run(const QByteArray& before, int pageIndex, const std::vector<QPolygonF>& areas,
                           const EditAreas& trial, QByteArray* after, int* removed, QString* error)
{
    return edit(before, pageIndex, trial, after, removed, error,
                [&areas](ContentStreamEditor& editor, QPDFObjectHandle& page) { return editor.removeGlyphsWithin(page, areas); });
}

bool PageGlyphRemoval::run(const QByteArray& before, int pageIndex, const std::vector<QPolygonF>& areas,
                           const std::vector<GlyphMove>& moves, const EditAreas& trial, QByteArray* after,
                           int* removed, QString* error)
{
    if (moves.empty())
        return run(before, pageIndex, areas, trial, after, removed, error);
    return edit(before, pageIndex, trial, after, removed, error,
                [&](ContentStreamEditor& editor, QPDFObjectHandle& page) {
                    return editor.removeAndMoveGlyphs(page, areas, moves);
                });
}

bool PageGlyphRemoval::run(const QByteArray& before, int pageIndex, const GlyphEdit& glyphEdit, const EditAreas& trial,
                           QByteArray* after, int* removed, QString* error)
{
    return edit(before, pageIndex, trial, after, removed, error,
                [&](ContentStreamEditor& editor, QPDFObjectHandle& page) { return editor.editGlyphs(page, glyphEdit); });
}

bool PageGlyphRemoval::removeInvisibleLayer(const QByteArray& before, int pageIndex, QByteArray* after, int* removed,
                                            QString* error)
{
    return edit(before, pageIndex, {}, after, removed, error,
                [](ContentStreamEditor& editor, QPDFObjectHandle& page) { return editor.removeInvisibleGlyphs(page); });
}

bool PageGlyphRemoval::withoutMovedContent(const QByteArray& before, int pageIndex, QByteArray* after,
                                           QString* error)
{
    *after = before;
    QpdfFile file;
    if (!file.load(before, error))
        return false;
    std::vector<std::pair<int, int>> changed;
    QString failure;
    const bool ran = file.run([&](QPDF& pdf) {
        const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
        if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) {
            failure = QStringLiteral("страница не найдена");
            return;
        }
        // The page's streams, and the forms it draws: a move inside a form
        // drawn once draws its copy at the form's end.
        QPDFPageObjectHelper page(pages[size_t(pageIndex)]);
        std::vector<QPDFObjectHandle> streams = page.getPageContents();
        for (const auto& [name, form] : page.getFormXObjects())
            streams.push_back(form);
        for (QPDFObjectHandle stream : streams) {
            std::string data;
            if (!readDecodedStream(stream, size_t(ContentStreamEditor::kMaxStreamBytes), &data) ||
                data.find('/' + std::string(kMovedContentTag)) == std::string::npos)
                continue;
            const std::vector<std::pair<size_t, size_t>> spans = MovedSpans::of(stream);
            if (spans.empty())
                continue;
            std::string kept;
            size_t from = 0;
            for (const auto& [start, end] : spans) {
                kept += data.substr(from, start - from);
                from = end;
            }
            stream.replaceStreamData(kept + data.substr(std::min(from, data.size())), QPDFObjectHandle::newNull(),
                                     QPDFObjectHandle::newNull());
            changed.push_back({stream.getObjectID(), stream.getGeneration()});
        }
    }, error);
    if (!ran)
        return false;
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    return changed.empty() || IncrementalUpdate::append(file.pdf(), before, changed, after, error);
}

bool PageGlyphRemoval::edit(const QByteArray& original, int pageIndex, const EditAreas& trial,
                            QByteArray* after, int* removed, QString* error,
                            const std::function<bool(ContentStreamEditor&, QPDFObjectHandle&)>& change)
{
    *removed = 0;
    after->clear();
    // The program's text is drawn as written before anything is compared.
    QByteArray before;
    if (!wrappedPage(original, pageIndex, &before, error))
        return false;
    QpdfFile file;
    if (!file.load(before, error))
        return false;
    StandardFontWidths standard;
    ContentStreamEditor editor(file.pdf(), [&standard](const std::string& name, char16_t glyph) {
        return standard(name, glyph);
    });
    bool edited = false;
    QString failure;
    std::vector<std::pair<int, int>> changed;
    const bool ran = file.run([&](QPDF& pdf) {
        if (pdf.isEncrypted()) {
            failure = QStringLiteral("файл зашифрован");
            return;
        }
        const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
        if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) {
            failure = QStringLiteral("страница не найдена");
            return;
        }
        QPDFObjectHandle page = pages[size_t(pageIndex)];
        if (!change(editor, page)) {
            failure = editor.lastError();
            return;
        }
        changed = editor.changedObjects();
        // The moved glyphs stand in a stream of the program's, drawn as written.
        if (editor.glyphsMoved() > 0)
            pdfengine::wrapPageStreams(pdf, page, changed);
        edited = true;
    }, error);
    if (!ran)
        return false;
    if (!edited) {
        *error = failure;
        return false;
    }
    if (editor.glyphsRemoved() == 0)
        return true;
    QByteArray updated;
    if (!IncrementalUpdate::append(file.pdf(), before, changed, &updated, error))
        return false;
    // Without areas the whole page must look the same; its text is what goes.
    if (!bytesChangeOnlyInside(before, updated, pageIndex, trial, !trial.edited.empty(), error))
        return false;
    *after = updated;
    *removed = editor.glyphsRemoved();
    return true;
}

}  // namespace pdfengine
