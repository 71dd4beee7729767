// The stamp template editor offscreen: new ids, preset lines, deleting,
// resetting, and nothing written without "Сохранить".
#include "PromptDriver.h"
#include "SignatureStampEditorDialog.h"
#include "SignatureStampRender.h"
#include "StampTestSupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

QPushButton* button(QDialog& dialog, const QString& text)
{
    return prompt::buttonWithText(&dialog, text);
}

QListWidget* lineList(QDialog& dialog)
{
    return dialog.findChild<QListWidget*>();
}

QLineEdit* nameEdit(QDialog& dialog)
{
    return dialog.findChildren<QLineEdit*>(QStringLiteral("ScanLineEdit")).first();
}

QLineEdit* textEdit(QDialog& dialog)
{
    return dialog.findChildren<QLineEdit*>(QStringLiteral("ScanLineEdit")).at(1);
}

// Runs the editor the way the signature dialog does, with act doing the
// user's part once it is shown.
QString runEditor(const QString& id, const std::function<void(SignatureStampEditorDialog&)>& act)
{
    SignatureStampEditorDialog dialog(nullptr, id);
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        act(dialog);
        if (dialog.isVisible())
            dialog.reject();
    });
    dialog.exec();
    return dialog.savedId();
}

} // namespace

class TestStampEditor : public QObject {
    Q_OBJECT
private slots:
    void init() { m_data = std::make_unique<stamptest::DataFolder>(); }
    void cleanup() { m_data.reset(); }

    void builtInSavesAsNewTemplate()
    {
        QString name;
        const QString first = runEditor(QString(), [&name](SignatureStampEditorDialog& dialog) {
            name = nameEdit(dialog)->text();
            nameEdit(dialog)->setText(QStringLiteral("Мой Штамп!"));
            button(dialog, QStringLiteral("Сохранить"))->click();
        });
        QCOMPARE(name, QStringLiteral("Мой штамп"));
        QCOMPARE(first, QStringLiteral("мой-штамп"));
        const QString second = runEditor(QStringLiteral("default"), [](SignatureStampEditorDialog& dialog) {
            nameEdit(dialog)->setText(QStringLiteral("Мой Штамп!"));
            button(dialog, QStringLiteral("Сохранить"))->click();
        });
        QCOMPARE(second, QStringLiteral("мой-штамп-2"));
        // A stored template keeps its id under a new name.
        const QString again = runEditor(first, [](SignatureStampEditorDialog& dialog) {
            nameEdit(dialog)->setText(QStringLiteral("Совсем другое"));
            button(dialog, QStringLiteral("Сохранить"))->click();
        });
        QCOMPARE(again, first);
        QCOMPARE(loadSignatureStampTemplate(first).name, QStringLiteral("Совсем другое"));
        QVERIFY(!QFileInfo::exists(QDir(signatureStampTemplatesDir()).filePath(QStringLiteral("default.json"))));
    }

