#include "SignatureStampTemplate.h"

#include "LibraryFiles.h"
#include "RegularFile.h"
#include "SignatureStampRender.h"
#include "StableSort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <vector>

namespace {

constexpr int kMaxIdLength = 64;
constexpr qint64 kMaxTemplateFileBytes = 4 * 1024 * 1024;
constexpr int kMaxLines = 500;
const QColor kDefaultTextColor(0x0f, 0x17, 0x2a);

QString tr(const char* text)
{
    return QCoreApplication::translate("SignatureStamp", text);
}

QString templateJsonPath(const QString& id)
{
    return QDir(signatureStampTemplatesDir()).filePath(safeSignatureStampTemplateId(id) + QStringLiteral(".json"));
}

double finiteNumber(const QJsonObject& object, const char* key, double fallback)
{
    const double value = object.value(QLatin1String(key)).toDouble(fallback);
    return std::isfinite(value) ? value : fallback;
}

SignatureStampVariable lineFromJson(const QJsonObject& object)
{
    SignatureStampVariable line;
    line.text = object.value(QStringLiteral("text")).toString(tr("{{SIGNER}}"));
    line.x = finiteNumber(object, "x", 0.1);
    line.y = finiteNumber(object, "y", 0.1);
    line.w = finiteNumber(object, "w", 0.8);
    line.h = finiteNumber(object, "h", 0.1);
    line.font = object.value(QStringLiteral("font")).toString(QStringLiteral("Times New Roman"));
    line.fontSizePx = finiteNumber(object, "fontSizePx", 30.0);
    line.bold = object.value(QStringLiteral("bold")).toBool(false);
    line.italic = object.value(QStringLiteral("italic")).toBool(false);
    const QColor color = QColor::fromString(object.value(QStringLiteral("color")).toString(QStringLiteral("#ff0f172a")));
    line.color = color.isValid() ? color : kDefaultTextColor;
    line.alignment = Qt::Alignment(object.value(QStringLiteral("alignment")).toInt(129));
    return line;
}

QJsonObject lineToJson(const SignatureStampVariable& line)
{
    return QJsonObject{
        {QStringLiteral("text"), line.text},
        {QStringLiteral("x"), line.x},
        {QStringLiteral("y"), line.y},
        {QStringLiteral("w"), line.w},
        {QStringLiteral("h"), line.h},
        {QStringLiteral("font"), line.font},
        {QStringLiteral("fontSizePx"), line.fontSizePx},
        {QStringLiteral("bold"), line.bold},
        {QStringLiteral("italic"), line.italic},
        {QStringLiteral("color"), line.color.name(QColor::HexArgb)},
        {QStringLiteral("alignment"), int(line.alignment)},
    };
}

bool folderHoldsTemplateFiles(const QDir& folder)
{
    return !folder.entryList({QStringLiteral("*.json")}, QDir::Files).isEmpty();
}

void migrateLegacyStamp()
{
    const QDir folder(signatureStampTemplatesDir());
    if (folder.exists() && folderHoldsTemplateFiles(folder))
        return;
    const QString legacyJson = legacySignatureStampJsonPath();
    if (!QFileInfo::exists(legacyJson))
        return;
    SignatureStampTemplate legacy = loadSignatureStampTemplateFromJson(
        legacyJson, QDir(legacySignatureStampDir()).filePath(QStringLiteral("signature-stamp.png")));
    if (legacy.id.trimmed().isEmpty())
        return;
    legacy.id.clear();
    legacy.name = tr("Пользовательский");
    legacy.builtIn = false;
    saveSignatureStampTemplate(legacy, nullptr);
}

} // namespace

QString appDataDirectory()
{
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (location.trimmed().isEmpty())
        return QDir::homePath() + QStringLiteral("/.vorn-pdf-reader");
    return location;
}

QString signatureStampTemplatesDir()
{
    return QDir(appDataDirectory()).filePath(QStringLiteral("signature-stamps"));
}

QString legacySignatureStampDir()
{
    return QDir(appDataDirectory()).filePath(QStringLiteral("signature-stamp"));
}

QString legacySignatureStampJsonPath()
{
    return QDir(legacySignatureStampDir()).filePath(QStringLiteral("signature-stamp.json"));
}

