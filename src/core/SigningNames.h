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
// A value whose UTF-8 was read as Latin-1 on its way in is decoded too
// (see utf8ReadAsLatin1Undone).
QString readableDistinguishedName(const QString& name);

// The name as a list shows it: readableDistinguishedName, then the
// format's own escapes undone ("O=ООО \"Ромашка\"" reads O=ООО "Ромашка",
// "\," a comma, "\2C" too). An escaped control byte stays as written.
QString shownDistinguishedName(const QString& name);

// A certificate's name value whose UTF-8 bytes were taken one by one as
// Latin-1 characters ("ÐÐ²Ð°Ð½Ð¾Ð²" for "Иванов") decoded as the UTF-8 it
// is: a TeletexString holding UTF-8, or UTF-8 made by a tool that read the
// typed name as Latin-1 ("openssl req" without -utf8). Any other text, a
// real Latin-1 name among them, comes back unchanged.
QString utf8ReadAsLatin1Undone(const QString& value);
