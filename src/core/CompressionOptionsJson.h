#pragma once

#include "PdfDocument.h"

#include <QJsonObject>

// The JSON form of compression options shared by the compression workers and
// the dialog that reads their answers: the six fields under their own names.
QJsonObject compressionOptionsToJson(const PdfDocument::CompressionOptions& options);

// Each key read on its own; a missing key or one of another JSON type (an
// integer that is no int) keeps the field's default.
PdfDocument::CompressionOptions compressionOptionsFromJson(const QJsonObject& object);
