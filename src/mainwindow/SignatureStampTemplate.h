#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

// Visible signature stamps: a picture with text lines whose rectangles are
// fractions of the picture and whose texts hold {{KEY}} placeholders. User
// templates live as one JSON file and one PNG picture each in the templates
// folder; the built-in template ("default") exists only in memory. Nothing
// is cached: every call reads the folder again. Lists hold names only; a
// picture is decoded for the one template asked for.

struct SignatureStampVariable {
    QString text;
    double x = 0.0;
    double y = 0.0;
    double w = 0.0;
    double h = 0.0;
    QString font = QStringLiteral("Times New Roman");
    double fontSizePx = 34.0;
    bool bold = false;
    bool italic = false;
    QColor color = QColor(0x0f, 0x17, 0x2a);
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

struct SignatureStampTemplate {
    QString id;  // empty: no valid template was read
    QString name;
    bool builtIn = false;
    QImage image;  // null: users substitute the default picture
    // Why a picture named by the template was refused (a FIFO, a device, a
    // file too large); empty when it was read or there was none.
    QString pictureRefused;
    QList<SignatureStampVariable> variables;
};

// The per-user application-data folder, or ~/.vorn-pdf-reader when the
// platform gives none.
QString appDataDirectory();
QString signatureStampTemplatesDir();
QString legacySignatureStampDir();
QString legacySignatureStampJsonPath();

// A file-safe id: lower case, runs of non-letters/digits as one "-", no
// dashes at the ends, "stamp" for empty or "default", at most 64 code units.
QString safeSignatureStampTemplateId(const QString& id);
QString signatureStampTemplateImagePath(const QString& id);
QString stampTemplateDisplayName(const SignatureStampTemplate& stamp);

// An empty id in the result means the file was unusable.
SignatureStampTemplate loadSignatureStampTemplateFromJson(const QString& jsonPath, const QString& fallbackImagePath);
// Writes the picture and the JSON file, each replaced whole or not at all.
// Updates the template in place (trimmed name, id possibly new, builtIn
// cleared) even when it fails.
bool saveSignatureStampTemplate(SignatureStampTemplate& stamp, QString* error);
// One template of a list: what a chooser shows, without its picture.
struct SignatureStampTemplateEntry {
    QString id;
    QString name;      // the display name
    QString jsonPath;  // empty for the built-in template
};

// The built-in template first, then the stored ones by display name.
QList<SignatureStampTemplateEntry> listSignatureStampTemplates();
// The same list with every template read whole (pictures decoded).
QList<SignatureStampTemplate> loadSignatureStampTemplates();
// The entry's template read whole: a missing picture or lines replaced by
// the built-in ones.
SignatureStampTemplate loadSignatureStampTemplate(const SignatureStampTemplateEntry& entry);
// The template with that id, or the built-in one.
SignatureStampTemplate loadSignatureStampTemplate(const QString& id);
