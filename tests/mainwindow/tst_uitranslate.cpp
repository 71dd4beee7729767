// Run-time translation: the lookup rule over a small table of the resource's
// format, the smart fallbacks, the language list, and the pass over a built
// widget tree with the embedded table.
#include "ShowLocalizer.h"
#include "UiTranslate.h"
#include "UiTranslationTable.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Sources chosen for the rule: "Открыть" has its own German wording,
// "Закрыть" only the English copy, "Печать" no German entry, "Plain" no
// Cyrillic letter and only English.
const QByteArray kFixture = R"({
 "meta": {"locales": {"de": "Deutsch", "ru": "Русский", "fr": "Français", "en": "English", "ar": "العربية"}},
 "translations": {
  "ru": {"Открыть": "Открыть", "Закрыть": "Закрыть", "Печать": "Печать", "Pusto": ""},
  "en": {"Открыть": "Open", "Закрыть": "Close", "Печать": "Print", "Plain": "Plain in English",
         "Строка один": "Line one", "Сохранить": "Save"},
  "de": {"Открыть": "Öffnen", "Закрыть": "Close", "Plain": "Plain in English", "Строка один": "Zeile eins",
         "Сохранить": "Speichern", "Zahl": 5},
  "fr": {}
 }
})";

// A table with no English map: the own wording or the source.
const QByteArray kNoEnglish = R"({"translations": {"de": {"Открыть": "Öffnen"}}})";

// "Вставить" has a plain entry (paste) and one in the context "insert";
// German has its own words, French only the English copy of the contextual
// one, Spanish no contextual entry at all.
const QByteArray kContexts = R"json({
 "translations": {
  "ru": {"Вставить": "Вставить", "insert\u0004Вставить": "Вставить"},
  "en": {"Вставить": "Paste", "insert\u0004Вставить": "Insert"},
  "de": {"Вставить": "Einfügen (Ablage)", "insert\u0004Вставить": "Einfügen"},
  "fr": {"Вставить": "Coller", "insert\u0004Вставить": "Insert"},
  "es": {"Вставить": "Pegar"}
 }
})json";

// Sources with placeholders, and a few plain ones their arguments may be.
const QByteArray kComposed = R"json({
 "translations": {
  "en": {"Стр. %1": "P. %1", "Страница %1 из %2": "Page %1 of %2", "Страница %1": "Page %1",
         "Ошибка: %1": "Error: %1", "Открыть": "Open", "%1 КБ": "%1 KiB",
         "Файл «%1» занимает %2": "File “%1” takes %2", "%1 и снова %1": "%1 and again %1",
         "%2 раньше %1": "%2 before %1", "Без перевода %1": ""},
  "de": {"Стр. %1": "S. %1", "Страница %1 из %2": "%2 Seiten, hier Seite %1", "Страница %1": "Seite %1",
         "Ошибка: %1": "Fehler: %1", "Открыть": "Öffnen", "%1 КБ": "%1 kB",
         "Файл «%1» занимает %2": "Die Datei „%1“ belegt %2", "%1 и снова %1": "%1 und wieder %1",
         "%2 раньше %1": "%1 nach %2"}
 }
})json";

QLabel* labelWithText(QWidget* parent, const QString& text)
{
    auto* result = new QLabel(text, parent);
    parent->layout()->addWidget(result);
    return result;
}

} // namespace

class TestUiTranslate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void lookupRule_data();
    void lookupRule();
    void smartFallbacks_data();
    void smartFallbacks();
    void contextLookup_data();
    void contextLookup();
    void composedTexts_data();
    void composedTexts();
    void damagedTableGivesSources_data();
    void damagedTableGivesSources();
    void languageOrder();
    void languageFromSettingWhenPropertyEmpty();
    void languageCode_data();
    void languageCode();
    void embeddedTableListsSixteenLanguages();
    void passCapturesAndSwitches();
    void dockTitles_data();
    void dockTitles();
    void passFollowsTextsSetByProgram();
    void comboCapture();
    void comboSkipAndLongBoxes();
    void editableComboKeepsTypedText();
    void tabsAndListItems();
    void actionsAndTips();
    void secondPassOnRunningRootReturns();
    void deletedWidgetSkipped();
    void passSpinBoxesHeadersContextsAndOwnLists();
};

