// The window as a new user sees it: both themes over every panel (a grab of
// each panel, compared by its mean grey), icons that stand out in both
// themes, the first window on small and large screens, Enter in the settings
// dialog, and the interface in other languages: no Russian left, no label
// cut, Qt's own texts in the interface language.
#include "ButtonKit.h"
#include "CompressedPdfExportDialog.h"
#include "QtTranslations.h"
#include "SearchDialog.h"
#include "SettingsDialog.h"
#include "ThemedIcon.h"
#include "UiTranslate.h"
#include "UiTranslationTable.h"
#include "WindowPlacement.h"
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QPainter>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTranslator>
#include <QTreeWidget>

#include <cmath>
#include <map>

using namespace windowtest;

namespace {

const UiTranslationTable& table()
{
    static const UiTranslationTable loaded = UiTranslationTable::fromResource();
    return loaded;
}

// The texts a widget shows, as the user sees them.
QStringList shownTexts(QWidget* widget)
{
    QStringList texts;
    if (auto* label = qobject_cast<QLabel*>(widget))
        texts << label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        texts << button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        texts << group->title();
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
    }
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
    }
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
    }
    if (auto* view = qobject_cast<QTableWidget*>(widget)) {
        for (int i = 0; i < view->columnCount(); ++i)
            texts << (view->horizontalHeaderItem(i) ? view->horizontalHeaderItem(i)->text() : QString());
    }
    if (auto* spin = qobject_cast<QSpinBox*>(widget))
        texts << spin->prefix() << spin->suffix();
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(widget))
        texts << spin->prefix() << spin->suffix();
    texts << widget->toolTip();
    texts.removeAll(QString());
    return texts;
}

// Texts of the window still in Russian: any Cyrillic text where the language
// writes in another script, and a Russian source the language has its own
// wording for, anywhere.
QStringList russianLeft(QWidget* root, const QString& language)
{
    const bool cyrillicLanguage = language == QLatin1String("uk") || language == QLatin1String("be")
        || language == QLatin1String("kk") || language == QLatin1String("ru");
    QStringList found;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(root) && widget != root)
            continue;
        // The language box names each language in its own tongue.
        if (qobject_cast<QComboBox*>(widget) && widget->property("_vorn_i18n_skip_items").toBool())
            continue;
        for (const QString& text : shownTexts(widget)) {
            const bool untranslated = table().translateSmart(language, text) != text;
            if (untranslated || (!cyrillicLanguage && hasCyrillicLetter(text)))
                found << QStringLiteral("%1 %2: %3").arg(widget->metaObject()->className(), widget->objectName(), text);
        }
    }
    return found;
}

bool insideScrolledArea(const QWidget* widget, const QWidget* root)
{
    for (const QWidget* above = widget->parentWidget(); above && above != root; above = above->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(above))
            return true;
    }
    return false;
}

// Texts the user cannot read whole: a button or label narrower than its text
// asks, a wrapped label lower than its lines, a tab narrower than its title.
QStringList cutTexts(QWidget* root)
{
    QStringList found;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(root) || widget->width() <= 0)
            continue;
        QString text;
        bool cut = false;
        if (auto* push = qobject_cast<QPushButton*>(widget)) {
            // The text against the room the style leaves it inside the frame and padding.
            text = push->text();
            QStyleOptionButton option;
            option.initFrom(push);
            option.text = text;
            const QRect room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
            const int iconRoom = push->icon().isNull() ? 0 : push->iconSize().width() + 4;
            // The text as drawn: without its mnemonic marks.
            QString shown = text;
            shown.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
            shown.replace(QChar(1), QLatin1Char('&'));
            cut = !text.isEmpty() && room.width() - iconRoom < push->fontMetrics().horizontalAdvance(shown);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
            const auto* tool = qobject_cast<QToolButton*>(button);
            const bool textShown = !tool || tool->toolButtonStyle() != Qt::ToolButtonIconOnly;
            cut = textShown && !text.isEmpty() && button->width() < button->sizeHint().width();
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
            if (text.isEmpty() || !label->pixmap().isNull())
                continue;
            if (label->wordWrap())
                cut = label->height() < label->heightForWidth(label->width());
            else
                cut = label->width() < label->sizeHint().width();
        } else if (auto* bar = qobject_cast<QTabBar*>(widget)) {
            for (int i = 0; i < bar->count(); ++i) {
                if (bar->tabRect(i).width() < bar->fontMetrics().horizontalAdvance(bar->tabText(i))) {
                    text = bar->tabText(i);
                    cut = true;
                }
            }
        }
        // Past the window's edge (scrolled contents aside).
        const QRect inRoot(widget->mapTo(root, QPoint(0, 0)), widget->size());
        if (!text.isEmpty() && !insideScrolledArea(widget, root) && !root->rect().contains(inRoot))
            cut = true;
        // Drawn over a neighbour whose text it hides or that hides its own.
        if (!text.isEmpty() && !cut) {
            for (QObject* sibling : widget->parent()->children()) {
                auto* other = qobject_cast<QWidget*>(sibling);
                if (other && other != widget && other->isVisibleTo(root) && !shownTexts(other).isEmpty()
                    && !qobject_cast<QAbstractScrollArea*>(other) && other->geometry().intersects(widget->geometry()))
                    cut = true;
            }
        }
        if (cut)
            found << QStringLiteral("%1 %2: %3 (%4 px)")
                         .arg(widget->metaObject()->className(), widget->objectName(), text)
                         .arg(widget->width());
    }
    return found;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// What is wrong with a shown window in a language: Russian left, texts cut.
