#include "PdfDocument.h"
#include "BlockFixtures.h"
#include "MovedContent.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "QpdfFile.h"
#include "SavedFileCheck.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QMap<QString, int> wordCounts(const QStringList& words)
{
    QMap<QString, int> counts;
    for (const QString& w : words)
        ++counts[w];
    return counts;
}

// The raw (still encoded) bytes of the content streams of a page.
QList<QByteArray> rawContents(const QString& pdf, int pageIndex)
{
    QList<QByteArray> raws;
    pdfengine::QpdfFile file;
    QString error;
    if (!file.load(fixtures::readFile(pdf), &error))
        return raws;
    file.run([&](QPDF& qpdf) {
        QPDFObjectHandle page = qpdf.getAllPages().at(size_t(pageIndex));
        QPDFObjectHandle contents = page.getKey("/Contents");
        std::vector<QPDFObjectHandle> items =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        for (QPDFObjectHandle& item : items) {
            if (!item.isStream())
                continue;
            const std::shared_ptr<Buffer> raw = item.getRawStreamData();
            raws << QByteArray(reinterpret_cast<const char*>(raw->getBuffer()), qsizetype(raw->getSize()));
        }
    }, &error);
    return raws;
}

// Share of pixels outside the box (points, bottom-left origin) that differ.
double changedShareOutside(const QImage& before, const QImage& after, const QRectF& box, double pageHeight, double dpi)
{
    if (before.isNull() || before.size() != after.size())
        return 1.0;
    const double scale = dpi / 72.0;
    const QRect skipped(int(box.x() * scale) - 4, int((pageHeight - box.bottom()) * scale) - 4,
                        int(box.width() * scale) + 9, int(box.height() * scale) + 9);
    qint64 changed = 0, total = 0;
    const QImage a = before.convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (skipped.contains(x, y))
                continue;
            ++total;
            changed += qAbs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])) > 40;
        }
    return total ? double(changed) / double(total) : 1.0;
}

// Pixels with ink inside the boxes (points, bottom-left origin; each less its
// edge pixel where it is wide enough) of a render at dpi.
int inkInside(const QImage& render, const std::vector<QRectF>& boxes, double pageHeight, double dpi)
{
    constexpr int kInk = 200;
    if (render.isNull())
        return -1;
    const QImage grey = render.convertToFormat(QImage::Format_Grayscale8);
    const double scale = dpi / 72.0;
    int ink = 0;
    for (const QRectF& box : boxes) {
        QRect pixels(QPoint(int(std::floor(box.left() * scale)), int(std::floor((pageHeight - box.bottom()) * scale))),
                     QPoint(int(std::ceil(box.right() * scale)) - 1, int(std::ceil((pageHeight - box.top()) * scale)) - 1));
        if (pixels.width() > 4)
            pixels.adjust(1, 0, -1, 0);
        if (pixels.height() > 4)
            pixels.adjust(0, 1, 0, -1);
        pixels = pixels.intersected(grey.rect());
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            for (int x = pixels.left(); x <= pixels.right(); ++x)
                ink += grey.constScanLine(y)[x] < kInk;
    }
    return ink;
}

// Pixels of box (points, top-left origin) that differ between two renders at dpi.
int changedPixelsInside(const QImage& before, const QImage& after, const QRectF& box, double dpi)
{
    if (before.isNull() || before.size() != after.size())
        return -1;
    const QImage a = before.convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.convertToFormat(QImage::Format_Grayscale8);
    const double scale = dpi / 72.0;
    const QRect pixels = QRect(QPoint(int(box.left() * scale), int(box.top() * scale)),
                               QPoint(int(box.right() * scale), int(box.bottom() * scale)))
                             .intersected(a.rect());
    int changed = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            changed += std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])) > 40;
    return changed;
}

int objectStreams(const QString& pdf)
{
    return int(fixtures::readFile(pdf).count("/ObjStm"));
}

bool qpdfClean(const QString& pdf)
{
    return pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).exitCode == 0;
}

// Turns the block holding phrase into text or, when text is empty, deletes it.
bool rewriteBlock(std::vector<TextBlock>& blocks, const QString& phrase, const QString& text, TextBlock* old)
{
    const auto it = std::find_if(blocks.begin(), blocks.end(),
                                 [&](const TextBlock& b) { return !b.isImage && b.text.contains(phrase); });
    if (it == blocks.end())
        return false;
    *old = *it;
    it->textEdited = true;
    it->text = text;
    if (text.isEmpty())
        *it = removedPlaceOf(*it);  // as the window deletes it
    return true;
}

// CorrectWord: "складах" (or, on a page without it, "Kauers") of the first
// line holding it gets "і" after it.
// PutIn: page 0 of another file (the document's own when none is named)
// appended; PutInEdit: the same, then its first block rewritten; Duplicate:
// page 0 extracted to a file of its own and appended, as the window
// duplicates a page.
enum class PageOp { None, Rotate, Insert, Move, Delete, EditLine, MoveLine, DeleteLine, AddLine, TurnThenEdit, EditThenTurn,
                    EditTurnEdit, CorrectWord, PutIn, PutInEdit, Duplicate };

// Whether the last page of the document after op is a copy of another page.
bool copiesPage(PageOp op)
{
    return op == PageOp::PutIn || op == PageOp::PutInEdit || op == PageOp::Duplicate;
}

// The longest line of page 0 dragged down by points, lines and words with
// it; deleted where points is 0.
bool dragLongestLine(PdfDocument& doc, double points)
{
    std::vector<TextBlock> blocks = doc.extractText(0);
    const auto longest = std::max_element(blocks.begin(), blocks.end(), [](const TextBlock& a, const TextBlock& b) {
        return a.text.size() < b.text.size();
    });
    if (longest == blocks.end())
        return false;
    if (points == 0) {
        TextBlock old;
        return rewriteBlock(blocks, longest->text, QString(), &old) && doc.overlayOcrText(0, blocks, false);
    }
    const QPointF drag(0, -points);
    longest->rect.translate(drag);
    for (TextBlock::Line& line : longest->lines) {
        line.rect.translate(drag);
        for (TextBlock::Line::Word& word : line.words)
            word.rect.translate(drag);
    }
    return doc.overlayOcrText(0, blocks, false);
}

// The first block of the page holding phrase rewritten.
bool editBlockWith(PdfDocument& doc, const QString& phrase, int pageIndex = 0)
{
    std::vector<TextBlock> blocks = doc.extractText(pageIndex);
    TextBlock old;
    return rewriteBlock(blocks, phrase, QStringLiteral("Новые слова здесь"), &old) &&
           doc.overlayOcrText(pageIndex, blocks, false);
}

// from: the file PutIn and PutInEdit take their page from.
bool applyPageOp(PdfDocument& doc, PageOp op, const QString& from = QString())
{
    switch (op) {
    case PageOp::PutIn:
        return doc.appendPage(from.isEmpty() ? doc.filePath() : from, 0);
    case PageOp::PutInEdit:
        return applyPageOp(doc, PageOp::PutIn, from) && editBlockWith(doc, QString(), doc.pageCount() - 1);
    case PageOp::Duplicate: {
        const QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("page.pdf"));
        return doc.extractPageSubset({0}, copy) && doc.appendPage(copy, 0);
    }
    case PageOp::None:
        return true;
    case PageOp::Rotate:
        return doc.rotatePage(0, 90);
    case PageOp::Insert:
        return doc.insertBlankPage(1, QSizeF(595, 842));
    case PageOp::Move:
        return doc.movePage(0, doc.pageCount() - 1);
    case PageOp::Delete:
        return doc.deletePage(0);
    case PageOp::MoveLine:
        return dragLongestLine(doc, 40);
    case PageOp::DeleteLine:
        return dragLongestLine(doc, 0);
    case PageOp::EditLine:
        return editBlockWith(doc, QString());
    case PageOp::EditTurnEdit:
        return editBlockWith(doc, QString()) && applyPageOp(doc, PageOp::Rotate) &&
               editBlockWith(doc, QStringLiteral("seal"));
    case PageOp::TurnThenEdit:
        return applyPageOp(doc, PageOp::Rotate) && applyPageOp(doc, PageOp::EditLine);
    case PageOp::EditThenTurn:
        return applyPageOp(doc, PageOp::EditLine) && applyPageOp(doc, PageOp::Rotate);
    case PageOp::CorrectWord: {
        std::vector<TextBlock> blocks = doc.extractText(0);
        const bool accented = doc.extractAllText(0).contains(QStringLiteral("складах"));
        const QString word = accented ? QStringLiteral("складах") : QStringLiteral("Kauers");
        const auto it = std::find_if(blocks.begin(), blocks.end(),
                                     [&](const TextBlock& b) { return !b.isImage && b.text.contains(word); });
        if (it == blocks.end())
            return false;
        it->text.replace(word, word + QStringLiteral(" і"));
        it->textEdited = true;
        return doc.overlayOcrText(0, blocks, false);
    }
    case PageOp::AddLine: {
        // A text layer line in the empty foot of the page, the page's own text untouched.
        TextBlock added = fixtures::oneLineBlock(QStringLiteral("Новые слова здесь"), QRectF(72, 40, 300, 14), 12);
        added.invisibleText = added.lines.front().invisibleText = true;
        return doc.overlayOcrText(0, {added}, false);
    }
    }
    return false;
}

// The current row's name as a file name.
QString fileTag()
{
    return QString::fromUtf8(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")),
                                                             QStringLiteral("-"));
}

// Whether grey lies within the greys of image around (x, y), reach pixels each way.
bool greyNear(int grey, const QImage& image, int x, int y, int reach, int tolerance)
{
    int lowest = 255, highest = 0;
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (image.rect().contains(x + dx, y + dy)) {
                lowest = std::min(lowest, int(image.constScanLine(y + dy)[x + dx]));
                highest = std::max(highest, int(image.constScanLine(y + dy)[x + dx]));
            }
    return grey >= lowest - tolerance && grey <= highest + tolerance;
}

// Pixels of area (points, top-left origin) whose grey in before differs in
// after once moved by shift (pixels), counted only where before showed
// nothing at the moved place: text the line now stands over is left out.
// reach: pixels a reader that places glyphs on whole pixels may put one off.
int movedAreaDifferences(const QImage& before, const QImage& after, const QRectF& area, double dpi, const QPoint& shift,
                         int reach = 0)
{
    constexpr int kInk = 200, kDifferent = 64;
    if (before.isNull() || after.isNull() || before.size() != after.size())
        return -1;
    const QImage a = before.convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.convertToFormat(QImage::Format_Grayscale8);
    const double scale = dpi / 72.0;
    const QRect pixels = QRect(QPoint(int(area.left() * scale), int(area.top() * scale)),
                               QPoint(int(area.right() * scale), int(area.bottom() * scale)))
                             .intersected(a.rect())
                             .intersected(a.rect().translated(-shift));
    int differences = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QPoint to = QPoint(x, y) + shift;
            if (a.constScanLine(to.y())[to.x()] < kInk)
                continue;
            differences += !greyNear(a.constScanLine(y)[x], b, to.x(), to.y(), reach, kDifferent) ||
                           !greyNear(b.constScanLine(to.y())[to.x()], a, x, y, reach, kDifferent);
        }
    return differences;
}

