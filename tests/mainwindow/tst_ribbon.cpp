// The ribbon and the window's keys: what each edition offers, the
// remembered tab, the commands tool buttons find from their icon and text,
// saving by key and button, and the Home tab's format controls that follow
// the active editor without sending back.
#include "PromptDriver.h"
#include "TextFormat.h"
#include "ToolButtonRules.h"
#include "WindowTestSupport.h"

#include <QColorDialog>
#include <QComboBox>
#include <QShortcut>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTextEdit>

#include <memory>
#include <vector>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)
Q_DECLARE_METATYPE(ToolCommand)

namespace {

QTabWidget* ribbon(MainWindow& window)
{
    return window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
}

QStringList windowKeys(MainWindow& window)
{
    QStringList keys;
    for (QShortcut* shortcut : window.findChildren<QShortcut*>(Qt::FindDirectChildrenOnly))
        keys << shortcut->key().toString(QKeySequence::PortableText);
    return keys;
}

QComboBox* fontCombo(MainWindow& window)
{
    return homePage(window)->findChild<QComboBox*>(QStringLiteral("RibbonCombo"));
}

QSpinBox* sizeSpin(MainWindow& window)
{
    return homePage(window)->findChild<QSpinBox*>(QStringLiteral("RibbonSpin"));
}

// Every request the format controls send, by signal name.
class RequestLog {
public:
    explicit RequestLog(MainWindow& window)
    {
        auto* requests = window.findChild<TextFormatRequests*>(QStringLiteral("TextFormatRequests"));
        const QMetaObject* meta = requests->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                m_spies.push_back(std::make_unique<QSignalSpy>(requests, meta->method(i)));
        }
    }
    // "name(arguments)" of each request, in no particular order across names.
    QStringList sent() const
    {
        QStringList result;
        for (const auto& spy : m_spies) {
            for (const QList<QVariant>& arguments : *spy) {
                QStringList values;
                for (const QVariant& value : arguments)
                    values << (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::Bool
                                   ? value.toString()
                                   : QString::number(value.toInt()));
                result << QString::fromLatin1(spy->signal()).section('(', 0, 0) + '(' + values.join(',') + ')';
            }
        }
        return result;
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

// The active editor's format as the view reports it.
void report(MainWindow& window, const QString& family, int size, bool bold, bool superscript, bool subscript,
            Qt::Alignment alignment)
{
    QVERIFY(QMetaObject::invokeMethod(&window, "onActiveTextFormatChanged", Q_ARG(QString, family), Q_ARG(int, size),
                                      Q_ARG(bool, bold), Q_ARG(bool, false), Q_ARG(bool, false), Q_ARG(bool, false),
                                      Q_ARG(bool, superscript), Q_ARG(bool, subscript),
                                      Q_ARG(Qt::Alignment, alignment)));
}

const QStringList kToggles{"Полужирный", "Верхний индекс", "Нижний индекс", "По левому краю",
                           "По центру",  "По правому краю", "По ширине"};

} // namespace

class RibbonTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    // The ribbon's tabs, the Home tab's commands and the window's editing, OCR
    // and insert keys exist only where their features do.
    void editionOffersItsFeatures_data()
    {
        QTest::addColumn<AppProduct>("edition");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::addColumn<bool>("editingKeys");
        QTest::addColumn<QStringList>("insertGroups");
        QTest::newRow("editor") << AppProduct::editor
                                << QStringList{"Главная", "Вставка", "Страницы", "Разметка", "Вид"}
                                << QStringList{"Импорт", "Редакт.", "OCR", "Добавить текст", "Полужирный"}
                                << QStringList{} << true
                                << QStringList{"Позиция", "Добавить страницы из", "Объекты", "Поля формы", "Факсимиле"};
        QTest::newRow("viewer") << AppProduct::viewer << QStringList{"Главная", "Вставка", "Разметка", "Вид"}
                                << QStringList{"Рука", "Копировать"}
                                << QStringList{"Импорт", "Редакт.", "OCR", "Подписать файл электронной подписью",
                                               "Добавить текст", "Полужирный"}
                                << false << QStringList{"Факсимиле"};
        QTest::newRow("signing") << AppProduct::ecp << QStringList{"Главная", "Разметка", "Вид"}
                                 << QStringList{"Подписать файл электронной подписью"}
                                 << QStringList{"Импорт", "Редакт.", "OCR", "Вставить факсимиле", "Добавить текст"}
                                 << false << QStringList{};
    }