QStringList problemsOf(QWidget* shown, const QString& language, const QString& where)
{
    settle();
    QStringList problems;
    for (const QString& text : russianLeft(shown, language))
        problems << QStringLiteral("%1, Russian left: %2").arg(where, text);
    for (const QString& text : cutTexts(shown))
        problems << QStringLiteral("%1, cut: %2").arg(where, text);
    return problems;
}

// Opens a window of the main window the way the user does and checks it:
// a modal one from inside its own loop, a free one once it is shown; then
// closes it.
QStringList problemsOfOpened(const std::function<void()>& open, const QString& language, const QString& where)
{
    QSet<QWidget*> before;
    for (QWidget* widget : QApplication::topLevelWidgets())
        before.insert(widget);
    QStringList problems;
    bool modal = false;
    prompt::Driver prompts;
    prompts.whenShown([&](QDialog* dialog) {
        modal = true;
        QTest::qWait(50);  // the translation pass queued by its showing
        problems << problemsOf(dialog, language, where);
        dialog->reject();
    });
    open();
    QTest::qWait(50);
    if (modal)
        return problems;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !before.contains(widget)) {
            problems << problemsOf(widget, language, where);
            widget->close();
        }
    }
    return problems;
}

// The mean grey (0 black … 255 white) of a widget as it is drawn.
double meanGrey(QWidget* widget)
{
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    }
    return image.isNull() ? -1 : sum / (double(image.width()) * image.height());
}

// WCAG relative luminance and contrast.
double luminance(QColor colour)
{
    auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(QColor a, QColor b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The pixels of a drawn piece of text that stand out from its background
// (the commonest colour of the piece) by at least least: a label drawn in
// the colour of its background, or not drawn at all, has none.
int inkStandingOut(const QImage& drawn, double least)
{
    const QImage image = drawn.convertToFormat(QImage::Format_RGB32);
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    }
    if (counts.empty())
        return 0;
    const QColor background(std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                                return a.second < b.second;
                            })->first);
    int standing = 0;
    for (const auto& [colour, count] : counts) {
        if (contrast(QColor(colour), background) >= least)
            standing += count;
    }
    return standing;
}

// The contrast of an icon drawn on a background, over the pixels the icon
// covers (weighted by how much): how well the picture as a whole stands out.
double iconContrast(const QIcon& icon, QColor background)
{
    constexpr int kSide = 32;
    const QImage drawn = icon.pixmap(QSize(kSide, kSide)).toImage().convertToFormat(QImage::Format_ARGB32);
    double weighted = 0;
    double weights = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            const double alpha = qAlpha(pixel) / 255.0;
            if (alpha < 0.5)
                continue;
            QColor ink(pixel);
            ink.setRgbF(ink.redF() * alpha + background.redF() * (1 - alpha),
                        ink.greenF() * alpha + background.greenF() * (1 - alpha),
                        ink.blueF() * alpha + background.blueF() * (1 - alpha));
            weighted += alpha * contrast(ink, background);
            weights += alpha;
        }
    }
    return weights > 0 ? weighted / weights : 0;
}