QStringList sortedWords(const QString& pdf, int pageIndex)
{
    QStringList words = pdftools::words(pdf, pageIndex);
    words.sort();
    return words;
}

QStringList mupdfWords(const QString& pdf, int pageIndex)
{
    QStringList words = pdftools::mupdfText(pdf, pageIndex).split(QRegularExpression(QStringLiteral("\\s+")),
                                                                 Qt::SkipEmptyParts);
    words.sort();
    return words;
}

// Why other readers refuse pdf, empty when qpdf, poppler and ghostscript
// (when installed) all read it without a complaint.
// The password qpdf and mupdf need for a fixture whose attached file is
// sealed by one the document opens without.
QString attachmentPassword(const QString& fixture)
{
    return fixture == QStringLiteral("groff-attachment-password.pdf") ||
                   fixture == QStringLiteral("groff-attachment-crypt-filter.pdf")
               ? QStringLiteral("attach")
               : QString();
}

// Every attached file's bytes by its key, as qpdf reads them with the password.
QMap<QString, QByteArray> attachedFiles(const QString& pdf, const QString& password)
{
    const QStringList qpdfPassword =
        password.isEmpty() ? QStringList() : QStringList{QStringLiteral("--password=") + password};
    QMap<QString, QByteArray> files;
    const QString listed =
        pdftools::run(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--list-attachments"), pdf}).out;
    for (const QString& line : listed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.contains(QStringLiteral(" -> ")))
            continue;  // "... has no embedded files"
        const QString key = line.section(QStringLiteral(" -> "), 0, 0);
        QProcess shown;
        shown.start(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--show-attachment=") + key, pdf});
        files[key] = shown.waitForFinished(60000) && shown.exitCode() == 0 ? shown.readAllStandardOutput() : QByteArray();
    }
    return files;
}

// The first attached file's bytes as poppler reads them; empty where there is none.
QByteArray firstAttachment(const QString& pdf, const QString& password, const QString& into)
{
    QStringList arguments{QStringLiteral("-save"), QStringLiteral("1"), QStringLiteral("-o"), into, pdf};
    if (!password.isEmpty())
        arguments = QStringList{QStringLiteral("-upw"), password} + arguments;
    QFile::remove(into);
    return pdftools::run(QStringLiteral("pdfdetach"), arguments).exitCode == 0 ? fixtures::readFile(into) : QByteArray();
}

QString refusedElsewhere(const QString& pdf, const QString& password = QString())
{
    const QStringList qpdfPassword =
        password.isEmpty() ? QStringList() : QStringList{QStringLiteral("--password=") + password};
    const pdftools::Result check =
        pdftools::run(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--check"), pdf});
    if (check.exitCode != 0 || check.out.contains(QStringLiteral("WARNING")) ||
        check.err.contains(QStringLiteral("WARNING")))
        return QStringLiteral("qpdf: ") + check.out + check.err;
    const pdftools::Result text = pdftools::run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    if (text.exitCode != 0 || !text.err.isEmpty())
        return QStringLiteral("pdftotext: ") + text.err;
    if (pdftools::installed(QStringLiteral("gs"))) {
        const pdftools::Result gs = pdftools::run(
            QStringLiteral("gs"), {QStringLiteral("-dNODISPLAY"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
                                   QStringLiteral("-q"), pdf});
        if (gs.exitCode != 0 || (gs.out + gs.err).contains(QStringLiteral("Catalog dictionary not located")) ||
            (gs.out + gs.err).contains(QStringLiteral("Error")))
            return QStringLiteral("gs: ") + gs.out + gs.err;
    }
    return QString();
}

// A writer's fault: what it does to the bytes a save is about to write.
using Fault = std::function<void(QByteArray&)>;

// The last occurrence of what replaced by by, and all after it when what ends with '*'.
Fault replaceLast(const QByteArray& what, const QByteArray& by)
{
    return [what, by](QByteArray& bytes) {
        const bool cut = what.endsWith('*');
        const QByteArray found = cut ? what.chopped(1) : what;
        const qsizetype at = bytes.lastIndexOf(found);
        bytes.replace(at, cut ? bytes.size() - at : found.size(), by);
    };
}

// A byte of the first attached file's stored data turned over.
Fault attachmentByteTurned()
{
    return [](QByteArray& bytes) {
        const qsizetype data = bytes.indexOf("stream", bytes.indexOf("/Type /EmbeddedFile")) + 7;
        bytes[data + 10] = char(bytes[data + 10] ^ 0x20);
    };
}

// The bytes parsed by qpdf, changed, and written again whole: a file every
// reader opens whose pages hold something else.
Fault rewrittenWith(const std::function<void(QPDF&)>& change)
{
    return [change](QByteArray& bytes) {
        pdfengine::QpdfFile file;
        QByteArray written;
        if (file.load(bytes, nullptr) && file.run(change, nullptr) && file.write(&written, {}, nullptr))
            bytes = written;
    };
}

// The text the program moved on page pageIndex as edit leaves it.
Fault movedContentChanged(int pageIndex, const fixtures::ContentEdit& edit)
{
    return [=](QByteArray& bytes) { bytes = fixtures::movedContentEdited(bytes, pageIndex, edit); };
}

// Every code from in the strings of the text the program moved on page
// pageIndex drawn by code to instead (two hexadecimal digits each).
Fault movedTextRecoded(int pageIndex, const QByteArray& from, const QByteArray& to)
{
    return movedContentChanged(pageIndex, [=](const QByteArray& content) {
        static const QRegularExpression hex(QStringLiteral("<[0-9A-F]+>"));
        QString text = QString::fromLatin1(content);
        for (auto it = hex.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            QString codes = m.captured();
            for (qsizetype i = 1; i + 2 < codes.size(); i += 2)
                if (codes.mid(i, 2) == QLatin1String(from))
                    codes.replace(i, 2, QLatin1String(to));
            text.replace(m.capturedStart(), m.capturedLength(), codes);
        }
        return text.toLatin1();
    });
}

// The page's own content stream of page pageIndex holding text given the
// source's content again: deleted text put back under the program's
// white-outs, which hide it from the eye but not from a reader.
Fault deletedTextPutBack(const QString& source, int pageIndex)
{
    QByteArray original;
    for (const QByteArray& raw : rawContents(source, pageIndex))
        original += raw;  // a single Flate stream: the test's fixtures have one
    return rewrittenWith([=](QPDF& pdf) {
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            const QByteArray content(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            if (content.contains("/Vorn") || !content.contains("BT"))
                continue;
            stream.replaceStreamData(original.toStdString(), QPDFObjectHandle::newName("/FlateDecode"),
                                     QPDFObjectHandle::newNull());
            return;
        }
    });
}

// A name page pageIndex looks up taken from its resources.
Fault resourceTakenFrom(int pageIndex, const std::string& category, const std::string& name)
{
    return rewrittenWith([=](QPDF& pdf) {
        QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex)))
            .getAttribute("/Resources", true)
            .getKey(category)
            .removeKey(name);
    });
}

// The first annotation of page pageIndex moved a point right.
Fault annotationMovedOn(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().at(size_t(pageIndex));
        QPDFObjectHandle annotation = page.getKey("/Annots").getArrayItem(0);
        QPDFObjectHandle rect = annotation.getKey("/Rect");
        for (int corner : {0, 2})
            rect.setArrayItem(corner, QPDFObjectHandle::newReal(rect.getArrayItem(corner).getNumericValue() + 1, 3));
    });
}

// A line drawn on page pageIndex.
Fault lineAddedTo(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex)))
            .addPageContents(QPDFObjectHandle::newStream(&pdf, "0 0 m 100 100 l S\n"), false);
    });
}

// Every match of the pattern what in page pageIndex's content streams
// replaced by to (\1 in it names what the first group matched).
Fault contentReplaced(int pageIndex, const QString& what, const QString& to)
{
    return rewrittenWith([=](QPDF& pdf) {
        const QRegularExpression match(what);
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            QString content = QString::fromLatin1(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            if (!content.contains(match))
                continue;
            content.replace(match, to);
            stream.replaceStreamData(content.toLatin1().toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        }
    });
}

// The fonts of page pageIndex gone from its own resources.
Fault fontsTakenFrom(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        QPDFPageObjectHelper page(pdf.getAllPages().at(size_t(pageIndex)));
        page.getAttribute("/Resources", true).removeKey("/Font");
    });
}

// The pictures the forms of page pageIndex draw no longer drawn (their
// names still resolve: only a render sees the loss).
Fault formPicturesTakenFrom(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        static const QRegularExpression drawn(QStringLiteral("/[^\\s/]+\\s+Do\\b"));
        QPDFPageObjectHelper page(pdf.getAllPages().at(size_t(pageIndex)));
        for (auto& [name, form] : page.getFormXObjects()) {
            const std::shared_ptr<Buffer> data = form.getStreamData();
            QString content = QString::fromLatin1(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            content.replace(drawn, QString());
            form.replaceStreamData(content.toLatin1().toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        }
    });
}

// The text the program wrote on page pageIndex no longer shown: its
// text-showing operators, after the program's first mark, take another
// operator's name.
Fault writtenTextHiddenOn(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            QByteArray content(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            const qsizetype own = content.indexOf("/VornEdit");
            if (own < 0)
                continue;
            QByteArray tail = content.mid(own);
            static const QRegularExpression showing(QStringLiteral("(T[jJ]|')(\\s)"));
            tail = QString::fromLatin1(tail).replace(showing, QStringLiteral("Tz\\2")).toLatin1();
            content = content.left(own) + tail;
            stream.replaceStreamData(content.toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        }
    });
}

// Where the bytes a fault changes go: the file saved over, or a file the
// document writes after an edit beside it.
enum class Road { Save, CompressedCopy, ExtractedPages };

// Whether op leaves every page but the first where it was and as it was.
bool touchesFirstPageOnly(PageOp op)
{
    return op != PageOp::Insert && op != PageOp::Move && op != PageOp::Delete;
}

}  // namespace

Q_DECLARE_METATYPE(Fault)

