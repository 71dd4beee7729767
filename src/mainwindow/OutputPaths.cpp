#include "OutputPaths.h"

#include "NewFile.h"
#include "UiTranslate.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

using SuffixTable = QHash<QString, QString>;

const SuffixTable& mergedSuffix()
{
    static const SuffixTable table{
        {"ru", "объединённый"}, {"en", "merged"}, {"de", "zusammengefuehrt"}, {"fr", "fusionne"},
        {"es", "combinado"}, {"it", "unito"}, {"pt", "unido"}, {"pl", "polaczony"},
        {"uk", "об'єднаний"}, {"be", "аб'яднаны"}, {"kk", "біріктірілген"}, {"tr", "birlestirilmis"},
        {"zh", "合并"}, {"ja", "結合"}, {"ko", "병합"}, {"ar", "مدمج"},
    };
    return table;
}

const SuffixTable& compressedSuffix()
{
    static const SuffixTable table{
        {"ru", "сжатый"}, {"en", "compressed"}, {"de", "komprimiert"}, {"fr", "compresse"},
        {"es", "comprimido"}, {"it", "compresso"}, {"pt", "comprimido"}, {"pl", "skompresowany"},
        {"uk", "стиснений"}, {"be", "сціснуты"}, {"kk", "қысылған"}, {"tr", "sikistirilmis"},
        {"zh", "压缩"}, {"ja", "圧縮"}, {"ko", "압축"}, {"ar", "مضغوط"},
    };
    return table;
}

const SuffixTable& scannedSuffix()
{
    static const SuffixTable table{
        {"ru", "сканированный"}, {"en", "scanned"}, {"de", "gescannt"}, {"fr", "numerise"},
        {"es", "escaneado"}, {"it", "scansionato"}, {"pt", "digitalizado"}, {"pl", "zeskanowany"},
        {"uk", "сканований"}, {"be", "сканаваны"}, {"kk", "сканерленген"}, {"tr", "taranmis"},
        {"zh", "扫描"}, {"ja", "スキャン"}, {"ko", "스캔"}, {"ar", "ممسوح"},
    };
    return table;
}

QString folderOrHome(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    return folder.isEmpty() || folder == QLatin1String(".") ? QDir::homePath() : folder;
}

} // namespace

QString localizedExportSuffix(const QString& kind)
{
    // All three tables are built on the first call, whatever its kind.
    static const SuffixTable* const tables[] = {&mergedSuffix(), &compressedSuffix(), &scannedSuffix()};
    const SuffixTable* table = tables[2];
    QString fallback = QStringLiteral("scanned");
    if (kind == QLatin1String("compressed")) {
        table = tables[1];
        fallback = QStringLiteral("compressed");
    } else if (kind == QLatin1String("merged")) {
        table = tables[0];
        fallback = QStringLiteral("merged");
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|]"));
    QString word = table->value(currentUiLanguageCode(), fallback).simplified();
    word.replace(blanks, QStringLiteral("_"));
    word.remove(unsafe);
    return word.isEmpty() ? fallback : word;
}

QString withLocalizedPdfSuffix(const QString& path, const QString& kind)
{
    const QString tail = QLatin1Char('_') + localizedExportSuffix(kind);
    QString base = QFileInfo(path).completeBaseName();
    if (base.trimmed().isEmpty())
        base = QStringLiteral("document");
    if (!base.endsWith(tail, Qt::CaseInsensitive))
        base += tail;
    return QDir(folderOrHome(path)).filePath(base + QStringLiteral(".pdf"));
}

QString suggestedSiblingPdfPath(const QString& source, const QString& kind, const QString& fallbackBase)
{
    const QString name = QFileInfo(source).completeBaseName();
    const QString base = name.trimmed().isEmpty() ? fallbackBase : name;
    return withLocalizedPdfSuffix(QDir(folderOrHome(source)).filePath(base + QStringLiteral(".pdf")), kind);
}

QString uniqueSiblingPathLikeChrome(const QString& path)
{
    constexpr int kLastNumberTried = 9999;
    constexpr qint64 kFallbackModulus = 1000000;
    for (int n = 0; n <= kLastNumberTried; ++n) {
        const QString next = numberedSiblingPath(path, n);
        if (!QFileInfo::exists(next))
            return next;
    }
    return numberedSiblingPath(path, QDateTime::currentMSecsSinceEpoch() % kFallbackModulus);
}

QString withExtension(const QString& path, const QString& suffix)
{
    if (QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0)
        return path;
    return path + QLatin1Char('.') + suffix;
}

QString stampedPdfPathForSignature(const QString& sourcePath, const QString& outputPath)
{
    QString folder = QFileInfo(outputPath).absolutePath();
    if (folder.isEmpty() || folder == QLatin1String(".")) {
        const QString sourceFolder = QFileInfo(sourcePath).absolutePath();
        folder = sourceFolder.isEmpty() ? QDir::homePath() : sourceFolder;
    }
    QString base = QFileInfo(sourcePath).completeBaseName();
    if (base.trimmed().isEmpty())
        base = QStringLiteral("document");
    const QString marker =
        currentUiLanguageCode() == QLatin1String("ru") ? QStringLiteral("_подписан") : QStringLiteral("_signed");
    if (!base.endsWith(marker, Qt::CaseInsensitive))
        base += marker;
    return QDir(folder).filePath(base + QStringLiteral(".pdf"));
}
