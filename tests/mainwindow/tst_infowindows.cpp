// The windows that show information: document properties, special
// characters, about and password.
#include "AboutDialog.h"
#include "DocumentPropertiesDialog.h"
#include "PasswordDialog.h"
#include "PdfTools.h"
#include "PromptDriver.h"
#include "SpecialCharactersDialog.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRawFont>

using namespace windowtest;

namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/") + name;
}

// The value labels of the general tab, row by row.
QStringList generalValues(QDialog* dialog)
{
    auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
    auto* grid = qobject_cast<QGridLayout*>(tabs->widget(0)->layout());
    QStringList values;
    for (int row = 0; row < grid->rowCount() && grid->itemAtPosition(row, 1); ++row)
        values << qobject_cast<QLabel*>(grid->itemAtPosition(row, 1)->widget())->text();
    return values;
}

QStringList fontItems(QDialog* dialog)
{
    QStringList items;
    auto* list = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"))->widget(2)->findChild<QListWidget*>();
    for (int row = 0; row < list->count(); ++row)
        items << list->item(row)->text();
    return items;
}

DocumentPropertiesDialog* propertiesOf(MainWindow& window)
{
    window.showDocumentPropertiesDialog();
    DocumentPropertiesDialog* dialog = window.findChildren<DocumentPropertiesDialog*>().constLast();
    if (!QTest::qWaitFor([dialog] { return dialog->fontsListed(); }, 10000))
        qFatal("fonts not listed");
    return dialog;
}

// A PDF of `blank` pages without text (a scan) followed by the pages of tail.
QString scansThen(const QTemporaryDir& dir, int blank, const QString& tail)
{
    PdfDocument built;
    built.createEmpty();
    for (int i = 0; i < blank; ++i)
        built.importDocument(fixture("gs-scan.pdf"));
    built.importDocument(tail);
    const QString path = dir.filePath(QStringLiteral("scans-%1.pdf").arg(blank));
    built.saveAs(path);
    return path;
}

// The fonts pdffonts finds in the file, each name once without its subset
// tag, sorted.
QStringList pdffontsNames(const QString& pdf)
{
    QStringList names;
    for (const pdftools::FontRow& row : pdftools::listFonts(pdf)) {
        const QString name = row.subset ? row.name.mid(row.name.indexOf(QLatin1Char('+')) + 1) : row.name;
        if (!names.contains(name))
            names << name;
    }
    names.sort();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

// The version pdfinfo reads, "1.5".
QString pdfinfoVersion(const QString& pdf)
{
    for (const QString& line : pdftools::run(QStringLiteral("pdfinfo"), {pdf}).out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("PDF version:")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    }
    return {};
}

QList<QPushButton*> symbolButtons(QWidget* tab)
{
    return tab->findChildren<QPushButton*>(QStringLiteral("SymbolButton"));
}

char32_t codeOf(const QString& symbol)
{
    return symbol.toUcs4().value(0);
}

} // namespace

class InfoWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup();

    void sizeText_data();
    void sizeText();
    void propertiesOfFile();
    void propertiesOfUntitledDocument();
    void propertiesWithoutDocument();
    void fontsOfEveryPage_data();
    void fontsOfEveryPage();
    void closingWhileFontsAreRead();
    void fontsAndVersionOfProducers_data();
    void fontsAndVersionOfProducers();

    void fixedSetsInOrder();
    void allSymbolsFilteredOnceEach();
    void symbolTabsLayOutTwelvePerRow();
    void symbolInsertion();

    void aboutTwiceGivesTwoWindows();
    void passwordWindowOnlyCloses();
};

void InfoWindowsTest::cleanup()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->close();
    }
}

void InfoWindowsTest::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("under a kibibyte") << qint64(500) << "0 КБ";
    QTest::newRow("kibibytes truncated") << qint64(1535) << "1 КБ";
    QTest::newRow("largest in kibibytes") << qint64(1048575) << "1023 КБ";
    QTest::newRow("one mebibyte") << qint64(1048576) << "1.0 МБ";
    QTest::newRow("one decimal") << qint64(1572864) << "1.5 МБ";
}

void InfoWindowsTest::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(DocumentPropertiesDialog::sizeText(bytes), text);
}

void InfoWindowsTest::propertiesOfFile()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString path = dir.filePath("a.pdf");
    QVERIFY(QFile::copy(fixture("pdftex-manual.pdf"), path));
    window.openFile(path);
    DocumentPropertiesDialog* dialog = propertiesOf(window);
    QVERIFY(dialog->isVisible());
    const QStringList values = generalValues(dialog);
    QCOMPARE(values.value(0), QStringLiteral("a.pdf"));
    QCOMPARE(values.value(1), dir.path());
    QCOMPARE(values.value(2), QString::number(pdftools::pageCount(path)));
    const qint64 size = QFileInfo(path).size();
    QVERIFY(size > 1024 && size < 1048576);
    QCOMPARE(values.value(3), QStringLiteral("%1 КБ").arg(size / 1024));
    QCOMPARE(values.value(4), QFileInfo(path).lastModified().toString("dd.MM.yyyy HH:mm"));
    QCOMPARE(values.value(5), pdfinfoVersion(path));
    QCOMPARE(fontItems(dialog).value(0), QStringLiteral("SFRM1728"));
    QCOMPARE(sorted(fontItems(dialog)), pdffontsNames(path));
}