class TestPdfDocumentSave : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void removedTextIsGoneFromTheFile_data();
    void removedTextIsGoneFromTheFile();
    void saveWithoutChangeWritesNothing_data();
    void saveWithoutChangeWritesNothing();
    void addedTextIsAppended();
    void editedManualGrowsByTheChangeOnly();
    void twoRoundsEmbedEachFaceOnce();
    void refusedRemovalLeavesTheDocument_data();
    void anotherToolsLayerIsCutOut();
    void damagedFileIsWrittenWhole();
    void refusedRemovalLeavesTheDocument();
    void appendedTextIsNotStretched_data();
    void appendedTextIsNotStretched();
    void sharedPageContentStaysOnOtherPages();
    void savedFileReadsElsewhere_data();
    void savedFileReadsElsewhere();
    void faultyResultLeavesTheFile_data();
    void faultyResultLeavesTheFile();
    void writtenLinesStayOnMovedOriginPages_data();
    void writtenLinesStayOnMovedOriginPages();
    void movedLinesKeepTheirGlyphsAndFonts_data();
    void movedLinesKeepTheirGlyphsAndFonts();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestPdfDocumentSave::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(pdftools::installed(QStringLiteral("pdftotext")) && pdftools::installed(QStringLiteral("qpdf")),
             "poppler-utils and qpdf are needed to look at saved files");
}

void TestPdfDocumentSave::removedTextIsGoneFromTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("replacement");  // empty: the block is deleted
    const QString words = QStringLiteral("Новые слова здесь");
    QTest::newRow("pdfTeX delete") << "pdftex-page.pdf" << "Questions from the floor" << QString();
    QTest::newRow("pdfTeX replace") << "pdftex-page.pdf" << "The archive received" << words;
    QTest::newRow("dvips Type 1 delete") << "tex-type1.pdf" << "Every affidavit" << QString();
    QTest::newRow("TeX Type 3 replace") << "tex-type3.pdf" << "The official staff" << words;
    QTest::newRow("distilled delete") << "gs-helvetica.pdf" << "All files were carried" << QString();
    QTest::newRow("standard font without widths") << "onetf-helvetica.pdf" << "Twelve members" << words;
    QTest::newRow("kerned TJ delete") << "onetf-helvetica.pdf" << "Waterford" << QString();
    QTest::newRow("groff object streams") << "groff-columns-objstm.pdf" << "Records Department" << QString();
    QTest::newRow("OCR layer") << "tesseract-ru.pdf" << "заключили настоящий" << words;
    // Justified columns: wide word gaps cut a line into pieces of its own.
    QTest::newRow("three columns, a piece of a line") << "libreoffice-three-columns.pdf" << "Стороны" << QString();
    QTest::newRow("three columns, a whole line") << "libreoffice-three-columns.pdf"
                                                 << "заказчика, которая проверяет объём и" << QString();
    // A line whose hyphenated first word pdfium reads as joined to the line above.
    QTest::newRow("groff, after a hyphen") << "groff-columns.pdf" << "mer months were quiet" << QString();
    QTest::newRow("turned groff page, after a hyphen") << "groff-columns-rot90.pdf" << "mer months were quiet"
                                                       << QString();
    // Content that leaves the drawing position moved, and a q left open after the move.
    QTest::newRow("pdfTeX, origin left moved, replace") << "pdftex-moved-origin.pdf" << "The archive received" << words;
    QTest::newRow("pdfTeX, origin left moved, delete") << "pdftex-moved-origin.pdf" << "Questions from the floor"
                                                       << QString();
    QTest::newRow("pdfTeX, contents, origin left moved") << "pdftex-manual-moved-origin.pdf"
                                                        << "Раздел 1: приёмка" << words;
    QTest::newRow("pdfTeX, a q left open after the move") << "pdftex-unclosed-q.pdf" << "The archive received"
                                                          << words;
    // A raised, smaller footnote mark the page reads as part of its word,
    // readers as a word of its own: a word replaced elsewhere in the line
    // leaves it raised and apart.
    QTest::newRow("distilled footnote mark before its word")
        << "gs-footnote.pdf" << "committee approved" << "1The committee approved the list without changes.";
    QTest::newRow("distilled footnote mark after a word")
        << "gs-footnote.pdf" << "Staff counted" << "Staff counted the boxes2 The boxes were carried over.";
    QTest::newRow("XeTeX footnote") << "xetex-footnote.pdf" << "committee approved"
                                    << "1The committee approved the list.";
    // Words drawn with kerns inside them: an underscore TeX draws as a rule, a TeX logo.
    QTest::newRow("pdfTeX, underscore drawn as a rule, delete") << "pdftex-underscore.pdf" << "x86_64-linux" << QString();
    QTest::newRow("pdfTeX guide, underscore glyph below the line, delete") << "texlive-ru-tree.pdf" << "x86_64-linux"
                                                                          << QString();
    QTest::newRow("TeX logo, delete") << "tex-t2a-names.pdf" << "Система" << QString();
    // groff through ghostscript: a raised footnote mark in the line below reaches
    // up into the edited line's box; the untouched "seven" stays one word.
    QTest::newRow("groff, a word replaced above a footnote mark")
        << "groff-footnote.pdf" << "Letters kept for seven"
        << "Letters kept for seven years go to the store in one box each, with a label that names the office and its";
}

// A deleted or replaced block: no reader finds its old words, every other
// word stays once, the page looks the same outside the block, and the old
// content stream is nowhere in the file, not even as an earlier revision.
void TestPdfDocumentSave::removedTextIsGoneFromTheFile()
{
    QFETCH(QString, file);
    QFETCH(QString, phrase);
    QFETCH(QString, replacement);
    const QString source = fixtures::realPdf(file);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    QVERIFY2(rewriteBlock(blocks, phrase, replacement, &old), qPrintable(phrase));
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("removed-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".pdf");
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

    QMap<QString, int> expected = wordCounts(pdftools::words(source, 0));
    // A deleted line's words as poppler reads them where it stood (a rule or
    // a raised letter parts them otherwise than the page's text layer does).
    QStringList oldWords = old.text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (replacement.isEmpty()) {
        oldWords.clear();
        const double pageHeight = pdftools::pageSizes(source).value(0).height();
        const QRectF place = TurnedBox(old.originalRect, old.originalRotation).bounds();
        for (const pdftools::WordBox& word : pdftools::wordBoxes(source, 0))
            if (place.contains(QPointF(word.box.center().x(), pageHeight - word.box.center().y())))
                oldWords << word.text;
    }
    for (const QString& w : oldWords)
        --expected[w];
    for (const QString& w : replacement.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        ++expected[w];
    const QMap<QString, int> got = wordCounts(pdftools::words(out, 0));
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(got.value(it.key()) == std::max(0, it.value()),
                 qPrintable(QStringLiteral("%1: %2 expected, %3 found").arg(it.key()).arg(it.value()).arg(got.value(it.key()))));

    // mupdf reads the new words too, and every reader finds the pages.
    const QString mupdf = pdftools::mupdfText(out, 0).simplified();
    for (const QString& w : replacement.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        QVERIFY2(mupdf.contains(w), qPrintable(w + QStringLiteral(" not in: ") + mupdf));
    const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(out);
    const int pages = doc.pageCount();
    QVERIFY(counts.qpdf == pages && counts.poppler == pages && counts.mupdf == pages);

    const QByteArray saved = fixtures::readFile(out);
    for (const QByteArray& raw : rawContents(source, 0))
        QVERIFY2(!saved.contains(raw), "the old content stream is still in the file");
    QVERIFY(qpdfClean(out));
    QVERIFY(objectStreams(out) >= objectStreams(source));

    const double height = doc.pageSize(0).height();
    if (replacement.isEmpty() && old.originalRotation == 0) {
        // No glyph of a deleted line, nor a rule drawn in it, stays for poppler, mupdf or pdfium.
        for (const QImage& render : {pdftools::renderPage(out, 0, 150), pdftools::mupdfRenderPage(out, 0, 150)})
            QCOMPARE(inkInside(render, old.lines.front().glyphBoxes, height, 150), 0);
        for (const TextBlock& block : doc.extractText(0))
            QVERIFY2(!old.originalRect.contains(block.rect.center()), qPrintable(block.text));
    }
    const QRectF box = TurnedBox(old.originalRect, old.originalRotation).bounds().adjusted(-1.5, -1.5, 1.5, 1.5);
    // The words of other lines that reach into the edited box keep every pixel.
    const QImage sourceRender = pdftools::renderPage(source, 0, 150), savedRender = pdftools::renderPage(out, 0, 150);
    const QRectF shownBox(box.x(), height - box.bottom(), box.width(), box.height());
    for (const pdftools::WordBox& word : pdftools::wordBoxes(source, 0))
        if (!shownBox.contains(word.box.center()) && shownBox.intersects(word.box))
            QVERIFY2(changedPixelsInside(sourceRender, savedRender, word.box, 150) <= 2, qPrintable(word.text));
    const double poppler = changedShareOutside(pdftools::renderPage(source, 0, 150), pdftools::renderPage(out, 0, 150),
                                               box, height, 150);
    QVERIFY2(poppler <= 0.0002, qPrintable(QString::number(poppler)));
    PdfDocument original;
    QVERIFY(original.open(source));
    const double scale = 150 / 72.0;
    const double own = changedShareOutside(original.renderPage(0, scale, 0), doc.renderPage(0, scale, 0), box, height, 150);
    QVERIFY2(own <= 0.0002, qPrintable(QString::number(own)));
}

void TestPdfDocumentSave::saveWithoutChangeWritesNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("object streams") << "groff-columns-objstm.pdf";
    QTest::newRow("pdfTeX") << "pdftex-page.pdf";
    QTest::newRow("cross-reference table") << "gs-helvetica.pdf";
}

// Ctrl+S with no edit leaves the file as it is, untouched; "Сохранить как"
// writes the same bytes.
void TestPdfDocumentSave::saveWithoutChangeWritesNothing()
{
    QFETCH(QString, file);
    const QString target = path(QStringLiteral("unchanged-") + file);
    const QByteArray bytes = fixtures::readFile(fixtures::realPdf(file));
    QVERIFY(fixtures::writeFile(target, bytes));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);
    PdfDocument doc;
    QVERIFY(doc.open(target));
    doc.renderPage(0, 0.5, 0);  // what viewing loads does not count as a change
    QVERIFY(doc.save(target));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);  // not replaced
    QCOMPARE(fixtures::readFile(target), bytes);
    const QString copy = path(QStringLiteral("copy-") + file);
    QVERIFY(doc.saveAs(copy));
    QCOMPARE(fixtures::readFile(copy), bytes);
}

// Text added to a page is appended: every byte of the file stays, and the
// file grows by the new objects and one font subset.
void TestPdfDocumentSave::addedTextIsAppended()
{
    const QString source = fixtures::realPdf(QStringLiteral("groff-columns-objstm.pdf"));
    const QByteArray bytes = fixtures::readFile(source);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    for (int i = 0; i < doc.pageCount(); ++i)
        doc.renderPage(i, 0.5, 0);
    QVERIFY(doc.addFreeText(0, QRectF(72, 60, 300, 14), QStringLiteral("Принято к исполнению"), QString(), 11, Qt::black));
    const QString out = path(QStringLiteral("added.pdf"));
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));
    const QByteArray saved = fixtures::readFile(out);
    QVERIFY(saved.startsWith(bytes));
    QVERIFY2(saved.size() - bytes.size() < 40 * 1024, qPrintable(QString::number(saved.size() - bytes.size())));
    QVERIFY(qpdfClean(out));
    QVERIFY(pdftools::words(out, 0).contains(QStringLiteral("исполнению")));
    QCOMPARE(pdftools::words(out, 1), pdftools::words(source, 1));
}

