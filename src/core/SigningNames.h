#pragma once

#include <QString>

// Certificate names as the clerk reads them.

// The name a stamp shows for a distinguished name: the common name (CN=)
// wherever the name lists it; else surname and given name (SN=, GN= or G=;
// a Russian given name carries the patronymic) joined by a blank; else the
// organisation (O=), else the unit (OU=); else the simplified name. Prefixes
// match in any letter case but only directly before "=". Escaped UTF-8 bytes
// are decoded first, and an escaped comma stays inside its value.
QString compactCertificateName(QString distinguishedName);

// An RFC 2253 name whose UTF-8 bytes were stored escaped ("\D0\98...")
// with those bytes decoded; the format's own escapes stay. A name without
// such escapes, or whose escaped bytes are not UTF-8, comes back unchanged.
QString readableDistinguishedName(const QString& name);