QStringList iconNames()
{
    QStringList names;
    for (const QString& file : QDir(QStringLiteral(":/resources/icons")).entryList({QStringLiteral("*.svg")})) {
        // The application's own colours; the paint editor's tools live on its own light sheet.
        if (file != QLatin1String("vorn-app.svg") && !file.startsWith(QLatin1String("tool_")))
            names << QFileInfo(file).completeBaseName();
    }
    return names;
}

} // namespace

class WindowLookTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void panelsFollowTheTheme_data();
    void panelsFollowTheTheme();
    void textsReadOnTheirPanels_data();
    void textsReadOnTheirPanels();
    void iconsStandOut_data();
    void iconsStandOut();
    void darkColoursOfTheSet_data();
    void darkColoursOfTheSet();
    void firstWindowGeometry_data();
    void firstWindowGeometry();
    void firstWindowFitsTheScreen();
    void qtTextsFollowTheLanguage_data();
    void qtTextsFollowTheLanguage();
    void wordsWithTwoMeanings();
    void interfaceInOtherLanguages_data();
    void interfaceInOtherLanguages();
    void statusTextsFollowTheLanguage_data();
    void statusTextsFollowTheLanguage();
    void inlineEditorButtonsReadable_data();
    void inlineEditorButtonsReadable();
    void filePickersInTheLanguage_data();
    void filePickersInTheLanguage();

private:
    QTemporaryDir m_dir;
};

void WindowLookTest::initTestCase()
{
    isolateSettings();
}

void WindowLookTest::init()
{
    QSettings().clear();
}

void WindowLookTest::cleanup()
{
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    applyQtTranslations(QStringLiteral("ru"));
    setDarkThemeShown(false);
}

void WindowLookTest::panelsFollowTheTheme_data()
{
    QTest::addColumn<QString>("panel");
    for (const char* name : {"Ribbon", "LeftPanel", "ThumbScroll", "OutlineTree", "DocumentScroll", "FloatingBar",
                             "DialogTable", "SettingsSections", "SettingsDialog"})
        QTest::newRow(name) << name;
}

// Each panel grabbed in both themes: the light theme draws it light, the dark
// theme dark, so no panel stays white on a dark window.
void WindowLookTest::panelsFollowTheTheme()
{
    QFETCH(QString, panel);
    // No document: the panels themselves, not white pages on them.
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.findChild<QWidget*>(QStringLiteral("OutlineTree"))->show();
    window.showSearchDialog();
    window.showSettingsDialog();
    settle();
    QWidget* shown = panel == QLatin1String("SettingsDialog") ? window.findChild<SettingsDialog*>()
                                                              : window.findChild<QWidget*>(panel);
    QVERIFY(shown);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(shown))
        shown = area->viewport();
    window.setLightTheme();
    settle();
    const double light = meanGrey(shown);
    window.setDarkTheme();
    settle();
    const double dark = meanGrey(shown);
    window.setLightTheme();
    QVERIFY2(light > 200 && dark < 80, qPrintable(QStringLiteral("light %1, dark %2").arg(light).arg(dark)));
}

void WindowLookTest::textsReadOnTheirPanels_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dark");
    for (const bool dark : {false, true}) {
        const char* theme = dark ? "dark" : "light";
        for (const char* text : {"label of the current page", "label of another page", "search table header"})
            QTest::addRow("%s, %s", text, theme) << text << dark;
    }
}

