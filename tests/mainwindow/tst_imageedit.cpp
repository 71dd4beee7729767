// Editing the picture of an image block in the picture editor.
#include "CanvasWidget.h"
#include "Document.h"
#include "FacsimileEditorDialog.h"
#include "FacsimilePaintHost.h"
#include "Layer.h"
#include "WindowTestSupport.h"

#include <QTimer>

using namespace windowtest;

class TestImageEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { isolateSettings(); }
    void editedPictureReplacesTheBlock_data();
    void editedPictureReplacesTheBlock();
};

void TestImageEdit::editedPictureReplacesTheBlock_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("saved") << true;
    QTest::newRow("cancelled") << false;
}

void TestImageEdit::editedPictureReplacesTheBlock()
{
    QFETCH(bool, accept);
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    showWithPdf(window, dir, 1);
    PdfView* pdfView = view(window);
    QImage picture(30, 20, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    TextBlock block;
    block.isImage = true;
    block.rect = block.originalRect = QRectF(50, 50, 60, 40);
    block.image = picture;
    pdfView->setOcrBlocks({ block }, 0, false);
    pdfView->selectOcrBlock(0, false);
    const QString statusBefore = statusText(window);

    QString title;
    QTimer::singleShot(0, &window, [&] {
        auto* dialog = window.findChild<paint::FacsimileEditorDialog*>();
        QVERIFY(dialog);
        title = dialog->windowTitle();
        dialog->host()->document()->activeLayer()->image.fill(Qt::red);
        accept ? dialog->accept() : dialog->reject();
    });
    emit pdfView->imageBlockEditRequested(picture);
    QCOMPARE(title, QStringLiteral("Редактировать изображение"));
    QVERIFY(!window.findChild<paint::FacsimileEditorDialog*>());
    const QImage now = pdfView->blocks()[0].image;
    QCOMPARE(QColor(now.pixel(5, 5)), accept ? QColor(Qt::red) : QColor(Qt::white));
    QCOMPARE(statusText(window), accept ? QStringLiteral("Изображение обновлено. Сохраните изменения.") : statusBefore);
}

QTEST_MAIN(TestImageEdit)
#include "tst_imageedit.moc"
