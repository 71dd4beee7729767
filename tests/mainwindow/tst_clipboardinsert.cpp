// Copy and paste through the clipboard, and new text and picture blocks:
// where pictures land, what is copied, the recognition question and the
// font of an inserted block.
#include "OcrWindowSupport.h"
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>

using namespace windowtest;

namespace {

// The picture blocks the engine reads from a page (PDF points).
QList<QRectF> pictureRects(PdfDocument* doc, int page)
{
    QList<QRectF> rects;
    for (const TextBlock& block : doc->extractImages(page))
        rects << block.rect;
    return rects;
}

bool near(const QRectF& a, const QRectF& b, double tolerance)
{
    return qAbs(a.x() - b.x()) < tolerance && qAbs(a.y() - b.y()) < tolerance &&
           qAbs(a.width() - b.width()) < tolerance && qAbs(a.height() - b.height()) < tolerance;
}

QString describe(const QRectF& r)
{
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class ClipboardInsertTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        isolateSettings();
        QGuiApplication::clipboard()->clear();
    }
    void cleanup() { m_window.reset(); }

    void pastePlacement_data();
    void pastePlacement();
    void pictureRectAt_data();
    void pictureRectAt();
    void pasteCentresOrGoesToTheRegion();
    void pasteWithoutPictureIsShown();
    void copiedRegionIsTheCropOfAZoomTwoRender();
    void selectedTextIsCopiedFirst();
    void selectionPreviewShowsSixtyCharacters();
    void insertTextOnANativePageAsksNothing();
    void insertImageOnAScanAsks_data();
    void insertImageOnAScanAsks();
    void insertedTextTakesTheHomeFont();
    void pictureFileForTheRectangle();

private:
    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(AppProduct::editor);
        return *m_window;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void ClipboardInsertTest::pastePlacement_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("square") << QSize(1000, 1000) << QRectF(19.83, 143.33, 555.33, 555.33);
    QTest::newRow("tall") << QSize(100, 400) << QRectF(199.27, 28.07, 196.47, 785.87);
    QTest::newRow("wide") << QSize(400, 100) << QRectF(19.83, 351.58, 555.33, 138.83);
}

// The longer relative side takes 0.7 x 96/72 of the page.
void ClipboardInsertTest::pastePlacement()
{
    QFETCH(QSize, picture);
    QFETCH(QRectF, expected);
    const QRectF got = MainWindow::pastePlacement(QSizeF(595, 842), picture);
    QVERIFY2(near(got, expected, 0.01), qPrintable(describe(got)));
}

// A picture keeps its own size and shape; only a page too small for it
// shrinks it, and it is moved back onto the page where it would run off.
void ClipboardInsertTest::pictureRectAt_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QPointF>("topLeft");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("screen picture at its place") << QSize(200, 100) << 96 << QPointF(100, 200)
                                                 << QRectF(100, 200, 150, 75);
    QTest::newRow("scan at 300 dpi") << QSize(600, 300) << 300 << QPointF(50, 50) << QRectF(50, 50, 144, 72);
    QTest::newRow("unbelievable resolution: screen size") << QSize(200, 100) << 5 << QPointF(10, 10)
                                                << QRectF(10, 10, 150, 75);
    QTest::newRow("wider than the page") << QSize(1600, 400) << 96 << QPointF(300, 100)
                                         << QRectF(0, 100, 595, 148.75);
    QTest::newRow("taller than the page") << QSize(500, 2000) << 96 << QPointF(0, 0)
                                          << QRectF(0, 0, 210.5, 842);
    QTest::newRow("near the corner, moved on") << QSize(200, 100) << 96 << QPointF(500, 800)
                                               << QRectF(445, 767, 150, 75);
}

void ClipboardInsertTest::pictureRectAt()
{
    QFETCH(QSize, pixels);
    QFETCH(int, dpi);
    QFETCH(QPointF, topLeft);
    QFETCH(QRectF, expected);
    QImage picture(pixels, QImage::Format_RGB32);
    picture.setDotsPerMeterX(qRound(dpi / 0.0254));
    picture.setDotsPerMeterY(qRound(dpi / 0.0254));
    const QRectF got = MainWindow::pictureRectAt(QSizeF(595, 842), topLeft, picture);
    QVERIFY2(near(got, expected, 0.01), qPrintable(describe(got)));
}

