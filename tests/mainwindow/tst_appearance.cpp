// Themes and density: the sizes each button kind gets, the theme switches,
// and both style sheets read as rules: the same selectors, every styled
// object name, the colours of the look.
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QRegularExpression>
#include <QSpinBox>

using namespace windowtest;

namespace {

QString sheet(const QString& name)
{
    QFile file(QStringLiteral(":/resources/styles/%1.qss").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

struct Rule {
    QString selectors;
    QString body;
};

// The rules of a sheet; an unbalanced brace gives none.
QList<Rule> rules(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"), QRegularExpression::DotMatchesEverythingOption));
    QList<Rule> result;
    qsizetype at = 0;
    while (true) {
        const qsizetype open = text.indexOf(QLatin1Char('{'), at);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(QLatin1Char('}'), open);
        const qsizetype nested = text.indexOf(QLatin1Char('{'), open + 1);
        if (close < 0 || (nested >= 0 && nested < close))
            return {};
        result.append({text.mid(at, open - at).simplified(), text.mid(open + 1, close - open - 1).simplified()});
        at = close + 1;
    }
    return text.mid(at).simplified().isEmpty() ? result : QList<Rule>{};
}

QString bodyOf(const QList<Rule>& list, const QString& selector)
{
    for (const Rule& rule : list) {
        if (rule.selectors == selector)
            return rule.body;
    }
    return {};
}

QToolButton* firstNamed(QWidget* parent, const QString& name, bool textUnderIcon)
{
    for (QToolButton* button : parent->findChildren<QToolButton*>(name)) {
        if ((button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) == textUnderIcon)
            return button;
    }
    return nullptr;
}

} // namespace

class AppearanceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { QSettings().clear(); }
    void densitySizes_data();
    void densitySizes();
    void floatingBarButtonsKeepTheirSize();
    void themesSwitchTwice();
    void missingSheetKeepsThePrevious();
    void viewTabThemeButtons();
    void sheetsHaveTheSameRules();
    void sheetsStyleEveryName();
    void sheetsCarryTheColours_data();
    void sheetsCarryTheColours();
};

void AppearanceTest::densitySizes_data()
{
    QTest::addColumn<int>("density");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("ribbonHeight");
    QTest::addColumn<QSize>("toolIcon");
    QTest::addColumn<int>("toolMinimumHeight");
    QTest::addColumn<int>("toolMaximumWidth");
    QTest::addColumn<QSize>("largeSize");
    QTest::addColumn<QSize>("plainSize");
    QTest::addColumn<int>("fontWidth");
    QTest::addColumn<int>("sizeWidth");
    QTest::newRow("compact") << 0 << 0 << 132 << QSize(28, 28) << 58 << 88 << QSize(66, 70) << QSize(28, 28) << 156 << 72;
    QTest::newRow("normal") << 1 << 1 << 144 << QSize(32, 32) << 62 << 88 << QSize(72, 76) << QSize(32, 32) << 168 << 78;
    QTest::newRow("large") << 2 << 2 << 158 << QSize(36, 36) << 68 << 96 << QSize(80, 84) << QSize(36, 36) << 184 << 86;
    QTest::newRow("below: compact") << -3 << 0 << 132 << QSize(28, 28) << 58 << 88 << QSize(66, 70) << QSize(28, 28) << 156 << 72;
    QTest::newRow("above: large") << 7 << 2 << 158 << QSize(36, 36) << 68 << 96 << QSize(80, 84) << QSize(36, 36) << 184 << 86;
}

void AppearanceTest::densitySizes()
{
    QFETCH(int, density);
    QFETCH(int, stored);
    QFETCH(int, ribbonHeight);
    QFETCH(QSize, toolIcon);
    QFETCH(int, toolMinimumHeight);
    QFETCH(int, toolMaximumWidth);
    QFETCH(QSize, largeSize);
    QFETCH(QSize, plainSize);
    QFETCH(int, fontWidth);
    QFETCH(int, sizeWidth);
    MainWindow window(AppProduct::editor);
    auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    QToolButton* compact = firstNamed(ribbon, QStringLiteral("CompactTextButton"), false);
    const QSize compactSize = compact ? compact->size() : QSize();
    window.applyUiDensity(density);

    QCOMPARE(QSettings().value(QStringLiteral("ui/density")).toInt(), stored);
    QCOMPARE(qApp->property("uiDensity").toInt(), stored);
    QCOMPARE(ribbon->minimumHeight(), ribbonHeight);
    QCOMPARE(ribbon->maximumHeight(), ribbonHeight);
    QToolButton* tool = firstNamed(ribbon, QStringLiteral("RibbonToolButton"), true);
    QCOMPARE(tool->iconSize(), toolIcon);
    QCOMPARE(tool->minimumHeight(), toolMinimumHeight);
    QCOMPARE(tool->maximumWidth(), toolMaximumWidth);
    QToolButton* large = firstNamed(ribbon, QStringLiteral("IconOnlyButton"), true);
    QCOMPARE(large->minimumSize(), largeSize);
    QCOMPARE(large->maximumSize(), largeSize);
    QToolButton* plain = firstNamed(ribbon, QStringLiteral("IconOnlyButton"), false);
    QCOMPARE(plain->maximumSize(), plainSize);
    QCOMPARE(homePage(window)->findChild<QComboBox*>(QStringLiteral("RibbonCombo"))->maximumWidth(), fontWidth);
    QCOMPARE(homePage(window)->findChild<QSpinBox*>(QStringLiteral("RibbonSpin"))->maximumWidth(), sizeWidth);
    if (compact)
        QCOMPARE(compact->size(), compactSize);
}

void AppearanceTest::floatingBarButtonsKeepTheirSize()
{
    MainWindow window(AppProduct::editor);
    auto* bar = window.findChild<QWidget*>(QStringLiteral("FloatingBar"));
    QToolButton* button = bar->findChild<QToolButton*>(QStringLiteral("IconOnlyButton"));
    QVERIFY(button);
    const QSize before = button->maximumSize();
    window.applyUiDensity(2);
    window.applyUiDensity(0);
    QCOMPARE(button->maximumSize(), before);
}

void AppearanceTest::themesSwitchTwice()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    PdfView* pdfView = view(window);
    for (int round = 0; round < 2; ++round) {
        window.setDarkTheme();
        QCOMPARE(qApp->styleSheet(), sheet(QStringLiteral("dark")));
        QCOMPARE(QSettings().value(QStringLiteral("ui/theme")).toString(), QStringLiteral("dark"));
        QVERIFY(qGray(pdfView->viewport()->grab().toImage().pixel(5, 5)) < 80);
        window.setLightTheme();
        QCOMPARE(qApp->styleSheet(), sheet(QStringLiteral("light")));
        QCOMPARE(QSettings().value(QStringLiteral("ui/theme")).toString(), QStringLiteral("light"));
        QVERIFY(qGray(pdfView->viewport()->grab().toImage().pixel(5, 5)) > 180);
    }
}

