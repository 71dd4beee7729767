// TIFF pictures as the user brings them: every picture picker lists them,
// and a TIFF given among other files comes in or is refused with a message,
// never passed over in silence.
#include "FacsimilePaintHost.h"
#include "PageToolsDialog.h"
#include "PdfDocument.h"
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QRegularExpression>
#include <QTabWidget>

using namespace windowtest;

namespace {

QString picture(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/pictures/") + name;
}

// The name patterns of one entry of a picker's list: "Изображения (*.png *.jpg)".
QStringList patternsOf(const QString& filter)
{
    const QRegularExpressionMatch inside = QRegularExpression(QStringLiteral("\\(([^)]*)\\)")).match(filter);
    return inside.hasMatch() ? inside.captured(1).split(u' ', Qt::SkipEmptyParts) : QStringList();
}

// Answers the next open dialog with files of one folder, as typed.
void chooseFiles(prompt::Driver& prompts, const QStringList& paths)
{
    prompts.whenShown([paths](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            dialog->reject();
            return;
        }
        files->setDirectory(QFileInfo(paths.first()).absolutePath());
        for (QAbstractItemView* itemView : files->findChildren<QAbstractItemView*>())
            itemView->clearSelection();
        QStringList quoted;
        for (const QString& path : paths)
            quoted << QLatin1Char('"') + QFileInfo(path).fileName() + QLatin1Char('"');
        files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(quoted.join(u' '));
        dialog->done(QDialog::Accepted);
    });
}

} // namespace

class TiffPicturesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup() { m_window.reset(); }

    void picturePickersListTiff_data()
    {
        QTest::addColumn<QString>("picker");
        for (const char* picker : {"import", "any files", "images", "page strip", "image on the page", "facsimile",
                                   "facsimile editor", "page tools: insert", "page tools: merge"})
            QTest::newRow(picker) << picker;
    }

    // The list a picker opens with shows .tif and .tiff files, and every
    // entry of it that lists pictures lists TIFF too.
    void picturePickersListTiff()
    {
        QFETCH(QString, picker);
        MainWindow& window = openWindow(2);
        paint::FacsimilePaintHost host;
        const std::map<QString, std::function<void()>> open{
            {QStringLiteral("import"), [&] { window.showImportDialog(); }},
            {QStringLiteral("any files"), [&] { window.importFilesAtPosition(MainWindow::ImportSource::AnyFiles, 0); }},
            {QStringLiteral("images"), [&] { window.importFilesAtPosition(MainWindow::ImportSource::Images, 0); }},
            {QStringLiteral("page strip"), [&] { window.onImportPageRequested(0); }},
            {QStringLiteral("image on the page"), [&] { window.onImageRectReady(0, QRectF(72, 72, 100, 100)); }},
            {QStringLiteral("facsimile"), [&] { window.onFacsimileAdd(); }},
            {QStringLiteral("facsimile editor"), [&] { host.loadFile(); }},
            {QStringLiteral("page tools: insert"), [&] { clickOnToolsTab(window, PageToolsDialog::InsertTab, "Обзор..."); }},
            {QStringLiteral("page tools: merge"),
             [&] { clickOnToolsTab(window, PageToolsDialog::MergeTab, "Добавить PDF"); }},
        };
        prompt::Driver prompts;
        QStringList filters;
        QString first;
        prompts.whenShown([&](QDialog* dialog) {
            if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
                filters = files->nameFilters();
                first = files->selectedNameFilter();
            }
            dialog->reject();
        });
        open.at(picker)();
        QCOMPARE(prompts.pending(), 0);
        QVERIFY2(!filters.isEmpty(), "no file picker was shown");
        for (const QString& name : {QStringLiteral("scan.tif"), QStringLiteral("SCAN.TIFF")})
            QVERIFY2(QDir::match(patternsOf(first), name), qPrintable(first + " hides " + name));
        for (const QString& filter : filters) {
            const QStringList patterns = patternsOf(filter);
            if (patterns.contains(QStringLiteral("*.png"))) {
                QVERIFY2(patterns.contains(QStringLiteral("*.tif")) && patterns.contains(QStringLiteral("*.tiff")),
                         qPrintable(filter));
            }
        }
        if (auto* tools = window.findChild<PageToolsDialog*>())
            tools->reject();
    }

    void tiffAmongOtherFiles_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("tiff");    // fixture, copied under the name given
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("added");       // pages: one for each picture, those of the TIFF
        QTest::addColumn<bool>("refused");    // a message names the TIFF
        const QString whole = QStringLiteral("scan-3pages.tif");
        const QString broken = QStringLiteral("scan-3pages-broken.tif");
        // The damaged TIFF's first page comes in before its second fails.
        for (const char* entry : {"images picker", "page strip", "drop"}) {
            const QString e = QString::fromLatin1(entry);
            QTest::addRow("%s: tif", entry) << e << whole << "scan.tif" << 5 << false;
            QTest::addRow("%s: TIFF in capitals", entry) << e << whole << "SCAN.TIFF" << 5 << false;
            QTest::addRow("%s: damaged tif", entry) << e << broken << "broken.tif" << 3 << true;
        }
    }

    void tiffAmongOtherFiles()
    {
        QFETCH(QString, entry);
        QFETCH(QString, tiff);
        QFETCH(QString, name);
        QFETCH(int, added);
        QFETCH(bool, refused);
        QTemporaryDir files;
        QVERIFY(QFile::copy(picture(QStringLiteral("scan-grey.png")), files.filePath(QStringLiteral("a.png"))));
        QVERIFY(QFile::copy(picture(tiff), files.filePath(name)));
        QVERIFY(QFile::copy(picture(QStringLiteral("photo-exif1.jpg")), files.filePath(QStringLiteral("c.jpg"))));
        const QStringList paths{files.filePath(QStringLiteral("a.png")), files.filePath(name),
                                files.filePath(QStringLiteral("c.jpg"))};
        MainWindow& window = openWindow(2);
        prompt::Driver prompts;
        if (entry != QLatin1String("drop"))
            chooseFiles(prompts, paths);
        // Any message shown is noted; there must be one exactly when the TIFF is refused.
        QString message;
        prompts.whenShown([&message](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            message = box ? box->text() : dialog->windowTitle();
            dialog->reject();
        });
        if (entry == QLatin1String("images picker")) {
            window.importFilesAtPosition(MainWindow::ImportSource::Images, 0);
        } else if (entry == QLatin1String("page strip")) {
            window.onImportPageRequested(0);
        } else {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString& path : paths)
                urls << QUrl::fromLocalFile(path);
            data.setUrls(urls);
            QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            // Straight to the window: without a drag under way the application would not deliver it.
            static_cast<QObject*>(&window)->event(&drop);
        }
        if (refused)
            QTRY_VERIFY2(!message.isEmpty(), "the damaged TIFF was passed over in silence");
        QCOMPARE(window.currentDocument()->pageCount(), 2 + added);
        if (refused)
            QVERIFY2(message.contains(name), qPrintable(message));
        else
            QVERIFY2(message.isEmpty(), qPrintable(message));
    }

private:
    MainWindow& openWindow(int pages)
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showWithPdf(*m_window, m_dir, pages);
        return *m_window;
    }

    static void clickOnToolsTab(MainWindow& window, PageToolsDialog::Tab tab, const char* button)
    {
        window.showPageToolsDialog({}, false);
        auto* tools = window.findChild<PageToolsDialog*>();
        QTabWidget* tabs = tools->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
        tabs->setCurrentIndex(tab);
        for (QPushButton* pushed : tabs->widget(tab)->findChildren<QPushButton*>()) {
            if (pushed->text() == QString::fromUtf8(button)) {
                pushed->click();
                return;
            }
        }
        QFAIL("no such button on the tab");
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TiffPicturesTest)
#include "tst_tiffpictures.moc"
