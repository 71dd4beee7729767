#pragma once
// The embedded signatures of a PDF file, read from its bytes. A signature
// covers the file as it was when it was made (its revision); the revision
// stays a byte prefix of the file for as long as later changes are only
// appended, and the signature stays valid for it.

#include <QByteArray>
#include <QString>

#include <vector>

struct PdfSignature {
    QString fieldName;       // the signature field's full name
    QString signer;          // the signing certificate's short name, else the dictionary's /Name
    qint64 revisionEnd = 0;  // the signed revision is the file's first revisionEnd bytes
};

class PdfSignatures {
public:
    // The signature fields whose values still cover a revision of these
    // bytes: a byte range of the form [0 a b c] whose gap is exactly the
    // signature's hexadecimal string and whose end closes a revision
    // ("%%EOF"). A signature whose range the file no longer matches (the
    // file was written anew) is not listed. In the form's field order.
    static std::vector<PdfSignature> read(const QByteArray& bytes);

    // How the user is told of one: "signer (field)", or the field alone.
    static QString displayName(const PdfSignature& signature);
};