void TestUiTranslate::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    static const QTemporaryDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
}

void TestUiTranslate::init()
{
    QSettings().clear();
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
}

void TestUiTranslate::lookupRule_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("own wording") << "de" << "Открыть" << "Öffnen";
    QTest::newRow("English copy of a Russian source") << "de" << "Закрыть" << "Закрыть";
    QTest::newRow("no entry, Russian source") << "de" << "Печать" << "Печать";
    QTest::newRow("no entry, Latin source: English") << "fr" << "Plain" << "Plain in English";
    QTest::newRow("English copy of a Latin source") << "de" << "Plain" << "Plain in English";
    QTest::newRow("not a string in the table") << "de" << "Zahl" << "Zahl";
    QTest::newRow("English") << "en" << "Открыть" << "Open";
    QTest::newRow("English, missing source") << "en" << "Отмена" << "Отмена";
    QTest::newRow("Russian identity") << "ru" << "Открыть" << "Открыть";
    QTest::newRow("Russian, missing source") << "ru" << "Plain" << "Plain in English";
    QTest::newRow("empty Russian entry") << "ru" << "Pusto" << "Pusto";
    QTest::newRow("unknown language, Russian source") << "xx" << "Открыть" << "Открыть";
    QTest::newRow("unknown language, Latin source") << "xx" << "Plain" << "Plain in English";
    QTest::newRow("code matched exactly") << "DE" << "Открыть" << "Открыть";
    QTest::newRow("empty source") << "de" << "" << "";
}

void TestUiTranslate::lookupRule()
{
    QFETCH(QString, language);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    const UiTranslationTable table = UiTranslationTable::fromJson(kFixture);
    QCOMPARE(table.translate(language, source), expected);
}

void TestUiTranslate::smartFallbacks_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("own entry") << "Открыть" << "Öffnen";
    QTest::newRow("text and key") << "Открыть (Ctrl+O)" << "Öffnen (Ctrl+O)";
    QTest::newRow("last parenthesis") << "Открыть (a) (Ctrl+O)" << "Открыть (a) (Ctrl+O)";
    QTest::newRow("starts with the parenthesis") << " (Открыть)" << " (Открыть)";
    QTest::newRow("no closing parenthesis") << "Открыть (Ctrl+O" << "Открыть (Ctrl+O";
    QTest::newRow("lines") << "Открыть\nСтрока один" << "Öffnen\nZeile eins";
    QTest::newRow("lines, empty kept") << "Открыть\n\nСохранить" << "Öffnen\n\nSpeichern";
    QTest::newRow("lines, none known") << "Печать\nЗакрыть" << "Печать\nЗакрыть";
    QTest::newRow("line with key") << "Печать\nОткрыть (F3)" << "Печать\nÖffnen (F3)";
}

void TestUiTranslate::smartFallbacks()
{
    QFETCH(QString, source);
    QFETCH(QString, expected);
    QCOMPARE(UiTranslationTable::fromJson(kFixture).translateSmart(QStringLiteral("de"), source), expected);
}

void TestUiTranslate::contextLookup_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("expected");
    QTest::newRow("German, in the context") << "de" << "insert" << "Einfügen";
    QTest::newRow("German, no context: the plain entry") << "de" << "" << "Einfügen (Ablage)";
    QTest::newRow("English, in the context") << "en" << "insert" << "Insert";
    QTest::newRow("English, plain") << "en" << "" << "Paste";
    QTest::newRow("English copy in the context: the plain French word") << "fr" << "insert" << "Coller";
    QTest::newRow("no contextual entry: the plain Spanish word") << "es" << "insert" << "Pegar";
    QTest::newRow("a context the table does not know") << "de" << "stamp" << "Einfügen (Ablage)";
    QTest::newRow("Russian shows the word, never the key") << "ru" << "insert" << "Вставить";
    QTest::newRow("a language without a table, in the context") << "xx" << "insert" << "Вставить";
}

