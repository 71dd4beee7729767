// The compression worker modes: the real executable's answers, and the fit's
// choice and failure texts with stand-in estimate workers.
#include "CompressionWorkerCli.h"
#include "PdfFixtures.h"
#include "StandInWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kExecutable = QStringLiteral(VORN_PDF_EXECUTABLE);

struct Run {
    QByteArray output;
    QByteArray errorOutput;
    int exitCode = -1;
};

// The real executable without a display, as the window starts it.
Run runExecutable(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(kExecutable, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.readAllStandardOutput(), process.readAllStandardError(), process.exitCode()};
}

QJsonObject object(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object();
}

CompressionWorkerOutput fit(const QString& program, const QString& target, int parallel = 4)
{
    return compressionFit({kExecutable, QStringLiteral("--vorn-compression-fit"), QStringLiteral("/x.pdf"), target},
                          program, parallel);
}

QList<int> estimateIndices(const QJsonObject& answer)
{
    QList<int> indices;
    for (const QJsonValue& value : answer.value(QStringLiteral("estimates")).toArray())
        indices << value.toObject().value(QStringLiteral("index")).toInt();
    return indices;
}

} // namespace

class CompressionWorkersTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void executableAnswers_data();
    void executableAnswers();
    void estimateIsRepeatableAndFitMatchesIt();

    void choice_data();
    void choice();
    void failureText_data();
    void failureText();
    void parallelism_data();
    void parallelism();
    void childrenAtOnceStayWithinParallel();

private:
    QTemporaryDir m_dir;
    QString m_pdf;
};

void CompressionWorkersTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_pdf = m_dir.filePath(QStringLiteral("doc.pdf"));
    QVERIFY(fixtures::writeFile(m_pdf, fixtures::textPdf({"One", "Two", "Three"})));
}

void CompressionWorkersTest::executableAnswers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("line");  // exact, or empty to check keys below
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("keys");

    QTest::newRow("estimate with a missing argument")
        << QStringList{"--vorn-compression-estimate", "a.pdf", "0", "150", "55", "0"}
        << QByteArray("{\"error\":\"Usage: --vorn-compression-estimate <pdf> <index> <dpi> <quality> <mono> "
                      "<gray>\",\"ok\":false}\n")
        << 2 << QString();
    QTest::newRow("fit without a target")
        << QStringList{"--vorn-compression-fit", "a.pdf"}
        << QByteArray("{\"error\":\"Usage: --vorn-compression-fit <pdf> <target-bytes>\",\"ok\":false}\n") << 2
        << QString();
    QTest::newRow("estimate of a missing file keeps the index")
        << QStringList{"--vorn-compression-estimate", "/nonexistent/x.pdf", "7", "150", "55", "0", "0"}
        << QByteArray() << 3 << QStringLiteral("error,index,ok");
    QTest::newRow("estimate of a file that is no PDF")
        << QStringList{"--vorn-compression-estimate", QStringLiteral(VORN_TEST_DATA "/make-fixtures.sh"), "1", "150",
                       "55", "0", "0"}
        << QByteArray() << 3 << QStringLiteral("error,index,ok");
    QTest::newRow("fit of a missing file, nothing on standard error")
        << QStringList{"--vorn-compression-fit", "/nonexistent/x.pdf", "300000"}
        << QByteArray("{\"error\":\"worker-процесс завершился с ошибкой\",\"ok\":false}\n") << 4 << QString();
}

// Through the real dispatch, without a display: one line on standard output,
// nothing on standard error.
void CompressionWorkersTest::executableAnswers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, line);
    QFETCH(int, exitCode);
    QFETCH(QString, keys);

    const Run run = runExecutable(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.errorOutput, QByteArray());
    if (!line.isEmpty())
        QCOMPARE(run.output, line);
    else
        QCOMPARE(object(run.output).keys().join(','), keys);
    QVERIFY(run.output.endsWith('\n') && run.output.count('\n') == 1);
}

