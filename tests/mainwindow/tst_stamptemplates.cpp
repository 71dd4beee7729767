// Stamp templates on disk: ids, reading, saving, listing, lookup, the legacy
// stamp and saves that fail half-way.
#include "LibraryFiles.h"
#include "LimitedChild.h"
#include "SignatureStampRender.h"
#include "SignatureStampTemplate.h"
#include "StampTestSupport.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void writePicture(const QString& path, QSize size, QColor color)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    QVERIFY(image.save(path, "PNG"));
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A small PNG whose header claims width x height.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    // Signature (8), length (4), "IHDR" at 12, width at 16, height at 20, CRC at 29.
    qToBigEndian(width, bytes.data() + 16);
    qToBigEndian(height, bytes.data() + 20);
    qToBigEndian(crc32(bytes.mid(12, 17)), bytes.data() + 29);
    return bytes;
}

QString templatesDir()
{
    return signatureStampTemplatesDir();
}

// What a child watched from outside may take; the window's own figures are
// far below (the benchmark gives them). The time only catches a child that
// does not end: a busy machine may slow it many times over.
constexpr qint64 kChildAddressSpace = qint64(1) << 30;
constexpr int kChildMs = 60000;

// Stores count templates sharing one picture, each with one line of the
// given number of placeholders.
void storeTemplates(int count, int placeholders)
{
    const QString picture = QDir(templatesDir()).filePath(QStringLiteral("shared/picture.png"));
    writePicture(picture, QSize(1180, 490), QColor(0xf0, 0xf4, 0xf8));
    const QJsonObject line{{QStringLiteral("text"), QStringLiteral("{{SIGNER}}").repeated(placeholders)},
                           {QStringLiteral("h"), 0.8},
                           {QStringLiteral("fontSizePx"), 22}};
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("t%1").arg(i, 4, 10, QLatin1Char('0'));
        const QJsonObject stamp{{QStringLiteral("id"), id},
                                {QStringLiteral("name"), QStringLiteral("Шаблон ") + id},
                                {QStringLiteral("image"), picture},
                                {QStringLiteral("variables"), QJsonArray{line}}};
        writeFile(QDir(templatesDir()).filePath(id + QStringLiteral(".json")),
                  QJsonDocument(stamp).toJson(QJsonDocument::Compact));
    }
}

} // namespace

class TestStampTemplates : public QObject {
    Q_OBJECT
private slots:
    void init() { m_data = std::make_unique<stamptest::DataFolder>(); }
    void cleanup() { m_data.reset(); }