void TestUiTranslate::contextLookup()
{
    QFETCH(QString, language);
    QFETCH(QString, context);
    QFETCH(QString, expected);
    const UiTranslationTable table = UiTranslationTable::fromJson(kContexts);
    QCOMPARE(table.translate(language, QStringLiteral("Вставить"), context), expected);
    QCOMPARE(table.translateSmart(language, QStringLiteral("Вставить (Ctrl+V)"), context),
             expected + QStringLiteral(" (Ctrl+V)"));
}

void TestUiTranslate::composedTexts_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one argument") << "de" << "Стр. 12" << "S. 12";
    QTest::newRow("arguments in another order") << "de" << "Страница 3 из 9" << "9 Seiten, hier Seite 3";
    QTest::newRow("the most specific source wins") << "en" << "Страница 3 из 9" << "Page 3 of 9";
    QTest::newRow("argument translated too") << "de" << "Ошибка: Открыть" << "Fehler: Öffnen";
    QTest::newRow("nested arguments") << "de" << "Ошибка: Стр. 4" << "Fehler: S. 4";
    QTest::newRow("argument with a placeholder sign") << "de" << "Файл «50%1.pdf» занимает 3 КБ"
                                                     << "Die Datei „50%1.pdf“ belegt 3 kB";
    QTest::newRow("empty argument") << "de" << "Ошибка: " << "Fehler: ";
    QTest::newRow("a number used twice") << "de" << "7 и снова 7" << "7 und wieder 7";
    QTest::newRow("a number used twice, different texts") << "de" << "7 и снова 8" << "7 и снова 8";
    QTest::newRow("numbered out of order") << "de" << "Б раньше А" << "А nach Б";
    QTest::newRow("no wording of the language") << "de" << "Без перевода 5" << "Без перевода 5";
    QTest::newRow("no source composes it") << "de" << "Что-то 5" << "Что-то 5";
    QTest::newRow("Russian stays") << "ru" << "Стр. 12" << "Стр. 12";
    QTest::newRow("composed lines") << "de" << "Стр. 1\nОшибка: Открыть" << "S. 1\nFehler: Öffnen";
    QTest::newRow("the last argument takes the rest") << "de" << "Стр. 12 и ещё" << "S. 12 и ещё";
}

void TestUiTranslate::composedTexts()
{
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(UiTranslationTable::fromJson(kComposed).translateSmart(language, text), expected);
}

void TestUiTranslate::damagedTableGivesSources_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("{\"translations\": {\"de\": ");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("translations not an object") << QByteArray(R"({"translations": ["Открыть"]})");
    QTest::newRow("too large") << QByteArray(17 * 1024 * 1024, ' ');
}

void TestUiTranslate::damagedTableGivesSources()
{
    QFETCH(QByteArray, json);
    const UiTranslationTable table = UiTranslationTable::fromJson(json);
    QCOMPARE(table.translate(QStringLiteral("de"), QStringLiteral("Открыть")), QStringLiteral("Открыть"));
    QCOMPARE(table.languages().size(), 2);
    QCOMPARE(table.languages().first().first, QStringLiteral("ru"));
    // With no English map a language shows its own wording or the source.
    const UiTranslationTable partial = UiTranslationTable::fromJson(kNoEnglish);
    QCOMPARE(partial.translate(QStringLiteral("de"), QStringLiteral("Открыть")), QStringLiteral("Öffnen"));
    QCOMPARE(partial.translate(QStringLiteral("fr"), QStringLiteral("Открыть")), QStringLiteral("Открыть"));
}

void TestUiTranslate::languageOrder()
{
    const QList<UiTranslationTable::Language> languages = UiTranslationTable::fromJson(kFixture).languages();
    QStringList codes;
    for (const auto& language : languages)
        codes << language.first;
    QCOMPARE(codes.mid(0, 2), QStringList({"ru", "en"}));
    QCOMPARE(codes.size(), 5);
    for (int i = 3; i < languages.size(); ++i)
        QVERIFY(QString::localeAwareCompare(languages[i - 1].second, languages[i].second) <= 0);
}