// One edited line of a long manual with object streams.
void TestPdfDocumentSave::editedManualGrowsByTheChangeOnly()
{
    const QString source = fixtures::realPdf(QStringLiteral("pdftex-registry.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    QVERIFY(rewriteBlock(blocks, QStringLiteral("Edited line of the manual"), QStringLiteral("Исправленная строка"), &old));
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("manual.pdf"));
    QVERIFY(doc.save(out));
    const qint64 growth = QFileInfo(out).size() - QFileInfo(source).size();
    QVERIFY2(growth < 60 * 1024, qPrintable(QString::number(growth)));
    QVERIFY(qpdfClean(out));
    QVERIFY(objectStreams(out) >= objectStreams(source));
    const QStringList words = pdftools::words(out, 0);
    QVERIFY(!words.contains(QStringLiteral("manual:")));
    QVERIFY(words.contains(QStringLiteral("Исправленная")));
}

// Two edit-and-save rounds, in one session and in a second one: the face
// the program writes with is embedded once.
void TestPdfDocumentSave::twoRoundsEmbedEachFaceOnce()
{
    QString current = fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"));
    const QStringList phrases = {QStringLiteral("All files were carried"), QStringLiteral("Staff counted"),
                                 QStringLiteral("The office moved")};
    for (int session = 0; session < 2; ++session) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        current = path(QStringLiteral("round-%1.pdf").arg(session));
        for (int round = 0; round < (session == 0 ? 2 : 1); ++round) {
            std::vector<TextBlock> blocks = doc.extractText(0);
            TextBlock old;
            QVERIFY(rewriteBlock(blocks, phrases.at(session * 2 + round), QStringLiteral("Строка %1").arg(round), &old));
            QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
            QVERIFY2(doc.save(current), qPrintable(doc.lastError()));
        }
    }
    QStringList embedded;
    for (const pdftools::FontRow& font : pdftools::listFonts(current))
        if (font.embedded)
            embedded << font.name;
    QCOMPARE(embedded.size(), 1);
}

void TestPdfDocumentSave::refusedRemovalLeavesTheDocument_data()
{
    QTest::addColumn<QString>("font");     // of the line, F1 standard Helvetica
    QTest::addColumn<QString>("content");  // more of the page
    QTest::addColumn<QRectF>("place");     // the deleted block's old place; empty: the line's
    QTest::addColumn<QString>("file");     // a real page whose line is corrected instead; empty: the page made here
    QTest::addColumn<QString>("phrase");   // of that line, replaced by edited
    QTest::addColumn<QString>("edited");
    QTest::newRow("content that does not parse") << "F1" << "BT /F1 12 Tf 72 500 Td (never closed Tj ET" << QRectF()
                                                 << QString() << QString() << QString();
    QTest::newRow("font without widths") << "F2" << QString() << QRectF() << QString() << QString() << QString();
    QTest::newRow("glyph drawn far beyond the block") << "F1" << "BT /F1 200 Tf 150 300 Td (W) Tj ET"
                                                      << QRectF(224, 340, 40, 40) << QString() << QString() << QString();
    // Numbers hidden by boxes the page draws over them: a correction that
    // moves them on would draw them over the box, or beside it.
    const QString covered = QStringLiteral("gs-covered-number.pdf");
    QTest::newRow("a word before a number under a black box")
        << QString() << QString() << QRectF() << covered << "The account" << "The savings account";
    QTest::newRow("a word before a number under a white box")
        << QString() << QString() << QRectF() << covered << "The savings code" << "The current savings code";
}