// The page labels under the thumbnails of an open document and the header of
// the search results stand out from what they are drawn on, in either theme.
void WindowLookTest::textsReadOnTheirPanels()
{
    QFETCH(QString, text);
    QFETCH(bool, dark);
    constexpr double kReadable = 4.5;  // ordinary text on its background
    constexpr int kLeastInk = 12;      // a few strokes of a short word
    MainWindow window(AppProduct::editor);
    showWithPdf(window, m_dir, 3);
    window.showSearchDialog();
    if (dark)
        window.setDarkTheme();
    else
        window.setLightTheme();
    settle();
    QImage drawn;
    if (text.startsWith(QLatin1String("label"))) {
        auto* strip = window.findChild<QListWidget*>(QStringLiteral("ThumbScroll"));
        QVERIFY(strip);
        QTRY_COMPARE(strip->count(), 3);
        QListWidgetItem* item = strip->item(text.contains(QLatin1String("current")) ? 0 : 1);
        QCOMPARE(item->isSelected(), text.contains(QLatin1String("current")));
        QVERIFY(!item->text().isEmpty());
        // The label is the line under the picture: the item's last text line.
        const QRect itemRect = strip->visualItemRect(item);
        const int line = strip->fontMetrics().height() + 2;
        const QRect label(itemRect.left() + 4, itemRect.bottom() - line, itemRect.width() - 8, line);
        drawn = strip->viewport()->grab(label).toImage();
    } else {
        auto* table = window.findChild<QTableWidget*>(QStringLiteral("DialogTable"));
        QVERIFY(table);
        QHeaderView* header = table->horizontalHeader();
        QVERIFY(header->isVisible());
        QVERIFY(header->count() > 0);
        const QRect section(header->sectionViewportPosition(0) + 2, 2, header->sectionSize(0) - 4, header->height() - 4);
        drawn = header->viewport()->grab(section).toImage();
    }
    window.setLightTheme();
    QVERIFY(!drawn.isNull());
    const int ink = inkStandingOut(drawn, kReadable);
    QVERIFY2(ink >= kLeastInk, qPrintable(QStringLiteral("%1 pixels stand out").arg(ink)));
}

void WindowLookTest::iconsStandOut_data()
{
    QTest::addColumn<QString>("icon");
    const QStringList names = iconNames();
    QVERIFY(names.size() > 50);
    for (const QString& name : names)
        QTest::newRow(qPrintable(name)) << name;
}

// Every icon of the set stands out on the ribbon of either theme; the light
// drawing is the picture as drawn.
void WindowLookTest::iconsStandOut()
{
    QFETCH(QString, icon);
    constexpr double kLeastContrast = 3.0;
    const QColor lightRibbon(QStringLiteral("#F1F5F9"));
    const QColor darkRibbon(QStringLiteral("#181D24"));
    const QIcon themed = themedIcon(icon);
    setDarkThemeShown(false);
    const double onLight = iconContrast(themed, lightRibbon);
    const QImage lightDrawing = themed.pixmap(QSize(32, 32)).toImage();
    setDarkThemeShown(true);
    const double onDark = iconContrast(themed, darkRibbon);
    const QImage darkDrawing = themed.pixmap(QSize(32, 32)).toImage();
    setDarkThemeShown(false);
    QVERIFY2(onLight >= kLeastContrast && onDark >= kLeastContrast,
             qPrintable(QStringLiteral("light %1, dark %2").arg(onLight).arg(onDark)));
    QVERIFY(darkDrawing != lightDrawing);
    QCOMPARE(themed.pixmap(QSize(32, 32)).toImage(), lightDrawing);

    QImage plain(32, 32, QImage::Format_ARGB32_Premultiplied);
    plain.fill(Qt::transparent);
    QSvgRenderer renderer(I(icon));
    QPainter painter(&plain);
    const QSizeF drawn(renderer.defaultSize().scaled(32, 32, Qt::KeepAspectRatio));
    renderer.render(&painter, QRectF(QPointF(0, 0), drawn));
    painter.end();
    QCOMPARE(lightDrawing.convertToFormat(QImage::Format_ARGB32_Premultiplied), plain);
}

