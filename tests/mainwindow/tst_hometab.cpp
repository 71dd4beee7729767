// The Home tab: its groups by edition, the save button's choice, and the
// format controls that follow the active editor without sending back.
#include "PromptDriver.h"
#include "TextFormat.h"
#include "WindowTestSupport.h"

#include <QColorDialog>
#include <QComboBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>

#include <memory>
#include <vector>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)

namespace {

// Every request the format controls send, by signal name.
class RequestLog {
public:
    explicit RequestLog(MainWindow& window)
    {
        auto* requests = window.findChild<TextFormatRequests*>(QStringLiteral("TextFormatRequests"));
        const QMetaObject* meta = requests->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                m_spies.push_back(std::make_unique<QSignalSpy>(requests, method));
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
    void clear()
    {
        for (const auto& spy : m_spies)
            spy->clear();
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

void report(MainWindow& window, const QString& family, int size, bool bold, bool superscript, bool subscript,
            Qt::Alignment alignment)
{
    QVERIFY(QMetaObject::invokeMethod(&window, "onActiveTextFormatChanged", Q_ARG(QString, family), Q_ARG(int, size),
                                      Q_ARG(bool, bold), Q_ARG(bool, false), Q_ARG(bool, false), Q_ARG(bool, false),
                                      Q_ARG(bool, superscript), Q_ARG(bool, subscript),
                                      Q_ARG(Qt::Alignment, alignment)));
}

QComboBox* fontCombo(MainWindow& window)
{
    return homePage(window)->findChild<QComboBox*>(QStringLiteral("RibbonCombo"));
}

QSpinBox* sizeSpin(MainWindow& window)
{
    return homePage(window)->findChild<QSpinBox*>(QStringLiteral("RibbonSpin"));
}

} // namespace

class HomeTabTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void groupsFollowEdition_data();
    void groupsFollowEdition();
    void saveButtonChoosesSaveAs();

    void reportSetsControlsWithoutSending();
    void reportedFamily_data();
    void reportedFamily();
    void reportedSizeAndAlignment_data();
    void reportedSizeAndAlignment();

    void controlSends_data();
    void controlSends();
    void formatReachesActiveEditorAndComesBack();
    void colourChoice_data();
    void colourChoice();
};

// The editing, OCR, signing and insert commands exist only where their
// features do.
void HomeTabTest::groupsFollowEdition_data()
{
    QTest::addColumn<AppProduct>("edition");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("editor") << AppProduct::editor
                            << QStringList{"Импорт", "Редакт.", "OCR", "Добавить текст", "Полужирный"}
                            << QStringList{};
    QTest::newRow("viewer") << AppProduct::viewer << QStringList{"Рука", "Копировать"}
                            << QStringList{"Импорт", "Редакт.", "OCR", "Подписать файл электронной подписью",
                                           "Добавить текст", "Полужирный"};
    QTest::newRow("signing") << AppProduct::ecp << QStringList{"Подписать файл электронной подписью"}
                             << QStringList{"Импорт", "Редакт.", "OCR", "Вставить факсимиле", "Добавить текст"};
}

void HomeTabTest::groupsFollowEdition()
{
    QFETCH(AppProduct, edition);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    MainWindow window(edition);
    for (const QString& text : present)
        QVERIFY2(homeButton(window, text), qPrintable(text));
    for (const QString& text : absent)
        QVERIFY2(!homeButton(window, text), qPrintable(text));
}

void HomeTabTest::saveButtonChoosesSaveAs()
{
    MainWindow window(AppProduct::editor);
    window.show();
    window.currentDocument()->createEmpty();
    window.adoptInitialDocumentAsTab();
    QString caption;
    prompt::Driver prompts;
    prompts.whenShown([&caption](QDialog* dialog) {
        caption = dialog->windowTitle();
        dialog->reject();
    });
    homeButton(window, "Сохранить")->click();
    QCOMPARE(caption, QStringLiteral("Сохранить как"));
}

void HomeTabTest::reportSetsControlsWithoutSending()
{
    MainWindow window(AppProduct::editor);
    RequestLog log(window);
    report(window, QStringLiteral("DejaVu Sans"), 20, true, true, false, Qt::AlignHCenter);
    QCOMPARE(log.sent(), QStringList());
    QCOMPARE(fontCombo(window)->currentText(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(sizeSpin(window)->value(), 20);
    QVERIFY(homeButton(window, "Полужирный")->isChecked());
    QVERIFY(homeButton(window, "Верхний индекс")->isChecked());
    QVERIFY(!homeButton(window, "Нижний индекс")->isChecked());
    QVERIFY(homeButton(window, "По центру")->isChecked());
    QVERIFY(homeButton(window, "Полужирный")->isEnabled());
    QVERIFY(fontCombo(window)->isEnabled());
    // The controls are live again afterwards.
    homeButton(window, "Полужирный")->click();
    sizeSpin(window)->setValue(14);
    QStringList sent = log.sent();
    sent.sort();
    QCOMPARE(sent, (QStringList{"bold(false)", "fontSize(14)"}));
}

void HomeTabTest::reportedFamily_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("added");
    QTest::addColumn<QString>("current");  // empty: the item current before
    QTest::newRow("unknown family appended and chosen") << "Vorn Test Face" << 1 << "Vorn Test Face";
    QTest::newRow("other letter case adds nothing") << "__FIRST_UPPER__" << 0 << "";
    QTest::newRow("blank family changes nothing") << "   " << 0 << "";
}

void HomeTabTest::reportedFamily()
{
    QFETCH(QString, family);
    QFETCH(int, added);
    QFETCH(QString, current);
    MainWindow window(AppProduct::editor);
    QComboBox* combo = fontCombo(window);
    combo->setCurrentIndex(1);
    const QString before = combo->currentText();
    if (family == QLatin1String("__FIRST_UPPER__"))
        family = combo->itemText(0).toUpper();
    const int count = combo->count();
    RequestLog log(window);
    report(window, family, 12, false, false, false, Qt::AlignLeft);
    QCOMPARE(combo->count(), count + added);
    QCOMPARE(combo->currentText(), current.isEmpty() ? before : current);
    QCOMPARE(log.sent(), QStringList());
}

// A reported size is clamped to the box's range; exactly one of the four
// alignments, or none, is checked.
void HomeTabTest::reportedSizeAndAlignment_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QString>("checked");  // empty: none of the four
    QTest::newRow("above, left") << 200 << 160 << int(Qt::AlignLeft) << "По левому краю";
    QTest::newRow("below, centre") << 2 << 6 << int(Qt::AlignHCenter) << "По центру";
    QTest::newRow("within, right") << 48 << 48 << int(Qt::AlignRight) << "По правому краю";
    QTest::newRow("justify") << 12 << 12 << int(Qt::AlignJustify) << "По ширине";
    QTest::newRow("combined with vertical") << 12 << 12 << int(Qt::AlignLeft | Qt::AlignTop) << "";
    QTest::newRow("none") << 12 << 12 << 0 << "";
}

void HomeTabTest::reportedSizeAndAlignment()
{
    QFETCH(int, size);
    QFETCH(int, shown);
    QFETCH(int, alignment);
    QFETCH(QString, checked);
    MainWindow window(AppProduct::editor);
    for (const char* text : {"По левому краю", "По центру", "По правому краю", "По ширине"})
        homeButton(window, text)->setChecked(true);
    report(window, QString(), size, false, false, false, Qt::Alignment(alignment));
    QCOMPARE(sizeSpin(window)->value(), shown);
    for (const char* text : {"По левому краю", "По центру", "По правому краю", "По ширине"})
        QCOMPARE(homeButton(window, text)->isChecked(), checked == QString::fromUtf8(text));
}

// A click on a control sends its one request; size steps stop at the ends
// of the range, and superscript turns subscript off without a request.
void HomeTabTest::controlSends_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("sent");
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
}

void HomeTabTest::controlSends()
{
    QFETCH(int, size);
    QFETCH(QString, button);
    QFETCH(QStringList, sent);
    MainWindow window(AppProduct::editor);
    report(window, QString(), size, false, false, true, Qt::AlignLeft);
    RequestLog log(window);
    homeButton(window, button)->click();
    QCOMPARE(log.sent(), sent);
    if (button == QLatin1String("Верхний индекс"))
        QVERIFY(!homeButton(window, "Нижний индекс")->isChecked());
}

// Through the real page view: the editor's report enables and sets the
// controls, and a control's change reaches the editor's text.
void HomeTabTest::formatReachesActiveEditorAndComesBack()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
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
    QVERIFY(homeButton(window, "Полужирный")->isEnabled());
    QVERIFY(!homeButton(window, "Полужирный")->isChecked());