// No file yet: the file rows stay empty rather than tell of an empty path.
void InfoWindowsTest::propertiesOfUntitledDocument()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    adoptUntitled(window, 3);
    DocumentPropertiesDialog* dialog = propertiesOf(window);
    // Never read from a file, it has no version of its own.
    QCOMPARE(generalValues(dialog), QStringList({"—", "—", "3", "—", "—", "—"}));
    QCOMPARE(fontItems(dialog), QStringList{"(шрифты не обнаружены)"});
}

void InfoWindowsTest::propertiesWithoutDocument()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    DocumentPropertiesDialog* dialog = propertiesOf(window);
    QCOMPARE(generalValues(dialog), QStringList(6, "—"));
    QCOMPARE(fontItems(dialog), QStringList{"Документ не открыт"});
    // Each call is a window of its own.
    propertiesOf(window);
    QCOMPARE(window.findChildren<DocumentPropertiesDialog*>().size(), 2);
}

// Fonts are listed from every page, not only the first ones.
void InfoWindowsTest::fontsOfEveryPage_data()
{
    QTest::addColumn<int>("scans");

    QTest::newRow("text on page 20") << 19;
    QTest::newRow("text from page 21 on") << 20;
}

void InfoWindowsTest::fontsOfEveryPage()
{
    QFETCH(int, scans);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString path = scansThen(dir, scans, fixture("pdftex-page.pdf"));
    window.openFile(path);
    QCOMPARE(fontItems(propertiesOf(window)), QStringList({"CMBX12", "CMR10", "CMBX10", "CMTI10"}));
    QCOMPARE(sorted(fontItems(propertiesOf(window))), pdffontsNames(path));
}

// The window and the document's tab may go while the fonts are still read.
void InfoWindowsTest::closingWhileFontsAreRead()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.openFile(fixture("pdftex-registry.pdf"));
    window.showDocumentPropertiesDialog();
    window.findChild<DocumentPropertiesDialog*>()->close();
    QTRY_VERIFY(!window.findChild<DocumentPropertiesDialog*>());

    window.showDocumentPropertiesDialog();
    auto* dialog = window.findChild<DocumentPropertiesDialog*>();
    QVERIFY(window.closeDocumentAt(0));
    QTRY_VERIFY_WITH_TIMEOUT(dialog->fontsListed(), 20000);
    QCOMPARE(sorted(fontItems(dialog)), pdffontsNames(fixture("pdftex-registry.pdf")));
}

// Every font of a page's text is listed once under its own name, as an
// independent reader finds it; the version is the file's own.
void InfoWindowsTest::fontsAndVersionOfProducers_data()
{
    QTest::addColumn<QString>("file");

    QTest::newRow("pdfTeX, Cyrillic") << "tex-t2a-names.pdf";
    QTest::newRow("TeX through dvips") << "tex-type1.pdf";
    QTest::newRow("groff, standard fonts") << "groff-columns.pdf";
    QTest::newRow("ghostscript, not embedded") << "gs-helvetica.pdf";
    QTest::newRow("LibreOffice, version 1.6") << "libreoffice-heading.pdf";
    QTest::newRow("two pages sharing contents") << "shared-contents.pdf";
}

void InfoWindowsTest::fontsAndVersionOfProducers()
{
    QFETCH(QString, file);
    const QString path = fixture(file);
    PdfDocument document;
    QVERIFY(document.open(path));
    QCOMPARE(sorted(DocumentPropertiesDialog::fontList(document)), pdffontsNames(path));
    QCOMPARE(DocumentPropertiesDialog::versionText(document.fileVersion()), pdfinfoVersion(path));
}

void InfoWindowsTest::fixedSetsInOrder()
{
    const auto& sets = SpecialCharactersDialog::fixedSets();
    QStringList fixed;
    for (const auto& set : sets)
        fixed += set.symbols;
    QCOMPARE(fixed.size(), 88);
    QCOMPARE(codeOf(fixed.constFirst()), char32_t(0x2116));
    QCOMPARE(codeOf(sets.at(2).symbols.constFirst()), char32_t(0x20BD));
    QCOMPARE(codeOf(fixed.constLast()), char32_t(0x03A9));
}