    void ids_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("id");
        QTest::newRow("cyrillic") << QStringLiteral("Мой Штамп!") << QStringLiteral("мой-штамп");
        QTest::newRow("symbols only") << QStringLiteral("***") << QStringLiteral("stamp");
        QTest::newRow("reserved") << QStringLiteral(" Default ") << QStringLiteral("stamp");
        QTest::newRow("empty") << QString() << QStringLiteral("stamp");
        QTest::newRow("edge dashes") << QStringLiteral(" --a__b-- ") << QStringLiteral("a-b");
        QTest::newRow("digits kept") << QStringLiteral("Штамп 2026") << QStringLiteral("штамп-2026");
        QTest::newRow("path") << QStringLiteral("../../etc/x") << QStringLiteral("etc-x");
        QTest::newRow("long") << QString(70, 'x') << QString(64, 'x');
        QTest::newRow("cut leaves dash") << QString(63, 'a') + QStringLiteral(" b") << QString(63, 'a') + '-';
    }
    void ids()
    {
        QFETCH(QString, input);
        QFETCH(QString, id);
        QCOMPARE(safeSignatureStampTemplateId(input), id);
    }

    void displayNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("shown");
        QTest::newRow("name") << QStringLiteral("  Отдел ") << QStringLiteral("x") << QStringLiteral("Отдел");
        QTest::newRow("built-in") << QString() << QStringLiteral("default") << QStringLiteral("Стандартный");
        QTest::newRow("id") << QStringLiteral("  ") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("nothing") << QString() << QStringLiteral(" ") << QStringLiteral("Штамп");
    }
    void displayNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, id);
        QFETCH(QString, shown);
        SignatureStampTemplate stamp;
        stamp.name = name;
        stamp.id = id;
        QCOMPARE(stampTemplateDisplayName(stamp), shown);
    }

    // One template file each; what listing and lookup make of it.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QRgb>("pictureCorner");  // 0: the default picture
        QTest::addColumn<QString>("firstColor");
        const QByteArray line = R"({"text":"Я {{SIGNER}}","x":0.2,"y":0.3,"w":0.5,"h":0.2})";
        QTest::newRow("relative picture") << QByteArray(R"({"image":"pic.png","variables":[)" + line + "]}")
                                          << true << 1 << qRgb(0, 128, 0) << QStringLiteral("#ff0f172a");
        QTest::newRow("missing picture, lines") << QByteArray(R"({"image":"gone.png","variables":[)" + line + "]}")
                                                << true << 1 << QRgb(0) << QStringLiteral("#ff0f172a");
        QTest::newRow("picture, no variables") << QByteArray(R"({"image":"pic.png"})") << true << 5
                                               << qRgb(0, 128, 0) << QStringLiteral("#ff0f172a");
        QTest::newRow("neither") << QByteArray(R"({"image":"gone.png","variables":[]})") << false << 0 << QRgb(0)
                                 << QString();
        QTest::newRow("not json") << QByteArray("{{{ nope") << false << 0 << QRgb(0) << QString();
        QTest::newRow("array") << QByteArray(R"([{"image":"pic.png"}])") << false << 0 << QRgb(0) << QString();
        QTest::newRow("red") << QByteArray(R"({"image":"gone.png","variables":[{"color":"red"}]})") << true << 1
                             << QRgb(0) << QStringLiteral("#ffff0000");
        QTest::newRow("nonsense colour")
            << QByteArray(R"({"image":"gone.png","variables":[{"color":"nonsense"}, 5, "x"]})") << true << 1
            << QRgb(0) << QStringLiteral("#ff0f172a");
        QTest::newRow("wrong types")
            << QByteArray(R"({"id":7,"name":[],"image":3,"variables":{"a":1}})") << false << 0 << QRgb(0) << QString();
        QTest::newRow("huge picture") << QByteArray(R"({"image":"huge.png","variables":[{}]})") << true << 1 << QRgb(0)
                                      << QStringLiteral("#ff0f172a");
        QTest::newRow("not a picture") << QByteArray(R"({"image":"text.png","variables":[{}]})") << true << 1
                                       << QRgb(0) << QStringLiteral("#ff0f172a");
    }
    void reading()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, listed);
        QFETCH(int, lines);
        QFETCH(QRgb, pictureCorner);
        QFETCH(QString, firstColor);
        const QDir dir(templatesDir());
        writePicture(dir.filePath(QStringLiteral("pic.png")), QSize(300, 100), QColor(0, 128, 0));
        writeFile(dir.filePath(QStringLiteral("huge.png")), pngClaiming(30000, 30000));
        writeFile(dir.filePath(QStringLiteral("text.png")), "plain text, not a picture");
        writeFile(dir.filePath(QStringLiteral("Мой файл.json")), json);

        const QList<SignatureStampTemplate> all = loadSignatureStampTemplates();
        QVERIFY(all.first().builtIn);
        QCOMPARE(all.size(), listed ? 2 : 1);
        if (!listed) {
            QCOMPARE(loadSignatureStampTemplate(QStringLiteral("мой-файл")).id, QStringLiteral("default"));
            return;
        }
        const SignatureStampTemplate stamp = all.at(1);
        QCOMPARE(stamp.id, QStringLiteral("мой-файл"));
        QCOMPARE(stampTemplateDisplayName(stamp), QStringLiteral("мой-файл"));
        QVERIFY(!stamp.builtIn);
        QCOMPARE(stamp.variables.size(), lines);
        QCOMPARE(stamp.variables.first().color.name(QColor::HexArgb), firstColor);
        QCOMPARE(stamp.image.format(), QImage::Format_ARGB32_Premultiplied);
        if (pictureCorner)
            QCOMPARE(stamp.image.pixel(0, 0), pictureCorner);
        else
            QCOMPARE(stamp.image.size(), QSize(1180, 490));
    }

    // A line object without keys takes the reading defaults, not the record's.
    void lineDefaults()
    {
        writeFile(QDir(templatesDir()).filePath(QStringLiteral("a.json")), R"({"variables":[{}]})");
        const SignatureStampVariable read = loadSignatureStampTemplate(QStringLiteral("a")).variables.first();
        const SignatureStampVariable made;
        QCOMPARE(read.fontSizePx, 30.0);
        QCOMPARE(made.fontSizePx, 34.0);
        QCOMPARE(QRectF(read.x, read.y, read.w, read.h), QRectF(0.1, 0.1, 0.8, 0.1));
        QCOMPARE(QRectF(made.x, made.y, made.w, made.h), QRectF());
        QCOMPARE(read.text, QStringLiteral("{{SIGNER}}"));
        QCOMPARE(int(read.alignment), 129);
    }

    void absolutePicture()
    {
        QTemporaryDir elsewhere;
        const QString picture = QDir(elsewhere.path()).filePath(QStringLiteral("abs.png"));
        writePicture(picture, QSize(50, 20), QColor(0, 0, 255));
        const QJsonObject root{{QStringLiteral("image"), picture}};
        writeFile(QDir(templatesDir()).filePath(QStringLiteral("abs.json")), QJsonDocument(root).toJson());
        const SignatureStampTemplate stamp = loadSignatureStampTemplate(QStringLiteral("abs"));
        QCOMPARE(stamp.image.size(), QSize(50, 20));
        QCOMPARE(stamp.image.pixel(1, 1), qRgb(0, 0, 255));
    }

    // A picture that is there but cannot be taken is told; a template
    // without a picture of its own is not at fault.
    void pictureRefusalIsTold_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refused");
        QTest::newRow("a picture") << "png" << QString();
        QTest::newRow("no picture there") << "missing" << QString();
        QTest::newRow("a FIFO") << "fifo" << QStringLiteral("pic.png не является обычным файлом");
        QTest::newRow("a folder") << "folder" << QStringLiteral("pic.png не является обычным файлом");
        QTest::newRow("a link to /dev/zero") << "zero" << QStringLiteral("pic.png не является обычным файлом");
        QTest::newRow("past the size bound") << "large" << QStringLiteral("Файл слишком велик.");
    }

    void pictureRefusalIsTold()
    {
        QFETCH(QString, kind);
        QFETCH(QString, refused);
        const QString picture = QDir(templatesDir()).filePath(QStringLiteral("pic.png"));
        QVERIFY(QDir().mkpath(templatesDir()));
        if (kind == QLatin1String("png")) {
            writePicture(picture, QSize(50, 20), QColor(0, 0, 255));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(picture).constData(), 0600), 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(picture));
        } else if (kind == QLatin1String("zero")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), picture));
        } else if (kind == QLatin1String("large")) {
            QFile file(picture);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(kMaxImageFileBytes + 1));  // sparse: costs no disk
        }
        const QJsonObject root{{QStringLiteral("image"), QStringLiteral("pic.png")},
                               {QStringLiteral("variables"), QJsonArray{QJsonObject{}}}};
        writeFile(QDir(templatesDir()).filePath(QStringLiteral("pic.json")), QJsonDocument(root).toJson());
        const SignatureStampTemplate stamp = loadSignatureStampTemplate(QStringLiteral("pic"));
        QCOMPARE(stamp.id, QStringLiteral("pic"));
        QCOMPARE(stamp.pictureRefused, refused);
        // Shown with its own picture or, failing that, the default one.
        QCOMPARE(stamp.image.size(), kind == QLatin1String("png") ? QSize(50, 20)
                                                                  : QSize(kStampPictureWidth, kStampPictureHeight));
    }

    void savingAssignsIds()
    {
        SignatureStampTemplate blank;
        blank.name = QStringLiteral("   ");
        QVERIFY(saveSignatureStampTemplate(blank, nullptr));
        QCOMPARE(blank.name, QStringLiteral("Штамп"));
        QCOMPARE(blank.id, QStringLiteral("штамп"));
        SignatureStampTemplate second;
        QVERIFY(saveSignatureStampTemplate(second, nullptr));
        QCOMPARE(second.id, QStringLiteral("штамп-2"));

        SignatureStampTemplate builtIn = defaultSignatureStampTemplate();
        QVERIFY(saveSignatureStampTemplate(builtIn, nullptr));
        QCOMPARE(builtIn.id, QStringLiteral("стандартный"));
        QVERIFY(!builtIn.builtIn);
        SignatureStampTemplate copy = defaultSignatureStampTemplate();
        copy.builtIn = false;
        copy.name = QStringLiteral("Стандартный");
        QVERIFY(saveSignatureStampTemplate(copy, nullptr));
        QCOMPARE(copy.id, QStringLiteral("стандартный-2"));
        QVERIFY(!QFileInfo::exists(QDir(templatesDir()).filePath(QStringLiteral("default.json"))));
        QVERIFY(!QFileInfo::exists(QDir(templatesDir()).filePath(QStringLiteral("default.png"))));

        // Saved again under its id, a template replaces its own files.
        second.name = QStringLiteral("Другое имя");
        second.variables = {SignatureStampVariable{}};
        second.variables[0].text = QStringLiteral("только это");
        second.variables[0].color = QColor(255, 0, 0, 128);
        QVERIFY(saveSignatureStampTemplate(second, nullptr));
        QCOMPARE(second.id, QStringLiteral("штамп-2"));
        const QJsonObject written =
            QJsonDocument::fromJson(stamptest::fileBytes(QDir(templatesDir()).filePath(QStringLiteral("штамп-2.json"))))
                .object();
        QCOMPARE(written.value(QStringLiteral("image")).toString(), QStringLiteral("штамп-2.png"));
        const QJsonObject line = written.value(QStringLiteral("variables")).toArray().first().toObject();
        QCOMPARE(line.keys().size(), 11);
        QCOMPARE(line.value(QStringLiteral("color")).toString(), QStringLiteral("#80ff0000"));
        const SignatureStampTemplate back = loadSignatureStampTemplate(QStringLiteral("штамп-2"));
        QCOMPARE(back.name, QStringLiteral("Другое имя"));
        QCOMPARE(back.variables.size(), 1);
        QCOMPARE(back.variables.first().color, QColor(255, 0, 0, 128));
        QCOMPARE(back.image.size(), QSize(1180, 490));
    }

    void listingOrder()
    {
        for (const QString& name : {QStringLiteral("Яблоко"), QStringLiteral("арбуз"), QStringLiteral("Банан")}) {
            SignatureStampTemplate stamp;
            stamp.name = name;
            QVERIFY(saveSignatureStampTemplate(stamp, nullptr));
        }
        QStringList shown;
        for (const SignatureStampTemplate& stamp : loadSignatureStampTemplates())
            shown << stampTemplateDisplayName(stamp);
        QCOMPARE(shown.first(), QStringLiteral("Стандартный"));
        QStringList rest = shown.mid(1);
        QStringList expected = rest;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
        QCOMPARE(rest, expected);
        QCOMPARE(rest.size(), 3);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("found");
        QTest::newRow("empty") << QString() << QStringLiteral("default");
        QTest::newRow("spaces") << QStringLiteral("   ") << QStringLiteral("default");
        QTest::newRow("default") << QStringLiteral(" default ") << QStringLiteral("default");
        QTest::newRow("deleted") << QStringLiteral("удалённый") << QStringLiteral("default");
        QTest::newRow("by name form") << QStringLiteral("Мой Штамп!") << QStringLiteral("мой-штамп");
    }
    void lookup()
    {
        QFETCH(QString, asked);
        QFETCH(QString, found);
        SignatureStampTemplate stamp;
        stamp.name = QStringLiteral("Мой штамп");
        QVERIFY(saveSignatureStampTemplate(stamp, nullptr));
        QCOMPARE(loadSignatureStampTemplate(asked).id, found);
    }

    void legacyMigration()
    {
        const QDir legacy(legacySignatureStampDir());
        writePicture(legacy.filePath(QStringLiteral("signature-stamp.png")), QSize(200, 80), QColor(255, 0, 0));
        writeFile(legacySignatureStampJsonPath(), R"({"variables":[{"text":"Старый {{SIGNER}}"}]})");
        const QList<SignatureStampTemplate> all = loadSignatureStampTemplates();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(1).name, QStringLiteral("Пользовательский"));
        QCOMPARE(all.at(1).variables.first().text, QStringLiteral("Старый {{SIGNER}}"));
        QCOMPARE(all.at(1).image.size(), QSize(200, 80));
        const QDir dir(templatesDir());
        QVERIFY(dir.exists(QStringLiteral("пользовательский.json")));
        QVERIFY(dir.exists(QStringLiteral("пользовательский.png")));
        QVERIFY(QFileInfo::exists(legacySignatureStampJsonPath()));
        // Once a template file exists the legacy stamp is not taken again.
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("пользовательский.png"))));
        QCOMPARE(loadSignatureStampTemplates().size(), 2);
        QVERIFY(!dir.exists(QStringLiteral("пользовательский-2.json")));
    }

    // A save that cannot be written leaves the stored template as it was.
    void failedSaveKeepsOldTemplate_data()
    {
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QString>("error");
        QTest::newRow("picture") << QSize(1180, 490) << 1 << QStringLiteral("Не удалось сохранить картинку шаблона штампа.");
        QTest::newRow("settings") << QSize(1, 1) << 40
                                  << QStringLiteral("Не удалось сохранить настройки переменных штампа: ");
    }
    void failedSaveKeepsOldTemplate()
    {
        QFETCH(QSize, pictureSize);
        QFETCH(int, lineCount);
        QFETCH(QString, error);
        SignatureStampTemplate stamp;
        stamp.name = QStringLiteral("Отдел");
        stamp.image = QImage(4, 4, QImage::Format_ARGB32);
        stamp.image.fill(Qt::blue);
        stamp.variables = {SignatureStampVariable{}};
        QVERIFY(saveSignatureStampTemplate(stamp, nullptr));
        const auto before = stamptest::folderSnapshot(templatesDir());

        stamp.image = QImage(pictureSize, QImage::Format_ARGB32);
        QRandomGenerator noise(7);
        for (int y = 0; y < pictureSize.height(); ++y)
            for (int x = 0; x < pictureSize.width(); ++x)
                stamp.image.setPixel(x, y, noise.generate() | 0xff000000u);
        for (int i = 0; i < lineCount; ++i)
            stamp.variables.append(SignatureStampVariable{});
        bool saved = true;
        QString message;
        stamptest::withFileSizeLimit(800, [&] { saved = saveSignatureStampTemplate(stamp, &message); });
        QVERIFY(!saved);
        QVERIFY2(message.startsWith(error), qPrintable(message));
        QCOMPARE(stamptest::folderSnapshot(templatesDir()), before);
        QCOMPARE(loadSignatureStampTemplate(QStringLiteral("отдел")).variables.size(), 1);
    }

    void unwritableFolder()
    {
        writeFile(QDir(appDataDirectory()).filePath(QStringLiteral("signature-stamps")), "a file in the way");
        SignatureStampTemplate stamp;
        QString message;
        QVERIFY(!saveSignatureStampTemplate(stamp, &message));
        QVERIFY(!message.isEmpty());
    }

    // Hostile stored templates used as the window uses them, in a child with
    // a time and a memory limit: a line of 200,000 placeholders is filled
    // for the template list and for a stamped copy, and 1,000 templates are
    // listed with the previews of the rows shown. The child ends normally,
    // in time and within the memory.
    void hostileTemplatesStayBounded_data()
    {
        QTest::addColumn<int>("templates");
        QTest::addColumn<int>("placeholders");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        const QString source = QStringLiteral(VORN_TEST_DATA "/gs-helvetica.pdf");
        const QStringList dialog{QStringLiteral("dialog"), source};
        const QStringList stamp{QStringLiteral("stamp"), source, QString(), QStringLiteral("t0000")};
        QTest::newRow("200,000 placeholders, listed") << 1 << 200000 << dialog << "listed 2 drawn 2";
        QTest::newRow("200,000 placeholders, stamped") << 1 << 200000 << stamp << "stamped";
        // Only the rows the list shows get a preview.
        QTest::newRow("1,000 templates, listed") << 1000 << 1 << dialog << "listed 1001 drawn ";
        QTest::newRow("1,000 templates, stamped") << 1000 << 1 << stamp << "stamped";
    }

    void hostileTemplatesStayBounded()
    {
        QFETCH(int, templates);
        QFETCH(int, placeholders);
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        storeTemplates(templates, placeholders);
        const QString output = QDir(m_data->path()).filePath(QStringLiteral("stamped.pdf"));
        if (arguments.first() == QLatin1String("stamp"))
            arguments[2] = output;
        const limitedchild::Outcome child =
            limitedchild::run(QStringLiteral(VORN_STAMP_CHILD), arguments, kChildMs, kChildAddressSpace);
        QVERIFY2(child.inTime, qPrintable(QStringLiteral("still running after %1 ms").arg(child.elapsedMs)));
        const QString answer = QString::fromUtf8(child.out).trimmed();
        QVERIFY2(!child.signal && child.exitCode == 0, qPrintable(answer + QString::fromUtf8(child.err)));
        QVERIFY2(answer.startsWith(said), qPrintable(answer));
        if (answer.startsWith(QStringLiteral("listed"))) {
            const int drawn = answer.section(QLatin1Char(' '), 3).toInt();
            QVERIFY2(drawn >= 1 && drawn <= qMin(templates + 1, 40), qPrintable(answer));
        }
        if (arguments.first() == QLatin1String("stamp")) {
            QFile copy(output);
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QVERIFY(copy.read(5) == "%PDF-");
        }
    }

private:
    std::unique_ptr<stamptest::DataFolder> m_data;
};

QTEST_MAIN(TestStampTemplates)
#include "tst_stamptemplates.moc"
