#pragma once

#include "SignatureRecords.h"

#include <QJsonObject>
#include <QList>

// The JSON forms the signing worker and its parent exchange. Dates are
// Qt::ISODate text, "" for an invalid date; a missing or mistyped string
// reads as "" and a missing or mistyped bool as false.

QJsonObject certificateToJson(const SigningCertificate& certificate);
SigningCertificate signingCertificateFromJson(const QJsonObject& object);
// The object elements of the list's "certificates" array, in order; other
// elements are skipped.
QList<SigningCertificate> signingCertificatesFromJson(const QJsonObject& listObject);

// "mode" is a number; one that is missing, not a number or outside 0..4
// reads as 0.
QJsonObject signatureRequestToJson(const SignatureRequest& request);
SignatureRequest signatureRequestFromJson(const QJsonObject& object);
// A pass phrase is never written to a file: the request file a window
// writes has every key but the two pass phrases, and "passwordsFromStdin"
// true; the pass phrases go through the child's standard input as their
// own object, read back into a request by readSignatureSecrets.
QJsonObject signatureRequestFileJson(const SignatureRequest& request);
QJsonObject signatureSecretsToJson(const SignatureRequest& request);
void readSignatureSecrets(const QJsonObject& object, SignatureRequest* request);

// "outputSize" is a decimal in a string and "documentSha256" lower-case hex,
// "" when the request failed before its input was read; "outputDevice" and
// "outputInode" name the file written, decimals in strings ("0" when none).
// Read back, an "outputSize" that is not a decimal string is 0, a "mode"
// that is missing, not a number or outside 0..4 is requestMode, and an
// identity not given in decimals is invalid.
QJsonObject signatureResultToJson(const SignatureResult& result);
SignatureResult signatureResultFromJson(const QJsonObject& object, SignatureMode requestMode);

// The signing child's answer as its parent takes it: read as above, except
// that a success without its output (no path named, or not the file it
// wrote there) is a failure with the reason in error.
SignatureResult signingChildResult(const QJsonObject& answer, const SignatureRequest& request);
