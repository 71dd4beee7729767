#pragma once

#include <QString>

// Certificate names as the clerk reads them.

// A short display name: the value of the first CN=, SN=, G=, O= or OU= part
// (any letter case) in the order the name lists them, else the simplified
// name. Escaped UTF-8 bytes are decoded first.
QString compactCertificateName(QString distinguishedName);

// An RFC 2253 name whose UTF-8 bytes were stored escaped ("\D0\98...")
// with those bytes decoded; the format's own escapes stay. A name without
// such escapes, or whose escaped bytes are not UTF-8, comes back unchanged.
QString readableDistinguishedName(const QString& name);