void TestUiTranslate::languageFromSettingWhenPropertyEmpty()
{
    qApp->setProperty("uiLanguage", QString());
    QCOMPARE(uiTranslate(QStringLiteral("Открыть")), QStringLiteral("Открыть"));
    QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
    QCOMPARE(uiTranslate(QStringLiteral("Открыть")), QStringLiteral("Open"));
}

void TestUiTranslate::languageCode_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "kk" << "kk";
    QTest::newRow("territory, underscore") << "zh_CN" << "zh";
    QTest::newRow("territory, hyphen") << "pt-BR" << "pt";
    QTest::newRow("upper case") << "DE" << "de";
    QTest::newRow("leading hyphen kept") << "-x" << "-x";
    const QString system = QLocale::system().name().section(QLatin1Char('_'), 0, 0).toLower();
    QTest::newRow("empty: system") << "" << system;
    QTest::newRow("blank: system") << "  " << system;
}

void TestUiTranslate::languageCode()
{
    QFETCH(QString, property);
    QFETCH(QString, expected);
    qApp->setProperty("uiLanguage", property);
    QCOMPARE(currentUiLanguageCode(), expected);
}

void TestUiTranslate::embeddedTableListsSixteenLanguages()
{
    const auto& languages = uiLanguageList();
    QCOMPARE(languages.size(), 16);
    QCOMPARE(languages[0].first, QStringLiteral("ru"));
    QCOMPARE(languages[1].first, QStringLiteral("en"));
}

void TestUiTranslate::passCapturesAndSwitches()
{
    QWidget root;
    root.setLayout(new QVBoxLayout);
    root.setWindowTitle(QStringLiteral("Настройки"));
    QLabel* label = labelWithText(&root, QStringLiteral("Главная"));
    auto* button = new QPushButton(QStringLiteral("Отмена"), &root);

    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), QStringLiteral("Home"));
    QCOMPARE(button->text(), QStringLiteral("Cancel"));
    QCOMPARE(root.windowTitle(), QStringLiteral("Settings"));

    qApp->setProperty("uiLanguage", QStringLiteral("de"));
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), uiTranslate(QStringLiteral("Главная")));
    QVERIFY(label->text() != QStringLiteral("Home") && label->text() != QStringLiteral("Главная"));

    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), QStringLiteral("Главная"));
    QCOMPARE(button->text(), QStringLiteral("Отмена"));
}

void TestUiTranslate::dockTitles_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"en", "de", "uk"})
        QTest::newRow(language) << language;
}

// A dock inside a window shows its title in its own title bar: the pass
// translates it there and brings the source back for Russian.
void TestUiTranslate::dockTitles()
{
    QFETCH(QString, language);
    QWidget root;
    root.setLayout(new QVBoxLayout);
    auto* dock = new QDockWidget(QStringLiteral("Слои"), &root);
    root.layout()->addWidget(dock);

    qApp->setProperty("uiLanguage", language);
    localizeWidgetTree(&root);
    const QString shown = dock->windowTitle();
    const QString wanted = uiTranslate(QStringLiteral("Слои"));
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    localizeWidgetTree(&root);
    QCOMPARE(shown, wanted);
    QVERIFY(shown != QStringLiteral("Слои"));
    QCOMPARE(dock->windowTitle(), QStringLiteral("Слои"));
}

// A text the program set after the pass is the new source; the pass never
// brings the first one back.
void TestUiTranslate::passFollowsTextsSetByProgram()
{
    QWidget root;
    root.setLayout(new QVBoxLayout);
    QLabel* label = labelWithText(&root, QStringLiteral("Редакт."));
    QLabel* total = labelWithText(&root, QStringLiteral(" / 0"));
    root.setWindowTitle(QStringLiteral("a.pdf — Настройки"));
    root.setProperty("_vorn_i18n_keep_title", true);

    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    label->setText(QStringLiteral("Чтение"));
    total->setText(QStringLiteral(" / 5"));
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), QStringLiteral("Reading"));
    QCOMPARE(total->text(), QStringLiteral(" / 5"));
    QCOMPARE(root.windowTitle(), QStringLiteral("a.pdf — Настройки"));

    // Set in the shown language between passes: still the new text.
    label->setText(QStringLiteral("Главная"));
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), QStringLiteral("Главная"));
}