void AppearanceTest::missingSheetKeepsThePrevious()
{
    MainWindow window(AppProduct::editor);
    window.setDarkTheme();
    window.applyStyleFile(QStringLiteral(":/resources/styles/none.qss"));
    QCOMPARE(qApp->styleSheet(), sheet(QStringLiteral("dark")));
}

void AppearanceTest::viewTabThemeButtons()
{
    MainWindow window(AppProduct::editor);
    auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    QWidget* viewTab = ribbon->widget(ribbon->count() - 1);
    buttonByTip(viewTab, QStringLiteral("Тёмная тема"))->click();
    QCOMPARE(QSettings().value(QStringLiteral("ui/theme")).toString(), QStringLiteral("dark"));
    QCOMPARE(qApp->styleSheet(), sheet(QStringLiteral("dark")));
    buttonByTip(viewTab, QStringLiteral("Светлая тема"))->click();
    QCOMPARE(QSettings().value(QStringLiteral("ui/theme")).toString(), QStringLiteral("light"));
    QCOMPARE(qApp->styleSheet(), sheet(QStringLiteral("light")));
}

void AppearanceTest::sheetsHaveTheSameRules()
{
    const QList<Rule> light = rules(sheet(QStringLiteral("light")));
    const QList<Rule> dark = rules(sheet(QStringLiteral("dark")));
    QVERIFY(light.size() > 100);
    QCOMPARE(light.size(), dark.size());
    for (int i = 0; i < light.size(); ++i)
        QCOMPARE(dark[i].selectors, light[i].selectors);
    QVERIFY(rules(QStringLiteral("QWidget { color: red; ")).isEmpty());
    QVERIFY(rules(QStringLiteral("QWidget { a { } }")).isEmpty());
}

