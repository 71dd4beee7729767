#include "OcrEngine.h"
#include "OcrTestPages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// Modest resolution keeps the real recogniser quick; text stays 8+ px high.
constexpr double kTestDpi = 200.0;

RecognizedWord raw(const QString &text, float confidence, int line = 0, double height = 10)
{
    return {text, QRectF(100, 400, 30, height), confidence, line};
}

QStringList texts(const std::vector<OcrWord> &words)
{
    QStringList t;
    for (const auto &w : words)
        t << w.text;
    return t;
}

TextBlock blockAt(const QString &text, const QRectF &rect)
{
    TextBlock b;
    b.text = text;
    b.rect = b.originalRect = rect;
    return b;
}

// OpenMP threads carry the program's own thread name; Qt's pool threads do not.
int threadsNamedLikeProgram()
{
    QFile own(QStringLiteral("/proc/self/comm"));
    if (!own.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray name = own.readAll();
    int count = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        count += comm.open(QIODevice::ReadOnly) && comm.readAll() == name;
    }
    return count;
}

bool overlaps(const QRectF &a, const QRectF &b)
{
    return a.intersects(b) && !a.intersected(b).isEmpty();
}

} // namespace

class OcrEngineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void corrections_data();
    void corrections();
    void acceptedWords();
    void duplicateFragments_data();
    void duplicateFragments();
    void unknownLanguageFails_data();
    void unknownLanguageFails();
    void badPages_data();
    void badPages();
    void recognizesText();
    void mixedLanguagePage();
    void pictureStampAndScribble();
    void tessdataNextToProgram();
    void recognisesOnOneThread();

private:
    OcrEngine engine;
    int threadsAtStart = -1;
};

void OcrEngineTest::initTestCase()
{
    QVERIFY2(engine.init(QStringLiteral("rus+eng")), qPrintable(engine.lastError()));
    const QStringList languages = engine.availableLanguages();
    QVERIFY2(languages.contains(QStringLiteral("rus")) && languages.contains(QStringLiteral("eng"))
                 && std::is_sorted(languages.begin(), languages.end()),
             qPrintable(languages.join(QLatin1Char(' '))));
    threadsAtStart = threadsNamedLikeProgram();
}

void OcrEngineTest::corrections_data()
{
    QTest::addColumn<QString>("recognised");
    QTest::addColumn<QString>("corrected");
    QTest::newRow("latin yi") << "yi," << QStringLiteral("ул.,");
    QTest::newRow("cyrillic u, digit one") << QStringLiteral("у1,") << QStringLiteral("ул.,");
    QTest::newRow("Men.") << "Men." << QStringLiteral("Исп.");
    QTest::newRow("Noun") << "Noun" << QStringLiteral("№ п/п");
    QTest::newRow("number sign shp") << QStringLiteral("№ шп") << QStringLiteral("№ п/п");
    QTest::newRow("alastr") << QStringLiteral("аластр") << QStringLiteral("номер");
    QTest::newRow("quote tel.") << QStringLiteral("\u2018тел.") << QStringLiteral("тел.");
    QTest::newRow("grave tel.") << QStringLiteral("`тел.") << QStringLiteral("тел.");
    QTest::newRow("case matters") << "noun" << QString();
    QTest::newRow("whole word only") << "Nouns" << QString();
}

void OcrEngineTest::corrections()
{
    QFETCH(QString, recognised);
    QFETCH(QString, corrected);
    QCOMPARE(correctedOcrWord(recognised), corrected);
    QCOMPARE(correctedOcrWord(recognised).isNull(), corrected.isNull());
}