    void editionOffersItsFeatures()
    {
        QFETCH(AppProduct, edition);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QFETCH(bool, editingKeys);
        QFETCH(QStringList, insertGroups);
        MainWindow window(edition);
        QStringList labels;
        QStringList groups;
        for (int i = 0; i < ribbon(window)->count(); ++i) {
            labels << ribbon(window)->tabText(i);
            if (labels.last() == QStringLiteral("Вставка")) {
                for (QLabel* title : ribbon(window)->widget(i)->findChildren<QLabel*>(QStringLiteral("RibbonGroupTitle")))
                    groups << title->text();
            }
        }
        QCOMPARE(labels, tabs);
        QCOMPARE(groups, insertGroups);
        for (const QString& text : present)
            QVERIFY2(homeButton(window, text), qPrintable(text));
        for (const QString& text : absent)
            QVERIFY2(!homeButton(window, text), qPrintable(text));

        const QStringList keys = windowKeys(window);
        QVERIFY(keys.contains(QKeySequence(QKeySequence::Save).toString()));
        for (const char* key : {"Ctrl+Alt+I", "Ctrl+Shift+O", "F2", "Ctrl+T", "Ctrl+Shift+I"})
            QCOMPARE(keys.contains(QLatin1String(key)), editingKeys);
        // The keys the Home tab's buttons show are bound where the edition has the button.
        QVERIFY(keys.contains(QStringLiteral("Ctrl+Alt+M")));
        QCOMPARE(keys.contains(QStringLiteral("Ctrl+Alt+S")),
                 homeButton(window, QStringLiteral("Подписать файл электронной подписью")) != nullptr);
        QCOMPARE(keys.contains(QStringLiteral("Ctrl+Shift+F")),
                 homeButton(window, QStringLiteral("Вставить факсимиле")) != nullptr);
    }

    // A key a button's tool tip shows runs that button's command.
    void hintedKeysRunTheirCommands_data()
    {
        QTest::addColumn<AppProduct>("edition");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("prompt");  // the title of what comes up; empty: nothing
        QTest::newRow("compress") << AppProduct::editor << "Ctrl+Alt+M" << "Сохранить сжатый PDF";
        QTest::newRow("sign") << AppProduct::editor << "Ctrl+Alt+S" << "Подписание документа";
        QTest::newRow("facsimile") << AppProduct::editor << "Ctrl+Shift+F" << "Факсимиле";
        QTest::newRow("viewer compresses") << AppProduct::viewer << "Ctrl+Alt+M" << "Сохранить сжатый PDF";
        QTest::newRow("viewer has no signing") << AppProduct::viewer << "Ctrl+Alt+S" << "";
        QTest::newRow("viewer facsimile") << AppProduct::viewer << "Ctrl+Shift+F" << "Факсимиле";
        QTest::newRow("signing edition signs") << AppProduct::ecp << "Ctrl+Alt+S" << "Подписание документа";
        QTest::newRow("signing edition has no facsimiles") << AppProduct::ecp << "Ctrl+Shift+F" << "";
    }

    void hintedKeysRunTheirCommands()
    {
        QFETCH(AppProduct, edition);
        QFETCH(QString, keys);
        QFETCH(QString, prompt);
        QTemporaryDir dir;
        MainWindow window(edition);
        window.setSigningWorkerProgram(QStringLiteral("/bin/false"));  // no certificates are listed
        showActive(window);
        window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
        QCOMPARE(prompt::promptShownDuring([&window, keys] { QTest::keySequence(&window, QKeySequence(keys)); }),
                 prompt);
    }

