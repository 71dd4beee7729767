#pragma once
// Documents and gestures for the OCR and text-layer tests of the main window:
// a PDF of native and scanned pages, typing into a block, marking a region
// with the mouse, answering prompts, and reading a saved page back.

#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "PdfView.h"
#include "WorkProgressDialog.h"

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace ocrwindow {

constexpr double kScanWidth = 300;
constexpr double kScanHeight = 200;
constexpr double kScanScale = 2.0;

// A page image with one large line near the top and one near the bottom.
inline QImage scannedPage(const QString& top, const QString& bottom)
{
    QImage image(int(kScanWidth * kScanScale), int(kScanHeight * kScanScale), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(40);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(30, 90), top);
    painter.drawText(QPointF(30, 330), bottom);
    return image;
}

// A page of native text: two header columns (the right one a little higher)
// and two body lines.
inline fixtures::PageSpec nativePage()
{
    fixtures::PageSpec page;
    page.runs << fixtures::TextRun{QStringLiteral("Left header"), 40, 790, 14}
              << fixtures::TextRun{QStringLiteral("Right header"), 380, 796, 14}
              << fixtures::TextRun{QStringLiteral("First paragraph line"), 40, 600, 14}
              << fixtures::TextRun{QStringLiteral("Second paragraph line"), 40, 500, 14};
    return page;
}

// The native page, then one scanned page per pair of lines (an empty pair
// gives a blank scan), written to dir/name.
inline QString mixedPdf(const QTemporaryDir& dir, const QString& name, const QList<QStringList>& scans)
{
    const QString path = dir.filePath(name);
    const QString native = dir.filePath(QStringLiteral("native-") + name);
    if (!fixtures::writeFile(native, fixtures::pagesPdf({nativePage()})))
        qFatal("cannot write %s", qPrintable(native));
    PdfDocument doc;
    if (!doc.open(native))
        qFatal("cannot open %s", qPrintable(native));
    for (const QStringList& lines : scans) {
        if (!doc.appendRenderedPage(scannedPage(lines.value(0), lines.value(1)), QSizeF(kScanWidth, kScanHeight)))
            qFatal("cannot append a scan");
    }
    if (!doc.save(path))
        qFatal("cannot save %s", qPrintable(path));
    return path;
}

inline QStringList blockTexts(const PdfView& view)
{
    QStringList texts;
    for (const TextBlock& block : view.blocks())
        texts << block.text.simplified();
    return texts;
}

inline int blockContaining(const PdfView& view, const QString& word)
{
    const QStringList texts = blockTexts(view);
    for (int i = 0; i < texts.size(); ++i)
        if (texts[i].contains(word, Qt::CaseInsensitive))
            return i;
    return -1;
}

// Replaces a block's text as the user does: activate, select all, type.
inline void retypeBlock(PdfView& view, int index, const QString& text)
{
    view.activateOcrBlock(index);
    QTextEdit* editor = view.activeTextEditor();
    if (!editor)
        qFatal("block %d has no editor", index);
    editor->selectAll();
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &release);
    }
    view.deactivateOcrBlock();
}

// While it lives, answers every modal prompt (not the progress of work) by
// clicking the button with the given text (or rejecting it when there is
// none) and keeps the prompts' texts; its timer ends with it.
class PromptAnswers {
public:
    explicit PromptAnswers(QString buttonText = QString())
        : button(std::move(buttonText))
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            // A long save shows its progress; that is no prompt. The class
            // has no meta-object of its own: its name is not known to Qt.
            if (!dialog || !dialog->isVisible() || dynamic_cast<WorkProgressDialog*>(dialog))
                return;
            QStringList parts{dialog->windowTitle()};
            QPushButton* answer = nullptr;
            for (QObject* child : dialog->findChildren<QObject*>()) {
                if (const QVariant text = child->property("text"); text.isValid() && !text.toString().isEmpty())
                    parts << text.toString();
                if (auto* push = qobject_cast<QPushButton*>(child); push && push->text() == button)
                    answer = push;
            }
            seen << parts.join(QLatin1Char('|'));
            if (answer)
                answer->click();
            else
                dialog->reject();
        });
        timer.start();
    }
    QStringList seen;

private:
    QString button;
    QTimer timer;
};

// Rejects every prompt while it lives and keeps their texts.
using ModalCloser = PromptAnswers;

// Marks a page-top region with a left-button drag and asks for its
// recognition from the context menu, as the user does in read mode.
inline void recogniseRegionByMouse(PdfView& view, int page, const QRectF& pageTopRect)
{
    const QRect r = view.viewportRectForPageTopRect(page, pageTopRect);
    QWidget* viewport = view.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, r.topLeft());
    QTest::mouseMove(viewport, r.center());
    QTest::mouseMove(viewport, r.bottomRight());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, r.bottomRight());
    QTimer pick;
    pick.setInterval(10);
    QObject::connect(&pick, &QTimer::timeout, [&pick] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Распознать текст"))
                menu->setActiveAction(action);
        pick.stop();
        QTest::keyClick(menu, Qt::Key_Return);
    });
    pick.start();
    QTest::mouseClick(viewport, Qt::RightButton, {}, r.center());
}

// A key on a window as the user types it: window shortcuts need the window
// active, which a prompt or dialog shown before may have taken.
inline void keyOnWindow(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        QApplication::setActiveWindow(window);  // the offscreen platform keeps a dialog active otherwise
    }
    QTest::keyClick(window, Qt::Key(key), modifiers);
}

// One page of a saved file as pdftotext reads it (empty when it cannot run).
inline QString savedPageText(const QString& path, int page)
{
    const QString number = QString::number(page + 1);
    return pdftools::run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), number, QStringLiteral("-l"), number,
                                                       QStringLiteral("-enc"), QStringLiteral("UTF-8"), path,
                                                       QStringLiteral("-")})
        .out.simplified();
}

} // namespace ocrwindow