// An edit whose old glyphs cannot be removed exactly, or not without showing
// what the page hides, is refused with the reason, and the document stays as
// it was: no old text left silently under a white-out.
void TestPdfDocumentSave::refusedRemovalLeavesTheDocument()
{
    QFETCH(QString, font);
    QFETCH(QString, content);
    QFETCH(QRectF, place);
    QFETCH(QString, file);
    QFETCH(QString, phrase);
    QFETCH(QString, edited);
    if (file.isEmpty()) {
        fixtures::PageSpec pageSpec;
        pageSpec.runs << fixtures::TextRun{QStringLiteral("Keep this line"), 72, 740, 14};
        pageSpec.runs << fixtures::TextRun{QStringLiteral("Delete me please"), 72, 700, 14, Qt::black, font};
        pageSpec.extraFonts << QStringLiteral("NoSuchFace");
        pageSpec.extraContent = content;
        file = path(QStringLiteral("refused.pdf"));
        QVERIFY(fixtures::writeFile(file, fixtures::pagesPdf({pageSpec})));
    } else {
        file = fixtures::realPdf(file);
    }
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const QString text = doc.extractAllText(0);
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    if (!phrase.isEmpty()) {
        const auto line = std::find_if(blocks.begin(), blocks.end(),
                                       [&](const TextBlock& b) { return !b.isImage && b.text.contains(phrase); });
        QVERIFY2(line != blocks.end(), qPrintable(phrase));
        QVERIFY(rewriteBlock(blocks, phrase, QString(line->text).replace(phrase, edited), &old));
    } else if (place.isNull()) {
        QVERIFY(rewriteBlock(blocks, QStringLiteral("Delete me"), QString(), &old));
    } else {
        TextBlock gone;
        gone.removed = gone.textEdited = true;
        gone.rect = gone.originalRect = place;
        blocks.push_back(gone);
    }
    QVERIFY(!doc.overlayOcrText(0, blocks, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.extractAllText(0), text);
    PdfDocument fresh;  // a face pdfium substitutes may draw differently once fonts were loaded
    QVERIFY(fresh.open(file));
    QCOMPARE(doc.renderPage(0, 1.0, 0), fresh.renderPage(0, 1.0, 0));
}

// Another tool's searchable layer goes from the scan's own content stream:
// the page looks the same, no reader finds the words, and the old stream is
// not in the saved file.
void TestPdfDocumentSave::anotherToolsLayerIsCutOut()
{
    const QString source = fixtures::realPdf(QStringLiteral("tesseract-ru.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const QImage before = doc.renderPage(0, 1.0, 0);
    QVERIFY(!pdftools::words(source, 0).isEmpty());
    QVERIFY(doc.removeInvisibleTextLayer(0));
    QVERIFY(doc.extractAllText(0).trimmed().isEmpty());
    QCOMPARE(doc.renderPage(0, 1.0, 0), before);
    const QString out = path(QStringLiteral("layer-removed.pdf"));
    QVERIFY(doc.save(out));
    QVERIFY(pdftools::words(out, 0).isEmpty());
    const QByteArray saved = fixtures::readFile(out);
    for (const QByteArray& raw : rawContents(source, 0))
        QVERIFY(!saved.contains(raw));
    QVERIFY(qpdfClean(out));
}

// Added text on a file whose cross-reference is broken: no update is
// appended to the damage; the file is written whole and reads clean.
void TestPdfDocumentSave::damagedFileIsWrittenWhole()
{
    QByteArray broken = fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")));
    const qsizetype at = broken.lastIndexOf("startxref");
    broken.replace(at, broken.size() - at, "startxref\n17\n%%EOF\n");
    const QString file = path(QStringLiteral("broken.pdf"));
    QVERIFY(fixtures::writeFile(file, broken));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    QVERIFY(doc.addFreeText(0, QRectF(72, 60, 300, 14), QStringLiteral("Принято"), QString(), 11, Qt::black));
    const QString out = path(QStringLiteral("broken-saved.pdf"));
    QVERIFY(doc.save(out));
    QVERIFY(!fixtures::readFile(out).startsWith(broken));
    QVERIFY(qpdfClean(out));
    QVERIFY(pdftools::words(out, 0).contains(QStringLiteral("Принято")));
}

void TestPdfDocumentSave::appendedTextIsNotStretched_data()
{
    QTest::addColumn<bool>("asBlock");  // else as free text
    QTest::newRow("free text") << false;
    QTest::newRow("a block the user added") << true;
}

// Text added to a page whose own streams leave their text state set (a
// scan layer's Tz and invisible render mode) is drawn as on a clean page:
// as wide, and seen by other readers.
void TestPdfDocumentSave::appendedTextIsNotStretched()
{
    QFETCH(bool, asBlock);
    const QString word = QStringLiteral("Исполнено");
    const QRectF at(72, 40, 300, 16);
    auto widthOn = [&](const QString& file, const QString& name) {
        PdfDocument doc;
        if (!doc.open(fixtures::realPdf(file)))
            return -1.0;
        bool added = false;
        if (asBlock) {
            TextBlock block;
            block.text = word;
            block.rect = at;
            block.fontSize = 12;
            block.textEdited = true;
            added = doc.overlayOcrText(0, std::vector<TextBlock>{block}, false);
        } else {
            added = doc.addFreeText(0, at, word, QString(), 12, Qt::black);
        }
        const QString out = path(name);
        if (!added || !doc.save(out))
            return -1.0;
        for (const pdftools::WordBox& box : pdftools::wordBoxes(out, 0))
            if (box.text == word)
                return box.box.width();
        return 0.0;
    };
    const double clean = widthOn(QStringLiteral("libreoffice-heading.pdf"), QStringLiteral("clean.pdf"));
    const double layered = widthOn(QStringLiteral("tesseract-ru.pdf"), QStringLiteral("layered.pdf"));
    QVERIFY(clean > 0);
    QVERIFY2(std::abs(layered - clean) <= 0.01 * clean, qPrintable(QStringLiteral("%1 against %2").arg(layered).arg(clean)));
    const QString out = path(QStringLiteral("layered.pdf"));
    QVERIFY(qpdfClean(out));
    const QImage shown = pdftools::renderPage(out, 0, 72).convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!shown.isNull());
    int ink = 0;
    for (int y = shown.height() - int(at.bottom()); y < shown.height() - int(at.top()); ++y)
        for (int x = int(at.left()); x < int(at.left() + clean); ++x)
            ink += shown.pixelColor(x, y).value() < 128;
    QVERIFY2(ink > 20, qPrintable(QString::number(ink)));
    // Still an update of the original bytes.
    QVERIFY(fixtures::readFile(out).startsWith(fixtures::readFile(fixtures::realPdf(QStringLiteral("tesseract-ru.pdf")))));
}

// Two pages drawn by one content stream: a line deleted on the first is
// gone from it only, the second keeps every word.
void TestPdfDocumentSave::sharedPageContentStaysOnOtherPages()
{
    const QString source = fixtures::realPdf(QStringLiteral("shared-contents.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    QVERIFY(rewriteBlock(blocks, QStringLiteral("shut off"), QString(), &old));
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("shared.pdf"));
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));
    QVERIFY(qpdfClean(out));
    const QStringList first = pdftools::words(out, 0);
    QVERIFY2(!first.contains(QStringLiteral("water")) && first.contains(QStringLiteral("basement")),
             qPrintable(first.join(' ')));
    QCOMPARE(pdftools::words(out, 1), pdftools::words(source, 1));
    PdfDocument reread;  // the program reads the second page whole too
    QVERIFY(reread.open(out));
    PdfDocument original;
    QVERIFY(original.open(source));
    const auto texts = [](const std::vector<TextBlock>& page) {
        QStringList out;
        for (const TextBlock& block : page)
            out << block.text;
        return out;
    };
    QCOMPARE(texts(reread.extractText(1)), texts(original.extractText(1)));
}

// A repaired file, or one whose pages were changed, saved over itself reads
// in qpdf, poppler and ghostscript: pages in the order the change made them,
// each with the words of the page it came from.
void TestPdfDocumentSave::savedFileReadsElsewhere_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("textFrom");     // the undamaged file the words come from
    QTest::addColumn<PageOp>("op");
    QTest::addColumn<QList<int>>("origins");  // page of textFrom each saved page shows; -1 blank
    const QString groff = QStringLiteral("groff-columns.pdf");
    const QString tex = QStringLiteral("pdftex-objstm-manual.pdf");
    const QList<int> texPages{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("trailer without /Size") << "damaged/groff-trailer-nosize.pdf" << groff << PageOp::None
                                           << QList<int>{0, 1};
    QTest::newRow("trailer with /Siqe 7") << "damaged/groff-trailer-siqe.pdf" << groff << PageOp::None
                                          << QList<int>{0, 1};
    QTest::newRow("trailer without /Size, page turned") << "damaged/groff-trailer-nosize.pdf" << groff
                                                        << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("trailer with /Siqe 7, page deleted") << "damaged/groff-trailer-siqe.pdf" << groff
                                                        << PageOp::Delete << QList<int>{1};
    QTest::newRow("trailer with /Siqe 7, page inserted") << "damaged/groff-trailer-siqe.pdf" << groff
                                                         << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("pdfunite's short /Size, page deleted") << "pdfunite-merged.pdf" << "pdfunite-merged.pdf"
                                                          << PageOp::Delete << QList<int>{1, 2};
    QTest::newRow("table, page turned") << groff << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("table, page inserted") << groff << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("table, page moved") << groff << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("table, page deleted") << groff << groff << PageOp::Delete << QList<int>{1};
    QTest::newRow("object streams, page turned") << tex << tex << PageOp::Rotate << texPages;
    QTest::newRow("object streams, page inserted") << tex << tex << PageOp::Insert
                                                   << QList<int>{0, -1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("object streams, page moved") << tex << tex << PageOp::Move << texPages.mid(1) + QList<int>{0};
    QTest::newRow("object streams, page deleted") << tex << tex << PageOp::Delete << texPages.mid(1);
    // Nothing drawn first: pages pdfium never loaded are written from what it
    // knows of the file alone.
    QList<int> sixty;
    for (int page = 0; page < 60; ++page)
        sixty << page;
    const QList<int> inserted = QList<int>{0, -1} + sixty.mid(1);
    const QList<int> moved = sixty.mid(1) + QList<int>{0};
    const QList<std::pair<QString, QString>> registries{
        {QStringLiteral("contents of generation 1"), QStringLiteral("xref/registry-gen1.pdf")},
        {QStringLiteral("offsets zeroed"), QStringLiteral("xref/registry-zero-offsets.pdf")},
        {QStringLiteral("offsets shifted"), QStringLiteral("xref/registry-shifted.pdf")}};
    for (const auto& [name, registry] : registries) {
        QTest::addRow("%s, page turned", qPrintable(name)) << registry << registry << PageOp::Rotate << sixty;
        QTest::addRow("%s, page inserted", qPrintable(name)) << registry << registry << PageOp::Insert << inserted;
        QTest::addRow("%s, page moved", qPrintable(name)) << registry << registry << PageOp::Move << moved;
        QTest::addRow("%s, page deleted", qPrintable(name)) << registry << registry << PageOp::Delete << sixty.mid(1);
    }
    const QString reused = QStringLiteral("xref/groff-reused-number.pdf");
    QTest::newRow("number freed and reused, page inserted") << reused << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("number freed and reused, page deleted") << reused << groff << PageOp::Delete << QList<int>{1};
    // Encrypted with crypt filters, a file attached: read back with the document's own password.
    const QString crypt = QStringLiteral("groff-crypt-filters.pdf");
    QTest::newRow("crypt filters, saved as is") << crypt << groff << PageOp::None << QList<int>{0, 1};
    QTest::newRow("crypt filters, page turned") << crypt << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("crypt filters, page inserted") << crypt << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("crypt filters, page moved") << crypt << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("crypt filters, page deleted") << crypt << groff << PageOp::Delete << QList<int>{1};
    const QString attachment = QStringLiteral("groff-encrypted-attachment.pdf");
    QTest::newRow("encrypted attachment, saved as is") << attachment << groff << PageOp::None << QList<int>{0, 1};
    QTest::newRow("encrypted attachment, page turned") << attachment << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("encrypted attachment, page inserted") << attachment << groff << PageOp::Insert
                                                         << QList<int>{0, -1, 1};
    QTest::newRow("encrypted attachment, page moved") << attachment << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("encrypted attachment, page deleted") << attachment << groff << PageOp::Delete << QList<int>{1};
    const QString password = QStringLiteral("groff-attachment-password.pdf");
    QTest::newRow("attachment password, page turned") << password << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("attachment password, page inserted") << password << groff << PageOp::Insert
                                                        << QList<int>{0, -1, 1};
    QTest::newRow("attachment password, page moved") << password << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("attachment password, page deleted") << password << groff << PageOp::Delete << QList<int>{1};
    // Rewritten after a removal: the sealed attachment keeps its number, dictionary and bytes.
    QTest::newRow("attachment password, line edited") << password << groff << PageOp::EditLine << QList<int>{0, 1};
    const QString named = QStringLiteral("groff-attachment-crypt-filter.pdf");
    QTest::newRow("attachment's own crypt filter, page turned") << named << groff << PageOp::Rotate
                                                                << QList<int>{0, 1};
    QTest::newRow("attachment's own crypt filter, page deleted") << named << groff << PageOp::Delete
                                                                 << QList<int>{1};
    QTest::newRow("attachment's own crypt filter, line edited") << named << groff << PageOp::EditLine
                                                                << QList<int>{0, 1};
    // Sound files of unusual writing, through every page operation: content
    // streams of a high generation, inline pictures of random bytes, forms
    // whose numbers pass 32 bits.
    QList<std::pair<QString, QString>> unusual{
        {QStringLiteral("contents of generation 10"), QStringLiteral("xref/groff-generation-10.pdf")},
        {QStringLiteral("contents of generation 65534"), QStringLiteral("xref/groff-generation-65534.pdf")},
        {QStringLiteral("inline pictures of random bytes"), QStringLiteral("content/groff-inline-images.pdf")},
        {QStringLiteral("forms with numbers past 32 bits"), QStringLiteral("content/groff-huge-form-numbers.pdf")}};
    // A /P written as the positive number of its bits; the pages below
    // chains of /Pages nodes (mupdf reads no page 1,000 levels down).
    const QString positiveP = QStringLiteral("unusual/groff-aes256-positive-p.pdf");
    QTest::newRow("AES-256, positive /P, saved as is") << positiveP << groff << PageOp::None << QList<int>{0, 1};
    QTest::newRow("AES-256, positive /P, page turned") << positiveP << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("AES-256, positive /P, page inserted") << positiveP << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("AES-256, positive /P, page deleted") << positiveP << groff << PageOp::Delete << QList<int>{1};
    // The page's own text of an encrypted file is never removed; a text layer is added.
    QTest::newRow("AES-256, positive /P, text layer added") << positiveP << groff << PageOp::AddLine << QList<int>{0, 1};
    unusual << std::pair{QStringLiteral("page tree 66 levels deep"), QStringLiteral("unusual/groff-tree-66.pdf")}
            << std::pair{QStringLiteral("page tree 100 levels deep"), QStringLiteral("unusual/groff-tree-100.pdf")}
            << std::pair{QStringLiteral("page tree 1,000 levels deep"), QStringLiteral("unusual/groff-tree-1000.pdf")};
    // Twelve pages drawing with one /ExtGState, /Pattern and /ColorSpace of them all.
    const QString shared = QStringLiteral("pdftex-tikz-shared-states.pdf");
    QTest::newRow("pgf manual, shared graphics states, line edited") << shared << shared << PageOp::EditLine
                                                                     << sixty.mid(0, 12);
    // Pages put into a scan from other files, the first edited there: a
    // sticky note whose pop-up names it back, as viewers write it and as
    // qpdf writes it again; form widgets; layers a file turns off; a file
    // carried by an annotation; a manual whose page tree lists a font.
    const QString scan = QStringLiteral("gs-scan.pdf");
    const QList<std::pair<QString, QString>> putIn{
        {QStringLiteral("sticky note"), QStringLiteral("qpdf-comment-annotation.pdf")},
        {QStringLiteral("sticky note of direct appearances"), QStringLiteral("qpdf-comment-annotation-direct.pdf")},
        {QStringLiteral("sticky note written by qpdf"), QStringLiteral("qpdf-comment-annotation-out.pdf")},
        {QStringLiteral("form widgets"), QStringLiteral("qpdf-appearances-a.pdf")}};
    for (const auto& [name, file] : putIn) {
        QTest::addRow("scan, %s put in", qPrintable(name)) << scan << file << PageOp::PutIn << QList<int>{-1, 0};
        QTest::addRow("scan, %s put in and edited", qPrintable(name)) << scan << file << PageOp::PutInEdit
                                                                      << QList<int>{-1, 0};
    }
    for (const QString& layered : {QStringLiteral("layers-off.pdf"), QStringLiteral("pdftex-ocg-layers.pdf")}) {
        QTest::addRow("scan, %s put in", qPrintable(layered)) << scan << layered << PageOp::PutIn << QList<int>{-1, 0};
        QTest::addRow("%s, page duplicated", qPrintable(layered)) << layered << layered << PageOp::Duplicate
                                                                  << QList<int>{0, 0};
    }
    // Layers off by name put into a document whose layers are off by its
    // base state, and the other way round: what each hides stays hidden.
    QTest::newRow("layers off by base state, layers off by name put in")
        << "layers-base-off.pdf" << "layers-off.pdf" << PageOp::PutIn << QList<int>{0, 0};
    QTest::newRow("layers off by name, layers off by base state put in")
        << "layers-off.pdf" << "layers-base-off.pdf" << PageOp::PutIn << QList<int>{0, 0};
    QTest::newRow("layers off by base state, page duplicated")
        << "layers-base-off.pdf" << "layers-base-off.pdf" << PageOp::Duplicate << QList<int>{0, 0};
    QTest::newRow("scan, page carrying an attached file put in") << scan << "qpdf-attach-file.pdf" << PageOp::PutIn
                                                                 << QList<int>{-1, 0};
    QTest::newRow("scan, page of a manual whose tree lists a font put in")
        << scan << "damaged/tree-font-kid.pdf" << PageOp::PutIn << QList<int>{-1, 0};
    QTest::newRow("sticky note, page duplicated") << "qpdf-comment-annotation.pdf" << "qpdf-comment-annotation.pdf"
                                                  << PageOp::Duplicate << QList<int>{0, 0};
    for (const auto& [name, file] : unusual) {
        QTest::addRow("%s, page turned", qPrintable(name)) << file << groff << PageOp::Rotate << QList<int>{0, 1};
        QTest::addRow("%s, page inserted", qPrintable(name)) << file << groff << PageOp::Insert << QList<int>{0, -1, 1};
        QTest::addRow("%s, page moved", qPrintable(name)) << file << groff << PageOp::Move << QList<int>{1, 0};
        QTest::addRow("%s, page deleted", qPrintable(name)) << file << groff << PageOp::Delete << QList<int>{1};
        QTest::addRow("%s, line edited", qPrintable(name)) << file << groff << PageOp::EditLine << QList<int>{0, 1};
    }
}

void TestPdfDocumentSave::savedFileReadsElsewhere()
{
    QFETCH(QString, file);
    QFETCH(QString, textFrom);
    QFETCH(PageOp, op);
    QFETCH(QList<int>, origins);
    const QString source = fixtures::realPdf(textFrom);
    const QString target = path(QStringLiteral("elsewhere-%1.pdf").arg(fileTag()));
    QVERIFY(QFile::copy(fixtures::realPdf(file), target));
    PdfDocument doc;
    QVERIFY2(doc.open(target), qPrintable(doc.lastError()));
    QVERIFY2(applyPageOp(doc, op, source), qPrintable(doc.lastError()));
    QVERIFY2(doc.save(target), qPrintable(doc.lastError()));

    const QString password = attachmentPassword(file);
    const QString refused = refusedElsewhere(target, password);
    QVERIFY2(refused.isEmpty(), qPrintable(refused));
    // An attached file keeps its bytes, and its encryption with them.
    const auto encrypted = [](const QString& pdf) {
        return pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--is-encrypted"), pdf}).exitCode == 0;
    };
    QCOMPARE(encrypted(target), encrypted(fixtures::realPdf(file)));
    // A page put in brings the file its annotation carries, the document's
    // own attached files staying as they were.
    QByteArray firstAttached = firstAttachment(fixtures::realPdf(file), password, path(QStringLiteral("attached-before")));
    if (firstAttached.isEmpty() && copiesPage(op))
        firstAttached = firstAttachment(source, password, path(QStringLiteral("attached-before")));
    QCOMPARE(firstAttachment(target, password, path(QStringLiteral("attached-after"))), firstAttached);
    const QMap<QString, QByteArray> attached = attachedFiles(fixtures::realPdf(file), password);
    QCOMPARE(attachedFiles(target, password), attached);
    QVERIFY(!attached.values().contains(QByteArray()));
    const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(target, password);
    QCOMPARE(counts.qpdf, int(origins.size()));
    QCOMPARE(counts.poppler, int(origins.size()));
    QCOMPARE(counts.mupdf, int(origins.size()));
    // mupdf gives up on page trees about 100 levels deep (fewer once an
    // update is appended): qpdf, poppler and ghostscript read the deep ones.
    const bool mupdfReadsTree = !file.startsWith(QLatin1String("unusual/groff-tree-"));
    const int last = int(origins.size()) - 1;
    for (int page = 0; page < int(origins.size()); ++page) {
        const QStringList expected = origins[page] < 0 ? QStringList() : sortedWords(source, origins[page]);
        const bool edited = (op == PageOp::EditLine && page == 0) || (op == PageOp::PutInEdit && page == last);
        if (op == PageOp::AddLine && page == 0) {
            QStringList withAdded = expected + QStringLiteral("Новые слова здесь").split(QLatin1Char(' '));
            withAdded.sort();
            QCOMPARE(sortedWords(target, page), withAdded);
        } else if (edited)
            QVERIFY(sortedWords(target, page).contains(QStringLiteral("Новые")));
        else
            QCOMPARE(sortedWords(target, page), expected);
        if (mupdfReadsTree)
            QCOMPARE(pdftools::mupdfText(target, page, password).trimmed().isEmpty(), expected.isEmpty());
        // A copied page reads in mupdf as its page does: what a layer hides stays hidden.
        if (copiesPage(op) && page == last && !edited)
            QCOMPARE(mupdfWords(target, page), mupdfWords(source, origins[page]));
    }
}

// A save whose bytes do not read back leaves the user's file byte for byte
// and tells why; the document keeps its change and saves once the fault is gone.
void TestPdfDocumentSave::faultyResultLeavesTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<PageOp>("op");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason");  // how the error begins
    QTest::addColumn<Road>("road");
    const QString unreadable = QStringLiteral("Записанный файл не читается другими программами: ");
    QTest::newRow("appended, /Size misspelt") << "groff-columns.pdf" << PageOp::Rotate
                                              << replaceLast("/Size", "/Siqe") << unreadable << Road::Save;
    QTest::newRow("rewritten, /Size misspelt") << "groff-columns.pdf" << PageOp::Delete
                                               << replaceLast("/Size", "/Siqe") << unreadable << Road::Save;
    QTest::newRow("repaired, /Size misspelt") << "damaged/groff-trailer-nosize.pdf" << PageOp::None
                                              << replaceLast("/Size", "/Siqe") << unreadable << Road::Save;
    QTest::newRow("appended, cut short at a page") << "groff-columns.pdf" << PageOp::Insert
                                                   << replaceLast("/Type /Page*", QByteArray()) << unreadable << Road::Save;
    QTest::newRow("rewritten, the page tree listing itself")
        << "groff-columns.pdf" << PageOp::Rotate << rewrittenWith([](QPDF& pdf) {
               QPDFObjectHandle tree = pdf.getRoot().getKey("/Pages");
               tree.getKey("/Kids").appendItem(tree);
           })
        << unreadable << Road::Save;
    QTest::newRow("object streams, cross-reference misplaced") << "pdftex-objstm-manual.pdf" << PageOp::Move
                                                               << replaceLast("startxref\n", "startxref\n9")
                                                               << unreadable << Road::Save;
    // Attached files sealed by a password of their own, spoilt as a writer
    // that cannot decrypt them would: readers open the file, no reader the
    // attachment.
    const QString attachments = QStringLiteral("Вложенные файлы записанного файла отличаются от исходных.");
    QTest::newRow("sealed attachment, its crypt filter dropped")
        << "groff-attachment-crypt-filter.pdf" << PageOp::Delete
        << replaceLast("[ /Crypt /FlateDecode ]", "[ /FlateDecode ]       ") << attachments << Road::Save;
    QTest::newRow("sealed attachment, a stored byte changed") << "groff-attachment-password.pdf" << PageOp::Rotate
                                                             << attachmentByteTurned() << attachments << Road::Save;
    QTest::newRow("sealed attachment, rewritten with a byte changed")
        << "groff-attachment-password.pdf" << PageOp::EditLine << attachmentByteTurned() << attachments << Road::Save;
    QTest::newRow("sealed attachment, its permissions changed")
        << "groff-encrypted-attachment.pdf" << PageOp::Move << replaceLast("/P -4", "/P -8")
        << QStringLiteral("Шифрование записанного файла отличается от исходного.") << Road::Save;
    // Files every reader opens, whose pages are not what the document holds.
    const QString untouched = QStringLiteral("Страница 2 записанного файла отличается от исходной");
    QTest::newRow("turned page, untouched page drawn on") << "groff-columns.pdf" << PageOp::Rotate << lineAddedTo(1)
                                                          << untouched << Road::Save;
    QTest::newRow("moved page, untouched page drawn on") << "pdftex-objstm-manual.pdf" << PageOp::Move
                                                         << lineAddedTo(1) << untouched << Road::Save;
    QTest::newRow("edited line, untouched page drawn on") << "groff-columns.pdf" << PageOp::EditLine
                                                          << lineAddedTo(1) << untouched << Road::Save;
    // A page put in is held to the page it came from, whether it was edited or not.
    QTest::newRow("page put in, its fonts lost") << "groff-columns.pdf" << PageOp::PutIn << fontsTakenFrom(2)
                                                 << QStringLiteral("Страница 3 записанного файла отличается от исходной") << Road::Save;
    QTest::newRow("page put in and edited, its fonts lost")
        << "groff-columns.pdf" << PageOp::PutInEdit << fontsTakenFrom(2)
        << QStringLiteral("Содержимое страницы 3 записанного файла ссылается на ресурс") << Road::Save;
    QTest::newRow("edited line, its fonts lost") << "groff-columns.pdf" << PageOp::EditLine << fontsTakenFrom(0)
                                                 << QStringLiteral("Содержимое страницы 1 записанного файла ссылается на ресурс") << Road::Save;
    QTest::newRow("edited heading, the picture a form draws with the page's resources lost")
        << "form-page-resources.pdf" << PageOp::EditLine << resourceTakenFrom(0, "/XObject", "/Im1")
        << QStringLiteral("Содержимое страницы 1 записанного файла ссылается на ресурс /Im1") << Road::Save;
    // A turn before or after the edit changes no mark of the page: it is checked turned back.
    QTest::newRow("page turned, then a line edited, a form's picture lost")
        << "gs-form-picture.pdf" << PageOp::TurnThenEdit << formPicturesTakenFrom(0)
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки.") << Road::Save;
    QTest::newRow("line edited, then the page turned, a form's picture lost")
        << "gs-form-picture.pdf" << PageOp::EditThenTurn << formPicturesTakenFrom(0)
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки.") << Road::Save;
    QTest::newRow("line edited, page turned, another line edited, a form's picture lost")
        << "gs-form-picture.pdf" << PageOp::EditTurnEdit << formPicturesTakenFrom(0)
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки.") << Road::Save;
    QTest::newRow("edited line, its new text not shown") << "groff-columns.pdf" << PageOp::EditLine
                                                         << writtenTextHiddenOn(0)
                                                         << QStringLiteral("На странице 1 записанного файла не читается записанный текст «Новые слова здесь»") << Road::Save;
    // A moved line whose "ю" is drawn by the code the page's Unicode map also
    // reads as "ю", whose glyph the face does not hold: its text reads the same.
    QTest::newRow("moved line, a letter by another code") << "pdftex-twocodes.pdf" << PageOp::MoveLine
                                                          << movedTextRecoded(0, "FE", "40")
                                                          << QStringLiteral("На странице 1 записанного файла перенесённый текст выглядит не так") << Road::Save;
    // A line set in Type 3 faces moved, drawn where it went so that no reader shows it, or not at all.
    const QString movedLost = QStringLiteral("На странице 1 записанного файла перенесённый текст выглядит не так");
    QTest::newRow("moved Type 3 line, drawn invisibly") << "gs-greek-guide.pdf" << PageOp::MoveLine
                                                        << movedContentChanged(0, fixtures::drawnInvisibly) << movedLost << Road::Save;
    QTest::newRow("moved Type 3 line, left out") << "gs-bengali-example.pdf" << PageOp::MoveLine
                                                 << movedContentChanged(0, fixtures::leftOut) << movedLost << Road::Save;
    // A line deleted whose text is put back under the white-outs: it reads where it stood.
    QTest::newRow("deleted line, its text put back") << "pdftex-underscore.pdf" << PageOp::DeleteLine
                                                     << deletedTextPutBack(fixtures::realPdf("pdftex-underscore.pdf"), 0)
                                                     << QStringLiteral("На странице 1 записанного файла остался удалённый текст «x8664linux") << Road::Save;
    // A word of a line corrected whose word "пере-ві́рка", moved on to make
    // room, loses its stress accent (pdfTeX draws it apart, over the letter,
    // shifted along the line as the word is).
    QTest::newRow("corrected line, a mark of a word left dropped")
        << "pdftex-ukrainian-rules.pdf" << PageOp::CorrectWord
        << contentReplaced(0, QStringLiteral("(32\\.37 2\\.08 Td ?\\[ ?-?[0-9.]+ )<01>\\]TJ"), QStringLiteral("\\1<>]TJ"))
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки") << Road::Save;
    // A justified line of citations in faces whose widths pdfium cuts, a
    // word made longer: the words after it, drawn again where they close
    // up, stand a point and a half farther on.
    QTest::newRow("corrected line, the words after it drawn farther on")
        << "gost-ugost2008n-cites.pdf" << PageOp::CorrectWord << movedContentChanged(0, fixtures::drawnUnder("1 0 0 1 1.5 0"))
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки") << Road::Save;
    // The words moved on to make room drawn otherwise than the page drew
    // them: in another face of the page (its codes read otherwise), or in
    // outline, each glyph the same letter where it stood.
    QTest::newRow("corrected line, the kept words set in another face")
        << "pdftex-ukrainian-rules.pdf" << PageOp::CorrectWord
        << movedContentChanged(0, fixtures::setInAnotherFace("/F30", "/F31"))
        << QStringLiteral("На странице 1 записанного файла не читается записанный текст") << Road::Save;
    QTest::newRow("corrected line, the kept words drawn in outline")
        << "pdftex-ukrainian-rules.pdf" << PageOp::CorrectWord << movedContentChanged(0, fixtures::withTextState("Tr", "1"))
        << QStringLiteral("На странице 1 записанного файла слово «") << Road::Save;
    QTest::newRow("pdfTeX edited line, its new text not shown") << "pdftex-page.pdf" << PageOp::EditLine
                                                                << writtenTextHiddenOn(0)
                                                                << QStringLiteral("На странице 1 записанного файла не читается") << Road::Save;
    // Pages drawing with one /ExtGState of them all: the other pages draw
    // in the document as before, whatever becomes of the file. The files
    // written after an edit beside the document are read back as a save is.
    const QString shared = QStringLiteral("pdftex-tikz-shared-states.pdf");
    QTest::newRow("pgf manual, edited line, untouched page drawn on") << shared << PageOp::EditLine << lineAddedTo(1)
                                                                     << untouched << Road::Save;
    QTest::newRow("pgf manual, compressed copy, untouched page drawn on")
        << shared << PageOp::EditLine << lineAddedTo(1) << untouched << Road::CompressedCopy;
    QTest::newRow("pgf manual, extracted pages, untouched page drawn on")
        << shared << PageOp::EditLine << lineAddedTo(1) << untouched << Road::ExtractedPages;
    QTest::newRow("pgf manual, extracted pages, a graphics state of an untouched page lost")
        << shared << PageOp::EditLine << resourceTakenFrom(1, "/ExtGState", "/pgf@ca0.25") << untouched
        << Road::ExtractedPages;
    // Comments without appearances of their own: an untouched page's comment is where it was.
    const QString comments = QStringLiteral("dvipdfmx-comments.pdf");
    QTest::newRow("edited line, an untouched page's comment moved") << comments << PageOp::EditLine
                                                                    << annotationMovedOn(1) << untouched << Road::Save;
    QTest::newRow("extracted pages, an untouched page's comment moved")
        << comments << PageOp::EditLine << annotationMovedOn(1) << untouched << Road::ExtractedPages;
    QTest::newRow("compressed copy, edited line's fonts lost")
        << "groff-columns.pdf" << PageOp::EditLine << fontsTakenFrom(0)
        << QStringLiteral("Содержимое страницы 1 записанного файла ссылается на ресурс") << Road::CompressedCopy;
    QTest::newRow("extracted pages, edited line's new text not shown")
        << "pdftex-page.pdf" << PageOp::EditLine << writtenTextHiddenOn(0)
        << QStringLiteral("На странице 1 записанного файла не читается") << Road::ExtractedPages;
}

void TestPdfDocumentSave::faultyResultLeavesTheFile()
{
    QFETCH(QString, file);
    QFETCH(PageOp, op);
    QFETCH(Fault, fault);
    QFETCH(QString, reason);
    QFETCH(Road, road);
    const QString target = path(QStringLiteral("faulty-%1.pdf").arg(fileTag()));
    QVERIFY(QFile::copy(fixtures::realPdf(file), target));
    const QByteArray before = fixtures::readFile(target);
    const QStringList filesBefore = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    PdfDocument doc;
    QVERIFY(doc.open(target));
    QVERIFY2(applyPageOp(doc, op), qPrintable(doc.lastError()));
    const int pages = doc.pageCount();
    const QString written = road == Road::Save ? target : path(QStringLiteral("beside-%1.pdf").arg(fileTag()));
    QList<int> every;
    for (int page = 0; page < pages; ++page)
        every << page;
    const auto write = [&] {
        switch (road) {
        case Road::Save:
            return doc.save(target);
        case Road::CompressedCopy:
            return doc.compressTo(written, {.imageDpi = 600, .recompressSmallImages = false, .rasterizePages = false});
        case Road::ExtractedPages:
            return doc.extractPageSubset(every, written);
        }
        return false;
    };

    pdfengine::SavedFileCheck::setFaultForTests(fault);
    const bool saved = write();
    pdfengine::SavedFileCheck::setFaultForTests({});
    QVERIFY(!saved);
    QVERIFY2(doc.lastError().startsWith(reason), qPrintable(doc.lastError()));
    QCOMPARE(fixtures::readFile(target), before);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QCOMPARE(doc.pageCount(), pages);
    // The pages the user did not touch draw as the file's (pages put in come after them): the view shows them so.
    PdfDocument original;
    QVERIFY(original.open(fixtures::realPdf(file)));
    for (int page = 1; touchesFirstPageOnly(op) && page < original.pageCount(); ++page)
        QVERIFY2(doc.renderPage(page, 0.5, 0) == original.renderPage(page, 0.5, 0), qPrintable(QString::number(page + 1)));

    QVERIFY2(write(), qPrintable(doc.lastError()));
    QCOMPARE(pdftools::pageCount(written), pages);
}

// Pages whose content leaves the drawing position moved (early pdfTeX's
// origin, a q left open after it): a recognised line written as a searchable
// layer, alone or before an edit of another line, lands where it was put, as
// qpdf, poppler and mupdf read the page.
void TestPdfDocumentSave::writtenLinesStayOnMovedOriginPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("edit");  // then the line "Questions from the floor" retyped
    QTest::newRow("recognised layer, origin left moved") << "pdftex-moved-origin.pdf" << false;
    QTest::newRow("recognised layer, then an edit") << "pdftex-moved-origin.pdf" << true;
    QTest::newRow("recognised layer, a q left open, then an edit") << "pdftex-unclosed-q.pdf" << true;
}