// The fit's estimates are those of the estimate mode run alone, byte for byte.
void CompressionWorkersTest::estimateIsRepeatableAndFitMatchesIt()
{
    const Run fitRun = runExecutable({QStringLiteral("--vorn-compression-fit"), m_pdf, QStringLiteral("300000")});
    QCOMPARE(fitRun.exitCode, 0);
    const QJsonObject answer = object(fitRun.output);
    const QJsonArray estimates = answer.value(QStringLiteral("estimates")).toArray();
    QCOMPARE(estimates.size(), 15);
    for (int i : {0, 4, 14}) {
        const QJsonObject estimate = estimates.at(i).toObject();
        const QJsonObject options = estimate.value(QStringLiteral("options")).toObject();
        const Run alone = runExecutable(
            {QStringLiteral("--vorn-compression-estimate"), m_pdf, QString::number(i),
             QString::number(options.value(QStringLiteral("imageDpi")).toInt()),
             QString::number(options.value(QStringLiteral("jpegQuality")).toInt()),
             options.value(QStringLiteral("monochrome")).toBool() ? QStringLiteral("1") : QStringLiteral("0"),
             QStringLiteral("0")});
        QCOMPARE(alone.exitCode, 0);
        const QJsonObject single = object(alone.output);
        QCOMPARE(single.value(QStringLiteral("index")).toInt(), i);
        QCOMPARE(single.value(QStringLiteral("sampled")), QJsonValue(false));
        QCOMPARE(single.value(QStringLiteral("bytes")), estimate.value(QStringLiteral("bytes")));
    }
    QVERIFY(answer.value(QStringLiteral("matchedTarget")).toBool());
    QCOMPARE(answer.value(QStringLiteral("label")).toString(), QStringLiteral("Почти без потери качества"));
}

void CompressionWorkersTest::choice_data()
{
    QTest::addColumn<QString>("script");  // answers for preset $3
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("chosenBytes");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<QList<int>>("listed");

    const QString falling = QStringLiteral("echo \"{\\\"ok\\\":true,\\\"bytes\\\":\\\"$((1000 - $3 * 10))\\\"}\"");
    const QList<int> all{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    QTest::newRow("first that fits, not the smallest") << falling << "995" << 990 << true << all;
    QTest::newRow("a target equal to an estimate fits") << falling << "960" << 960 << true << all;
    QTest::newRow("none fits: the smallest") << falling << "5" << 860 << false << all;
    for (const char* target : {"abc", "0", "-5"})
        QTest::newRow(qPrintable(QStringLiteral("target %1 is one byte").arg(target)))
            << falling << target << 860 << false << all;
    QTest::newRow("a tie for the smallest keeps the earlier")
        << QStringLiteral("case $3 in 3|9) b=100;; *) b=500;; esac; echo \"{\\\"ok\\\":true,\\\"bytes\\\":\\\"$b\\\"}\"")
        << "50" << 100 << false << all;
    QTest::newRow("bytes as a number, garbage and crashes do not count")
        << QStringLiteral("case $3 in 0) echo '{\"ok\":true,\"bytes\":100}';; 1) echo nonsense;; "
                          "2) kill -SEGV $$;; 3) exit 3;; *) echo \"{\\\"ok\\\":true,\\\"bytes\\\":\\\"$((900 - $3))\\\"}\";; esac")
        << "1000" << 896 << true << QList<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
}

void CompressionWorkersTest::choice()
{
    QFETCH(QString, script);
    QFETCH(QString, target);
    QFETCH(int, chosenBytes);
    QFETCH(bool, matched);
    QFETCH(QList<int>, listed);

    QTemporaryDir dir;
    const CompressionWorkerOutput output = fit(standin::script(dir, script), target);
    QCOMPARE(output.exitCode, 0);
    const QJsonObject answer = object(output.line);
    QCOMPARE(answer.value(QStringLiteral("bytes")).toString(), QString::number(chosenBytes));
    QCOMPARE(answer.value(QStringLiteral("matchedTarget")).toBool(), matched);
    QCOMPARE(estimateIndices(answer), listed);
    for (const QJsonValue& value : answer.value(QStringLiteral("estimates")).toArray()) {
        const QJsonObject estimate = value.toObject();
        if (estimate.value(QStringLiteral("bytes")) == answer.value(QStringLiteral("bytes"))) {
            QCOMPARE(estimate.value(QStringLiteral("label")), answer.value(QStringLiteral("label")));
            QCOMPARE(estimate.value(QStringLiteral("options")), answer.value(QStringLiteral("options")));
            break;
        }
    }
}

void CompressionWorkersTest::failureText_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");

    QTest::newRow("failing with standard error: its text")
        << QStringLiteral("echo '{\"ok\":false}'; echo \"  broken $3 \" >&2; exit 4") << "broken 0";
    QTest::newRow("failing silently") << QStringLiteral("exit 3") << "worker-процесс завершился с ошибкой";
    QTest::newRow("crashing") << QStringLiteral("kill -SEGV $$") << "не удалось запустить worker-процесс";
    QTest::newRow("answer that is no JSON") << QStringLiteral("echo oops")
                                            << "некорректный ответ worker-процесса";
    QTest::newRow("its own error") << QStringLiteral("echo \"{\\\"ok\\\":false,\\\"error\\\":\\\"e$3\\\"}\"") << "e0";
    QTest::newRow("later presets' errors wait for the first")
        << QStringLiteral("[ $3 -lt 2 ] && echo '{\"ok\":true,\"bytes\":5}'; [ $3 -ge 2 ] && echo \"{\\\"ok\\\":false,\\\"error\\\":\\\"e$3\\\"}\"; exit 0")
        << "e2";
    QTest::newRow("no size and no error") << QStringLiteral("echo '{\"ok\":true}'")
                                          << "Не удалось подобрать настройки.";
}