    editor->selectAll();
    homeButton(window, "Полужирный")->click();
    QVERIFY(editor->textCursor().charFormat().fontWeight() >= QFont::Bold);
    QVERIFY(homeButton(window, "Полужирный")->isChecked());

    pageView->deactivateOcrBlock();
    QVERIFY(!homeButton(window, "Полужирный")->isEnabled());
}

// The colour dialog starts at black; a chosen colour goes out, a cancelled
// one sends nothing.
void HomeTabTest::colourChoice_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("chosen") << true;
    QTest::newRow("cancelled") << false;
}

void HomeTabTest::colourChoice()
{
    QFETCH(bool, accept);
    MainWindow window(AppProduct::editor);
    window.show();
    report(window, QString(), 12, false, false, false, Qt::AlignLeft);
    auto* requests = window.findChild<TextFormatRequests*>(QStringLiteral("TextFormatRequests"));
    QSignalSpy text(requests, &TextFormatRequests::textColor);
    QSignalSpy background(requests, &TextFormatRequests::backgroundColor);
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
    if (accept)
        QCOMPARE(text.at(0).at(0).value<QColor>(), QColor(10, 20, 30));
    QCOMPARE(background.count(), 0);
}

QTEST_MAIN(HomeTabTest)
#include "tst_hometab.moc"