QString safeSignatureStampTemplateId(const QString& id)
{
    static const QRegularExpression notWord(QStringLiteral("[^\\p{L}\\p{N}]+"));
    static const QRegularExpression edgeDashes(QStringLiteral("(^-+|-+$)"));
    QString safe = id.trimmed().toLower();
    safe.replace(notWord, QStringLiteral("-"));
    safe.remove(edgeDashes);
    if (safe.isEmpty() || safe == QLatin1String("default"))
        safe = QStringLiteral("stamp");
    if (safe.size() > kMaxIdLength)
        safe.truncate(kMaxIdLength);
    return safe;
}

QString signatureStampTemplateImagePath(const QString& id)
{
    return QDir(signatureStampTemplatesDir()).filePath(safeSignatureStampTemplateId(id) + QStringLiteral(".png"));
}

QString stampTemplateDisplayName(const SignatureStampTemplate& stamp)
{
    const QString name = stamp.name.trimmed();
    if (!name.isEmpty())
        return name;
    if (stamp.id == QLatin1String("default"))
        return tr("Стандартный");
    if (!stamp.id.trimmed().isEmpty())
        return stamp.id;
    return tr("Штамп");
}

namespace {

// A template file's record with the picture's path, the picture not read.
struct TemplateFile {
    SignatureStampTemplate stamp;
    QString picturePath;
};

TemplateFile readTemplateFile(const QString& jsonPath, const QString& fallbackImagePath)
{
    TemplateFile read;
    SignatureStampTemplate& stamp = read.stamp;
    QByteArray bytes;
    if (RegularFile::read(jsonPath, kMaxTemplateFileBytes, &bytes, nullptr) != RegularFile::Opened)
        return read;
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return read;
    const QJsonObject root = document.object();
    const QFileInfo jsonInfo(jsonPath);
    stamp.id = safeSignatureStampTemplateId(root.value(QStringLiteral("id")).toString(jsonInfo.completeBaseName()));
    stamp.name = root.value(QStringLiteral("name")).toString(stamp.id);
    stamp.builtIn = false;

    read.picturePath = fallbackImagePath.isEmpty() ? signatureStampTemplateImagePath(stamp.id) : fallbackImagePath;
    const QString named = root.value(QStringLiteral("image")).toString();
    if (!named.trimmed().isEmpty()) {
        const QFileInfo namedInfo(named);
        read.picturePath = namedInfo.isAbsolute() ? namedInfo.absoluteFilePath()
                                                  : QDir(jsonInfo.absolutePath()).filePath(named);
    }
    const QJsonArray lines = root.value(QStringLiteral("variables")).toArray();
    for (const QJsonValue& value : lines) {
        if (stamp.variables.size() >= kMaxLines)
            break;
        if (value.isObject())
            stamp.variables.append(lineFromJson(value.toObject()));
    }
    return read;
}

// A template may have no picture of its own; one that is there but refused
// is told through refused.
QImage templatePicture(const QString& path, QString* refused = nullptr)
{
    QString reason;
    const QImage picture = readBoundedImage(path, &reason);
    if (picture.isNull() && refused && !reason.isEmpty() && QFileInfo::exists(path))
        *refused = reason;
    return picture.isNull() ? picture : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A file is a template when it has a picture or lines; only the picture's
// header is read, and only when there are no lines.
bool usableTemplate(const TemplateFile& read)
{
    return !read.stamp.id.isEmpty()
           && (!read.stamp.variables.isEmpty() || boundedImageSize(read.picturePath).isValid());
}

} // namespace

SignatureStampTemplate loadSignatureStampTemplateFromJson(const QString& jsonPath, const QString& fallbackImagePath)
{
    TemplateFile read = readTemplateFile(jsonPath, fallbackImagePath);
    if (read.stamp.id.isEmpty())
        return read.stamp;
    read.stamp.image = templatePicture(read.picturePath, &read.stamp.pictureRefused);
    if (read.stamp.image.isNull() && read.stamp.variables.isEmpty())
        read.stamp.id.clear();
    return read.stamp;
}

bool saveSignatureStampTemplate(SignatureStampTemplate& stamp, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    const QString folderPath = signatureStampTemplatesDir();
    QDir folder(folderPath);
    if (!folder.exists() && !QDir().mkpath(folderPath))
        return fail(tr("Не удалось создать папку шаблонов штампа."));

    stamp.name = stamp.name.trimmed();
    if (stamp.name.isEmpty())
        stamp.name = tr("Штамп");
    if (!stamp.builtIn && !stamp.id.trimmed().isEmpty() && stamp.id != QLatin1String("default")) {
        stamp.id = safeSignatureStampTemplateId(stamp.id);
    } else {
        const QString base = safeSignatureStampTemplateId(stamp.name);
        QString candidate = base;
        for (int n = 2; folder.exists(candidate + QStringLiteral(".json")) || folder.exists(candidate + QStringLiteral(".png"));
             ++n)
            candidate = QStringLiteral("%1-%2").arg(base).arg(n);
        stamp.id = candidate;
    }
    stamp.builtIn = false;

    const QImage picture = stamp.image.isNull()
        ? defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight))
        : stamp.image;
    const QString picturePath = signatureStampTemplateImagePath(stamp.id);
    // Both files are written in full before either replaces its old version,
    // so a failing write leaves the stored template as it was.
    QSaveFile pictureFile(picturePath);
    const QByteArray png = pngBytes(picture);
    if (png.isEmpty() || !writeWhole(pictureFile, png, nullptr))
        return fail(tr("Не удалось сохранить картинку шаблона штампа."));

    QJsonArray lines;
    for (const SignatureStampVariable& line : stamp.variables)
        lines.append(lineToJson(line));
    const QJsonObject root{
        {QStringLiteral("id"), stamp.id},
        {QStringLiteral("name"), stamp.name},
        {QStringLiteral("image"), QFileInfo(picturePath).fileName()},
        {QStringLiteral("variables"), lines},
    };
    QSaveFile jsonFile(templateJsonPath(stamp.id));
    QString reason;
    if (!writeWhole(jsonFile, QJsonDocument(root).toJson(QJsonDocument::Indented), &reason))
        return fail(tr("Не удалось сохранить настройки переменных штампа: %1").arg(reason));
    if (!pictureFile.commit())
        return fail(tr("Не удалось сохранить картинку шаблона штампа."));
    if (!jsonFile.commit())
        return fail(tr("Не удалось сохранить настройки переменных штампа: %1").arg(jsonFile.errorString()));
    return true;
}