void CompressionWorkersTest::failureText()
{
    QFETCH(QString, script);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const CompressionWorkerOutput output = fit(standin::script(dir, script), QStringLiteral("100"));
    QCOMPARE(output.exitCode, 4);
    QCOMPARE(output.line, QJsonDocument(QJsonObject{{"error", error}, {"ok", false}}).toJson(QJsonDocument::Compact) +
                              '\n');
}

void CompressionWorkersTest::parallelism_data()
{
    QTest::addColumn<int>("processors");
    QTest::addColumn<int>("parallel");

    QTest::newRow("none reported") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("two") << 2 << 1;
    QTest::newRow("three") << 3 << 2;
    QTest::newRow("five") << 5 << 4;
    QTest::newRow("sixteen") << 16 << 4;
}

void CompressionWorkersTest::parallelism()
{
    QFETCH(int, processors);
    QFETCH(int, parallel);
    QCOMPARE(compressionFitParallelism(processors), parallel);
}

// Each stand-in counts the others alive beside it; a missing program fails
// every preset once.
void CompressionWorkersTest::childrenAtOnceStayWithinParallel()
{
    for (int parallel : {1, 3}) {
        QTemporaryDir dir;
        const QString counting = standin::script(
            dir, QStringLiteral("d=%1; touch $d/run.$$; ls $d | grep -c '^run\\.' >> $d/seen; sleep 0.02; rm $d/run.$$; "
                           "echo '{\"ok\":true,\"bytes\":\"7\"}'")
                .arg(dir.path()));
        QCOMPARE(fit(counting, QStringLiteral("10"), parallel).exitCode, 0);
        QFile seen(dir.filePath(QStringLiteral("seen")));
        QVERIFY(seen.open(QIODevice::ReadOnly));
        const QList<QByteArray> counts = seen.readAll().trimmed().split('\n');
        QCOMPARE(counts.size(), 15);
        for (const QByteArray& count : counts)
            QVERIFY2(count.toInt() >= 1 && count.toInt() <= parallel, count.constData());
    }
    const CompressionWorkerOutput missing = fit(QStringLiteral("/nonexistent/worker"), QStringLiteral("10"), 2);
    QCOMPARE(missing.exitCode, 4);
    QCOMPARE(object(missing.line).value(QStringLiteral("error")).toString(),
             QStringLiteral("не удалось запустить worker-процесс"));
}

QTEST_MAIN(CompressionWorkersTest)
#include "tst_compressionworkers.moc"