void TestPdfDocumentSave::writtenLinesStayOnMovedOriginPages()
{
    QFETCH(QString, file);
    QFETCH(bool, edit);
    const QString source = fixtures::realPdf(file);
    const QString out = path(QStringLiteral("origin-%1.pdf").arg(fileTag()));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const double height = doc.pageSize(0).height();
    const auto centreOf = [&](const QString& word, const QString& pdf) {
        for (const pdftools::WordBox& box : pdftools::wordBoxes(pdf, 0))
            if (box.text == word)
                return box.box.center();
        return QPointF(-1e6, -1e6);
    };
    QStringList expected{QStringLiteral("Опись")};  // each found on the saved page
    {
        TextBlock::Line line;
        line.text = QStringLiteral("Опись принята");
        line.rect = QRectF(140, 90, 160, 14);
        line.fontSize = 12;
        line.invisibleText = true;
        TextBlock block;
        block.lines = {line};
        block.text = line.text;
        block.rect = block.originalRect = line.rect;
        block.invisibleText = true;
        QVERIFY2(doc.overlayOcrText(0, {block}, false), qPrintable(doc.lastError()));
    }
    if (edit) {
        std::vector<TextBlock> blocks = doc.extractText(0);
        TextBlock old;
        QVERIFY(rewriteBlock(blocks, QStringLiteral("Questions from the floor"), QStringLiteral("Вопросы приняты"), &old));
        QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
        expected << QStringLiteral("Вопросы");
    }
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

    QVERIFY(qpdfClean(out));
    const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(out);
    QVERIFY(counts.qpdf == 1 && counts.poppler == 1 && counts.mupdf == 1);
    const QString mupdf = pdftools::mupdfText(out, 0);
    const QRectF page(0, 0, doc.pageSize(0).width(), height);
    for (const QString& word : expected) {
        QVERIFY2(mupdf.contains(word), qPrintable(word + QStringLiteral(" not in: ") + mupdf.simplified()));
        QVERIFY2(page.contains(centreOf(word, out)), qPrintable(word + QStringLiteral(" is not on the page")));
    }
    // The rest of the page stays where it was.
    for (const QString& kept : {QStringLiteral("Budget."), QStringLiteral("clerks")})
        QVERIFY2(QLineF(centreOf(kept, out), centreOf(kept, source)).length() < 0.5, qPrintable(kept));
}

