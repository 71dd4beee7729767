#pragma once
// TEMPORARY stand-in until the signjson branch lands
#include "SignatureRecords.h"
#include <QJsonObject>
#include <QList>
SigningCertificate signingCertificateFromJson(const QJsonObject&);
QList<SigningCertificate> signingCertificatesFromJson(const QJsonObject& listObject);
QJsonObject signatureRequestToJson(const SignatureRequest&);
SignatureResult signatureResultFromJson(const QJsonObject&, SignatureMode requestMode);
