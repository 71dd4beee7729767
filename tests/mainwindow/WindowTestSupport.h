#pragma once
// Building a main window in a test: isolated settings, fixture files and the
// window's parts found by their object names.

#include "MainWindow.h"
#include "PageThumbnailPanel.h"
#include "PdfFixtures.h"
#include "PdfView.h"
#include "QuietWait.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>

namespace windowtest {

// Long work that outlasts the quiet time goes on behind the window. A test
// that reads the work's outcome as soon as the call returns gives it all the
// time a busy machine needs, and the usual time back when it ends.
constexpr int kPatientQuietMs = 120000;
struct PatientQuietTime {
    PatientQuietTime() { setQuietTime(kPatientQuietMs); }
    ~PatientQuietTime() { setQuietTime(kQuietMs); }
    PatientQuietTime(const PatientQuietTime&) = delete;
    PatientQuietTime& operator=(const PatientQuietTime&) = delete;
};

// Settings in a folder of this run's own, emptied for each test: test
// programs running at the same time, from any checkout, never share a store.
inline void isolateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    static const QTemporaryDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QSettings().clear();
}

// The bytes written into dir under name; the path.
inline QString writeFixture(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    if (!fixtures::writeFile(path, bytes))
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

// A PDF of the given number of A4 pages, written into dir.
inline QString writePdf(const QTemporaryDir& dir, const QString& name, int pages)
{
    QStringList texts;
    for (int i = 0; i < pages; ++i)
        texts << QStringLiteral("Page %1").arg(i + 1);
    return writeFixture(dir, name, fixtures::textPdf(texts));
}

// A PDF whose pages carry one line of native text each, at the given
// heights in points from the bottom (so the window edits them as blocks).
inline QString writeLinesPdf(const QTemporaryDir& dir, const QString& name, const QList<double>& heights)
{
    QList<fixtures::PageSpec> pages;
    for (int i = 0; i < heights.size(); ++i) {
        fixtures::PageSpec page;
        page.runs << fixtures::TextRun{QStringLiteral("Line of page %1").arg(i + 1), 72, heights[i], 20};
        pages << page;
    }
    return writeFixture(dir, name, fixtures::pagesPdf(pages));
}

// The text of a page of a file as a fresh reader sees it.
inline QString savedText(const QString& path, int page)
{
    PdfDocument saved;
    return saved.open(path) ? saved.extractAllText(page) : QString();
}

// Shown smaller than an A4 page at 100 %, so pages scroll.
inline void showSmall(MainWindow& window)
{
    window.resize(900, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("window not exposed");
}

// Shown and active, so the window's shortcuts take keys.
inline void showActive(MainWindow& window)
{
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        qFatal("window not active");
}

// An untitled document of the given number of blank pages in a tab of its
// own, as the start-up builds one.
inline void adoptUntitled(MainWindow& window, int pages)
{
    PdfDocument* document = window.currentDocument();
    document->createEmpty();
    for (int i = 0; i < pages; ++i)
        document->insertBlankPage(i, QSizeF(595, 842));
    window.adoptInitialDocumentAsTab();
}

// A one-page PDF of some megabytes (a picture of noise, stored raw): its save
// lasts long enough to be stopped.
inline QString largePdf(const QTemporaryDir& dir)
{
    constexpr int kSide = 1400;
    fixtures::ImageSpec noise;
    noise.width = kSide;
    noise.height = kSide;
    noise.samples.resize(qsizetype(kSide) * kSide * 3);
    QRandomGenerator random(46);
    random.fillRange(reinterpret_cast<quint32*>(noise.samples.data()), noise.samples.size() / 4);
    noise.matrix = fixtures::placement(50, 200, 495, 495);
    return writeFixture(dir, QStringLiteral("large.pdf"), fixtures::imagePdf({noise}));
}

// Shown small with a PDF of the given number of pages, a.pdf, open in it.
inline QString showWithPdf(MainWindow& window, const QTemporaryDir& dir, int pages)
{
    showSmall(window);
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), pages);
    window.openFile(path);
    return path;
}

inline PdfView* view(MainWindow& window)
{
    return window.findChild<PdfView*>(QStringLiteral("DocumentScroll"));
}

// The file open in edit mode, its page's text shown as blocks.
inline void startEditing(MainWindow& window, const QString& path)
{
    window.resize(900, 700);
    showActive(window);
    window.openFile(path);
    window.onToggleEditMode();
    QVERIFY(view(window)->hasOcrBlocks());
}

// Keys typed where the user's keys go now.
inline void typeText(const QString& text)
{
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// A click on a block of the view opens it in the editor; the text is typed
// at the end of the block's.
inline void typeAtBlockEnd(PdfView* pdfView, int index, const QString& text)
{
    QTest::mouseClick(pdfView->viewport(), Qt::LeftButton, {}, pdfView->ocrBlockScreenRect(index).center());
    QTRY_VERIFY(pdfView->hasActiveTextEditor());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    typeText(text);
}

inline PageThumbnailPanel* thumbnails(MainWindow& window)
{
    return window.findChild<PageThumbnailPanel*>(QStringLiteral("ThumbScroll"));
}

inline QTabBar* tabs(MainWindow& window)
{
    return window.findChild<QTabBar*>(QStringLiteral("DocumentTabs"));
}

inline QString statusText(MainWindow& window)
{
    return window.findChild<QWidget*>(QStringLiteral("StatusBar"))->findChild<QLabel*>()->text();
}

inline QString pageCountText(MainWindow& window)
{
    for (QLabel* label : window.findChildren<QLabel*>(QStringLiteral("PanelMeta"))) {
        if (!label->property("outlineEmpty").toBool())
            return label->text();
    }
    return {};
}

inline QStringList tabTexts(MainWindow& window)
{
    QStringList texts;
    QTabBar* bar = tabs(window);
    for (int i = 0; i < bar->count(); ++i)
        texts << bar->tabText(i);
    return texts;
}

// A button by its text: its tool tip alone or followed by its keys.
inline QToolButton* buttonByTip(QWidget* parent, const QString& text)
{
    for (QToolButton* button : parent->findChildren<QToolButton*>()) {
        if (button->text() == text || button->toolTip() == text || button->toolTip().startsWith(text + " ("))
            return button;
    }
    return nullptr;
}

inline QWidget* homePage(MainWindow& window)
{
    return window.findChild<QTabWidget*>(QStringLiteral("Ribbon"))->widget(0);
}

inline QToolButton* homeButton(MainWindow& window, const QString& text)
{
    return buttonByTip(homePage(window), text);
}

inline void invoke(MainWindow& window, const char* slot)
{
    QVERIFY(QMetaObject::invokeMethod(&window, slot));
}

} // namespace windowtest