void AppearanceTest::sheetsStyleEveryName()
{
    const QStringList names = QStringLiteral(
        "AppDialog AppName AppSubtitle CompactTextButton DialogCheckBox DialogCombo DialogGroupBox DialogHint "
        "DialogRadioButton DialogSubtitle DialogTabs DialogTitle DocumentCanvas DocumentPage DocumentScroll "
        "DocumentTabs DocumentTitle FindDialog FindDialogButton FloatingBar FloatingSeparator GlobalSearch "
        "IconOnlyButton InlineEditorCancel InlineEditorConfirm InlineEditorFrame InlineTextEditor LeftPanel "
        "OcrProgress PageCounter PanelHeader PanelMeta PanelTitle PreviewCard PrimaryDialogButton PrintDialog "
        "PrintPreviewCaption PrintPreviewPage PrintPreviewPanel RecentFilesList Ribbon RibbonGroup "
        "RibbonGroupTitle RibbonPage RibbonToolButton ScanCheckBox ScanCombo ScanGroupBox ScanLabel ScanPreview "
        "ScanPreviewButton ScanPreviewLabel ScanPreviewScroll ScanProgressBar ScanRefreshButton ScanScanButton "
        "ScanScanFrame ScanSeparator ScanSettingsFrame ScanSlider ScanSpin ScanStatusLabel ScanTabContent "
        "SecondaryDialogButton SettingsSections StatusBar SymbolButton SymbolPage SymbolScroll SymbolTabs "
        "ThemePrimitiveButton ThumbCard ThumbInner ThumbNumber ThumbPage ThumbScroll ThumbViewport TitleBar "
        "ViewportHeader ViewportTitle Workspace").split(QLatin1Char(' '));
    QStringList selectors;
    for (const Rule& rule : rules(sheet(QStringLiteral("light"))))
        selectors << rule.selectors;
    const QString all = selectors.join(QLatin1Char('\n'));
    for (const QString& name : names)
        QVERIFY2(all.contains(QRegularExpression(QStringLiteral("#%1\\b").arg(name))), qPrintable(name));
    QVERIFY(all.contains(QStringLiteral("#ThumbCard[selected=\"true\"]")));
}