void OcrEngineTest::acceptedWords()
{
    const double pageHeight = 800;
    // "Noun" with confidence 10 on a Russian line survives as the item number heading.
    auto words = acceptRecognizedWords({raw("Noun", 10, 0), raw(QStringLiteral("Наименование"), 90, 0)}, pageHeight);
    QCOMPARE(texts(words), QStringList({QStringLiteral("№ п/п"), QStringLiteral("Наименование")}));
    // On an English line the word is left alone.
    words = acceptRecognizedWords({raw("Men.", 90, 0), raw("working", 90, 0)}, pageHeight);
    QCOMPARE(texts(words), QStringList({"Men.", "working"}));
    // A line holding only the key follows the page's script.
    words = acceptRecognizedWords({raw(QStringLiteral("Исполнитель"), 90, 0), raw("Men.", 90, 1)}, pageHeight);
    QCOMPARE(texts(words).last(), QStringLiteral("Исп."));
    words = acceptRecognizedWords({raw("Executor", 90, 0), raw("Men.", 90, 1)}, pageHeight);
    QCOMPARE(texts(words).last(), QStringLiteral("Men."));
    // Below confidence 38 only word-shaped text stays: the recogniser doubts
    // a letter of "Сергеевич!" rather than the word. Flat and blank words go.
    words = acceptRecognizedWords(
        {raw(QStringLiteral("~J/\\I~"), 14), raw(QStringLiteral("’"), 0), raw(QStringLiteral("Сергеевич!"), 0),
         raw(QStringLiteral("_-"), 37.9f), raw(QStringLiteral("—"), 38.0f), raw(QStringLiteral("плоское"), 90, 0, 1.0),
         raw(QStringLiteral("  "), 90)},
        800);
    QCOMPARE(texts(words), QStringList({QStringLiteral("Сергеевич!"), QStringLiteral("—")}));
}

void OcrEngineTest::duplicateFragments_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QRectF>("fragmentRect");
    QTest::addColumn<bool>("image");
    QTest::addColumn<bool>("removed");
    const QString big = QStringLiteral("Большой дом номер 5 квартал 7");
    const QRectF inside(150, 501, 30, 10);
    QTest::newRow("three letters, other case") << big << QStringLiteral("ДОМ") << inside << false << true;
    QTest::newRow("19 characters") << big << QStringLiteral("дом номер 5 квартал") << inside << false << false;
    QTest::newRow("two characters") << big << QStringLiteral("до") << inside << false << false;
    QTest::newRow("centre outside") << big << QStringLiteral("дом") << QRectF(290, 501, 30, 10) << false << false;
    QTest::newRow("little vertical overlap") << big << QStringLiteral("дом") << QRectF(150, 495, 30, 10) << false << false;
    QTest::newRow("image block") << big << QStringLiteral("дом") << inside << true << false;
    QTest::newRow("equal texts") << QStringLiteral("дом") << QStringLiteral("дом") << inside << false << false;
    // A paragraph's lines: the text read again over the line that holds it
    // goes; the same words beside a line that does not hold them are a piece
    // of that line ("раза" + "в квартал." of a clause that ends so again below).
    const QString lines = QStringLiteral("Большой дом\nномер 5 квартал 7");
    const QRectF firstLine(150, 506, 40, 6);
    const QRectF secondLine(150, 500, 40, 6);
    QTest::newRow("over the line holding it") << lines << QStringLiteral("квартал") << secondLine << false << true;
    QTest::newRow("beside a line not holding it") << lines << QStringLiteral("квартал") << firstLine << false << false;
}

void OcrEngineTest::duplicateFragments()
{
    QFETCH(QString, container);
    QFETCH(QString, fragment);
    QFETCH(QRectF, fragmentRect);
    QFETCH(bool, image);
    std::vector<TextBlock> blocks = {blockAt(container, QRectF(100, 500, 200, 12)), blockAt(fragment, fragmentRect)};
    blocks[1].isImage = image;
    // A container of several lines knows them: the first on top.
    const QStringList lineTexts = container.split(QLatin1Char('\n'));
    if (lineTexts.size() > 1)
        for (qsizetype k = 0; k < lineTexts.size(); ++k) {
            TextBlock::Line line;
            line.text = lineTexts[k];
            line.rect = QRectF(100, 506 - 6 * k, 200, 6);
            blocks[0].lines.push_back(line);
        }
    removeDuplicateFragments(blocks);
    QFETCH(bool, removed);
    QCOMPARE(blocks.size(), removed ? size_t(1) : size_t(2));
}

