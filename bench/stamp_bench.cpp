// Stamp and facsimile figures: the template chooser's previews for 1, 20 and
// 100 templates, its list over 1,000 templates with only a picture and with
// lines, a stamped copy of a 300-page PDF (time and peak memory), and
// the facsimile picker over 300 pictures.
// Usage: QT_QPA_PLATFORM=offscreen stamp_bench path/to/pdftex-registry.pdf
#include "FacsimileLibrary.h"
#include "LibraryFiles.h"
#include "SignatureStampRender.h"
#include "StampedPdfCopy.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void previews(int count)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    for (int i = 0; i < count - 1; ++i) {
        SignatureStampTemplate stamp = defaultSignatureStampTemplate();
        stamp.builtIn = false;
        stamp.id.clear();
        stamp.name = QStringLiteral("Шаблон %1").arg(i);
        saveSignatureStampTemplate(stamp, nullptr);
    }
    QElapsedTimer timer;
    timer.start();
    const QList<SignatureStampTemplate> all = loadSignatureStampTemplates();
    const qint64 listed = timer.elapsed();
    for (const SignatureStampTemplate& stamp : all)
        stampTemplatePreviewPixmap(stamp, QSize(150, 60), -1);
    std::printf("chooser with %3d templates (150 x 60 previews): %lld ms, of which listing %lld ms\n",
                int(all.size()), static_cast<long long>(timer.elapsed()), static_cast<long long>(listed));
}

// The chooser's list over count stored templates, each with the default
// picture and, when lined, the default lines; the files are written as a
// save writes them, the picture encoded once.
void listing(int count, bool lined)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const QDir folder(signatureStampTemplatesDir());
    QDir().mkpath(folder.path());
    const QByteArray png = pngBytes(defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight)));
    QJsonArray lines;
    for (const SignatureStampVariable& line : lined ? defaultSignatureStampVariables() : QList<SignatureStampVariable>())
        lines.append(QJsonObject{{QStringLiteral("text"), line.text}, {QStringLiteral("x"), line.x},
                                 {QStringLiteral("y"), line.y}, {QStringLiteral("w"), line.w},
                                 {QStringLiteral("h"), line.h}});
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("stamp-%1").arg(i);
        QFile picture(folder.filePath(id + QStringLiteral(".png")));
        QFile json(folder.filePath(id + QStringLiteral(".json")));
        if (!picture.open(QIODevice::WriteOnly) || picture.write(png) != png.size() || !json.open(QIODevice::WriteOnly))
            return;
        json.write(QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                             {QStringLiteral("name"), QStringLiteral("Шаблон %1").arg(i)},
                                             {QStringLiteral("image"), id + QStringLiteral(".png")},
                                             {QStringLiteral("variables"), lines}})
                       .toJson());
    }
    QElapsedTimer timer;
    timer.start();
    const QList<SignatureStampTemplateEntry> all = listSignatureStampTemplates();
    std::printf("listing %d %s templates: %lld ms (%d listed)\n", count, lined ? "lined" : "picture-only",
                static_cast<long long>(timer.elapsed()), int(all.size()) - 1);
}

void stampedCopy(const QString& registry)
{
    QTemporaryDir dir;
    const QString source = QDir(dir.path()).filePath(QStringLiteral("300.pdf"));
    if (QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--empty"), QStringLiteral("--pages"), registry,
                                                   QStringLiteral("1-300"), QStringLiteral("--"), source})
        != 0) {
        std::printf("qpdf could not make the 300-page file\n");
        return;
    }
    const long before = peakKb();
    QElapsedTimer timer;
    timer.start();
    SigningCertificate certificate;
    certificate.subject = QStringLiteral("CN=Test Signer,O=Org,C=RU");
    QString error;
    SignatureStampOptions options;
    options.page = 150;
    const bool ok = createStampedPdfCopy(source, QDir(dir.path()).filePath(QStringLiteral("out.pdf")), certificate,
                                         QByteArray(32, '\x5a'), QDateTime::currentDateTime(), options, &error);
    std::printf("stamped copy of a 300-page PDF (%lld KB): %s, %lld ms, peak memory %ld MB (+%ld MB)\n",
                static_cast<long long>(QFileInfo(source).size() / 1024), ok ? "ok" : qPrintable(error),
                static_cast<long long>(timer.elapsed()), peakKb() / 1024, (peakKb() - before) / 1024);
}

void picker()
{
    QTemporaryDir dir;
    QImage picture(600, 200, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int x = 0; x < 600; x += 7)
        for (int y = 40; y < 160; ++y)
            picture.setPixel(x, y, qRgba(20, 40, 160, 255));
    for (int i = 0; i < 300; ++i)
        picture.save(QDir(dir.path()).filePath(QStringLiteral("f%1.png").arg(i)));
    QElapsedTimer timer;
    timer.start();
    const QStringList files = listFacsimileFiles(dir.path());
    QDialog* dialog = buildFacsimilePickerDialog(dir.path(), files, nullptr, true, true, true, false);
    std::printf("picker over %d facsimiles (600 x 200): %lld ms\n", int(files.size()),
                static_cast<long long>(timer.elapsed()));
    delete dialog;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: stamp_bench pdftex-registry.pdf\n");
        return 2;
    }
    // First, so its peak memory is its own.
    stampedCopy(QString::fromLocal8Bit(argv[1]));
    for (int count : {1, 20, 100})
        previews(count);
    for (bool lined : {false, true})
        listing(1000, lined);
    picker();
    return 0;
}
