#pragma once
// Shared by the save tests: the page operations and edits they make, the
// measures of a page's text and pixels before and after, and the writer's
// faults the save must see.

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

#include <functional>

namespace savetest {

QMap<QString, int> wordCounts(const QStringList& words);

// The raw (still encoded) bytes of the content streams of a page.
QList<QByteArray> rawContents(const QString& pdf, int pageIndex);

// Share of pixels outside the box (points, bottom-left origin) that differ.
double changedShareOutside(const QImage& before, const QImage& after, const QRectF& box, double pageHeight, double dpi);

// Pixels with ink inside the boxes (points, bottom-left origin; each less its
// edge pixel where it is wide enough) of a render at dpi.
int inkInside(const QImage& render, const std::vector<QRectF>& boxes, double pageHeight, double dpi);

// Pixels of box (points, top-left origin) that differ between two renders at dpi.
int changedPixelsInside(const QImage& before, const QImage& after, const QRectF& box, double dpi);

int objectStreams(const QString& pdf);

bool qpdfClean(const QString& pdf);

// Turns the block holding phrase into text or, when text is empty, deletes it.
bool rewriteBlock(std::vector<TextBlock>& blocks, const QString& phrase, const QString& text, TextBlock* old);

// CorrectWord: "складах" (or, on a page without it, "Kauers") of the first
// line holding it gets "і" after it.
// PutIn: page 0 of another file (the document's own when none is named)
// appended; PutInEdit: the same, then its first block rewritten; Duplicate:
// page 0 extracted to a file of its own and appended, as the window
// duplicates a page.
enum class PageOp { None, Rotate, Insert, Move, Delete, EditLine, MoveLine, DeleteLine, AddLine, TurnThenEdit, EditThenTurn,
                    EditTurnEdit, CorrectWord, PutIn, PutInEdit, Duplicate };

// Whether the last page of the document after op is a copy of another page.
bool copiesPage(PageOp op);

// The longest line of page 0 dragged down by points, lines and words with
// it; deleted where points is 0.
bool dragLongestLine(PdfDocument& doc, double points);

// The first block of the page holding phrase rewritten.
bool editBlockWith(PdfDocument& doc, const QString& phrase, int pageIndex = 0);

// from: the file PutIn and PutInEdit take their page from.
bool applyPageOp(PdfDocument& doc, PageOp op, const QString& from = QString());

// The current row's name as a file name.
QString fileTag();

// Whether grey lies within the greys of image around (x, y), reach pixels each way.
bool greyNear(int grey, const QImage& image, int x, int y, int reach, int tolerance);

// Pixels of area (points, top-left origin) whose grey in before differs in
// after once moved by shift (pixels), counted only where before showed
// nothing at the moved place: text the line now stands over is left out.
// reach: pixels a reader that places glyphs on whole pixels may put one off.
int movedAreaDifferences(const QImage& before, const QImage& after, const QRectF& area, double dpi, const QPoint& shift,
                         int reach = 0);

QStringList sortedWords(const QString& pdf, int pageIndex);

QStringList mupdfWords(const QString& pdf, int pageIndex);

// Why other readers refuse pdf, empty when qpdf, poppler and ghostscript
// (when installed) all read it without a complaint.
// The password qpdf and mupdf need for a fixture whose attached file is
// sealed by one the document opens without.
QString attachmentPassword(const QString& fixture);

// Every attached file's bytes by its key, as qpdf reads them with the password.
QMap<QString, QByteArray> attachedFiles(const QString& pdf, const QString& password);

// The first attached file's bytes as poppler reads them; empty where there is none.
QByteArray firstAttachment(const QString& pdf, const QString& password, const QString& into);

QString refusedElsewhere(const QString& pdf, const QString& password = QString());

// A writer's fault: what it does to the bytes a save is about to write.
using Fault = std::function<void(QByteArray&)>;

// The last occurrence of what replaced by by, and all after it when what ends with '*'.
Fault replaceLast(const QByteArray& what, const QByteArray& by);

// A byte of the first attached file's stored data turned over.
Fault attachmentByteTurned();

// The bytes parsed by qpdf, changed, and written again whole: a file every
// reader opens whose pages hold something else.
Fault rewrittenWith(const std::function<void(QPDF&)>& change);

// The text the program moved on page pageIndex as edit leaves it.
Fault movedContentChanged(int pageIndex, const fixtures::ContentEdit& edit);

// Every code from in the strings of the text the program moved on page
// pageIndex drawn by code to instead (two hexadecimal digits each).
Fault movedTextRecoded(int pageIndex, const QByteArray& from, const QByteArray& to);

// The page's own content stream of page pageIndex holding text given the
// source's content again: deleted text put back under the program's
// white-outs, which hide it from the eye but not from a reader.
Fault deletedTextPutBack(const QString& source, int pageIndex);

// A name page pageIndex looks up taken from its resources.
Fault resourceTakenFrom(int pageIndex, const std::string& category, const std::string& name);

// The first annotation of page pageIndex moved a point right.
Fault annotationMovedOn(int pageIndex);

// A line drawn on page pageIndex.
Fault lineAddedTo(int pageIndex);

// Every match of the pattern what in page pageIndex's content streams
// replaced by to (\1 in it names what the first group matched).
Fault contentReplaced(int pageIndex, const QString& what, const QString& to);

// The fonts of page pageIndex gone from its own resources.
Fault fontsTakenFrom(int pageIndex);

// The pictures the forms of page pageIndex draw no longer drawn (their
// names still resolve: only a render sees the loss).
Fault formPicturesTakenFrom(int pageIndex);

// The text the program wrote on page pageIndex no longer shown: its
// text-showing operators, after the program's first mark, take another
// operator's name.
Fault writtenTextHiddenOn(int pageIndex);

// Where the bytes a fault changes go: the file saved over, or a file the
// document writes after an edit beside it.
enum class Road { Save, CompressedCopy, ExtractedPages };

// Whether op leaves every page but the first where it was and as it was.
bool touchesFirstPageOnly(PageOp op);

}  // namespace savetest

Q_DECLARE_METATYPE(savetest::Fault)

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