void InfoWindowsTest::allSymbolsFilteredOnceEach()
{
    const QFontMetrics metrics(QApplication::font());
    const QStringList all = SpecialCharactersDialog::allSymbols(metrics);
    QVERIFY(all.size() > 88);
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
    // The fixed sets' drawable characters come first, in their order.
    QStringList drawableFixed;
    for (const auto& set : SpecialCharactersDialog::fixedSets()) {
        for (const QString& symbol : set.symbols) {
            if (metrics.inFontUcs4(codeOf(symbol)) && !drawableFixed.contains(symbol))
                drawableFixed << symbol;
        }
    }
    QCOMPARE(all.mid(0, drawableFixed.size()), drawableFixed);
    QVERIFY(all.indexOf(QStringLiteral("©")) < 24);
    for (const QString& symbol : all) {
        const char32_t code = codeOf(symbol);
        QVERIFY(metrics.inFontUcs4(code));
        QVERIFY(code != 0x00A0 && code != 0xFFFD && code != 0x25A1);
        QVERIFY2(code < 0x2000 || code > 0x200A, qPrintable(QString::number(code, 16)));
        QVERIFY(QChar::category(code) != QChar::Other_NotAssigned);
    }
}

void InfoWindowsTest::symbolTabsLayOutTwelvePerRow()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.showSpecialCharactersDialog();
    auto* dialog = window.findChild<SpecialCharactersDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("SymbolTabs"));
    QCOMPARE(tabs->count(), 5);
    // Fixed tabs show every character, drawable or not.
    for (int tab = 1; tab < tabs->count(); ++tab)
        QCOMPARE(symbolButtons(tabs->widget(tab)).size(), SpecialCharactersDialog::fixedSets().at(tab - 1).symbols.size());
    auto* currency = tabs->widget(3)->findChild<QWidget*>(QStringLiteral("SymbolPage"));
    auto* grid = qobject_cast<QGridLayout*>(currency->layout());
    QList<int> perRow(3, 0);
    for (QPushButton* button : symbolButtons(currency)) {
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(button), &row, &column, &rowSpan, &columnSpan);
        ++perRow[row];
    }
    QCOMPARE(perRow, QList<int>({12, 4, 0}));
    QCOMPARE(grid->rowStretch(2), 1);
}

// Without an open block nothing goes in; with one the symbol is typed into
// it and saved with the page.
void InfoWindowsTest::symbolInsertion()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    window.resize(900, 700);
    showActive(window);
    const QString path = writeLinesPdf(dir, "lines.pdf", {700});
    window.openFile(path);
    window.showSpecialCharactersDialog();
    auto* dialog = window.findChild<SpecialCharactersDialog*>();
    auto* popular = dialog->findChild<QTabWidget*>(QStringLiteral("SymbolTabs"))->widget(1);
    QPushButton* number = symbolButtons(popular).constFirst();
    number->click();
    QCOMPARE(statusText(window), QStringLiteral("Откройте текстовый блок для вставки символа"));
    QVERIFY(!window.currentDocument()->isModified());

    window.onToggleEditMode();
    typeAtBlockEnd(view(window), 0, QStringLiteral(" "));
    number->click();
    QCOMPARE(statusText(window), QStringLiteral("Вставлен символ: №"));
    QVERIFY(dialog->isVisible());
    QVERIFY(window.applyPendingOcrEdits());
    QVERIFY(window.currentDocument()->save(path));
    QVERIFY2(pdftools::words(path, 0).join(' ').contains("1 №"), qPrintable(pdftools::words(path, 0).join(' ')));
}

void InfoWindowsTest::aboutTwiceGivesTwoWindows()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    buttonByTip(&window, "О программе")->click();
    buttonByTip(&window, "О программе")->click();
    const QList<AboutDialog*> windows = window.findChildren<AboutDialog*>();
    QCOMPARE(windows.size(), 2);
    for (AboutDialog* about : windows) {
        QVERIFY(about->isVisible() && !about->isModal());
        // Centred up to the width of the window frame.
        QVERIFY((about->geometry().center() - window.frameGeometry().center()).manhattanLength() <= 4);
    }
    windows.constFirst()->close();
    QTRY_COMPARE(window.findChildren<AboutDialog*>().size(), 1);
}

void InfoWindowsTest::passwordWindowOnlyCloses()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString path = writePdf(dir, "a.pdf", 2);
    window.openFile(path);
    for (const QString& typed : {QString(), QStringLiteral("secret")}) {
        window.showPasswordDialog();
        auto* dialog = window.findChild<PasswordDialog*>();
        dialog->findChild<QLineEdit*>()->setText(typed);
        prompt::buttonWithText(dialog, "Открыть")->click();
        QTRY_VERIFY(!window.findChild<PasswordDialog*>());
    }
    QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
    QVERIFY(!window.currentDocument()->isModified());
}

QTEST_MAIN(InfoWindowsTest)
#include "tst_infowindows.moc"
