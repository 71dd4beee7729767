#include "UiTranslate.h"

#include "UiTranslationTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVariant>

#include <algorithm>

namespace {

// Combo boxes longer than this (font lists) are never captured.
constexpr int kMostCapturedItems = 80;
// List items keep their source under this role, and what the pass wrote one above.
constexpr int kListSourceRole = Qt::UserRole + 500;
constexpr int kListShownRole = kListSourceRole + 1;

const char* const kTextProperty = "_vorn_i18n_text";
const char* const kTitleProperty = "_vorn_i18n_title";
const char* const kPlaceholderProperty = "_vorn_i18n_placeholder";
const char* const kToolTipProperty = "_vorn_i18n_tooltip";
const char* const kStatusTipProperty = "_vorn_i18n_statusTip";
const char* const kWindowTitleProperty = "_vorn_i18n_windowTitle";
const char* const kItemsProperty = "_vorn_i18n_items";
const char* const kTabsProperty = "_vorn_i18n_tabs";
const char* const kHeadersProperty = "_vorn_i18n_headers";
const char* const kPrefixProperty = "_vorn_i18n_prefix";
const char* const kSuffixProperty = "_vorn_i18n_suffix";
const char* const kSpecialValueProperty = "_vorn_i18n_specialValue";
const char* const kContextProperty = "_vorn_i18n_context";
const char* const kSkipItemsProperty = "_vorn_i18n_skip_items";
const char* const kKeepTitleProperty = "_vorn_i18n_keep_title";
const char* const kLocalizingProperty = "_vorn_i18n_localizing";

const UiTranslationTable& table()
{
    static const UiTranslationTable loaded = UiTranslationTable::fromResource();
    return loaded;
}

QString currentLanguage()
{
    QString language = qApp ? qApp->property("uiLanguage").toString() : QString();
    if (language.isEmpty())
        language = QSettings().value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString();
    return language;
}

// What the pass last wrote under a source property lives beside it.
QByteArray shownProperty(const char* property)
{
    return QByteArray(property) + "_shown";
}

QString contextOf(const QObject* object)
{
    return object->property(kContextProperty).toString();
}

// Translates the remembered source of one text and writes it when it differs.
template <typename Setter>
void localizeText(QObject* object, const char* property, const QString& current, Setter&& set)
{
    const QString source = rememberedText(object, property, current);
    const QString text = uiTranslateSmart(source, contextOf(object));
    object->setProperty(shownProperty(property).constData(), text);
    if (!source.isEmpty() && text != current)
        set(text);
}

// The sources of a list of texts (combo items, tabs): captured again when the
// texts are not what the pass last wrote. A text the pass wrote keeps its
// source; any other text is a new source.
QStringList rememberedList(QObject* object, const char* property, const QStringList& current, bool mayCapture)
{
    const QVariant stored = object->property(property);
    const QStringList shown = object->property(shownProperty(property).constData()).toStringList();
    const QStringList sources = stored.toStringList();
    const bool unchanged = stored.isValid() && shown == current;
    if (unchanged || !mayCapture)
        return sources;
    QHash<QString, QString> sourceOfShown;
    for (qsizetype i = 0; i < qMin(shown.size(), sources.size()); ++i)
        sourceOfShown.insert(shown[i], sources[i]);
    QStringList captured;
    captured.reserve(current.size());
    for (const QString& text : current)
        captured << sourceOfShown.value(text, text);
    object->setProperty(property, captured);
    return captured;
}

void localizeCombo(QComboBox* box)
{
    if (box->property(kSkipItemsProperty).toBool())
        return;
    QStringList current;
    current.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        current << box->itemText(i);
    const QStringList sources =
        rememberedList(box, kItemsProperty, current, box->count() <= kMostCapturedItems);
    if (sources.size() != box->count())
        return;
    QStringList shown;
    shown.reserve(sources.size());
    const QString context = contextOf(box);
    for (const QString& source : sources)
        shown << uiTranslateSmart(source, context);
    box->setProperty(shownProperty(kItemsProperty).constData(), shown);
    if (shown == current)
        return;
    const QSignalBlocker blocker(box);
    // An editable box keeps what the user typed there.
    const bool typed = box->isEditable() && box->currentText() != box->itemText(box->currentIndex());
    const QString typedText = box->currentText();
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] != current[i])
            box->setItemText(i, shown[i]);
    }
    if (typed)
        box->setEditText(typedText);
}

