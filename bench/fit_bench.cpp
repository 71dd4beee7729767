// The size fit of the compressed-PDF export against Ghostscript's /ebook on
// the same files, in one run: a 10-page scan and a 30-page text manual, each
// under limits of the source size (the dialog's proposal rounds up to it), a
// half and a tenth of it. The fit is timed as the dialog runs it: the worker
// process from start to answer.
//   fit_bench [manual.tex]   the manual's source (tests/data/src/manual.tex);
//                            needs pdflatex and gs
#include "BenchDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>

namespace {

constexpr int kScanPages = 10;
constexpr int kRuns = 3;  // the fastest of three counts

bool runTool(const QString& program, const QStringList& arguments, const QString& folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The manual typeset by pdflatex at about thirty pages.
QString writeManual(const QString& source, const QString& folder)
{
    QFile::copy(source, QDir(folder).filePath(QStringLiteral("manual.tex")));
    for (int run = 0; run < 2; ++run)
        runTool(QStringLiteral("pdflatex"),
                {QStringLiteral("-interaction=batchmode"), QStringLiteral("\\def\\sections{14}\\input{manual}")},
                folder);
    return QDir(folder).filePath(QStringLiteral("manual.pdf"));
}

// Ten pages of the manual rendered by Ghostscript at 200 dpi, slightly turned,
// as grey JPEGs each placed on its page: a scanner's PDF.
QString writeScan(const QString& manual, const QString& folder)
{
    const QString pattern = QDir(folder).filePath(QStringLiteral("scan-%02d.jpg"));
    runTool(QStringLiteral("gs"),
            {QStringLiteral("-q"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
             QStringLiteral("-sDEVICE=jpeggray"), QStringLiteral("-dJPEGQ=75"), QStringLiteral("-r200"),
             QStringLiteral("-dFirstPage=2"), QStringLiteral("-dLastPage=%1").arg(kScanPages + 1),
             QStringLiteral("-sOutputFile=") + pattern, QStringLiteral("-c"),
             QStringLiteral("<< /BeginPage { pop 0.35 rotate } >> setpagedevice"), QStringLiteral("-f"), manual});
    QString pages;
    for (int i = 1; i <= kScanPages; ++i)
        pages += QStringLiteral("(%1) viewJPEG showpage ")
                     .arg(QDir(folder).filePath(QStringLiteral("scan-%1.jpg").arg(i, 2, 10, QLatin1Char('0'))));
    QProcess find;
    find.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNODISPLAY"), QStringLiteral("-dNOSAFER"),
                                      QStringLiteral("-c"),
                                      QStringLiteral("(viewjpeg.ps) findlibfile pop pop == quit")});
    find.waitForFinished();
    const QString viewJpeg = QString::fromUtf8(find.readAllStandardOutput()).trimmed().remove('(').remove(')');
    const QString scan = QDir(folder).filePath(QStringLiteral("scan.pdf"));
    runTool(QStringLiteral("gs"),
            {QStringLiteral("-q"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dNOSAFER"),
             QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-dDEVICEWIDTHPOINTS=420"),
             QStringLiteral("-dDEVICEHEIGHTPOINTS=595"), QStringLiteral("-dFIXEDMEDIA"),
             QStringLiteral("-sOutputFile=") + scan, viewJpeg, QStringLiteral("-c"), pages});
    return scan;
}

double fastestMs(const std::function<bool()>& run)
{
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        const double ms = bench::msSince(timer);
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

void compare(QTextStream& out, const QString& name, const QString& pdf, const QString& folder)
{
    const qint64 size = QFileInfo(pdf).size();
    const QString ebook = QDir(folder).filePath(QFileInfo(pdf).baseName() + QStringLiteral("-ebook.pdf"));
    const double gsMs = fastestMs([&] {
        return runTool(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"),
                                              QStringLiteral("-dBATCH"), QStringLiteral("-sDEVICE=pdfwrite"),
                                              QStringLiteral("-dPDFSETTINGS=/ebook"),
                                              QStringLiteral("-sOutputFile=") + ebook, pdf});
    });
    out << QStringLiteral("%1: %2 bytes; gs /ebook %3 ms (%4 bytes)\n")
               .arg(name)
               .arg(size)
               .arg(gsMs, 0, 'f', 0)
               .arg(QFileInfo(ebook).size());
    for (const auto& [limitName, target] :
         {std::pair{QStringLiteral("at the source"), size}, std::pair{QStringLiteral("half"), size / 2},
          std::pair{QStringLiteral("a tenth"), size / 10}}) {
        QByteArray answer;
        const double fitMs = fastestMs([&] {
            QProcess worker;
            worker.start(QStringLiteral(VORN_PDF_EXECUTABLE),
                         {QStringLiteral("--vorn-compression-fit"), pdf, QString::number(target)});
            if (!worker.waitForFinished(600000))
                return false;
            answer = worker.readAllStandardOutput();
            return worker.exitCode() == 0;
        });
        const QJsonObject object = QJsonDocument::fromJson(answer).object();
        out << QStringLiteral("  limit %1 (%2 bytes): fit %3 ms = %4 x gs; chose \"%5\" (%6 bytes, %7), %8 estimates\n")
                   .arg(limitName)
                   .arg(target)
                   .arg(fitMs, 0, 'f', 0)
                   .arg(gsMs > 0 ? fitMs / gsMs : 0.0, 0, 'f', 2)
                   .arg(object.value(QStringLiteral("label")).toString(),
                        object.value(QStringLiteral("bytes")).toString(),
                        object.value(QStringLiteral("matchedTarget")).toBool() ? QStringLiteral("fits")
                                                                               : QStringLiteral("smallest"))
                   .arg(object.value(QStringLiteral("estimates")).toArray().size());
        out.flush();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QString source = app.arguments().value(1, QStringLiteral(VORN_MANUAL_SOURCE));
    for (const char* tool : {"pdflatex", "gs"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            out << tool << " is needed\n";
            return 1;
        }
    }
    QTemporaryDir dir;
    const QString manual = writeManual(source, dir.path());
    const QString scan = writeScan(manual, dir.path());
    if (!QFileInfo::exists(manual) || !QFileInfo::exists(scan)) {
        out << "the documents could not be made\n";
        return 1;
    }
    compare(out, QStringLiteral("scan, %1 pages at 200 dpi").arg(kScanPages), scan, dir.path());
    compare(out, QStringLiteral("text manual"), manual, dir.path());
    return 0;
}
