#include "InsertRibbonTab.h"
#include "OpenPdfDialog.h"
#include "PdfDocument.h"
#include "ScanTab.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>

#include <algorithm>

using namespace windowtest;

namespace {

QList<QDialog*> scanWindows(MainWindow& window)
{
    QList<QDialog*> found;
    for (QDialog* dialog : window.findChildren<QDialog*>())
        if (dialog->findChild<ScanTab*>())
            found << dialog;
    return found;
}

// Scans one page through the shown window's tab at the given resolution.
void scanPage(MainWindow& window, const QString& resolution)
{
    ScanTab* tab = window.findChild<ScanTab*>();
    QVERIFY(tab);
    auto* list = tab->findChildren<QComboBox*>(QStringLiteral("ScanCombo")).at(2);
    list->setCurrentIndex(list->findText(resolution));
    QSignalSpy pages(tab, &ScanTab::pageScanned);
    tab->findChild<QPushButton*>(QStringLiteral("ScanScanButton"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(pages.size(), 1, 10000);
}

QByteArray sha256(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

}  // namespace

class TestScanWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void twoCallsOneWindow();
    void closingClearsTheWindow();
    void bothButtonsOpenIt();
    void scannedPageSize_data();
    void scannedPageSize();
    void scanJoinsOpenDocumentUnsaved();
    void scanWithoutDocumentOpensUntitledTab();
    void pageTooLargeChangesNothing_data();
    void pageTooLargeChangesNothing();
    void statusLinesInTheInterfaceLanguage_data();
    void statusLinesInTheInterfaceLanguage();

private:
    std::unique_ptr<QTemporaryDir> m_temp;
};

void TestScanWindow::initTestCase()
{
    qputenv("VORN_SCAN_BACKEND", "demo");
}

void TestScanWindow::init()
{
    isolateSettings();
    m_temp = std::make_unique<QTemporaryDir>();
    qputenv("TMPDIR", m_temp->path().toUtf8());
}

void TestScanWindow::twoCallsOneWindow()
{
    MainWindow window(AppProduct::editor);
    invoke(window, "showScanDialog");
    QCOMPARE(scanWindows(window).size(), 1);
    ScanTab* tab = window.findChild<ScanTab*>();
    tab->findChildren<QComboBox*>(QStringLiteral("ScanCombo")).at(3)->setCurrentIndex(1);
    scanWindows(window).first()->hide();
    invoke(window, "showScanDialog");
    QCOMPARE(scanWindows(window).size(), 1);
    QVERIFY(scanWindows(window).first()->isVisible());
    QCOMPARE(window.findChild<ScanTab*>(), tab);
    QCOMPARE(tab->currentParams().colorMode, 1);  // the tab kept its state
}

void TestScanWindow::closingClearsTheWindow()
{
    MainWindow window(AppProduct::editor);
    invoke(window, "showScanDialog");
    QPointer<QDialog> first = scanWindows(window).first();
    first->findChild<ScanTab*>()->findChildren<QComboBox*>(QStringLiteral("ScanCombo")).at(3)->setCurrentIndex(1);
    first->close();
    QTRY_VERIFY(first.isNull());
    QVERIFY(scanWindows(window).isEmpty());
    invoke(window, "showScanDialog");  // would reach the deleted window if the members stayed
    QCOMPARE(scanWindows(window).size(), 1);
    ScanTab* fresh = window.findChild<ScanTab*>();
    auto* devices = fresh->findChildren<QComboBox*>(QStringLiteral("ScanCombo")).at(0);
    QCOMPARE(devices->currentText(), QStringLiteral("Demo Virtual Scanner"));
}

void TestScanWindow::bothButtonsOpenIt()
{
    MainWindow window(AppProduct::editor);
    auto* insertTab = window.findChild<InsertRibbonTab*>();
    QVERIFY(insertTab);
    QToolButton* scanner = buttonByTip(insertTab, QStringLiteral("Сканер"));
    QVERIFY(scanner);
    scanner->click();
    QCOMPARE(scanWindows(window).size(), 1);
    QPointer<QDialog> scanWindow = scanWindows(window).first();
    scanWindow->close();
    QTRY_VERIFY(scanWindow.isNull());

    invoke(window, "showOpenPdfDialog");
    QPointer<OpenPdfDialog> open = window.findChild<OpenPdfDialog*>();
    QVERIFY(open);
    QPushButton* fromOpen = nullptr;
    for (QPushButton* button : open->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Сканер"))
            fromOpen = button;
    QVERIFY(fromOpen);
    fromOpen->click();
    QTRY_VERIFY(open.isNull());
    QCOMPARE(scanWindows(window).size(), 1);
}

void TestScanWindow::scannedPageSize_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSizeF>("points");
    QTest::newRow("A4 at 300 dpi snaps to A4") << QSize(2480, 3508) << 300 << QSizeF(595, 842);
    QTest::newRow("test device at 150 dpi") << QSize(472, 590) << 150 << QSizeF(226.56, 283.2);
    QTest::newRow("A4 at 150 dpi") << QSize(1240, 1754) << 150 << QSizeF(595, 842);
    QTest::newRow("96 dpi, not near a paper size") << QSize(600, 300) << 96 << QSizeF(450, 225);
    QTest::newRow("A4 landscape at 150 dpi") << QSize(1754, 1240) << 150 << QSizeF(842, 595);
    QTest::newRow("a tiny scan keeps its size") << QSize(10, 10) << 1200 << QSizeF(0.6, 0.6);
}

void TestScanWindow::scannedPageSize()
{
    QFETCH(QSize, pixels);
    QFETCH(int, dpi);
    QFETCH(QSizeF, points);
    QImage image(pixels, QImage::Format_Grayscale8);
    image.setDotsPerMeterX(scanDotsPerMeter(dpi));
    image.setDotsPerMeterY(scanDotsPerMeter(dpi));
    const QSizeF size = scanPageSize(image);
    QVERIFY2(qAbs(size.width() - points.width()) < 1.0 && qAbs(size.height() - points.height()) < 1.0,
             qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
}

void TestScanWindow::scanJoinsOpenDocumentUnsaved()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    const QString path = showWithPdf(window, dir, 1);
    const QByteArray before = sha256(path);
    invoke(window, "showScanDialog");
    scanPage(window, QStringLiteral("300 dpi"));
    QTRY_COMPARE(window.currentDocument()->pageCount(), 2);
    const QSizeF page = window.currentDocument()->pageSize(1);
    QVERIFY2(qAbs(page.width() - 595) < 1 && qAbs(page.height() - 842) < 1,
             qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
    QVERIFY(window.currentDocument()->isModified());
    QVERIFY(window.windowTitle().contains(QStringLiteral(" *")));
    QCOMPARE(statusText(window), QStringLiteral("Страница 2 добавлена из сканера"));
    QCOMPARE(sha256(path), before);
    QVERIFY(QDir(m_temp->path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

void TestScanWindow::scanWithoutDocumentOpensUntitledTab()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    QVERIFY(!window.isDocumentLoaded());
    invoke(window, "showScanDialog");
    scanPage(window, QStringLiteral("150 dpi"));
    QTRY_VERIFY(window.isDocumentLoaded());
    QCOMPARE(window.currentDocument()->pageCount(), 1);
    QVERIFY(window.currentDocument()->filePath().isEmpty());
    QVERIFY(window.currentDocument()->isModified());
    QCOMPARE(tabs(window)->count(), 1);
    QCOMPARE(statusText(window), QStringLiteral("Создан PDF из отсканированной страницы"));
    QVERIFY(QDir(m_temp->path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

void TestScanWindow::pageTooLargeChangesNothing_data()
{
    QTest::addColumn<bool>("withDocument");
    QTest::addColumn<QString>("status");
    QTest::newRow("no document") << false << "Не удалось создать PDF из отсканированной страницы";
    QTest::newRow("open document") << true << "Ошибка добавления отсканированной страницы";
}

// A picture at about 1 dpi would make a page wider than a PDF allows.
void TestScanWindow::pageTooLargeChangesNothing()
{
    QFETCH(bool, withDocument);
    QFETCH(QString, status);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    if (withDocument)
        showWithPdf(window, dir, 1);
    QImage image(300, 10, QImage::Format_Grayscale8);
    image.fill(0);
    image.setDotsPerMeterX(40);
    image.setDotsPerMeterY(40);
    QVERIFY(QMetaObject::invokeMethod(&window, "onPageScanned", Q_ARG(QImage, image)));
    // The status says why.
    QVERIFY2(statusText(window).startsWith(status + QStringLiteral(": ")) &&
                 statusText(window).contains(QStringLiteral("14400")),
             qPrintable(statusText(window)));
    QCOMPARE(window.isDocumentLoaded(), withDocument);
    if (withDocument) {
        QCOMPARE(window.currentDocument()->pageCount(), 1);
        QVERIFY(!window.currentDocument()->isModified());
    }
}

// The tab's status lines change while the window is open, after it was
// translated: they follow the interface language all the same.
void TestScanWindow::statusLinesInTheInterfaceLanguage_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"de", "en", "ru"})
        QTest::newRow(language) << language;
}

void TestScanWindow::statusLinesInTheInterfaceLanguage()
{
    QFETCH(QString, language);
    QSettings().setValue(QStringLiteral("ui/language"), language);
    const auto restore = qScopeGuard([] { qApp->setProperty("uiLanguage", QVariant()); });
    MainWindow window(AppProduct::editor);
    invoke(window, "showScanDialog");
    ScanTab* tab = window.findChild<ScanTab*>();
    QVERIFY(tab);
    QTest::qWait(20);  // the pass queued by the showing
    auto* status = tab->findChild<QLabel*>(QStringLiteral("ScanStatusLabel"));
    tab->findChild<QPushButton*>(QStringLiteral("ScanPreviewButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!tab->isBusy(), 10000);
    const QString previewed = status->text();
    scanPage(window, QStringLiteral("150 dpi"));
    const QString scanned = status->text();
    const bool russian = language == QLatin1String("ru");
    for (const QString& text : {previewed, scanned}) {
        QVERIFY(!text.isEmpty());
        QVERIFY2(std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.script() == QChar::Script_Cyrillic; })
                     == russian,
                 qPrintable(text));
    }
    QVERIFY(previewed != scanned);
}

QTEST_MAIN(TestScanWindow)
#include "tst_scanwindow.moc"
