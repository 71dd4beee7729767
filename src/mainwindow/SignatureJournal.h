#pragma once

#include "SignatureRecords.h"

#include <QString>

// The local journal of successful signatures: one JSON array of records,
// oldest first, in the application-data folder. Appends from several
// processes are serialised by a lock file next to the journal.

// Appends one record for a successful result; does nothing for a failed
// one. Failures are silent: the journal then stays as it was. An existing
// journal that is not a JSON array, or is larger than the read limit, is
// renamed aside to "signature-journal.json.corrupt-<time>" and a new array
// is started.
void appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate);

QString signatureJournalPath();