void OcrEngineTest::unknownLanguageFails_data()
{
    QTest::addColumn<QString>("languages");
    QTest::newRow("unknown") << "xx_no_such";
    // Tesseract alone would start with Russian only and read English as Cyrillic.
    QTest::newRow("one of two unknown") << "rus+xx_no_such";
}

void OcrEngineTest::unknownLanguageFails()
{
    QFETCH(QString, languages);
    OcrEngine other;
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Tesseract init failed for lang: \"%1\"").arg(languages)));
    QVERIFY(!other.init(languages));
    QVERIFY(!other.isInitialized());
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QVERIFY(other.recognizePage(image, 0, 1.0, 100).empty());
    QVERIFY(!other.lastError().isEmpty());
    QVERIFY(other.recognizeText(image).isEmpty());
}

void OcrEngineTest::badPages_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("reason"); // refused with a reason, or read and found empty
    QImage blank(800, 1100, QImage::Format_RGB32);
    blank.fill(Qt::white);
    QImage noise = blank;
    QRandomGenerator random(5);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.bounded(2) ? qRgb(20, 20, 20) : qRgb(235, 235, 235));
    QImage picture = blank;
    {
        QPainter p(&picture);
        QLinearGradient g(0, 0, 800, 1100);
        g.setColorAt(0, QColor(40, 90, 160));
        g.setColorAt(1, QColor(230, 200, 120));
        p.fillRect(picture.rect(), g);
        for (int i = 0; i < 40; ++i) {
            p.setBrush(QColor(random.bounded(256), random.bounded(256), random.bounded(256)));
            p.drawEllipse(random.bounded(700), random.bounded(1000), 40 + random.bounded(120), 40 + random.bounded(120));
        }
    }
    QImage line(600, 1, QImage::Format_RGB32);
    line.fill(Qt::black);
    QImage thin(3, 100, QImage::Format_RGB32);
    thin.fill(Qt::black);
    QTest::newRow("blank page") << blank << 1.0 << false;
    QTest::newRow("page of noise") << noise << 1.0 << false;
    QTest::newRow("pure picture") << picture << 1.0 << false;
    QTest::newRow("one pixel high") << line << 1.0 << true;
    QTest::newRow("three pixels wide") << thin << 1.0 << true;
    QTest::newRow("null image") << QImage() << 1.0 << true;
    QTest::newRow("zero scale") << blank << 0.0 << true;
    QTest::newRow("NaN scale") << blank << std::numeric_limits<double>::quiet_NaN() << true;
    // One-bit images keep the test's own memory small; the bound is on pixels.
    QTest::newRow("wider than the recogniser takes") << QImage(OcrEngine::kMaxImageSide + 1, 8, QImage::Format_Mono)
                                                     << 1.0 << true;
}

void OcrEngineTest::badPages()
{
    QFETCH(QImage, image);
    QFETCH(double, scale);
    const std::vector<TextBlock> blocks = engine.recognizePage(image, 0, scale, image.height());
    QVERIFY2(std::none_of(blocks.begin(), blocks.end(), [](const TextBlock &b) { return !b.isImage; }),
             qPrintable(testpages::blocksText(blocks)));
    QTEST(!engine.lastError().isEmpty(), "reason");
    if (image.width() > OcrEngine::kMaxImageSide)
        QVERIFY(engine.lastError().contains(QString::number(image.width())));
    QVERIFY(engine.isInitialized());
}