void AppearanceTest::sheetsCarryTheColours_data()
{
    QTest::addColumn<QString>("theme");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("light text") << "light" << "QWidget" << QStringList{"color: #20242A", "font-family: \"Segoe UI\"", "font-size: 12px"};
    QTest::newRow("dark text") << "dark" << "QWidget" << QStringList{"color: #ECEFF2", "font-family: \"Segoe UI\""};
    QTest::newRow("light window") << "light" << "QMainWindow" << QStringList{"#EEF1F4"};
    QTest::newRow("dark window") << "dark" << "QMainWindow" << QStringList{"#181A1D"};
    QTest::newRow("light ribbon tab") << "light" << "QTabWidget#Ribbon > QTabBar::tab:selected"
                                      << QStringList{"color: #0F766E", "2px solid #0F766E"};
    QTest::newRow("dark ribbon tab") << "dark" << "QTabWidget#Ribbon > QTabBar::tab:selected"
                                     << QStringList{"color: #6EE7D8", "2px solid #42B8AA"};
    QTest::newRow("light ribbon") << "light" << "QTabWidget#Ribbon" << QStringList{"#FFFFFF", "#F1F5F9"};
    QTest::newRow("dark ribbon") << "dark" << "QTabWidget#Ribbon" << QStringList{"#242932", "#181D24"};
    QTest::newRow("light checked") << "light" << "QToolButton#RibbonToolButton:checked"
                                   << QStringList{"rgba(37, 99, 235", "color: #1D4ED8"};
    QTest::newRow("dark checked") << "dark" << "QToolButton#IconOnlyButton:checked" << QStringList{"color: #DBEAFE"};
    QTest::newRow("floating bar") << "light" << "QWidget#FloatingBar" << QStringList{"border-radius: 14px"};
    QTest::newRow("light dialog") << "light" << "QDialog#AppDialog" << QStringList{"#F7FAFC"};
    QTest::newRow("dark dialog") << "dark" << "QDialog#AppDialog" << QStringList{"#171C23"};
    QTest::newRow("light title") << "light" << "QLabel#DialogTitle" << QStringList{"18px", "bold", "#111827"};
    QTest::newRow("dark title") << "dark" << "QLabel#DialogTitle" << QStringList{"#F8FAFC"};
    QTest::newRow("light hint") << "light" << "QLabel#DialogHint" << QStringList{"#64748B"};
    QTest::newRow("dark hint") << "dark" << "QLabel#DialogSubtitle" << QStringList{"#94A3B8"};
    QTest::newRow("light group") << "light" << "QGroupBox::title" << QStringList{"bold", "#475569"};
    QTest::newRow("dark group") << "dark" << "QGroupBox::title" << QStringList{"#CBD5E1"};
    QTest::newRow("light primary") << "light" << "QPushButton#PrimaryDialogButton"
                                   << QStringList{"background: #0F766E", "1px solid #0F766E", "#FFFFFF", "min-width: 92px"};
    QTest::newRow("dark primary") << "dark" << "QPushButton#PrimaryDialogButton"
                                  << QStringList{"background: #0F766E", "1px solid #14B8A6"};
    QTest::newRow("light secondary") << "light" << "QPushButton#SecondaryDialogButton"
                                     << QStringList{"#CBD5E1", "color: #334155", "min-width: 92px"};
    QTest::newRow("dark secondary") << "dark" << "QPushButton#SecondaryDialogButton" << QStringList{"#4B5563", "#E2E8F0"};
    QTest::newRow("light sections") << "light" << "QListWidget#SettingsSections::item:selected"
                                    << QStringList{"#DBEAFE", "color: #1D4ED8"};
    QTest::newRow("dark recent") << "dark" << "QListWidget#RecentFilesList::item:selected"
                                 << QStringList{"#1D4ED8", "color: #F8FAFC"};
    QTest::newRow("light canvas") << "light" << "QWidget#DocumentCanvas" << QStringList{"#F1F5F8", "#DDE5EC"};
    QTest::newRow("dark canvas") << "dark" << "QWidget#DocumentCanvas" << QStringList{"#181A1D"};
    QTest::newRow("light page") << "light" << "QWidget#DocumentPage" << QStringList{"#FFFFFF", "#D7DDE4"};
    QTest::newRow("dark page") << "dark" << "QWidget#DocumentPage" << QStringList{"#FFFFFF", "#363B42"};
    QTest::newRow("focus") << "light" << "QLineEdit:focus, QComboBox:focus, QSpinBox:focus, QDoubleSpinBox:focus"
                           << QStringList{"#0F766E"};
}

void AppearanceTest::sheetsCarryTheColours()
{
    QFETCH(QString, theme);
    QFETCH(QString, selector);
    QFETCH(QStringList, parts);
    const QString body = bodyOf(rules(sheet(theme)), selector);
    QVERIFY2(!body.isEmpty(), qPrintable(selector));
    for (const QString& part : parts)
        QVERIFY2(body.contains(part), qPrintable(selector + QStringLiteral(": ") + part));
}

QTEST_MAIN(AppearanceTest)
#include "tst_appearance.moc"
