// A device or a FIFO named where the window reads a file: opened, dropped,
// reopened at start, named as a stamp template's picture, standing in for
// the signing journal or its lock, or chosen as a picture for the facsimile library, the
// page or the facsimile editor. Each runs in a child window under a time and a memory
// limit: it must end normally and soon, refuse with the reason, keep the
// documents it had open, and leave the FIFO as it was.
#include "LimitedChild.h"
#include "PdfFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int kTimeLimitMs = 20000;
// A window's threads and its painter's thread pool reserve address space of
// their own (the painter waits for ever on a thread it could not start):
// the limit leaves room for them, far below what a read without end takes.
constexpr qint64 kMemoryLimit = 1024LL * 1024 * 1024;

} // namespace

class TestNonRegularFiles : public QObject {
    Q_OBJECT

private slots:
    void refusedWithReason_data();
    void refusedWithReason();
};

void TestNonRegularFiles::refusedWithReason_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("kind");      // "fifo", made by the test without a writer, or a device
    QTest::addColumn<QString>("where");     // where the file stands: "name" (its own), "journal", "template", "picture"
    QTest::addColumn<QString>("name");      // the file's name as the reason gives it
    QTest::addColumn<QStringList>("said");  // the child's lines, after the first document opened

    const QString reason = QStringLiteral("%1 не является обычным файлом");
    const auto openFailed = [&reason](const QString& name, const QString& path) {
        return QStringLiteral("prompt: Ошибка|Не удалось открыть файл: %1  %2").arg(path, reason.arg(name));
    };
    QTest::newRow("open /dev/zero") << "open" << "/dev/zero" << "name" << "zero"
                                    << QStringList{openFailed("zero", "/dev/zero"), "tabs: first.pdf"};
    QTest::newRow("open a FIFO") << "open" << "fifo" << "name" << "Отчёт.pdf"
                                 << QStringList{openFailed("Отчёт.pdf", "%path"), "tabs: first.pdf"};
    QTest::newRow("drop a FIFO as a PDF")
        << "drop" << "fifo" << "name" << "Отчёт.pdf"
        << QStringList{"prompt: PDF файл|Что сделать с \"Отчёт.pdf\"?", openFailed("Отчёт.pdf", "%path"),
                       "tabs: first.pdf"};
    QTest::newRow("drop /dev/zero as pages") << "drop" << "/dev/zero" << "name" << "zero"
                                             << QStringList{"prompt: Ошибка импорта|" + reason.arg("zero"),
                                                            "tabs: first.pdf"};
    QTest::newRow("drop a FIFO as a picture") << "drop" << "fifo" << "name" << "scan.png"
                                              << QStringList{"prompt: Ошибка импорта|" + reason.arg("scan.png"),
                                                             "tabs: first.pdf"};
    QTest::newRow("drop a FIFO as a workbook") << "drop" << "fifo" << "name" << "book.xlsx"
                                               << QStringList{"prompt: Ошибка импорта|" + reason.arg("book.xlsx"),
                                                              "tabs: first.pdf"};
    QTest::newRow("reopen a FIFO at start") << "restore" << "fifo" << "name" << "Отчёт.pdf"
                                            << QStringList{openFailed("Отчёт.pdf", "%path"), "tabs: none"};
    QTest::newRow("reopen /dev/zero at start") << "restore" << "/dev/zero" << "name" << "zero"
                                               << QStringList{openFailed("zero", "/dev/zero"), "tabs: none"};
    // Listed by its lines; opened, it shows the default picture and says why;
    // a stamped copy with it is refused, not made with another picture.
    const auto pictureRefused = [&reason](const QString& name) {
        return QStringList{"templates: 2",
                           "prompt: Штамп подписи|Картинка шаблона не прочитана: " + reason.arg(name)
                               + ". Вместо неё показана стандартная картинка.",
                           "stamped copy refused: Не удалось прочитать картинку шаблона штампа: " + reason.arg(name)};
    };
    QTest::newRow("template picture is a FIFO") << "templates" << "fifo" << "picture" << "stamp.png"
                                                << pictureRefused("stamp.png");
    QTest::newRow("template picture is /dev/zero") << "templates" << "/dev/zero" << "picture" << "zero"
                                                   << pictureRefused("zero");
    // Not a template at all: the built-in one stands in, as for any unusable file.
    QTest::newRow("template file links to a FIFO") << "templates" << "fifo" << "template" << "stamp.json"
                                                   << QStringList{"templates: 1", "stamped copy: made"};
    QTest::newRow("journal is a FIFO") << "journal" << "fifo" << "journal" << "signature-journal.json"
                                       << QStringList{"journal refused: " + reason.arg("signature-journal.json")};
    QTest::newRow("journal links to /dev/zero") << "journal" << "/dev/zero" << "journal" << "signature-journal.json"
                                                << QStringList{"journal refused: "
                                                               + reason.arg("signature-journal.json")};
    // Not the journal but its lock: set aside, and the record written.
    QTest::newRow("journal lock is a FIFO") << "journal" << "fifo" << "journal lock" << "signature-journal.json.lock"
                                            << QStringList{"journal: written"};
    QTest::newRow("facsimile picture is a FIFO")
        << "facsimile" << "fifo" << "name" << "podpis.png"
        << QStringList{"prompt: Ошибка|Не удалось загрузить изображение. " + reason.arg("podpis.png"), "facsimiles: 0"};
    QTest::newRow("facsimile picture is /dev/zero")
        << "facsimile" << "/dev/zero" << "name" << "zero"
        << QStringList{"prompt: Ошибка|Не удалось загрузить изображение. " + reason.arg("zero"), "facsimiles: 0"};
    QTest::newRow("page picture is a FIFO")
        << "picture" << "fifo" << "name" << "photo.jpg"
        << QStringList{"prompt: Ошибка|Не удалось загрузить: %path  " + reason.arg("photo.jpg"), "tabs: first.pdf"};
    // The editor's own "Загрузить" once waited on the FIFO for ever.
    QTest::newRow("facsimile editor loads a FIFO")
        << "paint" << "fifo" << "name" << "podpis.png"
        << QStringList{"prompt: Загрузить факсимиле|Не удалось открыть изображение «podpis.png»: "
                           + reason.arg("podpis.png") + ".",
                       "picture kept: yes"};
    QTest::newRow("facsimile editor loads /dev/zero")
        << "paint" << "/dev/zero" << "name" << "zero"
        << QStringList{"prompt: Загрузить факсимиле|Не удалось открыть изображение «zero»: " + reason.arg("zero") + ".",
                       "picture kept: yes"};
}