void OcrEngineTest::recognizesText()
{
    QVERIFY(engine.recognizeText(QImage(8000, 5001, QImage::Format_Mono)).isEmpty());  // too many pixels
    QVERIFY(engine.lastError().contains(QStringLiteral("8000")));

    QImage image(420, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPixelSize(32);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(10, 42, QStringLiteral("Печать организации"));
    painter.end();
    QCOMPARE(engine.recognizeText(image), QStringLiteral("Печать организации"));
}

void OcrEngineTest::mixedLanguagePage()
{
    const TestPage page = testpages::mixedLanguagePage(kTestDpi);
    const auto blocks = engine.recognizePage(page.image, 5, page.scale, page.pageHeight);
    const QStringList reference = testpages::words(page.lines);
    const double recall = testpages::wordRecall(reference, testpages::words(blocks));
    QVERIFY2(recall >= 0.95, qPrintable(testpages::blocksText(blocks)));
    for (const TextBlock &b : blocks) {
        QCOMPARE(b.pageIndex, 5);
        QVERIFY(b.rect.left() >= 0 && b.rect.right() <= page.pageWidth + 1);
        QVERIFY(b.rect.bottom() >= 0 && b.rect.top() <= page.pageHeight + 1);
        if (!b.isImage)
            QCOMPARE(b.fontFamily, QStringLiteral("Times New Roman"));
    }
    // The capitals heading is bold; body text is not.
    const auto heading = std::find_if(blocks.begin(), blocks.end(),
                                      [](const TextBlock &b) { return b.text.contains(QStringLiteral("ДОГОВОР")); });
    QVERIFY(heading != blocks.end());
    QVERIFY(heading->bold);
    QVERIFY(heading->fontSize > 14.0f);
}

void OcrEngineTest::pictureStampAndScribble()
{
    const TestPage page = testpages::picturePage(kTestDpi);
    const auto blocks = engine.recognizePage(page.image, 0, page.scale, page.pageHeight);
    const auto firstImage = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock &b) { return b.isImage; });
    QVERIFY(std::all_of(firstImage, blocks.end(), [](const TextBlock &b) { return b.isImage; }));

    const auto imageOver = [&](const QRectF &r) {
        return std::any_of(firstImage, blocks.end(), [&](const TextBlock &b) {
            return b.rect.contains(r.center()) && !b.image.isNull();
        });
    };
    QVERIFY(imageOver(page.pictureRect));
    QVERIFY(imageOver(page.stampRect));
    for (auto it = blocks.begin(); it != firstImage; ++it) {
        QVERIFY2(!overlaps(it->rect, page.scribbleRect), qPrintable(it->text));
        QVERIFY2(!overlaps(it->rect, page.pictureRect), qPrintable(it->text));
    }
    const double recall = testpages::wordRecall(testpages::words(page.lines), testpages::words(blocks));
    QVERIFY2(recall >= 0.9, qPrintable(testpages::blocksText(blocks)));
}

void OcrEngineTest::tessdataNextToProgram()
{
    // A tessdata folder next to the program that holds English only wins over
    // the system's data, which also has Russian.
    const QString dir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tessdata"));
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
    const QString systemEng = QStringLiteral("/usr/share/tesseract-ocr/5/tessdata/eng.traineddata");
    QVERIFY2(QFile::exists(systemEng), "no system English data; scripts/setup.sh installs tesseract-ocr-eng");
    QVERIFY(QFile::link(systemEng, QDir(dir).filePath(QStringLiteral("eng.traineddata"))));
    OcrEngine local;
    const bool english = local.init(QStringLiteral("eng"));
    QTest::ignoreMessage(QtWarningMsg, "Tesseract init failed for lang: \"rus\"");
    const bool russian = local.init(QStringLiteral("rus"));
    QDir(dir).removeRecursively();
    QVERIFY(english);
    QVERIFY(!russian);
}

// The recogniser's OpenMP threads would spin beside other work; recognition
// starts none, in this test or any before it (counted since initTestCase).
void OcrEngineTest::recognisesOnOneThread()
{
    QVERIFY2(threadsAtStart >= 0, "the threads are counted in /proc/self/task");
    const TestPage page = testpages::englishPage(kTestDpi);
    QVERIFY(!engine.recognizePage(page.image, 0, page.scale, page.pageHeight).empty());
    QCOMPARE(threadsNamedLikeProgram(), threadsAtStart);
}

QTEST_MAIN(OcrEngineTest)
#include "tst_ocrengine.moc"