void TestUiTranslate::comboCapture()
{
    QWidget root;
    auto* box = new QComboBox(&root);
    box->addItems({QStringLiteral("Светлая"), QStringLiteral("Тёмная")});
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(box->itemText(0), QStringLiteral("Light"));

    // Same count, other items: recaptured.
    box->setItemText(0, QStringLiteral("Отмена"));
    box->setItemText(1, QStringLiteral("Главная"));
    localizeWidgetTree(&root);
    QCOMPARE(box->itemText(0), QStringLiteral("Cancel"));
    QCOMPARE(box->itemText(1), QStringLiteral("Home"));

    // Another count: recaptured too.
    box->addItem(QStringLiteral("Печать"));
    localizeWidgetTree(&root);
    QCOMPARE(box->itemText(2), QStringLiteral("Print"));
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    localizeWidgetTree(&root);
    QCOMPARE(box->itemText(1), QStringLiteral("Главная"));
}

void TestUiTranslate::comboSkipAndLongBoxes()
{
    QWidget root;
    auto* skipped = new QComboBox(&root);
    skipped->addItems({QStringLiteral("Русский"), QStringLiteral("Отмена")});
    skipped->setProperty("_vorn_i18n_skip_items", true);
    auto* longBox = new QComboBox(&root);
    for (int i = 0; i < 81; ++i)
        longBox->addItem(QStringLiteral("Отмена"));
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(skipped->itemText(1), QStringLiteral("Отмена"));
    QCOMPARE(longBox->itemText(80), QStringLiteral("Отмена"));
}

void TestUiTranslate::editableComboKeepsTypedText()
{
    QWidget root;
    auto* box = new QComboBox(&root);
    box->setEditable(true);
    box->addItems({QStringLiteral("Авто"), QStringLiteral("100%")});
    box->setCurrentIndex(0);
    box->setEditText(QStringLiteral("137%"));
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(box->itemText(0), QStringLiteral("Auto"));
    QCOMPARE(box->currentText(), QStringLiteral("137%"));
}

void TestUiTranslate::tabsAndListItems()
{
    QWidget root;
    auto* tabs = new QTabWidget(&root);
    tabs->addTab(new QWidget, QStringLiteral("Главная"));
    tabs->addTab(new QWidget, QStringLiteral("Вид"));
    auto* list = new QListWidget(&root);
    list->addItems({QStringLiteral("Интерфейс"), QStringLiteral("Печать")});
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(tabs->tabText(1), QStringLiteral("View"));
    QCOMPARE(list->item(0)->text(), QStringLiteral("Interface"));
    QCOMPARE(list->item(0)->data(Qt::UserRole + 500).toString(), QStringLiteral("Интерфейс"));

    list->item(1)->setText(QStringLiteral("Отмена"));
    tabs->addTab(new QWidget, QStringLiteral("Печать"));
    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    localizeWidgetTree(&root);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Главная"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Печать"));
    QCOMPARE(list->item(0)->text(), QStringLiteral("Интерфейс"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("Отмена"));
}

