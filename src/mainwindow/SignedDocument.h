#pragma once

#include "PdfSignatures.h"

#include <QString>

#include <vector>

class QWidget;

// What the user is told of a signed document.

// "Подписи: <signer (field)>, ..."; empty for a document without signatures.
QString signatureSummary(const std::vector<PdfSignature>& signatures);

// The question before a save that would write a signed document anew and so
// invalidate its signatures: true only when the user chose to save; "Отмена"
// (or closing the prompt) keeps the file as it is.
bool confirmSignatureLoss(QWidget* parent, const std::vector<PdfSignature>& signatures);

// The question's text, one line per signature.
QString signatureLossText(const std::vector<PdfSignature>& signatures);
