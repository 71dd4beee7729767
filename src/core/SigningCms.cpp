// CAdES-BES signatures with OpenSSL's CMS, over data read in pieces.
#include "SigningInternal.h"

#include <QObject>

namespace {

// Binary content (no MIME canonicalisation), the ESS signing-certificate-v2
// attribute, and the signer added before the data is read.
constexpr unsigned int kCadesFlags = CMS_BINARY | CMS_CADES | CMS_PARTIAL;

} // namespace

CmsPtr cadesSignature(const KeyMaterial& material, BIO* data, bool attached, QString* error)
{
    const unsigned int flags = kCadesFlags | (attached ? 0u : unsigned(CMS_DETACHED));
    // The key's default digest (SHA-256 for RSA and EC keys) names the
    // certificate in the ESS attribute.
    CmsPtr cms(CMS_sign(material.cert.get(), material.key.get(), material.chain.get(), nullptr, flags));
    if (!cms || CMS_final(cms.get(), data, nullptr, flags & ~unsigned(CMS_PARTIAL)) != 1) {
        *error = QObject::tr("OpenSSL не смог создать CMS подпись: %1").arg(opensslErrorText());
        return nullptr;
    }
    return cms;
}

bool signsWithSha256(EVP_PKEY* key)
{
    int digest = NID_undef;
    return EVP_PKEY_get_default_digest_nid(key, &digest) > 0 && digest == NID_sha256;
}

QByteArray signedSha256(CMS_ContentInfo* cms)
{
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
    if (!signers || sk_CMS_SignerInfo_num(signers) < 1)
        return {};
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
    X509_ALGOR* digest = nullptr;
    CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, &digest, nullptr);
    const ASN1_OBJECT* algorithm = nullptr;
    if (digest)
        X509_ALGOR_get0(&algorithm, nullptr, nullptr, digest);
    if (!algorithm || OBJ_obj2nid(algorithm) != NID_sha256)
        return {};
    const auto* value = static_cast<const ASN1_OCTET_STRING*>(
        CMS_signed_get0_data_by_OBJ(signer, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
    if (!value)
        return {};
    return QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), ASN1_STRING_length(value));
}

QByteArray cmsDer(CMS_ContentInfo* cms, QString* error)
{
    const BioPtr output(BIO_new(BIO_s_mem()));
    if (!output || i2d_CMS_bio(output.get(), cms) != 1) {
        *error = QObject::tr("OpenSSL не смог сериализовать CMS подпись: %1").arg(opensslErrorText());
        return {};
    }
    const QByteArray der = memoryBioBytes(output.get());
    if (der.isEmpty())
        *error = QObject::tr("OpenSSL вернул пустую подпись.");
    return der;
}

bool cmsSignatureMatches(const QByteArray& der, BIO* content)
{
    const BioPtr input(BIO_new_mem_buf(der.constData(), int(der.size())));
    const CmsPtr cms(input ? d2i_CMS_bio(input.get(), nullptr) : nullptr);
    const bool matches = cms
        && CMS_verify(cms.get(), nullptr, nullptr, content, nullptr, CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) == 1;
    opensslErrorText();  // a mismatch leaves its errors out of later texts
    return matches;
}
