// Actions a file manager starts: merge, compress or sign the selected files,
// with the window hidden; each path ends the run once nothing is left open.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

namespace {

constexpr qint64 kSignatureWindow = 2048;

// "%PDF-" within the first 2048 bytes: a PDF whatever its name.
bool hasPdfSignature(const QString& path)
{
    QFile file;
    if (RegularFile::open(path, PdfDocument::kMaxFileBytes, &file, nullptr) != RegularFile::Opened)
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

} // namespace

QStringList MainWindow::existingFilesOnce(const QStringList& paths)
{
    QStringList kept;
    QSet<QString> taken;
    for (const QString& entry : paths) {
        const QFileInfo info(entry);
        if (!info.exists() || !info.isFile())
            continue;
        const QString path = info.absoluteFilePath();
        if (taken.contains(path))
            continue;
        taken.insert(path);
        kept << path;
    }
    return kept;
}

void MainWindow::runShellAction(const QString& action, const QList<QString>& given, bool quitOnError)
{
    const QList<QString> files = existingFilesOnce(given);
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
        QTimer::singleShot(0, this,
                           [this, pdfFiles, otherFiles, quitOnError] { runShellSigning(pdfFiles, otherFiles, quitOnError); });
        return;
    }

    if (!files.isEmpty())
        openFile(files.first());
    else if (quitOnError)
        QCoreApplication::quit();
}
