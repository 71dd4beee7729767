#pragma once
// Shared helpers of the page view tests: documents written to a temporary
// folder and a view of an exact viewport size.

#include "BlockFixtures.h"
#include "EngineBlocker.h"
#include "NativeTextLayer.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "PdfView.h"
#include "PdfiumApi.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTextEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace viewtest {

// Opens the PDF bytes from a file in dir; fails the test when it cannot.
inline std::unique_ptr<PdfDocument> openPdf(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    if (!fixtures::writeFile(path, bytes))
        return nullptr;
    auto doc = std::make_unique<PdfDocument>();
    if (!doc->open(path))
        return nullptr;
    return doc;
}

// Pages of the given heights (and width), each with one word near its top.
inline QByteArray pagesOfHeights(const QList<double>& heights, double width = 595)
{
    QList<fixtures::PageSpec> pages;
    for (int i = 0; i < heights.size(); ++i) {
        fixtures::PageSpec pageSpec;
        pageSpec.width = width;
        pageSpec.height = heights[i];
        pageSpec.runs = {{QStringLiteral("Page%1").arg(i + 1), 20, heights[i] - 40, 12}};
        pages << pageSpec;
    }
    return fixtures::pagesPdf(pages);
}

// A text block of one line, at its original place.
inline TextBlock textBlock(const QString& text, const QRectF& rect, float size = 12)
{
    return fixtures::oneLineBlock(text, rect, size);
}

// A shown view whose viewport is exactly width x height pixels.
inline std::unique_ptr<PdfView> makeView(int width, int height)
{
    auto view = std::make_unique<PdfView>();
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(width, height);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    return view;
}

// The viewport once the page images it shows have arrived from the render
// thread (the first paint asks for them).
inline QImage grabViewport(PdfView& view)
{
    view.viewport()->grab();
    if (!QTest::qWaitFor([&view] { return !view.pageRendersPending(); }, 10000))
        qWarning("page images still pending");
    return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box of dark pixels inside an area of an image.
inline QRect darkPixelBounds(const QImage& image, const QRect& area)
{
    QRect bounds;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 100)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

// Three lines of a real text layer, and a small one.
inline QByteArray linesPdf()
{
    fixtures::PageSpec page;
    page.width = 400;
    page.height = 400;
    page.runs = {{QStringLiteral("Alpha beta gamma delta"), 60, 300, 12},
                 {QStringLiteral("Second line here"), 60, 284, 12},
                 {QStringLiteral("Third line below"), 60, 268, 12},
                 {QStringLiteral("Small nine point line"), 60, 240, 9}};
    return fixtures::pagesPdf({page});
}

// The index of the first block whose text holds the given text, -1 when none.
inline int blockWith(const PdfView& view, const QString& text)
{
    for (int i = 0; i < int(view.blocks().size()); ++i) {
        if (view.blocks()[size_t(i)].text.contains(text))
            return i;
    }
    return -1;
}

// Writes the view's blocks into their page as the main window does before a
// save, saves to a new file and returns its path (empty when a step failed).
inline QString saveEdits(PdfView& view, PdfDocument& doc, const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (!doc.overlayOcrText(view.blockPage(), view.ocrBlocksWithEdits(), false) || !doc.save(path))
        return QString();
    return path;
}

// The first page of a PDF as pdftotext -layout reads it.
inline QString layoutText(const QString& pdf)
{
    return pdftools::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"),
                                                       QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                                       pdf, QStringLiteral("-")})
        .out;
}

// The viewport point over a PDF point of a page, through zoom and turn.
inline QPoint viewportPointOf(const PdfView& view, int page, const QPointF& pdfPoint)
{
    const double height = view.document()->pageSize(page).height();
    return view.viewportPointForPageTopPoint(page, QPointF(pdfPoint.x(), height - pdfPoint.y()));
}

// A press at a viewport point, moves by delta in steps, a release: every event
// goes to the widget under the press, as the pointer's grab sends them.
inline void dragInViewport(PdfView& view, const QPoint& from, const QPoint& delta, int steps)
{
    QWidget* target = view.viewport()->childAt(from);
    if (!target)
        target = view.viewport();
    const auto send = [&](QEvent::Type type, const QPoint& at, Qt::MouseButtons buttons) {
        const QPoint global = view.viewport()->mapToGlobal(at);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons, {});
        QApplication::sendEvent(target, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int i = 1; i <= steps; ++i)
        send(QEvent::MouseMove, from + delta * i / steps, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + delta, Qt::NoButton);
}

// Key presses carrying text: QTest's key clicks know ASCII only.
inline void typeText(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

// What lies under a viewport point: the open editor's frame or the viewport.
inline QWidget* widgetAt(PdfView& view, const QPoint& at)
{
    QWidget* target = view.viewport()->childAt(at);
    return target ? target : view.viewport();
}

// A click sent to whatever lies under the viewport point, as the pointer would.
inline void clickAt(PdfView& view, const QPoint& at)
{
    QWidget* target = widgetAt(view, at);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view.viewport(), at));
    QCoreApplication::processEvents();  // the frame hands a text click on queued
}

// Whatever was open closes (unless kept open), a click opens the line under
// the point and a double click there selects a word: the words selected,
// empty when no editor opened.
inline QString doubleClickedWord(PdfView& view, const QPoint& at, bool keepOpen = false)
{
    if (!keepOpen)
        clickAt(view, QPoint(4, 4));
    clickAt(view, at);
    if (!view.activeTextEditor())
        return {};
    QWidget* target = widgetAt(view, at);
    QTest::mouseDClick(target, Qt::LeftButton, {}, target->mapFrom(view.viewport(), at));
    QCoreApplication::processEvents();
    return view.activeTextEditor() ? view.activeTextEditor()->textCursor().selectedText() : QString();
}

// A document opened from bytes and shown in a view of width x height pixels;
// the view lets go of the document before either is destroyed.
struct ShownPdf {
    std::unique_ptr<PdfDocument> doc;
    std::unique_ptr<PdfView> view;
    ~ShownPdf()
    {
        if (view)
            view->setDocument(nullptr);
    }
};

inline ShownPdf showPdf(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes, int width, int height)
{
    auto doc = openPdf(dir, name, bytes);
    auto view = makeView(width, height);
    if (doc && view)
        view->setDocument(doc.get());
    return {std::move(doc), std::move(view)};
}

// The page's own text layer as the window hands it to the view for editing:
// cleaned, boxes grown.
inline std::vector<TextBlock> editableBlocks(const PdfDocument& doc)
{
    return cleanedNativeTextBlocks(doc.extractText(0), {});
}

// A real producer's first page shown at zoom in a view of width x height
// pixels, its own text layer loaded for editing, edit mode on.
inline ShownPdf showRealPage(const QTemporaryDir& dir, const QString& file, int width, int height, double zoom)
{
    auto doc = openPdf(dir, file, fixtures::readFile(fixtures::realPdf(file)));
    auto view = makeView(width, height);
    if (doc && view) {
        view->setDocument(doc.get());
        view->setZoom(zoom);
        view->setOcrBlocks(editableBlocks(*doc), 0, false);
        view->setEditMode(true);
    }
    return {std::move(doc), std::move(view)};
}

} // namespace viewtest