    void presetLinePlaces_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<double>("y");
        QTest::newRow("first") << 0 << 0.18;
        QTest::newRow("fifth") << 4 << 0.48;
        QTest::newRow("ninth") << 8 << 0.78;
        QTest::newRow("tenth") << 9 << 0.82;
        QTest::newRow("twentieth") << 19 << 0.82;
        QTest::newRow("after the defaults") << 5 << 0.555;
    }
    void presetLinePlaces()
    {
        QFETCH(int, before);
        QFETCH(double, y);
        QVERIFY(qAbs(SignatureStampEditorDialog::presetLine(QStringLiteral("x"), before).y - y) < 1e-9);
    }

    // Inserting, editing and deleting lines through the widgets.
    void editingLines()
    {
        SignatureStampEditorDialog dialog(nullptr, QString());
        QListWidget* list = lineList(dialog);
        QCOMPARE(list->count(), 5);
        QCOMPARE(list->currentRow(), 0);
        button(dialog, QStringLiteral("Вставить"))->click();
        QCOMPARE(list->count(), 6);
        QCOMPARE(list->currentRow(), 5);
        const SignatureStampVariable added = dialog.workingTemplate().variables.at(5);
        QCOMPARE(added.text, QStringLiteral("Подписант: {{SIGNER}}"));
        QVERIFY(qAbs(added.y - 0.555) < 1e-9);

        textEdit(dialog)->setText(QStringLiteral("Новый {{DATE}}"));
        QCOMPARE(dialog.workingTemplate().variables.at(5).text, QStringLiteral("Новый {{DATE}}"));
        QCOMPARE(list->item(5)->text(), QStringLiteral("Новый {{DATE}}"));
        auto spins = dialog.findChildren<QDoubleSpinBox*>(QStringLiteral("ScanSpin"));
        spins.at(2)->setValue(0.0);  // width cannot go below 1 %
        QCOMPARE(dialog.workingTemplate().variables.at(5).w, 0.01);

        // Deleting a middle line selects the line that moved into its row.
        list->setCurrentRow(2);
        const QString third = dialog.workingTemplate().variables.at(3).text;
        button(dialog, QStringLiteral("Удалить"))->click();
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(textEdit(dialog)->text(), third);
        while (list->count() > 0)
            button(dialog, QStringLiteral("Удалить"))->click();
        QVERIFY(!textEdit(dialog)->isEnabled());
        QVERIFY(!button(dialog, QStringLiteral("Цвет"))->isEnabled());
        QVERIFY(button(dialog, QStringLiteral("Цвет"))->styleSheet().contains(QStringLiteral("#ff0f172a")));
        // Without a line, editors write nothing and "Вставить" still works.
        button(dialog, QStringLiteral("Вставить"))->click();
        QCOMPARE(dialog.workingTemplate().variables.size(), 1);
        QVERIFY(qAbs(dialog.workingTemplate().variables.first().y - 0.18) < 1e-9);
        QVERIFY(textEdit(dialog)->isEnabled());
    }

    // Loading a line into the editors does not write it back.
    void loadingIsSilent()
    {
        SignatureStampTemplate stored;
        stored.name = QStringLiteral("Точный");
        SignatureStampVariable line;
        line.text = QStringLiteral("a");
        line.x = 0.12345;  // more digits than the spin box shows
        line.w = 0.5;
        line.h = 0.5;
        line.font = QStringLiteral("No Such Family");
        stored.variables = {line, line};
        QVERIFY(saveSignatureStampTemplate(stored, nullptr));
        SignatureStampEditorDialog dialog(nullptr, stored.id);
        lineList(dialog)->setCurrentRow(1);
        lineList(dialog)->setCurrentRow(0);
        QCOMPARE(dialog.workingTemplate().variables.at(0).x, 0.12345);
        QCOMPARE(dialog.workingTemplate().variables.at(1).font, QStringLiteral("No Such Family"));
    }

    void colourAndPicture()
    {
        SignatureStampEditorDialog dialog(nullptr, QString());
        QColor offered;
        dialog.setColorChooser([&offered](QWidget*, const QColor& start) {
            offered = start;
            return QColor(Qt::red);
        });
        button(dialog, QStringLiteral("Цвет"))->click();
        QCOMPARE(offered, QColor(0x0f, 0x17, 0x2a));
        QCOMPARE(dialog.workingTemplate().variables.first().color, QColor(Qt::red));
        dialog.setColorChooser([](QWidget*, const QColor&) { return QColor(); });
        button(dialog, QStringLiteral("Цвет"))->click();
        QCOMPARE(dialog.workingTemplate().variables.first().color, QColor(Qt::red));

        dialog.setPictureEditor([](QWidget*, const QImage&) { return QImage(); });
        button(dialog, QStringLiteral("Редактировать картинку"))->click();
        QCOMPARE(dialog.workingTemplate().image.size(), QSize(1180, 490));
        dialog.setPictureEditor([](QWidget*, const QImage&) {
            QImage picture(300, 100, QImage::Format_RGB32);
            picture.fill(Qt::green);
            return picture;
        });
        button(dialog, QStringLiteral("Редактировать картинку"))->click();
        QCOMPARE(dialog.workingTemplate().image.size(), QSize(300, 100));
        QCOMPARE(dialog.workingTemplate().image.format(), QImage::Format_ARGB32_Premultiplied);
    }

    void resetThenSave()
    {
        SignatureStampTemplate stored;
        stored.name = QStringLiteral("Отдел");
        stored.variables = {SignatureStampEditorDialog::presetLine(QStringLiteral("x"), 0)};
        QVERIFY(saveSignatureStampTemplate(stored, nullptr));
        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("Да"));
        const QString id = runEditor(stored.id, [](SignatureStampEditorDialog& dialog) {
            button(dialog, QStringLiteral("Сбросить шаблон"))->click();
            QCOMPARE(lineList(dialog)->count(), 5);
            QCOMPARE(nameEdit(dialog)->text(), QStringLiteral("Отдел"));
            button(dialog, QStringLiteral("Сохранить"))->click();
        });
        // The reset copy has no id, so it is saved as a new template.
        QCOMPARE(id, QStringLiteral("отдел-2"));
        QCOMPARE(loadSignatureStampTemplate(id).variables.size(), 5);
        QCOMPARE(loadSignatureStampTemplate(stored.id).variables.size(), 1);
    }

    // "Отмена" after edits, a reset and a failed empty-name save writes nothing.
    void cancelWritesNothing()
    {
        SignatureStampTemplate stored;
        stored.name = QStringLiteral("Отдел");
        QVERIFY(saveSignatureStampTemplate(stored, nullptr));
        const auto before = stamptest::folderSnapshot(appDataDirectory());
        prompts_.clickButton(QStringLiteral("Да"));
        prompts_.clickButton(QStringLiteral("OK"));
        QString notice;
        const QString id = runEditor(stored.id, [&notice](SignatureStampEditorDialog& dialog) {
            button(dialog, QStringLiteral("Вставить"))->click();
            button(dialog, QStringLiteral("Сбросить шаблон"))->click();
            nameEdit(dialog)->setText(QStringLiteral("   "));
            button(dialog, QStringLiteral("Сохранить"))->click();
            notice = dialog.isVisible() ? QStringLiteral("open") : QString();
            button(dialog, QStringLiteral("Отмена"))->click();
        });
        QCOMPARE(id, QString());
        QCOMPARE(notice, QStringLiteral("open"));
        QCOMPARE(stamptest::folderSnapshot(appDataDirectory()), before);
    }

private:
    std::unique_ptr<stamptest::DataFolder> m_data;
    prompt::Driver prompts_;
};

QTEST_MAIN(TestStampEditor)
#include "tst_stampeditor.moc"