// Texts of a row of labels (tabs, column headers), read and written by index.
template <typename Read, typename Write>
void localizeLabels(QObject* owner, const char* property, int count, Read&& read, Write&& write)
{
    QStringList current;
    current.reserve(count);
    for (int i = 0; i < count; ++i)
        current << read(i);
    const QStringList sources = rememberedList(owner, property, current, true);
    if (sources.size() != count)
        return;
    QStringList shown;
    shown.reserve(sources.size());
    for (const QString& source : sources)
        shown << uiTranslateSmart(source, contextOf(owner));
    owner->setProperty(shownProperty(property).constData(), shown);
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] != current[i])
            write(i, shown[i]);
    }
}

void localizeTabs(QTabWidget* tabs)
{
    localizeLabels(
        tabs, kTabsProperty, tabs->count(), [tabs](int i) { return tabs->tabText(i); },
        [tabs](int i, const QString& text) { tabs->setTabText(i, text); });
}

// Column headers of tables and trees; a column without a header item keeps
// the number the view shows.
void localizeHeaders(QWidget* view)
{
    if (auto* table = qobject_cast<QTableWidget*>(view)) {
        auto header = [table](int i) { return table->horizontalHeaderItem(i); };
        localizeLabels(
            table, kHeadersProperty, table->columnCount(),
            [header](int i) { return header(i) ? header(i)->text() : QString(); },
            [header](int i, const QString& text) {
                if (header(i))
                    header(i)->setText(text);
            });
    } else if (auto* tree = qobject_cast<QTreeWidget*>(view)) {
        QTreeWidgetItem* header = tree->headerItem();
        localizeLabels(
            tree, kHeadersProperty, header ? header->columnCount() : 0,
            [header](int i) { return header->text(i); },
            [header](int i, const QString& text) { header->setText(i, text); });
    }
}

// The words around a spin box's number ("5 мин") and its special text.
void localizeSpinBox(QAbstractSpinBox* spin)
{
    if (auto* box = qobject_cast<QSpinBox*>(spin)) {
        localizeText(box, kPrefixProperty, box->prefix(), [box](const QString& text) { box->setPrefix(text); });
        localizeText(box, kSuffixProperty, box->suffix(), [box](const QString& text) { box->setSuffix(text); });
    } else if (auto* box = qobject_cast<QDoubleSpinBox*>(spin)) {
        localizeText(box, kPrefixProperty, box->prefix(), [box](const QString& text) { box->setPrefix(text); });
        localizeText(box, kSuffixProperty, box->suffix(), [box](const QString& text) { box->setSuffix(text); });
    }
    localizeText(spin, kSpecialValueProperty, spin->specialValueText(),
                 [spin](const QString& text) { spin->setSpecialValueText(text); });
}

// A list of the user's own things (files, certificates) is left as it is.
void localizeList(QListWidget* list)
{
    if (list->property(kSkipItemsProperty).toBool())
        return;
    const QString context = contextOf(list);
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const QString current = item->text();
        const QVariant shown = item->data(kListShownRole);
        if (!item->data(kListSourceRole).isValid() || (shown.isValid() && shown.toString() != current))
            item->setData(kListSourceRole, current);
        const QString text = uiTranslateSmart(item->data(kListSourceRole).toString(), context);
        item->setData(kListShownRole, text);
        if (text != current)
            item->setText(text);
    }
}