// The pass with the embedded table: the words around spin box numbers, the
// headers of tables and trees, a widget's context, and lists of the user's
// own names left as they are.
void TestUiTranslate::passSpinBoxesHeadersContextsAndOwnLists()
{
    QWidget root;
    root.setLayout(new QVBoxLayout);
    auto* minutes = new QSpinBox(&root);
    minutes->setSuffix(QStringLiteral(" мин"));
    auto* megabytes = new QDoubleSpinBox(&root);
    megabytes->setSuffix(QStringLiteral(" МБ"));
    auto* table = new QTableWidget(0, 2, &root);
    table->setHorizontalHeaderLabels({QStringLiteral("Страница"), QStringLiteral("42")});
    auto* tree = new QTreeWidget(&root);
    tree->setHeaderLabels({QStringLiteral("Страница")});
    auto* paste = new QPushButton(QStringLiteral("Вставить"), &root);
    auto* insert = new QPushButton(QStringLiteral("Вставить"), &root);
    setTextContext(insert, QStringLiteral("insert"));
    auto* files = new QListWidget(&root);
    files->addItems({QStringLiteral("Печать"), QStringLiteral("Стр. 3")});
    files->setProperty("_vorn_i18n_skip_items", true);
    auto* pages = new QListWidget(&root);
    pages->addItem(QStringLiteral("Стр. 3"));

    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(minutes->suffix(), QStringLiteral(" minutes"));
    QCOMPARE(megabytes->suffix(), QStringLiteral(" megabytes"));
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Page"));
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("42"));
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Page"));
    QCOMPARE(paste->text(), QStringLiteral("Paste"));
    QCOMPARE(insert->text(), QStringLiteral("Insert"));
    QCOMPARE(files->item(0)->text(), QStringLiteral("Печать"));
    QCOMPARE(files->item(1)->text(), QStringLiteral("Стр. 3"));
    QCOMPARE(pages->item(0)->text(), QStringLiteral("P. 3"));

    qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    localizeWidgetTree(&root);
    QCOMPARE(minutes->suffix(), QStringLiteral(" мин"));
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Страница"));
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Страница"));
    QCOMPARE(insert->text(), QStringLiteral("Вставить"));
    QCOMPARE(pages->item(0)->text(), QStringLiteral("Стр. 3"));
}

void TestUiTranslate::actionsAndTips()
{
    QWidget root;
    auto* button = new QPushButton(&root);
    button->setToolTip(QStringLiteral("Открыть (Ctrl+O)"));
    button->setStatusTip(QStringLiteral("Печать"));
    auto* action = new QAction(QStringLiteral("Отмена"), &root);
    auto* own = new QAction(QStringLiteral("Главная"), button);
    button->addAction(own);
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    localizeWidgetTree(&root);
    QCOMPARE(button->toolTip(), uiTranslate(QStringLiteral("Открыть")) + QStringLiteral(" (Ctrl+O)"));
    QCOMPARE(button->statusTip(), QStringLiteral("Print"));
    QCOMPARE(action->text(), QStringLiteral("Cancel"));
    QCOMPARE(own->text(), QStringLiteral("Home"));
    // A tool tip set after a pass found none is taken up too.
    auto* late = new QPushButton(&root);
    localizeWidgetTree(&root);
    late->setToolTip(QStringLiteral("Печать"));
    localizeWidgetTree(&root);
    QCOMPARE(late->toolTip(), QStringLiteral("Print"));
}

void TestUiTranslate::secondPassOnRunningRootReturns()
{
    QWidget root;
    root.setLayout(new QVBoxLayout);
    QLabel* label = labelWithText(&root, QStringLiteral("Главная"));
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    root.setProperty("_vorn_i18n_localizing", true);
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), QStringLiteral("Главная"));
    root.setProperty("_vorn_i18n_localizing", false);
    localizeWidgetTree(&root);
    QCOMPARE(label->text(), QStringLiteral("Home"));
    QCOMPARE(root.property("_vorn_i18n_localizing").toBool(), false);
}

void TestUiTranslate::deletedWidgetSkipped()
{
    ShowLocalizer localizer;
    qApp->installEventFilter(&localizer);
    qApp->setProperty("uiLanguage", QStringLiteral("en"));
    QWidget kept;
    kept.setLayout(new QVBoxLayout);
    QLabel* label = labelWithText(&kept, QStringLiteral("Главная"));
    QPointer<QWidget> gone = new QLabel(QStringLiteral("Отмена"));
    kept.show();
    gone->show();
    delete gone.data();
    QTRY_COMPARE(label->text(), QStringLiteral("Home"));
    qApp->removeEventFilter(&localizer);
}

QTEST_MAIN(TestUiTranslate)
#include "tst_uitranslate.moc"