// Onto the stored region of page 3 while page 5 is shown, at the region's
// place and the picture's own size (a selected line does not squeeze it);
// then, the region used up, centred on the shown page.
void ClipboardInsertTest::pasteCentresOrGoesToTheRegion()
{
    showWithPdf(window(), m_dir, 6);
    PdfDocument* doc = window().currentDocument();
    view(window())->setCurrentPage(4);
    emit view(window())->selectionRectReady(2, QRectF(100, 200, 150, 14));
    QImage small(200, 100, QImage::Format_RGB32);
    small.fill(Qt::darkBlue);
    QGuiApplication::clipboard()->setImage(small);
    window().onEditPaste();
    QCOMPARE(statusText(window()), QStringLiteral("Изображение вставлено на стр. 3"));
    QCOMPARE(pictureRects(doc, 2).size(), 1);
    QVERIFY2(near(pictureRects(doc, 2).first(), QRectF(100, 842 - 275, 150, 75), 0.5),
             qPrintable(describe(pictureRects(doc, 2).first())));
    QImage picture(1000, 1000, QImage::Format_RGB32);
    picture.fill(Qt::darkBlue);
    QGuiApplication::clipboard()->setImage(picture);
    window().onEditPaste();
    QCOMPARE(statusText(window()), QStringLiteral("Изображение вставлено на стр. 5"));
    QCOMPARE(pictureRects(doc, 2).size(), 1);
    // Centred, 555.33 points square from (19.83, 143.33): drawn from x 19.83
    // and, page-top, from y 143.33 (too large a picture for the block reader).
    const QImage page = doc->renderPage(4, 1.0, 0);
    auto blue = [&page](int x, int y) { return page.pixelColor(x, y).blue() > 100 && page.pixelColor(x, y).red() < 50; };
    QVERIFY(blue(21, 145) && blue(574, 697));
    QVERIFY(!blue(18, 300) && !blue(577, 300) && !blue(300, 141) && !blue(300, 700));
}

void ClipboardInsertTest::pasteWithoutPictureIsShown()
{
    showWithPdf(window(), m_dir, 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("only words"));
    QString notice;
    prompt::Driver prompts;
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    homeButton(window(), QStringLiteral("Вставить изображение/содержимое"))->click();
    QCOMPARE(notice, QStringLiteral("Вставка|Буфер обмена не содержит изображения"));
    QVERIFY(!window().currentDocument()->isModified());
}

void ClipboardInsertTest::copiedRegionIsTheCropOfAZoomTwoRender()
{
    showWithPdf(window(), m_dir, 3);
    PdfDocument* doc = window().currentDocument();
    const QRectF region(60.7, 40.2, 150.5, 30.9);
    emit view(window())->selectionRectReady(1, region);
    homeButton(window(), QStringLiteral("Копировать"))->click();
    const QImage copied = QGuiApplication::clipboard()->image();
    const QImage expected = doc->renderPage(1, 2.0, 0).copy(QRect(121, 80, 301, 61));
    QCOMPARE(copied.size(), expected.size());
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(statusText(window()), QStringLiteral("Страница 2 скопирована в буфер"));
    // A region of no height copies its whole page at 1.5.
    emit view(window())->selectionRectReady(2, QRectF(10, 10, 50, 0));
    window().onEditCopy();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), doc->renderPage(2, 1.5, 0).size());
}

void ClipboardInsertTest::selectedTextIsCopiedFirst()
{
    showWithPdf(window(), m_dir, 1);
    QString notice;
    prompt::Driver prompts;
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    window().onCopySelectedText();
    QCOMPARE(notice, QStringLiteral("Копирование|Нет выделенного текста"));
}

void ClipboardInsertTest::selectionPreviewShowsSixtyCharacters()
{
    showWithPdf(window(), m_dir, 1);
    const QString text = QString(40, QLatin1Char('a')) + QString(60, QLatin1Char('b'));
    emit view(window())->textSelected(text);
    QCOMPARE(statusText(window()), QStringLiteral("Скопировано: ") + text.left(60) + QStringLiteral("..."));
}

void ClipboardInsertTest::insertTextOnANativePageAsksNothing()
{
    showSmall(window());
    window().openFile(ocrwindow::mixedPdf(m_dir, QStringLiteral("mixed.pdf"), {{QStringLiteral("Top"), {}}}));
    const QString shown = prompt::promptShownDuring([this] { window().onEditInsertText(); });
    QVERIFY(shown.isEmpty());
    QVERIFY(view(window())->editMode());
    QCOMPARE(view(window())->editTool(), PdfView::InsertText);
    QCOMPARE(statusText(window()), QStringLiteral("Нарисуйте область для текста на странице"));
}

void ClipboardInsertTest::insertImageOnAScanAsks_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("recognised");
    QTest::newRow("skip") << "Пропустить" << false;
    QTest::newRow("closed") << "" << false;
    QTest::newRow("recognise") << "Распознать" << true;
}

