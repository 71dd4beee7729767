#pragma once
// Key material for the signing tests, made with the openssl program in a
// temporary folder; certificate dates are set by re-signing.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace signingfixtures {

// The signer of the tests, with Cyrillic in two attributes.
inline QString cyrillicSubject()
{
    return QStringLiteral("/CN=Иванов Иван/O=ООО Ромашка/C=RU");
}

struct Run {
    int exitCode = -1;
    QByteArray output;  // standard output and standard error
};

// openssl with the arguments in folder; input goes to its standard input.
Run openssl(const QString& folder, const QStringList& arguments, const QByteArray& input = {});

// A self-signed RSA certificate cert.pem and unencrypted key key.pem under
// folder/name/, with -subj subject; empty strings when openssl failed.
struct KeyPair {
    QString certificate;
    QString key;
};
KeyPair selfSigned(const QString& folder, const QString& name, const QString& subject,
                   const QStringList& extra = {});

// A copy of the pair's certificate at path with its validity replaced
// (ASN.1 time strings such as "20300105120000Z"), signed again with its key.
bool redated(const KeyPair& pair, const QString& notBefore, const QString& notAfter, const QString& path);

// What `openssl x509 -noout -subject -nameopt RFC2253,-esc_msb` prints after "subject=".
QString opensslSubject(const QString& certificate);

// The file's bytes, or empty.
QByteArray fileBytes(const QString& path);

// Writes an executable shell script.
bool writeScript(const QString& path, const QByteArray& body);

} // namespace signingfixtures