void localizeWidget(QWidget* widget)
{
    if (auto* labelWidget = qobject_cast<QLabel*>(widget))
        localizeText(labelWidget, kTextProperty, labelWidget->text(),
                     [labelWidget](const QString& text) { labelWidget->setText(text); });
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        localizeText(button, kTextProperty, button->text(), [button](const QString& text) { button->setText(text); });
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        localizeText(group, kTitleProperty, group->title(), [group](const QString& text) { group->setTitle(text); });
    // A dock's title bar shows its window title, though it is no window.
    if (auto* dock = qobject_cast<QDockWidget*>(widget); dock && !dock->isWindow())
        localizeText(dock, kWindowTitleProperty, dock->windowTitle(),
                     [dock](const QString& text) { dock->setWindowTitle(text); });
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        localizeText(line, kPlaceholderProperty, line->placeholderText(),
                     [line](const QString& text) { line->setPlaceholderText(text); });
    if (auto* edit = qobject_cast<QTextEdit*>(widget))
        localizeText(edit, kPlaceholderProperty, edit->placeholderText(),
                     [edit](const QString& text) { edit->setPlaceholderText(text); });
    if (auto* box = qobject_cast<QComboBox*>(widget))
        localizeCombo(box);
    if (auto* list = qobject_cast<QListWidget*>(widget))
        localizeList(list);
    if (auto* tabs = qobject_cast<QTabWidget*>(widget))
        localizeTabs(tabs);
    if (qobject_cast<QTableWidget*>(widget) || qobject_cast<QTreeWidget*>(widget))
        localizeHeaders(widget);
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
        localizeSpinBox(spin);
    localizeText(widget, kToolTipProperty, widget->toolTip(), [widget](const QString& text) { widget->setToolTip(text); });
    localizeText(widget, kStatusTipProperty, widget->statusTip(),
                 [widget](const QString& text) { widget->setStatusTip(text); });
    for (QAction* action : widget->actions())
        localizeAction(action);
}

// A dialog laid out for its Russian texts grows where its translated wrapped
// texts need more lines than it has room for, within its screen: the layout
// of a window does not follow the height its wrapped labels ask.
void growToWrappedTexts(QWidget* root)
{
    auto* dialog = qobject_cast<QDialog*>(root);
    QLayout* layout = dialog && dialog->isWindow() ? dialog->layout() : nullptr;
    if (!layout || !layout->hasHeightForWidth())
        return;
    layout->activate();
    int needed = layout->totalHeightForWidth(dialog->width());
    if (const QScreen* screen = dialog->screen())
        needed = std::min(needed, screen->availableGeometry().height());
    if (needed > dialog->height())
        dialog->resize(dialog->width(), needed);
}

} // namespace

QString uiTranslate(const QString& source, const QString& context)
{
    if (source.isEmpty())
        return source;
    return table().translate(currentLanguage(), source, context);
}

QString uiTranslateSmart(const QString& source, const QString& context)
{
    if (source.isEmpty())
        return source;
    return table().translateSmart(currentLanguage(), source, context);
}

void setTextContext(QObject* object, const QString& context)
{
    object->setProperty(kContextProperty, context);
}

QString rememberedText(QObject* object, const char* property, const QString& current)
{
    const QVariant stored = object->property(property);
    if (stored.isValid()) {
        const QVariant shown = object->property(shownProperty(property).constData());
        if (!shown.isValid() || shown.toString() == current)
            return stored.toString();
    }
    object->setProperty(property, current);
    return current;
}

void localizeAction(QAction* action)
{
    if (!action)
        return;
    const QString source = rememberedText(action, kTextProperty, action->text());
    const QString text = uiTranslateSmart(source, contextOf(action));
    action->setProperty(shownProperty(kTextProperty).constData(), text);
    if (text != action->text())
        action->setText(text);
    localizeText(action, kToolTipProperty, action->toolTip(), [action](const QString& t) { action->setToolTip(t); });
    localizeText(action, kStatusTipProperty, action->statusTip(),
                 [action](const QString& t) { action->setStatusTip(t); });
}

void localizeWidgetTree(QWidget* root)
{
    if (!root || root->property(kLocalizingProperty).toBool())
        return;
    root->setProperty(kLocalizingProperty, true);
    // A window whose title the program keeps up to date itself is left alone.
    if (!root->property(kKeepTitleProperty).toBool())
        localizeText(root, kWindowTitleProperty, root->windowTitle(),
                     [root](const QString& text) { root->setWindowTitle(text); });
    localizeWidget(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        localizeWidget(child);
    for (QAction* action : root->findChildren<QAction*>())
        localizeAction(action);
    growToWrappedTexts(root);
    root->setProperty(kLocalizingProperty, false);
}

const QList<std::pair<QString, QString>>& uiLanguageList()
{
    static const QList<std::pair<QString, QString>> languages = table().languages();
    return languages;
}

QString currentUiLanguageCode()
{
    QString code = qApp ? qApp->property("uiLanguage").toString() : QString();
    if (code.trimmed().isEmpty())
        code = QLocale::system().name();
    code.replace(QLatin1Char('_'), QLatin1Char('-'));
    const qsizetype hyphen = code.indexOf(QLatin1Char('-'));
    if (hyphen > 0)
        code.truncate(hyphen);
    return code.toLower();
}