// A scanned page without blocks asks each time; recognition runs only when
// asked for; the place-image tool is armed either way.
void ClipboardInsertTest::insertImageOnAScanAsks()
{
    QFETCH(QString, answer);
    QFETCH(bool, recognised);
    showSmall(window());
    window().openFile(ocrwindow::mixedPdf(m_dir, QStringLiteral("scan.pdf"),
                                          {{QStringLiteral("Scanned words"), QStringLiteral("More")}}));
    view(window())->setViewMode(PdfView::SinglePage);
    view(window())->setCurrentPage(1);
    QCOMPARE(view(window())->currentPage(), 1);
    QSignalSpy ran(&window(), &MainWindow::ocrPageRunFinished);
    for (int round = 0; round < (recognised ? 1 : 2); ++round) {
        QString question;
        prompt::Driver prompts;
        prompt::answerNoting(prompts, answer, &question);
        window().onEditInsertImage();
        QVERIFY2(question.startsWith(QStringLiteral("Распознавание|")), qPrintable(question));
        QCOMPARE(view(window())->editTool(), PdfView::PlaceImage);
    }
    if (recognised) {
        QVERIFY(ran.wait(20000));
        QVERIFY(view(window())->hasOcrBlocks());
    } else {
        QCOMPARE(ran.count(), 0);
        QVERIFY(!view(window())->hasOcrBlocks());
    }
}

void ClipboardInsertTest::insertedTextTakesTheHomeFont()
{
    showSmall(window());
    window().openFile(ocrwindow::mixedPdf(m_dir, QStringLiteral("native.pdf"), {}));
    auto* family = homePage(window())->findChild<QComboBox*>();
    auto* size = homePage(window())->findChild<QSpinBox*>();
    QVERIFY(family && size);
    family->setEditText(QStringLiteral("Arial"));
    if (family->currentText() != QStringLiteral("Arial")) {
        family->addItem(QStringLiteral("Arial"));
        family->setCurrentText(QStringLiteral("Arial"));
    }
    size->setValue(18);
    window().onEditInsertText();
    emit view(window())->textInserted(0, QRectF(100, 100, 200, 40), QStringLiteral("Новый блок"));
    QCOMPARE(statusText(window()), QStringLiteral("Текст вставлен на стр. 1"));
    const std::vector<TextBlock>& blocks = view(window())->blocks();
    QVERIFY(!blocks.empty());
    const TextBlock& block = blocks.back();
    QCOMPARE(block.text, QStringLiteral("Новый блок"));
    QCOMPARE(block.fontFamily, QStringLiteral("Arial"));
    QCOMPARE(block.fontSize, 18.0f);
    QCOMPARE(block.color, QColor(Qt::black));
}

void ClipboardInsertTest::pictureFileForTheRectangle()
{
    showSmall(window());
    window().openFile(ocrwindow::mixedPdf(m_dir, QStringLiteral("native.pdf"), {}));
    window().onEditInsertImage();
    const QString photo = m_dir.filePath(QStringLiteral("photo.png"));
    QImage picture(120, 60, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(photo));
    const size_t before = view(window())->blocks().size();
    {
        prompt::Driver prompts;
        prompt::chooseFile(prompts, photo);
        // A strip drawn over a line of text: the picture goes there at its own size and shape.
        emit view(window())->imageRectReady(0, QRectF(100, 100, 300, 14));
    }
    QCOMPARE(view(window())->blocks().size(), before + 1);
    QVERIFY(view(window())->blocks().back().isImage);
    const QSizeF page = window().currentDocument()->pageSize(0);
    const QRectF placed = view(window())->blocks().back().rect;
    QVERIFY2(near(placed, QRectF(100, page.height() - 100 - 45, 90, 45), 0.5), qPrintable(describe(placed)));
    QCOMPARE(statusText(window()), QStringLiteral("Изображение добавлено как объект на стр. 1"));

    const QString broken = m_dir.filePath(QStringLiteral("broken.png"));
    QVERIFY(fixtures::writeFile(broken, "not a picture"));
    QString notice;
    prompt::Driver prompts;
    prompt::chooseFile(prompts, broken);
    prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
    emit view(window())->imageRectReady(0, QRectF(300, 300, 50, 50));
    QCOMPARE(notice, QStringLiteral("Ошибка|Не удалось загрузить:\n%1").arg(broken));
    QCOMPARE(view(window())->blocks().size(), before + 1);
}

QTEST_MAIN(ClipboardInsertTest)
#include "tst_clipboardinsert.moc"
