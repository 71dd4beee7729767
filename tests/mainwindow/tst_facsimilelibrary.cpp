// The facsimile library: names, listing, groups, the picker and the size
// dialog, with groups that point outside the library and writes that fail.
#include "FacsimileLibrary.h"
#include "PromptDriver.h"
#include "StampTestSupport.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>
#include <QTest>

namespace {

void writePng(const QString& path, QSize size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::darkBlue);
    QVERIFY(image.save(path, "PNG"));
}

void writeGroup(const QString& dir, const QString& file, const QJsonObject& root)
{
    QDir().mkpath(facsimileGroupDir(dir));
    QFile out(QDir(facsimileGroupDir(dir)).filePath(file));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(root).toJson());
}

QListWidget* pickerList(QDialog* picker)
{
    return picker->property("listWidget").value<QListWidget*>();
}

// Answers the name dialog with a typed name.
void answerName(prompt::Driver& prompts, const QString& name)
{
    prompts.whenShown([name](QDialog* dialog) {
        dialog->findChild<QLineEdit*>()->setText(name);
        dialog->accept();
    });
}

} // namespace

class TestFacsimileLibrary : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_library = QDir(m_dir->path()).filePath(QStringLiteral("facsimiles"));
        m_outside = QDir(m_dir->path()).filePath(QStringLiteral("outside.png"));
        writePng(m_outside, QSize(10, 10));
        for (const char* name : {"a.png", "b.png", "seals/oval.png", "Z.PNG"})
            writePng(QDir(m_library).filePath(QLatin1String(name)), QSize(60, 20));
    }

    void names_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks and separators") << QStringLiteral(" a/b:c ") << QStringLiteral("a_b_c");
        QTest::newRow("blank") << QStringLiteral("   ") << QStringLiteral("факсимиле");
        QTest::newRow("empty") << QString() << QStringLiteral("факсимиле");
        QTest::newRow("dots") << QStringLiteral("x..y") << QStringLiteral("x_y");
        QTest::newRow("slashes") << QStringLiteral("a////b") << QStringLiteral("a_b");
        QTest::newRow("climbing") << QStringLiteral("../../x.png") << QStringLiteral("____x.png");
        QTest::newRow("forbidden") << QStringLiteral("<a|b>?*\"\\") << QStringLiteral("_a_b_____");
    }
    void names()
    {
        QFETCH(QString, input);
        QFETCH(QString, name);
        QCOMPARE(normalizeFacsimileName(input), name);
        QCOMPARE(normalizeFacsimileName(name), name);
    }

    void listing()
    {
        QFile note(QDir(m_library).filePath(QStringLiteral("note.txt")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        QCOMPARE(listFacsimileFiles(m_library),
                 (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("seals/oval.png"),
                              QStringLiteral("Z.PNG")}));
        QCOMPARE(listFacsimileFiles(QDir(m_dir->path()).filePath(QStringLiteral("none"))), QStringList());
    }

    // Items that are absolute or lead out of the folder count as missing.
    void groupItems_data()
    {
        QTest::addColumn<QJsonArray>("items");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("one deleted") << QJsonArray{"a.png", "gone.png", "seals/oval.png"}
                                     << QStringList{"a.png", "seals/oval.png"};
        QTest::newRow("duplicates, blanks, numbers") << QJsonArray{" b.png ", "b.png", "", 5, "a.png"}
                                                    << QStringList{"b.png", "a.png"};
        QTest::newRow("climbing out") << QJsonArray{"../outside.png", "seals/../../outside.png", "a.png"}
                                      << QStringList{"a.png"};
        QTest::newRow("folder") << QJsonArray{"seals", "a.png"} << QStringList{"a.png"};
        QTest::newRow("only deleted") << QJsonArray{"gone.png"} << QStringList{};
    }
    void groupItems()
    {
        QFETCH(QJsonArray, items);
        QFETCH(QStringList, kept);
        writeGroup(m_library, QStringLiteral("g.json"), QJsonObject{{"name", "  "}, {"items", items}});
        const FacsimileGroup group = readFacsimileGroup(m_library, QDir(facsimileGroupDir(m_library)).filePath("g.json"));
        QCOMPARE(group.items, kept);
        QCOMPARE(group.name, QStringLiteral("g"));
    }

    void absoluteItemCountsAsMissing()
    {
        writeGroup(m_library, QStringLiteral("abs.json"),
                   QJsonObject{{"name", "abs"}, {"items", QJsonArray{m_outside, "a.png"}}});
        const FacsimileGroup group =
            readFacsimileGroup(m_library, QDir(facsimileGroupDir(m_library)).filePath("abs.json"));
        QCOMPARE(group.items, QStringList{"a.png"});
    }

    void pickerLists()
    {
        writeGroup(m_library, QStringLiteral("pair.json"),
                   QJsonObject{{"name", "Пара"}, {"items", QJsonArray{"a.png", "gone.png", "b.png"}}});
        writeGroup(m_library, QStringLiteral("dead.json"), QJsonObject{{"name", "dead"}, {"items", QJsonArray{"x.png"}}});
        QFile junk(QDir(facsimileGroupDir(m_library)).filePath("junk.json"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not json");
        junk.close();
        std::unique_ptr<QDialog> picker(
            buildFacsimilePickerDialog(m_library, listFacsimileFiles(m_library), nullptr, true, true, true, false));
        QListWidget* list = pickerList(picker.get());
        QCOMPARE(list->count(), 5);
        QCOMPARE(list->item(2)->text(), QStringLiteral("oval\nseals"));
        QCOMPARE(list->item(2)->data(kFacsimilePathRole).toString(), QStringLiteral("seals/oval.png"));
        QListWidgetItem* group = list->item(4);
        QCOMPARE(group->text(), QStringLiteral("Группа\nПара (2)"));
        QCOMPARE(group->data(kFacsimileKindRole).toString(), QStringLiteral("group"));
        QCOMPARE(group->data(kFacsimilePathRole).toString(), QStringLiteral("groups/pair.json"));
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(prompt::buttonWithText(picker.get(), QStringLiteral("Создать группу")));
        QVERIFY(!prompt::buttonWithText(picker.get(), QStringLiteral("Создать новое")));

        // An image and a group holding it give each path once.
        list->item(1)->setSelected(true);
        group->setSelected(true);
        QStringList chosen = selectedFacsimileImageItems(list, m_library);
        chosen.sort();
        QCOMPARE(chosen, (QStringList{"a.png", "b.png"}));
        list->clearSelection();
        list->setCurrentRow(3);
        list->clearSelection();
        QCOMPARE(selectedFacsimileImageItems(list, m_library), QStringList{"Z.PNG"});

        std::unique_ptr<QDialog> editPicker(
            buildFacsimilePickerDialog(m_library, listFacsimileFiles(m_library), nullptr, false, false, false, true));
        QCOMPARE(pickerList(editPicker.get())->count(), 4);
        QCOMPARE(pickerList(editPicker.get())->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!prompt::buttonWithText(editPicker.get(), QStringLiteral("Создать группу")));
        prompt::buttonWithText(editPicker.get(), QStringLiteral("Создать новое"))->click();
        QVERIFY(editPicker->property("createNew").toBool());
        QCOMPARE(editPicker->result(), int(QDialog::Accepted));
    }

    // A group that cannot be written keeps the old file and warns.
    void createGroup_data()
    {
        QTest::addColumn<bool>("failing");
        QTest::newRow("written") << false;
        QTest::newRow("write fails") << true;
    }
    void createGroup()
    {
        QFETCH(bool, failing);
        QJsonArray many;
        for (int i = 0; i < 3; ++i)
            many.append("a.png");
        writeGroup(m_library, QStringLiteral("отдел.json"), QJsonObject{{"name", "отдел"}, {"items", QJsonArray{"a.png", "b.png"}}});
        const QString groupFile = QDir(facsimileGroupDir(m_library)).filePath(QStringLiteral("отдел.json"));
        const QByteArray before = stamptest::fileBytes(groupFile);
        std::unique_ptr<QDialog> picker(
            buildFacsimilePickerDialog(m_library, listFacsimileFiles(m_library), nullptr, true, true, true, false));
        QListWidget* list = pickerList(picker.get());
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);
        list->item(3)->setSelected(true);
        prompt::Driver prompts;
        answerName(prompts, QStringLiteral("Отдел/../отдел"));
        QString warning;
        if (failing)
            prompt::answerNoting(prompts, QStringLiteral("OK"), &warning);
        stamptest::withFileSizeLimit(failing ? 10 : RLIM_INFINITY, [&] {
            prompt::buttonWithText(picker.get(), QStringLiteral("Создать группу"))->click();
        });
        QTRY_COMPARE(prompts.pending(), 0);
        const QString written = QDir(facsimileGroupDir(m_library)).filePath(QStringLiteral("Отдел___отдел.json"));
        if (failing) {
            QVERIFY2(warning.startsWith(QStringLiteral("Ошибка|Не удалось сохранить группу.")), qPrintable(warning));
            QVERIFY(!QFileInfo::exists(written));
        } else {
            const FacsimileGroup group = readFacsimileGroup(m_library, written);
            QStringList items = group.items;
            items.sort();
            QCOMPARE(items, (QStringList{"Z.PNG", "a.png", "seals/oval.png"}));
            QVERIFY(list->currentItem()->data(kFacsimileKindRole).toString() == QLatin1String("group"));
            QVERIFY(list->currentItem()->text().contains(QStringLiteral("(3)")));
        }
        QCOMPARE(stamptest::fileBytes(groupFile), before);
    }

    // A group over an existing one is replaced whole, or kept when the write fails.
    void replacingGroupKeepsOldOnFailure()
    {
        writeGroup(m_library, QStringLiteral("g.json"), QJsonObject{{"name", "g"}, {"items", QJsonArray{"a.png", "b.png"}}});
        const QString file = QDir(facsimileGroupDir(m_library)).filePath(QStringLiteral("g.json"));
        const QByteArray before = stamptest::fileBytes(file);
        bool written = true;
        QStringList items;
        for (int i = 0; i < 200; ++i)
            items << QStringLiteral("seals/oval.png");
        stamptest::withFileSizeLimit(64, [&] { written = writeFacsimileGroup(m_library, "g", items, nullptr); });
        QVERIFY(!written);
        QCOMPARE(stamptest::fileBytes(file), before);
    }

    void pickerOfHugeAndBrokenPictures()
    {
        QFile broken(QDir(m_library).filePath(QStringLiteral("broken.png")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a picture");
        broken.close();
        std::unique_ptr<QDialog> picker(
            buildFacsimilePickerDialog(m_library, listFacsimileFiles(m_library), nullptr, true, true, true, false));
        QListWidget* list = pickerList(picker.get());
        QCOMPARE(list->count(), 5);
        QCOMPARE(list->item(2)->text(), QStringLiteral("broken"));
        QVERIFY(list->item(2)->icon().isNull());
    }

    void defaultSizes_data()
    {
        QTest::addColumn<QList<QSize>>("pictures");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("none") << QList<QSize>{} << QSizeF(45, 18);
        QTest::newRow("null") << QList<QSize>{QSize()} << QSizeF(45, 18);
        QTest::newRow("wide") << QList<QSize>{QSize(300, 100)} << QSizeF(45, 18);
        QTest::newRow("ratio 2") << QList<QSize>{QSize(200, 100)} << QSizeF(40, 40);
        QTest::newRow("square") << QList<QSize>{QSize(100, 100)} << QSizeF(40, 40);
        QTest::newRow("ratio 0.75") << QList<QSize>{QSize(75, 100)} << QSizeF(40, 40);
        QTest::newRow("tall") << QList<QSize>{QSize(50, 100)} << QSizeF(24, 45);
        QTest::newRow("two") << QList<QSize>{QSize(10, 10), QSize(10, 10)} << QSizeF(85, 32);
    }
    void defaultSizes()
    {
        QFETCH(QList<QSize>, pictures);
        QFETCH(QSizeF, size);
        QList<QImage> images;
        for (const QSize& picture : pictures)
            images << (picture.isValid() ? QImage(picture, QImage::Format_ARGB32) : QImage());
        QCOMPARE(defaultFacsimileSizeMm(images), size);
    }

    // The size dialog's starting kind and size, and what the user's changes do.
    void sizeDialog_data()
    {
        QTest::addColumn<QList<QSize>>("pictures");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSizeF>("startMm");
        QTest::newRow("wide") << QList<QSize>{QSize(300, 100)} << QStringLiteral("Подпись") << QSizeF(45, 18);
        QTest::newRow("square") << QList<QSize>{QSize(100, 100)} << QStringLiteral("Печать") << QSizeF(40, 40);
        QTest::newRow("tall") << QList<QSize>{QSize(50, 100)} << QStringLiteral("Подпись") << QSizeF(45, 18);
        QTest::newRow("group") << QList<QSize>{QSize(10, 10), QSize(30, 10)} << QStringLiteral("Группа")
                               << QSizeF(85, 32);
    }
    void sizeDialog()
    {
        QFETCH(QList<QSize>, pictures);
        QFETCH(QString, kind);
        QFETCH(QSizeF, startMm);
        QList<QImage> images;
        for (const QSize& picture : pictures)
            images << QImage(picture, QImage::Format_ARGB32);
        prompt::Driver prompts;
        QString shownKind;
        QSizeF shownSize;
        QString afterTyping;
        QSizeF afterPreset;
        prompts.whenShown([&](QDialog* dialog) {
            auto* kinds = dialog->findChild<QComboBox*>();
            const auto spins = dialog->findChildren<QDoubleSpinBox*>();
            shownKind = kinds->currentText();
            shownSize = QSizeF(spins.at(0)->value(), spins.at(1)->value());
            spins.at(0)->setValue(50);
            afterTyping = kinds->currentText();
            kinds->setCurrentText(QStringLiteral("Надпись"));
            afterPreset = QSizeF(spins.at(0)->value(), spins.at(1)->value());
            QCOMPARE(kinds->currentText(), QStringLiteral("Надпись"));
            kinds->setCurrentText(QStringLiteral("Подпись"));
            spins.at(0)->setValue(500);  // beyond the range: 300
            kinds->setCurrentText(QStringLiteral("Подпись"));
            dialog->accept();
        });
        QSizeF size;
        QVERIFY(requestFacsimilePlacementSize(nullptr, images, &size));
        QCOMPARE(shownKind, kind);
        QCOMPARE(shownSize, startMm);
        QCOMPARE(afterTyping, QStringLiteral("Свой размер"));
        QCOMPARE(afterPreset, QSizeF(60, 12));
        // "Подпись" chosen again after the custom width sets 45 x 18.
        QVERIFY(qAbs(size.width() - 127.559) < 0.001);
        QVERIFY(qAbs(size.height() - 18 * 72 / 25.4) < 0.001);

        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        size = QSizeF(5, 5);
        QVERIFY(!requestFacsimilePlacementSize(nullptr, images, &size));
        QCOMPARE(size, QSizeF(-1, -1));
    }

    // The kinds are shown in the interface's language and chosen by their
    // place: a kind picked from the translated list sets its size.
    void sizeKindsInTheInterfaceLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("ru") << "ru";
        QTest::newRow("en") << "en";
        QTest::newRow("de") << "de";
    }
    void sizeKindsInTheInterfaceLanguage()
    {
        QFETCH(QString, language);
        qApp->setProperty("uiLanguage", language);
        const auto restore = qScopeGuard([] { qApp->setProperty("uiLanguage", QVariant()); });
        prompt::Driver prompts;
        QString shownKind;
        QSizeF afterPick;
        prompts.whenShown([&](QDialog* dialog) {
            localizeWidgetTree(dialog);
            auto* kinds = dialog->findChild<QComboBox*>();
            const auto spins = dialog->findChildren<QDoubleSpinBox*>();
            kinds->setCurrentIndex(2);
            shownKind = kinds->currentText();
            afterPick = QSizeF(spins.at(0)->value(), spins.at(1)->value());
            spins.at(1)->setValue(20);
            dialog->accept();
        });
        QSizeF size;
        QVERIFY(requestFacsimilePlacementSize(nullptr, {QImage(300, 100, QImage::Format_ARGB32)}, &size));
        QCOMPARE(afterPick, QSizeF(60, 12));
        QCOMPARE(shownKind == QStringLiteral("Надпись"), language == QLatin1String("ru"));
        // A size typed after the pick is the one placed.
        QVERIFY(qAbs(size.width() - 60 * 72 / 25.4) < 0.001 && qAbs(size.height() - 20 * 72 / 25.4) < 0.001);
    }

    // Translated, the kinds keep their sizes: a seal is a seal ("Печать"
    // in its own sense), and choosing the own size keeps the typed one.
    void sizeDialogInAnotherLanguage()
    {
        qApp->setProperty("uiLanguage", QStringLiteral("en"));
        prompt::Driver prompts;
        QStringList kindsShown;
        QSizeF afterInscription;
        QSizeF afterOwnSize;
        prompts.whenShown([&](QDialog* dialog) {
            localizeWidgetTree(dialog);
            auto* kinds = dialog->findChild<QComboBox*>();
            const auto spins = dialog->findChildren<QDoubleSpinBox*>();
            for (int i = 0; i < kinds->count(); ++i)
                kindsShown << kinds->itemText(i);
            kinds->setCurrentIndex(2);
            afterInscription = QSizeF(spins.at(0)->value(), spins.at(1)->value());
            spins.at(0)->setValue(70);
            kinds->setCurrentIndex(kinds->count() - 1);
            afterOwnSize = QSizeF(spins.at(0)->value(), spins.at(1)->value());
            dialog->accept();
        });
        QSizeF size;
        QVERIFY(requestFacsimilePlacementSize(nullptr, {QImage(QSize(100, 100), QImage::Format_ARGB32)}, &size));
        qApp->setProperty("uiLanguage", QStringLiteral("ru"));
        QCOMPARE(kindsShown, (QStringList{"Signature", "Seal", "Inscription", "Group", "Custom size"}));
        QCOMPARE(afterInscription, QSizeF(60, 12));
        QCOMPARE(afterOwnSize, QSizeF(70, 12));
        QVERIFY(qAbs(size.width() - 70 * 72 / 25.4) < 0.001);
    }

    void nameDialog()
    {
        prompt::Driver prompts;
        answerName(prompts, QString());
        QString name = QStringLiteral("unchanged");
        QVERIFY(requestFacsimileName(nullptr, QStringLiteral("Новое факсимиле"), QStringLiteral("x"), &name));
        QCOMPARE(name, QStringLiteral("факсимиле"));
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        name = QStringLiteral("unchanged");
        QVERIFY(!requestFacsimileName(nullptr, QStringLiteral("Новое факсимиле"), QStringLiteral("x"), &name));
        QCOMPARE(name, QStringLiteral("unchanged"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_library;
    QString m_outside;
};

QTEST_MAIN(TestFacsimileLibrary)
#include "tst_facsimilelibrary.moc"
