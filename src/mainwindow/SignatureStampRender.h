#pragma once

#include "SignatureStampTemplate.h"

#include <QHash>
#include <QPixmap>
#include <QSize>

// The built-in stamp and the drawing of templates with placeholder values.

constexpr int kStampPictureWidth = 1180;
constexpr int kStampPictureHeight = 490;

SignatureStampTemplate defaultSignatureStampTemplate();
QList<SignatureStampVariable> defaultSignatureStampVariables();
// The default picture, at least 480 x 220.
QImage defaultSignatureStampBase(QSize size);

// The sixteen placeholder keys with the preview's sample values.
QHash<QString, QString> sampleSignatureStampValues();

// The picture with every line drawn; exactly `size` when it is positive,
// else the picture's own size (1180 x 490 without a picture).
QImage renderSignatureStampTemplate(const SignatureStampTemplate& stamp, const QHash<QString, QString>& values,
                                    QSize size);
// The template with sample values fitted into size; with selectedVariable
// >= 0 every line rectangle is outlined and that one stressed.
QPixmap stampTemplatePreviewPixmap(const SignatureStampTemplate& stamp, const QSize& size, int selectedVariable);
