#include "PdfSignatures.h"

#include "QpdfFile.h"
#include "SigningInternal.h"
#include "SigningNames.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <openssl/err.h>

#include <cctype>
#include <set>

namespace {

// A form nests its fields only a few levels deep and holds far fewer than
// this; a file that claims more is not walked further.
constexpr int kMaxFieldDepth = 32;
constexpr int kMaxFields = 10000;

struct OpenSslBytesFree {
    void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};

struct X509StackFree {
    void operator()(STACK_OF(X509)* certs) const { sk_X509_pop_free(certs, X509_free); }
};

// The certificate's common name, else the first name part a clerk would know it by.
QString signerName(X509* cert)
{
    const X509_NAME* subject = X509_get_subject_name(cert);
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (const X509_NAME_ENTRY* entry = at >= 0 ? X509_NAME_get_entry(subject, at) : nullptr) {
        unsigned char* text = nullptr;
        const int length = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(entry));
        const std::unique_ptr<unsigned char, OpenSslBytesFree> utf8(text);
        const QString name =
            length > 0 ? QString::fromUtf8(reinterpret_cast<const char*>(utf8.get()), length) : QString();
        if (!name.trimmed().isEmpty())
            return name.simplified();
    }
    return compactCertificateName(x509NameToString(subject));
}

// The name of the certificate that made the CMS signature, or empty.
QString cmsSigner(const std::string& der)
{
    if (der.empty())
        return {};
    const BioPtr bio(BIO_new_mem_buf(der.data(), int(der.size())));
    const CmsPtr cms(bio ? d2i_CMS_bio(bio.get(), nullptr) : nullptr);
    ERR_clear_error();
    if (!cms)
        return {};
    STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms.get());
    if (!infos || sk_CMS_SignerInfo_num(infos) < 1)
        return {};
    CMS_SignerInfo* info = sk_CMS_SignerInfo_value(infos, 0);
    const std::unique_ptr<STACK_OF(X509), X509StackFree> certs(CMS_get1_certs(cms.get()));
    for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i) {
        X509* cert = sk_X509_value(certs.get(), i);
        if (CMS_SignerInfo_cert_cmp(info, cert) == 0)
            return signerName(cert);
    }
    return {};
}

bool isHexOrSpace(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) || std::isspace(static_cast<unsigned char>(c));
}

// The end of the revision the range covers, or -1 when the bytes no longer
// match it.
qint64 coveredRevisionEnd(QPDFObjectHandle range, const QByteArray& bytes)
{
    if (!range.isArray() || range.getArrayNItems() != 4)
        return -1;
    qint64 value[4];
    for (int i = 0; i < 4; ++i) {
        QPDFObjectHandle item = range.getArrayItem(i);
        if (!item.isInteger() || item.getIntValue() < 0)
            return -1;
        value[i] = item.getIntValue();
    }
    const qint64 gapStart = value[1], gapEnd = value[2], end = value[2] + value[3];
    if (value[0] != 0 || gapStart < 1 || gapEnd <= gapStart + 1 || end > bytes.size())
        return -1;
    if (bytes.at(gapStart) != '<' || bytes.at(gapEnd - 1) != '>')
        return -1;
    for (qint64 i = gapStart + 1; i < gapEnd - 1; ++i)
        if (!isHexOrSpace(bytes.at(i)))
            return -1;
    qint64 last = end;
    while (last > 0 && std::isspace(static_cast<unsigned char>(bytes.at(last - 1))))
        --last;
    return last >= 5 && bytes.mid(last - 5, 5) == "%%EOF" ? end : -1;
}

class FieldWalk {
public:
    explicit FieldWalk(const QByteArray& bytes) : m_bytes(bytes) {}

    void fields(QPDFObjectHandle list, const QString& parentName, const std::string& parentType, int depth)
    {
        if (!list.isArray() || depth > kMaxFieldDepth)
            return;
        const int count = list.getArrayNItems();
        for (int i = 0; i < count && m_visited < kMaxFields; ++i)
            field(list.getArrayItem(i), parentName, parentType, depth);
    }

    std::vector<PdfSignature> found;

private:
    void field(QPDFObjectHandle field, const QString& parentName, const std::string& parentType, int depth)
    {
        if (!field.isDictionary())
            return;
        if (field.isIndirect() && !m_seen.insert(field.getObjGen()).second)
            return;
        ++m_visited;
        QString name = parentName;
        if (QPDFObjectHandle part = field.getKey("/T"); part.isString()) {
            const QString text = QString::fromStdString(part.getUTF8Value());
            name = name.isEmpty() ? text : name + QLatin1Char('.') + text;
        }
        QPDFObjectHandle ownType = field.getKey("/FT");
        const std::string type = ownType.isName() ? ownType.getName() : parentType;
        if (QPDFObjectHandle kids = field.getKey("/Kids"); kids.isArray())
            fields(kids, name, type, depth + 1);
        if (type == "/Sig")
            signature(field.getKey("/V"), name);
    }

    void signature(QPDFObjectHandle value, const QString& name)
    {
        if (!value.isDictionary())
            return;
        const qint64 end = coveredRevisionEnd(value.getKey("/ByteRange"), m_bytes);
        if (end < 0)
            return;
        PdfSignature signature;
        signature.fieldName = name;
        signature.revisionEnd = end;
        QPDFObjectHandle contents = value.getKey("/Contents");
        if (contents.isString())
            signature.signer = cmsSigner(contents.getStringValue());
        if (QPDFObjectHandle named = value.getKey("/Name"); signature.signer.isEmpty() && named.isString())
            signature.signer = QString::fromStdString(named.getUTF8Value()).simplified();
        found.push_back(signature);
    }

    const QByteArray& m_bytes;
    std::set<QPDFObjGen> m_seen;
    int m_visited = 0;
};

} // namespace

std::vector<PdfSignature> PdfSignatures::read(const QByteArray& bytes)
{
    // A signature's dictionary lies in the file as written, never packed
    // into an object stream: without the key there is none.
    if (!bytes.contains("/ByteRange"))
        return {};
    pdfengine::QpdfFile file;
    if (!file.load(bytes, nullptr))
        return {};
    FieldWalk walk(bytes);
    // A part of the form that does not read ends the walk; what was found stays.
    file.run([&walk](QPDF& pdf) {
        QPDFObjectHandle form = pdf.getRoot().getKey("/AcroForm");
        if (form.isDictionary())
            walk.fields(form.getKey("/Fields"), QString(), std::string(), 0);
    }, nullptr);
    return walk.found;
}

QString PdfSignatures::displayName(const PdfSignature& signature)
{
    if (signature.signer.isEmpty() || signature.fieldName.isEmpty())
        return signature.signer.isEmpty() ? signature.fieldName : signature.signer;
    return QStringLiteral("%1 (%2)").arg(signature.signer, signature.fieldName);
}