void WindowLookTest::darkColoursOfTheSet_data()
{
    QTest::addColumn<QString>("svg");
    QTest::addColumn<QString>("dark");
    QTest::newRow("slate stroke") << R"svg(<path stroke="#334155"/>)svg" << R"svg(<path stroke="#cbd5e1"/>)svg";
    QTest::newRow("upper-case accent") << R"svg(<path fill="#2563EB"/>)svg" << R"svg(<path fill="#60a5fa"/>)svg";
    QTest::newRow("several, in one pass") << R"svg(<g stroke="#334155" fill="#cbd5e1"/>)svg"
                                          << R"svg(<g stroke="#cbd5e1" fill="#475569"/>)svg";
    QTest::newRow("colour of neither set") << R"svg(<path fill="#123456"/>)svg" << R"svg(<path fill="#123456"/>)svg";
    QTest::newRow("short form kept") << R"svg(<path fill="#334"/>)svg" << R"svg(<path fill="#334"/>)svg";
    QTest::newRow("longer hex kept") << R"svg(<path fill="#33415580"/>)svg" << R"svg(<path fill="#33415580"/>)svg";
    QTest::newRow("reference kept") << R"svg(<path fill="url(#g)"/>)svg" << R"svg(<path fill="url(#g)"/>)svg";
    QTest::newRow("empty") << "" << "";
}

void WindowLookTest::darkColoursOfTheSet()
{
    QFETCH(QString, svg);
    QFETCH(QString, dark);
    QCOMPARE(QString::fromUtf8(darkIconSvg(svg.toUtf8())), dark);
}

void WindowLookTest::firstWindowGeometry_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    // Preferred 1500 x 920 with a frame of 8, 36, 8, 8 (16 x 44 in all).
    QTest::newRow("large screen: preferred, centred") << QRect(0, 0, 1920, 1080) << QRect(202, 58, 1500, 920);
    QTest::newRow("1600 x 1000 holds it") << QRect(0, 0, 1600, 1000) << QRect(42, 18, 1500, 920);
    QTest::newRow("1366 x 768: smaller") << QRect(0, 0, 1366, 768) << QRect(0, 0, 1350, 724);
    QTest::newRow("panel at the top") << QRect(0, 32, 1366, 736) << QRect(0, 32, 1350, 692);
    QTest::newRow("second screen") << QRect(1920, 0, 1280, 1024) << QRect(1920, 30, 1264, 920);
    QTest::newRow("exactly room") << QRect(0, 0, 1516, 964) << QRect(0, 0, 1500, 920);
    QTest::newRow("no room at all") << QRect(0, 0, 10, 10) << QRect(0, 0, 1, 1);
}

void WindowLookTest::firstWindowGeometry()
{
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    const QRect placed = ::firstWindowGeometry(QSize(1500, 920), available, QMargins(8, 36, 8, 8));
    QCOMPARE(placed, expected);
    // The window with its frame lies within the free area wherever it can.
    const QRect withFrame = placed.adjusted(0, 0, 16, 44);
    if (available.width() >= 17 && available.height() >= 45)
        QVERIFY(available.contains(withFrame));
}

// On this test's screen of 1366 x 768 the window and its navigation bar are
// on the screen, centred.
void WindowLookTest::firstWindowFitsTheScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->availableGeometry(), QRect(0, 0, 1366, 768));
    MainWindow window(AppProduct::editor);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(screen->availableGeometry().contains(window.frameGeometry()));
    QVERIFY(window.width() > 1200 && window.height() > 600);
    QWidget* bar = window.findChild<QWidget*>(QStringLiteral("FloatingBar"));
    const QRect barOnScreen(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    QVERIFY(bar->isVisible());
    QVERIFY(screen->availableGeometry().contains(barOnScreen));
    // Centred, give or take the room kept for a frame this screen does not draw.
    const QPoint centre = window.frameGeometry().center();
    QVERIFY(std::abs(centre.x() - 683) <= 16);
}

void WindowLookTest::qtTextsFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("catalogue");  // the language whose catalogue speaks
    QTest::newRow("Russian") << "ru" << "ru";
    QTest::newRow("German") << "de" << "de";
    QTest::newRow("Ukrainian") << "uk" << "uk";
    QTest::newRow("Portuguese: the Brazilian catalogue") << "pt" << "pt_BR";
    QTest::newRow("Kazakh: no catalogue, Russian") << "kk" << "ru";
    QTest::newRow("Belarusian: no catalogue, Russian") << "be" << "ru";
}

// Qt's standard buttons speak the interface language, switching with it.
void WindowLookTest::qtTextsFollowTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, catalogue);
    const QString folder = qtTranslationsFolder();
    QVERIFY2(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("qtbase_%1.qm").arg(catalogue))),
             "Qt's translations are needed (scripts/setup.sh installs them)");
    QTranslator expected;
    QVERIFY(expected.load(QStringLiteral("qtbase_%1.qm").arg(catalogue), folder));
    const QString cancel = expected.translate("QPlatformTheme", "Cancel");
    QVERIFY(!cancel.isEmpty() && cancel != QLatin1String("Cancel"));

    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    QVERIFY(applyQtTranslations(QStringLiteral("en")));
    QVERIFY(applyQtTranslations(language));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), cancel);
    // A folder without catalogues leaves Qt in English.
    QVERIFY(!applyQtTranslations(language, m_dir.filePath(QStringLiteral("none"))));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