void TestNonRegularFiles::refusedWithReason()
{
    QFETCH(QString, operation);
    QFETCH(QString, kind);
    QFETCH(QString, where);
    QFETCH(QString, name);
    QFETCH(QStringList, said);
    QTemporaryDir scratch;
    const QString data = scratch.filePath(QStringLiteral("data"));
    const QString appData = data + QStringLiteral("/vorn/vorn-pdf-editor");
    const QString stamps = appData + QStringLiteral("/signature-stamps");
    QVERIFY(QDir().mkpath(stamps));

    // The file itself: a FIFO of the test's own or the device.
    QString fifo;
    QString file = kind;
    if (kind == QLatin1String("fifo")) {
        const bool named = where == QLatin1String("name") || where == QLatin1String("picture");
        fifo = scratch.filePath(named ? name : QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        file = fifo;
    }
    // Where the window comes to it.
    QString path = file;
    if (where == QLatin1String("journal")) {
        path = appData + QStringLiteral("/signature-journal.json");
        if (kind == QLatin1String("fifo")) {
            QVERIFY(QFile::rename(fifo, path));
            fifo = path;
        } else {
            QVERIFY(QFile::link(file, path));
        }
    }
    if (where == QLatin1String("journal lock")) {
        path = appData + QLatin1Char('/') + name;
        QVERIFY(QFile::rename(fifo, path));
    }
    if (where == QLatin1String("template"))
        QVERIFY(QFile::link(file, stamps + QStringLiteral("/stamp.json")));
    if (where == QLatin1String("picture")) {
        const QJsonObject stamp{{"id", "stamp"}, {"name", "Штамп"}, {"image", file},
                                {"variables", QJsonArray{QJsonObject{{"text", "{{SIGNER}}"}}}}};
        QVERIFY(fixtures::writeFile(stamps + QStringLiteral("/stamp.json"), QJsonDocument(stamp).toJson()));
    }
    const QString first = scratch.filePath(QStringLiteral("first.pdf"));
    QVERIFY(fixtures::writeFile(first, fixtures::textPdf({QStringLiteral("First")})));
    const QByteArray firstBytes = fixtures::readFile(first);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QStringList arguments{operation, path};
    if (operation == QLatin1String("open") || operation == QLatin1String("drop")
        || operation == QLatin1String("picture") || operation == QLatin1String("templates"))
        arguments << first;
    const limitedchild::Outcome child = limitedchild::run(QStringLiteral(VORN_NONREGULAR_CHILD), arguments,
                                                          kTimeLimitMs, kMemoryLimit, environment);
    const QString out = QString::fromUtf8(child.out).trimmed();
    QVERIFY2(child.inTime, qPrintable(QStringLiteral("still waiting at the time limit: ") + out));
    QVERIFY2(!child.signal, qPrintable(out + QLatin1Char('\n') + QString::fromUtf8(child.err)));
    QCOMPARE(child.exitCode, 0);
    QStringList expected;
    for (const QString& line : said)
        expected << QString(line).replace(QStringLiteral("%path"), path);
    QCOMPARE(out.split(QLatin1Char('\n')), expected);
    QCOMPARE(fixtures::readFile(first), firstBytes);
    if (where == QLatin1String("journal lock")) {
        // Kept under a new name, and said so.
        const QStringList aside = QDir(appData).entryList({name + QStringLiteral(".corrupt-*")}, QDir::System);
        QCOMPARE(aside.size(), 1);
        fifo = appData + QLatin1Char('/') + aside.first();
        QVERIFY2(QString::fromLocal8Bit(child.err).contains(path + QLatin1Char(' ')), child.err.constData());
        QCOMPARE(QJsonDocument::fromJson(fixtures::readFile(appData + QStringLiteral("/signature-journal.json")))
                     .array()
                     .size(),
                 1);
    }
    if (!fifo.isEmpty())
        QVERIFY(limitedchild::isFifo(fifo));
}

QTEST_GUILESS_MAIN(TestNonRegularFiles)
#include "tst_nonregularfiles.moc"
