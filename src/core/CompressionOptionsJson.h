#pragma once

#include "PdfDocument.h"

#include <QJsonObject>
#include <QJsonValue>

// The JSON form of compression options shared by the compression workers and
// the dialog that reads their answers: the six fields under their own names.
QJsonObject compressionOptionsToJson(const PdfDocument::CompressionOptions& options);

// Each key read on its own; a missing key or one of another JSON type (an
// integer that is no int) keeps the field's default.
PdfDocument::CompressionOptions compressionOptionsFromJson(const QJsonObject& object);

// A byte count of the worker answers: a JSON string holding the decimal
// number; 0 for anything else.
qint64 compressionByteCount(const QJsonValue& value);

// Options of a rasterising preset: grayscale off, small images recompressed.
PdfDocument::CompressionOptions rasterCompressionOptions(int imageDpi, int jpegQuality, bool monochrome);
