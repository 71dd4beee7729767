// Actions a file manager starts: merge, compress or sign the selected files,
// with the window hidden; each path ends the run once nothing is left open.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <cstdio>

namespace {

constexpr qint64 kSignatureWindow = 2048;

// Existing regular files, absolute, each once, in the given order.
QList<QString> normalisedFiles(const QList<QString>& files)
{
    QList<QString> result;
    QSet<QString> taken;
    for (const QString& entry : files) {
        const QFileInfo info(entry);
        if (!info.exists() || !info.isFile())
            continue;
        const QString path = info.absoluteFilePath();
        if (taken.contains(path))
            continue;
        taken.insert(path);
        result << path;
    }
    return result;
}

// "%PDF-" within the first 2048 bytes: a PDF whatever its name.
bool hasPdfSignature(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(kSignatureWindow).contains("%PDF-");
}

bool mergeable(const QString& path)
{
    static const QSet<QString> suffixes{
        QStringLiteral("pdf"), QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
        QStringLiteral("bmp"), QStringLiteral("webp"), QStringLiteral("gif"), QStringLiteral("tif"),
        QStringLiteral("tiff"), QStringLiteral("xlsx")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

// A step whose window this build does not have ends the run without a claim.
void reportStepNotAvailable(const char* what)
{
    std::fprintf(stderr, "vorn-pdf: the %s window is not available in this build\n", what);
}

} // namespace

void MainWindow::runShellAction(const QString& action, const QList<QString>& given, bool quitOnError)
{
    const QList<QString> files = normalisedFiles(given);
    auto refuse = [this, quitOnError](const QString& title, const QString& text) {
        appInfo(this, title, text);
        if (quitOnError)
            QCoreApplication::quit();
    };
    auto quitWhenHidden = [this, quitOnError] {
        if (quitOnError && !isVisible())
            QCoreApplication::quit();
    };

    if (action == QLatin1String("merge")) {
        QList<QString> supported;
        for (const QString& path : files) {
            if (mergeable(path))
                supported << path;
        }
        if (supported.size() >= 2) {
            // The page tools in shell mode end the run themselves.
            QTimer::singleShot(0, this, [this, supported] { showPageToolsDialog(supported, true); });
            return;
        }
        refuse(tr("Объединение PDF"), tr("Выберите минимум два поддерживаемых файла для объединения."));
        return;
    }

    if (action == QLatin1String("compress")) {
        if (files.size() != 1 || QFileInfo(files.first()).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive)) {
            refuse(tr("Сжать PDF"), tr("Для сжатия выберите один PDF-файл."));
            return;
        }
        openFile(files.first());
        QTimer::singleShot(0, this, [this, quitOnError, quitWhenHidden] {
            if (isDocumentLoaded())
                showCompressedPdfExportDialog(QString(), quitOnError);
            quitWhenHidden();
        });
        return;
    }

    if (action == QLatin1String("sign")) {
        QList<QString> pdfFiles;
        QList<QString> otherFiles;
        for (const QString& path : files)
            (hasPdfSignature(path) ? pdfFiles : otherFiles) << path;
        if (pdfFiles.isEmpty()) {
            refuse(tr("Подписать PDF"), tr("Среди выбранных файлов нет PDF по содержимому."));
            return;
        }
        // The signing dialog takes pdfFiles and otherFiles once it exists.
        QTimer::singleShot(0, this, [this, pdfFiles, quitOnError, quitWhenHidden] {
            if (!quitOnError)
                openFile(pdfFiles.first());
            if (pdfFiles.size() > 1)
                setStatusText(tr("Подписание PDF 1 из %1").arg(pdfFiles.size()));
            reportStepNotAvailable("signing");
            quitWhenHidden();
        });
        return;
    }

    if (!files.isEmpty())
        openFile(files.first());
    else if (quitOnError)
        QCoreApplication::quit();
}
