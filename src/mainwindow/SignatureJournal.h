#pragma once

#include "SignatureRecords.h"

#include <QString>

// The local journal of successful signatures: one JSON array of records,
// oldest first, in the application-data folder. Appends from several
// processes are serialised by a lock file next to the journal.

// Appends one record for a successful result; does nothing (and succeeds)
// for a failed one. On failure the journal stays as it was and error, when
// given, gets the reason; a journal that is not a regular file is never read
// or replaced. An existing journal that is not a JSON array, or is larger
// than the read limit, is renamed aside to
// "signature-journal.json.corrupt-<time>" and a new array is started.
bool appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate, QString* error = nullptr);

QString signatureJournalPath();