// "Вставить" inserts a page on the Pages tab and pastes on the Home tab.
void WindowLookTest::wordsWithTwoMeanings()
{
    QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
    MainWindow window(AppProduct::editor);
    auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    QWidget* pagesTab = nullptr;
    for (int i = 0; i < ribbon->count(); ++i) {
        if (ribbon->tabText(i) == QLatin1String("Pages"))
            pagesTab = ribbon->widget(i);
    }
    QVERIFY(pagesTab);
    QVERIFY(buttonByTip(pagesTab, QStringLiteral("Insert")));
    QVERIFY(!buttonByTip(pagesTab, QStringLiteral("Paste")));
    QVERIFY(buttonByTip(homePage(window), QStringLiteral("Paste image/content")));
}

void WindowLookTest::interfaceInOtherLanguages_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"de", "es", "uk", "en", "ru"})
        QTest::newRow(language) << language;
}

// The window in a language as a user goes through it: every ribbon tab,
// every page of the settings, the dialogs of the document. No Russian is left
// where the language has its own words, and no label is cut.
void WindowLookTest::interfaceInOtherLanguages()
{
    QFETCH(QString, language);
    QSettings().setValue(QStringLiteral("ui/language"), language);
    MainWindow window(AppProduct::editor);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFile(writePdf(m_dir, QStringLiteral("a.pdf"), 3));
    QStringList problems;
    auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    for (int i = 0; i < ribbon->count(); ++i) {
        ribbon->setCurrentIndex(i);
        problems << problemsOf(&window, language, QStringLiteral("ribbon tab %1").arg(i));
    }

    window.showSettingsDialog();
    QTest::qWait(20);
    auto* settings = window.findChild<SettingsDialog*>();
    auto* sections = settings->findChild<QListWidget*>(QStringLiteral("SettingsSections"));
    for (int i = 0; i < sections->count(); ++i) {
        sections->setCurrentRow(i);
        problems << problemsOf(settings, language, QStringLiteral("settings page %1").arg(i));
    }
    settings->close();

    // The fit cannot start here: its failure is shown as well.
    CompressedPdfExportDialog::setFitWorkerProgram(m_dir.filePath(QStringLiteral("no-such-worker")));
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"search", [&] { window.showSearchDialog(); }},
        {"compressed PDF", [&] { window.showCompressedPdfExportDialog(m_dir.filePath(QStringLiteral("b.pdf"))); }},
        {"open", [&] { window.showOpenPdfDialog(); }},
        {"page tools", [&] { window.showPageToolsDialog({}, false); }},
        {"print", [&] { window.showPrintDialog(); }},
        {"save and export", [&] { window.showSaveExportDialog(); }},
        {"properties", [&] { window.showDocumentPropertiesDialog(); }},
        {"special characters", [&] { window.showSpecialCharactersDialog(); }},
        {"about", [&] { window.showAboutDialog(); }},
        {"unsaved changes", [&] { QMetaObject::invokeMethod(&window, "showUnsavedChangesDialog"); }},
    };
    for (const auto& [name, open] : dialogs)
        problems << problemsOfOpened(open, language, QString::fromLatin1(name));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void WindowLookTest::statusTextsFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"de", "en", "ru"})
        QTest::newRow(language) << language;
}

// The status line changes long after the window was translated: what it
// says then is in the interface language too.
void WindowLookTest::statusTextsFollowTheLanguage()
{
    QFETCH(QString, language);
    QSettings().setValue(QStringLiteral("ui/language"), language);
    MainWindow window(AppProduct::editor);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    settle();
    window.openFile(writePdf(m_dir, QStringLiteral("status.pdf"), 3));
    const QString opened = statusText(window);
    window.onEditCopy();
    const QString copied = statusText(window);
    for (const QString& text : {opened, copied}) {
        QVERIFY(!text.isEmpty());
        QVERIFY2(hasCyrillicLetter(text) == (language == QLatin1String("ru")), qPrintable(text));
    }
}

