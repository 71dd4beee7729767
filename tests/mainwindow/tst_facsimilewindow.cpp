// Facsimiles in the window: adding, editing, arming a placement and placing
// it through a real page view, and placements the user walked away from.
#include "FacsimileEditorDialog.h"
#include "FacsimileLibrary.h"
#include "FacsimilePaintHost.h"
#include "PromptDriver.h"
#include "SignatureStampTemplate.h"
#include "StampTestSupport.h"
#include "TextBlock.h"
#include "UiTranslate.h"
#include "WindowTestSupport.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QScopeGuard>
#include <QRandomGenerator>

namespace {

void answerFile(prompt::Driver& prompts, const QString& path)
{
    prompts.whenShown([path](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            dialog->reject();
            return;
        }
        files->setDirectory(QFileInfo(path).absolutePath());
        files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
        dialog->done(QDialog::Accepted);
    });
}

void answerName(prompt::Driver& prompts, const QString& name)
{
    prompts.whenShown([name](QDialog* dialog) {
        dialog->findChild<QLineEdit*>()->setText(name);
        dialog->accept();
    });
}

void accept(prompt::Driver& prompts)
{
    prompts.whenShown([](QDialog* dialog) { dialog->accept(); });
}

QImage noise(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return image;
}

int imageBlocks(PdfView* view)
{
    int count = 0;
    for (const TextBlock& block : view->blocks())
        count += block.isImage ? 1 : 0;
    return count;
}

QToolButton* toolButton(MainWindow& window, const QString& text)
{
    for (QToolButton* button : window.findChildren<QToolButton*>()) {
        if (button->text() == text || button->toolTip().startsWith(text))
            return button;
    }
    return nullptr;
}

} // namespace

class TestFacsimileWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("HOME", m_home.path().toUtf8());
        windowtest::isolateSettings();
    }

    void init()
    {
        windowtest::isolateSettings();
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        QDir(m_window->facsimileDir()).removeRecursively();
    }
    void cleanup() { m_window.reset(); }

    // The library lies in the application-data folder, never at the root.
    void folder()
    {
        QCOMPARE(QFileInfo(m_window->facsimileDir()).absolutePath(), QDir(appDataDirectory()).absolutePath());
        QVERIFY(m_window->facsimileDir().startsWith(m_home.path()));
    }

    void addFacsimile()
    {
        const QString picture = m_files.filePath(QStringLiteral("photo.scan.png"));
        QVERIFY(noise(QSize(600, 200), 1).save(picture));
        prompt::Driver prompts;
        answerFile(prompts, picture);
        QString proposed;
        prompts.whenShown([&proposed](QDialog* dialog) {
            proposed = dialog->findChild<QLineEdit*>()->text();
            dialog->findChild<QLineEdit*>()->setText(QStringLiteral("Подпись 1"));
            dialog->accept();
        });
        m_window->onFacsimileAdd();
        QCOMPARE(proposed, QStringLiteral("photo"));
        const QString stored = QDir(m_window->facsimileDir()).filePath(QStringLiteral("Подпись 1.png"));
        QCOMPARE(QImage(stored).size(), QSize(600, 200));
        QCOMPARE(m_window->facsimileFiles(), QStringList{QStringLiteral("Подпись 1.png")});
        QCOMPARE(windowtest::statusText(*m_window), QStringLiteral("Факсимиле «Подпись 1» сохранено."));
    }

    // Replacing a facsimile whose write fails keeps the old picture.
    void failedAddKeepsOldPicture()
    {
        const QString stored = QDir(m_window->facsimileDir()).filePath(QStringLiteral("печать.png"));
        QDir().mkpath(m_window->facsimileDir());
        QVERIFY(noise(QSize(4, 4), 2).save(stored));
        const QByteArray before = stamptest::fileBytes(stored);
        const QString picture = m_files.filePath(QStringLiteral("big.png"));
        QVERIFY(noise(QSize(300, 300), 3).save(picture));
        prompt::Driver prompts;
        answerFile(prompts, picture);
        answerName(prompts, QStringLiteral("печать"));
        QString warning;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &warning);
        stamptest::withFileSizeLimit(before.size() + 100, [this] { m_window->onFacsimileAdd(); });
        QCOMPARE(warning, QStringLiteral("Ошибка|Не удалось сохранить факсимиле."));
        QCOMPARE(stamptest::fileBytes(stored), before);
    }

    void addNotAPicture()
    {
        const QString text = m_files.filePath(QStringLiteral("fake.png"));
        QFile fake(text);
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("not a picture");
        fake.close();
        prompt::Driver prompts;
        answerFile(prompts, text);
        QString warning;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &warning);
        m_window->onFacsimileAdd();
        QCOMPARE(warning, QStringLiteral("Ошибка|Не удалось загрузить изображение."));
        QVERIFY(m_window->facsimileFiles().isEmpty());
    }

    // With an empty library "Изменить" asks a name and opens a blank canvas.
    void editEmptyLibrary()
    {
        prompt::Driver prompts;
        answerName(prompts, QStringLiteral("Новая/подпись"));
        QSize canvas;
        prompts.whenShown([&canvas](QDialog* dialog) {
            auto* editor = qobject_cast<paint::FacsimileEditorDialog*>(dialog);
            canvas = editor ? editor->image().size() : QSize();
            dialog->accept();
        });
        m_window->onFacsimileEdit();
        QCOMPARE(canvas, QSize(900, 520));
        QCOMPARE(m_window->facsimileFiles(), QStringList{QStringLiteral("Новая_подпись.png")});
        QCOMPARE(windowtest::statusText(*m_window), QStringLiteral("Факсимиле сохранено: Новая_подпись.png"));
    }

    // The editor's picture picker and its refusal are not widgets of the
    // window, so no translation pass reaches them: they follow the interface
    // language themselves.
    void editorPickerSpeaksTheLanguage_data()
    {
        QTest::addColumn<QString>("language");
        for (const char* language : {"de", "uk", "ru"})
            QTest::newRow(language) << language;
    }

    void editorPickerSpeaksTheLanguage()
    {
        QFETCH(QString, language);
        qApp->setProperty("uiLanguage", language);
        const auto restore = qScopeGuard([] { qApp->setProperty("uiLanguage", QVariant()); });
        const QString fake = m_files.filePath(QStringLiteral("not-a-picture.png"));
        QFile file(fake);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
        file.close();
        paint::FacsimileEditorDialog editor(m_window.get());
        prompt::Driver prompts;
        QString caption;
        QStringList filters;
        QString warning;
        prompts.whenShown([&](QDialog* dialog) {
            caption = dialog->windowTitle();
            if (auto* picker = qobject_cast<QFileDialog*>(dialog))
                filters = picker->nameFilters();
            dialog->reject();
        });
        editor.host()->loadFile();
        prompt::answerNoting(prompts, QStringLiteral("OK"), &warning);
        QVERIFY(!editor.host()->loadImageFile(fake));
        QCOMPARE(prompts.pending(), 0);
        const QString wantedCaption = uiTranslate(QStringLiteral("Загрузить факсимиле"));
        const QString wantedFilters =
            uiTranslate(QStringLiteral("Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff);;Все файлы (*)"));
        const QString wantedWarning =
            uiTranslate(QStringLiteral("Не удалось открыть изображение «%1»: %2.")).section(QLatin1Char('%'), 0, 0);
        QCOMPARE(caption, wantedCaption);
        QCOMPARE(filters.join(QStringLiteral(";;")), wantedFilters);
        QVERIFY2(warning.startsWith(wantedCaption + QLatin1Char('|') + wantedWarning), qPrintable(warning));
        QCOMPARE(caption == QStringLiteral("Загрузить факсимиле"), language == QLatin1String("ru"));
    }

    // An edited facsimile whose write fails keeps the old picture.
    void failedEditKeepsOldPicture()
    {
        const QString stored = QDir(m_window->facsimileDir()).filePath(QStringLiteral("seals/круг.png"));
        QDir().mkpath(QFileInfo(stored).absolutePath());
        QVERIFY(noise(QSize(40, 40), 6).save(stored));
        const QByteArray before = stamptest::fileBytes(stored);
        prompt::Driver prompts;
        accept(prompts);  // the picker, its only picture current
        QSize opened;
        prompts.whenShown([&opened](QDialog* dialog) {
            auto* editor = qobject_cast<paint::FacsimileEditorDialog*>(dialog);
            opened = editor ? editor->image().size() : QSize();
            dialog->accept();
        });
        QString warning;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &warning);
        stamptest::withFileSizeLimit(10, [this] { m_window->onFacsimileEdit(); });
        QCOMPARE(opened, QSize(40, 40));
        QCOMPARE(warning, QStringLiteral("Ошибка|Не удалось сохранить факсимиле."));
        QCOMPARE(stamptest::fileBytes(stored), before);
    }

    void insertWithoutDocumentOrLibrary()
    {
        QCOMPARE(prompt::promptShownDuring([this] { m_window->onFacsimileInsert(); }), QString());
        windowtest::showWithPdf(*m_window, m_files, 1);
        prompt::Driver prompts;
        QString notice;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
        m_window->onFacsimileInsert();
        QCOMPARE(notice, QStringLiteral("Факсимиле|Нет сохранённых факсимиле.\nСначала добавьте факсимиле через кнопку "
                                        "«Добавить» или «Изменить»."));
    }

    void placeThroughTheView()
    {
        PdfView* view = arm(2);
        QVERIFY(view->editMode());
        QCOMPARE(view->editTool(), PdfView::PlaceImage);
        QVERIFY(view->imagePlacementPreviewActive());
        QCOMPARE(windowtest::statusText(*m_window), QStringLiteral("Кликните место установки группы факсимиле"));
        const int before = imageBlocks(view);
        emit view->imageRectReady(0, QRectF(100, 100, 240, 90));
        QCOMPARE(imageBlocks(view), before + 2);
        QVERIFY(!m_window->hasPendingFacsimile());
        QCOMPARE(view->editTool(), PdfView::Select);
        QVERIFY(!view->imagePlacementPreviewActive());
        QVERIFY(m_window->hasUnsavedChanges(m_window->currentDocument()));
        QCOMPARE(windowtest::statusText(*m_window), QStringLiteral("Группа изображений добавлена как объекты на стр. 1"));
        // Consumed: the next rectangle asks for a picture file instead; cancelled, it places nothing.
        prompt::Driver prompts;
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        emit view->imageRectReady(0, QRectF(300, 300, 100, 40));
        QTRY_COMPARE(prompts.pending(), 0);
        QCOMPARE(imageBlocks(view), before + 2);
    }

    // A placement the user walked away from is never placed later.
    void abandonedPlacement_data()
    {
        QTest::addColumn<QString>("leave");
        QTest::newRow("hand tool") << QStringLiteral("Рука");
        QTest::newRow("select tool") << QStringLiteral("Выбор");
        QTest::newRow("read mode") << QString();
        QTest::newRow("picture tool") << QStringLiteral("picture");
        QTest::newRow("text tool") << QStringLiteral("text");
    }
    void abandonedPlacement()
    {
        QFETCH(QString, leave);
        PdfView* view = arm(1);
        const int before = imageBlocks(view);
        if (leave.isEmpty()) {
            m_window->onToggleEditMode();
            QVERIFY(!view->editMode());
            view->setEditMode(true);
        } else if (leave == QLatin1String("picture") || leave == QLatin1String("text")) {
            // The plain tools take their own rectangle (a file is asked for), so
            // only the pending facsimile is checked. A question about the
            // recogniser, if any, is declined.
            prompt::Driver prompts;
            prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
            if (leave == QLatin1String("picture"))
                m_window->onEditInsertImage();
            else
                m_window->onEditInsertText();
            QVERIFY(!m_window->hasPendingFacsimile());
            QVERIFY(!view->imagePlacementPreviewActive());
            return;
        } else {
            QToolButton* button = toolButton(*m_window, leave);
            QVERIFY(button);
            button->click();
        }
        QVERIFY(!m_window->hasPendingFacsimile());
        view->setEditTool(PdfView::PlaceImage);
        // Without a pending facsimile the rectangle asks for a picture file; cancelled.
        prompt::Driver prompts;
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        emit view->imageRectReady(0, QRectF(100, 100, 120, 50));
        QTRY_COMPARE(prompts.pending(), 0);
        QCOMPARE(imageBlocks(view), before);
    }

    // Cancelling the size dialog keeps an earlier placement as it was.
    void cancelledSizeKeepsEarlierPlacement()
    {
        PdfView* view = arm(1);
        prompt::Driver prompts;
        accept(prompts);
        prompts.whenShown([](QDialog* dialog) { dialog->reject(); });
        m_window->onFacsimileInsert();
        QTRY_COMPARE(prompts.pending(), 0);
        QVERIFY(m_window->hasPendingFacsimile());
        QVERIFY(view->imagePlacementPreviewActive());
    }

private:
    // A document open in edit mode with the library's first `count`
    // pictures chosen and the placement armed at the proposed size.
    PdfView* arm(int count)
    {
        windowtest::showWithPdf(*m_window, m_files, 1);
        QDir().mkpath(m_window->facsimileDir());
        noise(QSize(600, 200), 4).save(QDir(m_window->facsimileDir()).filePath(QStringLiteral("a.png")));
        noise(QSize(300, 300), 5).save(QDir(m_window->facsimileDir()).filePath(QStringLiteral("b.png")));
        prompt::Driver prompts;
        prompts.whenShown([count](QDialog* dialog) {
            auto* list = dialog->property("listWidget").value<QListWidget*>();
            for (int row = 0; row < count; ++row)
                list->item(row)->setSelected(true);
            dialog->accept();
        });
        accept(prompts);
        m_window->onFacsimileInsert();
        return windowtest::view(*m_window);
    }

    QTemporaryDir m_home;
    QTemporaryDir m_files;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestFacsimileWindow)
#include "tst_facsimilewindow.moc"