    // The tab chosen in one window is shown by the next, when the user asked
    // for it and the edition has that tab.
    void rememberedTabComesBack_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<AppProduct>("nextEdition");
        QTest::addColumn<int>("shown");
        QTest::newRow("editor, last tab") << true << AppProduct::editor << 4;
        QTest::newRow("signing edition has three tabs") << true << AppProduct::ecp << 0;
        QTest::newRow("not remembering") << false << AppProduct::editor << 0;
    }

    void rememberedTabComesBack()
    {
        QFETCH(bool, remember);
        QFETCH(AppProduct, nextEdition);
        QFETCH(int, shown);
        QSettings().setValue(QStringLiteral("ui/rememberTab"), remember);
        {
            MainWindow first(AppProduct::editor);
            ribbon(first)->setCurrentIndex(4);
        }
        MainWindow window(nextEdition);
        QCOMPARE(ribbon(window)->currentIndex(), shown);
    }

    void commandChosenByFirstMatchingRule_data()
    {
        using C = ToolCommand;
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("text");
        QTest::addColumn<ToolCommand>("command");
        QTest::newRow("print icon whatever the text") << "print" << "Открыть" << C::Print;
        QTest::newRow("open text whatever the icon") << "zoom-in" << "Открыть" << C::OpenDialog;
        QTest::newRow("unknown icon") << "folder" << "" << C::None;
        QTest::newRow("one of several texts") << "x" << "Сохр." << C::SaveExportDialog;
        QTest::newRow("letter case of the text counts") << "x" << "ocr" << C::None;
        QTest::newRow("text rule before search icon") << "search" << "Свойства" << C::DocumentProperties;
        QTest::newRow("icon alone") << "zoom-in" << "" << C::ZoomIn;
        QTest::newRow("icon and text both") << "fit-width" << "Ширина" << C::FitWidth;
        QTest::newRow("icon without its text") << "fit-width" << "По ширине" << C::None;
        QTest::newRow("text without its icon") << "x" << "Ширина" << C::None;
        QTest::newRow("text with a trailing blank") << "x" << "Закрыть " << C::None;
    }

    void commandChosenByFirstMatchingRule()
    {
        QFETCH(QString, icon);
        QFETCH(QString, text);
        QFETCH(ToolCommand, command);
        QCOMPARE(toolCommandFor(icon, text), command);
    }

    // A wired button runs the command of its icon and text; unwired, nothing.
    void wiredButtonsRunTheirCommand_data()
    {
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wire");
        QTest::addColumn<QString>("effect");
        QTest::newRow("zoom in") << "zoom-in" << "+" << true << "zoom 125";
        QTest::newRow("unwired zoom in") << "zoom-in" << "+" << false << "zoom 100";
        QTest::newRow("fit width with another text") << "fit-width" << "По ширине" << true << "zoom 100";
        QTest::newRow("fit width") << "fit-width" << "Ширина" << true << "zoom changed";
        QTest::newRow("full screen") << "fullscreen" << "Экран" << true << "full screen";
        QTest::newRow("close") << "x" << "Закрыть" << true << "modeless prompt";
    }

    void wiredButtonsRunTheirCommand()
    {
        QFETCH(QString, icon);
        QFETCH(QString, text);
        QFETCH(bool, wire);
        QFETCH(QString, effect);
        QTemporaryDir dir;
        MainWindow window(AppProduct::viewer);
        showWithPdf(window, dir, 1);
        view(window)->setZoom(1.0);
        std::unique_ptr<QToolButton> button(window.toolButton(icon, text, false, wire));
        button->click();
        if (effect == QLatin1String("full screen")) {
            QTRY_VERIFY(window.isFullScreen());
            button->click();
            QTRY_VERIFY(!window.isFullScreen());
        } else if (effect == QLatin1String("modeless prompt")) {
            auto* prompt = window.findChild<QDialog*>(QStringLiteral("AppDialog"));
            QVERIFY(prompt && prompt->isVisible() && !prompt->isModal());
        } else if (effect == QLatin1String("zoom changed")) {
            QVERIFY(view(window)->zoom() != 1.0);
        } else {
            QCOMPARE(qRound(view(window)->zoom() * 100), effect.mid(5).toInt());
        }
    }

    // The save key and the Home tab's button ask for a name for an untitled
    // document, and do nothing without one.
    void saveOnUntitledOpensSaveAs_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("untitled");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("key") << true << true << "Сохранить как";
        QTest::newRow("button") << false << true << "Сохранить как";
        QTest::newRow("key without a document") << true << false << "";
    }

    void saveOnUntitledOpensSaveAs()
    {
        QFETCH(bool, byKey);
        QFETCH(bool, untitled);
        QFETCH(QString, prompt);
        MainWindow window(AppProduct::editor);
        showActive(window);
        if (untitled)
            adoptUntitled(window, 0);
        QCOMPARE(prompt::promptShownDuring([&window, byKey] {
                     if (byKey)
                         QTest::keySequence(&window, QKeySequence::Save);
                     else
                         homeButton(window, "Сохранить")->click();
                 }),
                 prompt);
    }

    // A report sets the controls, all of them, and sends nothing back: a
    // family is added when unknown, the size is clamped to the box's range,
    // and exactly one of the four alignments, or none, is checked.
    void reportSetsControlsWithoutSending_data()
    {
        QTest::addColumn<QString>("family");  // "FIRST UPPER": the first family in capitals
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("script");  // 1 superscript, -1 subscript
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("familiesAdded");
        QTest::addColumn<int>("shownSize");
        QTest::addColumn<QStringList>("checked");
        QTest::newRow("unknown family, bold, superscript")
            << "Vorn Test Face" << 20 << 1 << int(Qt::AlignHCenter) << 1 << 20
            << QStringList{"Полужирный", "Верхний индекс", "По центру"};
        QTest::newRow("family in other letter case") << "FIRST UPPER" << 12 << -1 << int(Qt::AlignLeft) << 0 << 12
                                                     << QStringList{"Нижний индекс", "По левому краю"};
        QTest::newRow("blank family, size above") << "   " << 200 << 0 << int(Qt::AlignRight) << 0 << 160
                                                  << QStringList{"По правому краю"};
        QTest::newRow("size below, justify") << "" << 2 << 0 << int(Qt::AlignJustify) << 0 << 6
                                             << QStringList{"По ширине"};
        QTest::newRow("alignment combined with vertical") << "" << 12 << 0 << int(Qt::AlignLeft | Qt::AlignTop) << 0
                                                          << 12 << QStringList{};
        QTest::newRow("no alignment") << "" << 12 << 0 << 0 << 0 << 12 << QStringList{};
    }

    void reportSetsControlsWithoutSending()
    {
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(int, script);
        QFETCH(int, alignment);
        QFETCH(int, familiesAdded);
        QFETCH(int, shownSize);
        QFETCH(QStringList, checked);
        MainWindow window(AppProduct::editor);
        QComboBox* combo = fontCombo(window);
        combo->setCurrentIndex(1);
        const QString before = combo->currentText();
        const int count = combo->count();
        if (family == QLatin1String("FIRST UPPER"))
            family = combo->itemText(0).toUpper();
        for (const QString& text : kToggles)
            homeButton(window, text)->setChecked(true);

        RequestLog log(window);
        report(window, family, size, checked.contains("Полужирный"), script > 0, script < 0, Qt::Alignment(alignment));
        QCOMPARE(log.sent(), QStringList());
        QCOMPARE(combo->count(), count + familiesAdded);
        QCOMPARE(combo->currentText(), familiesAdded ? family : before);
        QCOMPARE(sizeSpin(window)->value(), shownSize);
        for (const QString& text : kToggles)
            QVERIFY2(homeButton(window, text)->isChecked() == checked.contains(text), qPrintable(text));
        QVERIFY(combo->isEnabled());
    }

    // A click on a control sends its one request, also right after a report;
    // size steps stop at the ends of the range, and superscript turns subscript
    // off without a request.
    void controlSends_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("bold") << 12 << "Полужирный" << QStringList{"bold(true)"};
        QTest::newRow("italic") << 12 << "Курсив" << QStringList{"italic(true)"};
        QTest::newRow("strike out") << 12 << "Зачёркивание" << QStringList{"strikeOut(true)"};
        QTest::newRow("clear") << 12 << "Очистить форматирование" << QStringList{"clearFormatting()"};
        QTest::newRow("bullets") << 12 << "Маркированный список" << QStringList{"bulletedList()"};
        QTest::newRow("numbers") << 12 << "Нумерованный список" << QStringList{"numberedList()"};
        QTest::newRow("outdent") << 12 << "Уменьшить отступ" << QStringList{"indent(-18)"};
        QTest::newRow("indent") << 12 << "Увеличить отступ" << QStringList{"indent(18)"};
        QTest::newRow("justify") << 12 << "По ширине" << QStringList{QString("alignment(%1)").arg(int(Qt::AlignJustify))};
        QTest::newRow("superscript") << 12 << "Верхний индекс" << QStringList{"superscript(true)"};
        QTest::newRow("size up at the maximum") << 200 << "Увеличить шрифт" << QStringList{};
        QTest::newRow("size down from the maximum") << 200 << "Уменьшить шрифт" << QStringList{"fontSize(159)"};
        QTest::newRow("size down at the minimum") << 6 << "Уменьшить шрифт" << QStringList{};
        QTest::newRow("size typed") << 12 << "size box" << QStringList{"fontSize(14)"};
    }

    void controlSends()
    {
        QFETCH(int, size);
        QFETCH(QString, button);
        QFETCH(QStringList, sent);
        MainWindow window(AppProduct::editor);
        report(window, QString(), size, false, false, true, Qt::AlignLeft);
        RequestLog log(window);
        if (button == QLatin1String("size box"))
            sizeSpin(window)->setValue(14);
        else
            homeButton(window, button)->click();
        QCOMPARE(log.sent(), sent);
        if (button == QStringLiteral("Верхний индекс"))
            QVERIFY(!homeButton(window, "Нижний индекс")->isChecked());
    }

    // A format key clicks its button only while an editor takes formats. Where
    // the plus sign is Shift with "=", zoom in and superscript share one
    // keystroke: either shortcut told of the clash zooms without an editor and
    // sets superscript with one.
    void formatKeysFollowTheEditor()
    {
        MainWindow window(AppProduct::editor);
        showActive(window);
        QShortcut* zoomIn = nullptr;
        QShortcut* superscript = nullptr;
        for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
            if (shortcut->key() == QKeySequence(QKeySequence::ZoomIn))
                zoomIn = shortcut;
            if (shortcut->key() == QKeySequence(QStringLiteral("Ctrl+Shift+=")))
                superscript = shortcut;
        }
        QVERIFY(zoomIn && superscript);
        QToolButton* bold = homeButton(window, "Полужирный");
        QTest::keySequence(&window, QKeySequence::Bold);
        QVERIFY(!bold->isChecked());
        emit superscript->activatedAmbiguously();
        emit zoomIn->activatedAmbiguously();
        QCOMPARE(view(window)->zoom(), 1.5625);

        window.setFontControlsEnabled(true);
        QTest::keySequence(&window, QKeySequence::Bold);
        QVERIFY(bold->isChecked());
        QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+]")));
        QTest::keySequence(&window, QKeySequence::Bold);
        QVERIFY(!bold->isChecked());
        emit zoomIn->activatedAmbiguously();
        QVERIFY(homeButton(window, "Верхний индекс")->isChecked());
        QCOMPARE(view(window)->zoom(), 1.5625);
    }

    // Through the real page view: the editor's report enables and sets the
    // controls, and a control's change reaches the editor's text.
    void formatReachesActiveEditorAndComesBack()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        TextBlock block;
        block.text = QStringLiteral("Строка текста");
        block.rect = QRectF(72, 72, 300, 24);
        block.fontSize = 14;
        PdfView* pageView = view(window);
        pageView->setEditMode(true);
        pageView->setOcrBlocks({block}, 0, false);
        pageView->activateOcrBlock(0);
        QTextEdit* editor = pageView->activeTextEditor();
        QVERIFY(editor);
        QToolButton* bold = homeButton(window, "Полужирный");
        QVERIFY(bold->isEnabled());
        QVERIFY(!bold->isChecked());

        editor->selectAll();
        bold->click();
        QVERIFY(editor->textCursor().charFormat().fontWeight() >= QFont::Bold);
        QVERIFY(bold->isChecked());

        pageView->deactivateOcrBlock();
        QVERIFY(!bold->isEnabled());
    }

    // The colour dialog starts at black; a chosen colour goes out, a cancelled
    // one sends nothing.
    void colourChoice()
    {
        MainWindow window(AppProduct::editor);
        window.show();
        report(window, QString(), 12, false, false, false, Qt::AlignLeft);
        auto* requests = window.findChild<TextFormatRequests*>(QStringLiteral("TextFormatRequests"));
        QSignalSpy text(requests, &TextFormatRequests::textColor);
        QSignalSpy background(requests, &TextFormatRequests::backgroundColor);
        for (bool accept : {false, true}) {
            QColor initial;
            prompt::Driver prompts;
            prompts.whenShown([&initial, accept](QDialog* dialog) {
                auto* colours = qobject_cast<QColorDialog*>(dialog);
                initial = colours ? colours->currentColor() : QColor();
                if (colours)
                    colours->setCurrentColor(QColor(10, 20, 30));
                accept ? dialog->accept() : dialog->reject();
            });
            homeButton(window, "Цвет текста")->click();
            QCOMPARE(initial, QColor(Qt::black));
            QCOMPARE(text.count(), accept ? 1 : 0);
        }
        QCOMPARE(text.at(0).at(0).value<QColor>(), QColor(10, 20, 30));
        QCOMPARE(background.count(), 0);
    }
};

QTEST_MAIN(RibbonTest)
#include "tst_ribbon.moc"