// Lines only dragged, one after the other and saved each time: each keeps
// its glyphs where they stood in it (raised and lowered letters of the TeX
// logos too) and its face, no font is added, and no font is dropped that the
// content still names.
void TestPdfDocumentSave::movedLinesKeepTheirGlyphsAndFonts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("lines");  // a phrase of each line dragged, in turn
    QTest::newRow("/Rotate 90, LaTeX logo") << "tex-t2a-names-rot90.pdf"
                                            << QStringList{"Система", "Документация к заявке"};
    QTest::newRow("/Rotate 90, pdfTeX manual heading") << "pdftex-manual-rot90.pdf"
                                                       << QStringList{"Раздел 1", "Поставщик обязуется"};
    QTest::newRow("upright TeX page") << "tex-t2a-names.pdf" << QStringList{"Система", "Замечание"};
    // Content that leaves the drawing position moved, and a q left open after the move.
    QTest::newRow("origin left moved") << "pdftex-moved-origin.pdf"
                                       << QStringList{"The archive received", "will be held"};
    QTest::newRow("a q left open after the move") << "pdftex-unclosed-q.pdf" << QStringList{"The archive received"};
    // Faces whose Unicode map gives one letter two codes, or that hold variant glyphs of a letter.
    // Each drag lands where the line below stood before it was dragged itself.
    QTest::newRow("pdfTeX, two codes read as one letter") << "pdftex-twocodes.pdf"
                                                          << QStringList{"Каждую вершину", "ломаную линию"};
    QTest::newRow("LuaTeX, small capitals and oldstyle figures") << "luatex-smallcaps.pdf"
                                                                 << QStringList{"Oldstyle", "hold small", "Small Capitals"};
    QTest::newRow("dvipdfmx, small capitals and ligatures") << "dvipdfmx-variants.pdf"
                                                            << QStringList{"Its first", "is designed", "Office Register"};
    // Bitmap Type 3 faces: TeX through dvips and ghostscript, and pdfTeX's own pk fonts.
    QTest::newRow("TeX bitmap faces, kerned line") << "tex-type3.pdf" << QStringList{"Kerning: AVAW"};
    QTest::newRow("pdfTeX pk fonts, last line of a paragraph") << "pdftex-type3.pdf"
                                                               << QStringList{"The staff check the register weekly."};
    // Real manuals: each reader places a line's glyphs by its own rounding of
    // the widths, and the lines around reach into the moved line's box.
    QTest::newRow("GOST bibliography, T2A faces") << "gost-t2a-bibliography.pdf" << QStringList{"1. Василенко"};
    QTest::newRow("R FAQ contents, Texinfo") << "texinfo-r-faq.pdf" << QStringList{"Legalese"};
    QTest::newRow("groff through Ghostscript 8.53") << "gs-grdemo.pdf" << QStringList{"as explained in the grops"};
    QTest::newRow("MetaPost manual") << "metapost-manual.pdf" << QStringList{"quantities. Additional features"};
    QTest::newRow("pdfTeX 1.40.7, Russian note") << "pdftex-lcyw.pdf" << QStringList{"port for any of the mentioned"};
    QTest::newRow("pdfTeX guide, directory-tree entries") << "texlive-ru-tree.pdf"
                                                          << QStringList{"win32 Программы", "i386-linux"};
    QTest::newRow("Ghostscript 6.50, ZapfDingbats bullet without widths") << "gs-zapfdingbats.pdf"
                                                                          << QStringList{"most remarkable", "I was walking"};
    QTest::newRow("pdfTeX 1.0, a line of leader dots lower than its face") << "pdftex-leader-dots.pdf"
                                                                          << QStringList{". . . . . . . ."};
    QTest::newRow("Ukrainian rules, stress accents above the line") << "pdftex-ukrainian-rules.pdf"
                                                                      << QStringList{"носі він може розділятися"};
    // Ghostscript's Type 3 faces set far below a point under their own
    // matrices: Greek letters of no advance, each before a blank glyph, codes
    // read as control characters, a line of Type 3, Type 1 and symbol faces.
    QTest::newRow("Ghostscript 6.50, Greek guide's Type 3 faces") << "gs-greek-guide.pdf"
                                                                  << QStringList{"*TORQZY", "B%4#H59/<?05OQk"};
    QTest::newRow("Ghostscript 5.50, Greek hyphenation test") << "gs-greek-hyphenation.pdf" << QStringList{"(a'b"};
    QTest::newRow("Ghostscript 9.0, Bengali faces set at 0.12") << "gs-bengali-example.pdf"
                                                                << QStringList{"bAiR efrbAr", "ebflArI aenk"};
    // Rulers whose ticks stand between labels far apart: no line runs the
    // height of the page over the moved one's place.
    QTest::newRow("dvips through Ghostscript 8.54, test flow rulers") << "gs-ieeetran-testflow-rulers.pdf"
                                                                      << QStringList{"Note: The math italic"};
    QTest::newRow("dvips through Ghostscript 8.54, test flow title") << "gs-ieeetran-testflow-title.pdf"
                                                                     << QStringList{"A Test for"};
    // A sample cut to its crop box, far inside the media box (dvips through
    // Ghostscript 9.26): poppler draws the crop box, as the check compares it.
    QTest::newRow("Ghostscript 9.26, a page cut to its crop box") << "gs-musixtex-tab-cropped.pdf"
                                                                   << QStringList{"This is a MusiXTeX tablature"};
    // A thesis cover by XeTeX over a page-high picture, CJK faces beside Times.
    QTest::newRow("XeTeX 0.99992, thesis cover") << "xetex-thesis-cover.pdf"
                                                 << QStringList{"论文答辩日期", "灵犀一指心法"};
    // A line of a face slanted by its matrix, read upright, moved over its neighbour.
    QTest::newRow("distilled, a quotation slanted by the font matrix")
        << "gs-slanted.pdf" << QStringList{"complete; the register agrees", "The report was filed"};
    // qpdf's overlay draws the page's own content as a form, then a stamp
    // over it: the lines move inside that form, one after the other.
    QTest::newRow("pdfTeX 1.40.14 page drawn by a form under a stamp")
        << "pdftex-l2tabu-stamped.pdf" << QStringList{"Nous remercions", "Traduction française"};
}