QList<SignatureStampTemplateEntry> listSignatureStampTemplates()
{
    migrateLegacyStamp();
    std::vector<SignatureStampTemplateEntry> stored;
    const QDir folder(signatureStampTemplatesDir());
    const QStringList files = folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString& fileName : files) {
        const QString path = folder.filePath(fileName);
        const TemplateFile read = readTemplateFile(path, QString());
        if (read.stamp.id.trimmed().isEmpty() || !usableTemplate(read))
            continue;
        stored.push_back({read.stamp.id, stampTemplateDisplayName(read.stamp), path});
    }
    vorn::safeStableSort(stored.begin(), stored.end(),
                         [](const SignatureStampTemplateEntry& a, const SignatureStampTemplateEntry& b) {
                             return QString::localeAwareCompare(a.name, b.name) < 0;
                         });
    QList<SignatureStampTemplateEntry> all{{QStringLiteral("default"), tr("Стандартный"), QString()}};
    for (const SignatureStampTemplateEntry& entry : stored)
        all.append(entry);
    return all;
}

SignatureStampTemplate loadSignatureStampTemplate(const SignatureStampTemplateEntry& entry)
{
    if (entry.jsonPath.isEmpty())
        return defaultSignatureStampTemplate();
    SignatureStampTemplate stamp = loadSignatureStampTemplateFromJson(entry.jsonPath, QString());
    if (stamp.id.trimmed().isEmpty())
        return defaultSignatureStampTemplate();
    if (stamp.image.isNull())
        stamp.image = defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight));
    if (stamp.variables.isEmpty())
        stamp.variables = defaultSignatureStampVariables();
    return stamp;
}

QList<SignatureStampTemplate> loadSignatureStampTemplates()
{
    QList<SignatureStampTemplate> all;
    for (const SignatureStampTemplateEntry& entry : listSignatureStampTemplates())
        all.append(loadSignatureStampTemplate(entry));
    return all;
}

SignatureStampTemplate loadSignatureStampTemplate(const QString& id)
{
    const QString trimmed = id.trimmed();
    const QString wanted = trimmed.isEmpty() || trimmed == QLatin1String("default")
        ? QStringLiteral("default")
        : safeSignatureStampTemplateId(id);
    const QList<SignatureStampTemplateEntry> all = listSignatureStampTemplates();
    for (const SignatureStampTemplateEntry& entry : all) {
        if (entry.id == wanted)
            return loadSignatureStampTemplate(entry);
    }
    return defaultSignatureStampTemplate();
}