void WindowLookTest::inlineEditorButtonsReadable_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("language");
    QTest::addColumn<double>("width");  // of the drawn rectangle, in points
    QTest::newRow("light, Russian") << false << "ru" << 150.0;
    QTest::newRow("dark, German") << true << "de" << 150.0;
    QTest::newRow("light, narrow") << false << "ru" << 90.0;
}

// The editor of a new text block, drawn as a rectangle on the page: both its
// buttons show their whole text in either theme.
void WindowLookTest::inlineEditorButtonsReadable()
{
    QFETCH(bool, dark);
    QFETCH(QString, language);
    QFETCH(double, width);
    QSettings().setValue(QStringLiteral("ui/language"), language);
    MainWindow window(AppProduct::editor);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFile(writePdf(m_dir, QStringLiteral("inline.pdf"), 1));
    if (dark)
        window.setDarkTheme();
    else
        window.setLightTheme();
    view(window)->showInlineEditor(0, QRectF(72, 72, width, 40));
    settle();
    auto* frame = view(window)->findChild<QFrame*>(QStringLiteral("InlineEditorFrame"));
    QVERIFY(frame && frame->isVisible());
    QCOMPARE(frame->findChildren<QPushButton*>().size(), 2);
    const QStringList cut = cutTexts(frame);
    window.setLightTheme();
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

void WindowLookTest::filePickersInTheLanguage_data()
{
    QTest::addColumn<QString>("picker");
    for (const char* picker : {"open", "import", "any files", "pdf", "images", "document", "page strip",
                               "image on the page", "facsimile", "ocr text"})
        QTest::newRow(picker) << picker;
}

// A file picker is a window of its own, shown from inside the command: its
// caption and its list of file types speak the interface language.
void WindowLookTest::filePickersInTheLanguage()
{
    QFETCH(QString, picker);
    QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("de"));
    MainWindow window(AppProduct::editor);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFile(writePdf(m_dir, QStringLiteral("pickers.pdf"), 2));
    settle();
    const std::map<QString, std::function<void()>> open{
        {QStringLiteral("open"), [&] { invoke(window, "onOpen"); }},
        {QStringLiteral("import"), [&] { window.showImportDialog(); }},
        {QStringLiteral("any files"), [&] { window.importFilesAtPosition(MainWindow::ImportSource::AnyFiles, 0); }},
        {QStringLiteral("pdf"), [&] { window.importFilesAtPosition(MainWindow::ImportSource::Pdf, 0); }},
        {QStringLiteral("images"), [&] { window.importFilesAtPosition(MainWindow::ImportSource::Images, 0); }},
        {QStringLiteral("document"), [&] { window.importFilesAtPosition(MainWindow::ImportSource::Document, 0); }},
        {QStringLiteral("page strip"), [&] { window.onImportPageRequested(0); }},
        {QStringLiteral("image on the page"), [&] { window.onImageRectReady(0, QRectF(72, 72, 100, 100)); }},
        {QStringLiteral("facsimile"), [&] { window.onFacsimileAdd(); }},
        {QStringLiteral("ocr text"), [&] { window.onExportOcrText(); }},
    };
    prompt::Driver prompts;
    QString caption;
    QStringList filters;
    prompts.whenShown([&](QDialog* dialog) {
        QTest::qWait(50);  // the translation pass queued by its showing
        caption = dialog->windowTitle();
        // The types as the user reads them in the list.
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i)
                filters << types->itemText(i);
        }
        dialog->reject();
    });
    open.at(picker)();
    QCOMPARE(prompts.pending(), 0);
    QVERIFY(!caption.isEmpty() && !filters.isEmpty());
    const QStringList shown = QStringList(filters) << caption;
    for (const QString& text : shown)
        QVERIFY2(!hasCyrillicLetter(text), qPrintable(text));
}

// A screen of 1366 x 768, the size of the smallest screens the program is
// used on, for every test of this file.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    const QString path = config.filePath(QStringLiteral("screens.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1366, "height": 768,
                          "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return 1;
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(path));
    QApplication app(argc, argv);
    WindowLookTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowlook.moc"