void TestPdfDocumentSave::movedLinesKeepTheirGlyphsAndFonts()
{
    QFETCH(QString, file);
    QFETCH(QStringList, lines);
    const QPointF drag(12, -18);  // points, y up
    QString current = fixtures::realPdf(file);
    const auto fontNames = [](const QString& pdf) {
        QStringList names;
        for (const pdftools::FontRow& font : pdftools::listFonts(pdf))
            names << font.name;
        names.sort();
        return names;
    };
    const QStringList fontsBefore = fontNames(current);
    for (int round = 0; round < int(lines.size()); ++round) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        std::vector<TextBlock> blocks = doc.extractText(0);
        const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return !b.isImage && b.lines.size() == 1 && b.text.contains(lines[round]);
        });
        QVERIFY2(it != blocks.end(), qPrintable(lines[round]));
        const QRectF from = TurnedBox(it->originalRect, it->originalRotation).bounds();
        it->rect.translate(drag);
        for (TextBlock::Line& line : it->lines) {
            line.rect.translate(drag);
            for (TextBlock::Line::Word& word : line.words)
                word.rect.translate(drag);
        }
        const QStringList lineWords = it->text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
        const QString out = path(QStringLiteral("moved-%1-%2.pdf").arg(fileTag()).arg(round));
        QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

        QCOMPARE(fontNames(out), fontsBefore);
        const pdftools::Result read = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
        QVERIFY2(read.exitCode == 0 && read.err.isEmpty(), qPrintable(read.err));
        const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(out);
        QVERIFY(counts.qpdf == 1 && counts.poppler == 1 && counts.mupdf == 1);
        const QString mupdf = pdftools::mupdfText(out, 0).simplified();
        const QString mupdfBefore = pdftools::mupdfText(current, 0).simplified();  // a symbol face it reads as nothing
        // Every glyph of the line moved by the drag, each word as it stood.
        const QList<pdftools::WordBox> was = pdftools::wordBoxes(current, 0);
        const QList<pdftools::WordBox> now = pdftools::wordBoxes(out, 0);
        int found = 0, unique = 0;  // a line of leader dots has no word of its own: its pixels tell
        for (const pdftools::WordBox& before : was) {
            // A hyphen that ends a line is read as "-" whatever glyph drew it: such a word is left out.
            if (!lineWords.contains(before.text) || before.text.endsWith(QLatin1Char('-')) ||
                std::count_if(was.begin(), was.end(), [&](const pdftools::WordBox& w) { return w.text == before.text; }) != 1)
                continue;
            ++unique;
            QVERIFY2(mupdf.contains(before.text) || !mupdfBefore.contains(before.text),
                     qPrintable(before.text + QStringLiteral(" not in: ") + mupdf));
            const auto after = std::find_if(now.begin(), now.end(), [&](const pdftools::WordBox& w) { return w.text == before.text; });
            QVERIFY2(after != now.end(), qPrintable(before.text));
            const QRectF expected = before.box.translated(drag.x(), -drag.y());
            QVERIFY2(std::abs(after->box.left() - expected.left()) < 0.3 && std::abs(after->box.top() - expected.top()) < 0.3 &&
                         std::abs(after->box.width() - expected.width()) < 0.3 &&
                         std::abs(after->box.height() - expected.height()) < 0.3,
                     qPrintable(QStringLiteral("%1: %2,%3 %4x%5 for %6,%7 %8x%9").arg(before.text)
                                    .arg(after->box.left()).arg(after->box.top()).arg(after->box.width())
                                    .arg(after->box.height()).arg(expected.left()).arg(expected.top())
                                    .arg(expected.width()).arg(expected.height())));
            ++found;
        }
        QVERIFY(found > 0 || unique == 0);
        // Its area looks, in two readers, as the source's at its old place moved by the drag.
        constexpr double kDpi = 144;
        const double height = pdftools::pageSizes(current).value(0).height();
        const QRectF area(from.x(), height - from.bottom(), from.width(), from.height());
        const QPoint shift(qRound(drag.x() * kDpi / 72), qRound(-drag.y() * kDpi / 72));
        const int poppler = movedAreaDifferences(pdftools::renderPage(current, 0, int(kDpi)),
                                                 pdftools::renderPage(out, 0, int(kDpi)), area, kDpi, shift);
        const int mupdfPixels = movedAreaDifferences(pdftools::mupdfRenderPage(current, 0, int(kDpi)),
                                                     pdftools::mupdfRenderPage(out, 0, int(kDpi)), area, kDpi, shift);
        const auto pdfiumRender = [&](const QString& pdf) {
            PdfDocument read;
            return read.open(pdf) ? read.renderPage(0, kDpi / 72, 0) : QImage();
        };
        const int pdfium = movedAreaDifferences(pdfiumRender(current), pdfiumRender(out), area, kDpi, shift, 1);
        QVERIFY2(poppler >= 0 && poppler <= 2 && mupdfPixels >= 0 && mupdfPixels <= 2 && pdfium >= 0 && pdfium <= 2,
                 qPrintable(QStringLiteral("%1: %2 pixels differ in poppler, %3 in mupdf, %4 in pdfium")
                                .arg(lines[round]).arg(poppler).arg(mupdfPixels).arg(pdfium)));
        current = out;
    }
}

QTEST_MAIN(TestPdfDocumentSave)
#include "tst_pdfdocument_save.moc"
