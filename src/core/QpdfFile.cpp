#include "QpdfFile.h"

#include "ParsedObjectWriter.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cctype>
#include <exception>
#include <set>
#include <stdexcept>
#include <vector>

namespace pdfengine {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Collects decoded bytes up to a limit, then stops the decoding.
class LimitedSink : public Pipeline {
public:
    LimitedSink(std::string& out, size_t limit) : Pipeline("limited", nullptr), m_out(out), m_limit(limit) {}
    void write(unsigned char const* data, size_t length) override
    {
        const size_t room = m_limit - m_out.size();
        m_out.append(reinterpret_cast<const char*>(data), std::min(length, room));
        if (length > room) {
            m_overflow = true;
            throw std::length_error("stream longer than its limit");
        }
    }
    void finish() override {}
    bool overflow() const { return m_overflow; }

private:
    std::string& m_out;
    size_t m_limit;
    bool m_overflow = false;
};

// Collects a written file, asking check after each piece; a stop ends the
// write through an exception, which run() turns into false.
class CheckedSink : public Pipeline {
public:
    CheckedSink(QByteArray& out, const std::function<bool(qint64)>& check)
        : Pipeline("checked", nullptr), m_out(out), m_check(check)
    {
    }
    void write(unsigned char const* data, size_t length) override
    {
        m_out.append(reinterpret_cast<const char*>(data), qsizetype(length));
        if (!m_check(m_out.size()))
            throw std::runtime_error("write stopped");
    }
    void finish() override {}

private:
    QByteArray& m_out;
    const std::function<bool(qint64)>& m_check;
};

}  // namespace

bool readDecodedStream(QPDFObjectHandle stream, size_t limit, std::string* out)
{
    out->clear();
    try {
        if (!stream.isStream())
            return false;
        LimitedSink sink(*out, limit);
        bool filtered = false;
        bool ok = false;
        try {
            ok = stream.pipeStreamData(&sink, &filtered, 0, qpdf_dl_generalized, true);
        } catch (const std::exception&) {
            ok = false;
        }
        return ok && !sink.overflow();
    } catch (const std::exception&) {
        return false;
    }
}

bool cleanTrailer(QPDF& pdf)
{
    try {
        QPDFObjectHandle trailer = pdf.getTrailer();
        for (const std::string& key : trailer.getKeys()) {
            if (key != "/Root" && key != "/Info" && key != "/ID" && key != "/Encrypt")
                trailer.removeKey(key);
        }
        if (trailer.hasKey("/Info") && !trailer.getKey("/Info").isDictionary())
            trailer.removeKey("/Info");
        // The writer puts its own count in place of this one.
        trailer.replaceKey("/Size", QPDFObjectHandle::newInteger(0));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

namespace {

const QByteArray kEncryptKey = QByteArrayLiteral("/Encrypt");
const QByteArray kHiddenKey = QByteArrayLiteral("/NoCrypt");  // as long as the key: no offset moves

// bytes with every trailer reference to an encryption dictionary under
// another key, which qpdf passes over; *object: the first one's number.
QByteArray withEncryptionHidden(const QByteArray& bytes, int* object)
{
    QByteArray view = bytes;
    *object = -1;
    for (qsizetype at = view.indexOf(kEncryptKey); at >= 0; at = view.indexOf(kEncryptKey, at + 1)) {
        // A reference ("/Encrypt 12 0 R") follows the key in a trailer, never in the dictionary's own keys.
        qsizetype end = at + kEncryptKey.size();
        const auto skipBlanks = [&view, &end] {
            while (end < view.size() && (view[end] == ' ' || view[end] == '\r' || view[end] == '\n'))
                ++end;
        };
        const auto number = [&view, &end] {
            const qsizetype start = end;
            while (end < view.size() && std::isdigit(static_cast<unsigned char>(view[end])))
                ++end;
            return end > start ? view.mid(start, end - start).toInt() : -1;
        };
        skipBlanks();
        const int id = number();
        skipBlanks();
        const int generation = number();
        skipBlanks();
        if (id < 0 || generation < 0 || end >= view.size() || view[end] != 'R')
            continue;
        view.replace(at, kHiddenKey.size(), kHiddenKey);
        if (*object < 0)
            *object = id;
    }
    return view;
}

// Whether an encryption dictionary leaves page content and strings clear
// (crypt filters that seal attached files only).
bool sealsAttachmentsOnly(QPDFObjectHandle encrypt)
{
    if (!encrypt.isDictionary() || !encrypt.getKey("/V").isInteger() || encrypt.getKey("/V").getIntValue() < 4)
        return false;
    const auto clear = [&encrypt](const char* key) {
        QPDFObjectHandle filter = encrypt.getKey(key);
        return filter.isNull() || (filter.isName() && filter.getName() == "/Identity");
    };
    return clear("/StmF") && clear("/StrF");
}

bool isPage(QPDFObjectHandle object)
{
    return object.isDictionary() && object.getKey("/Type").isNameAndEquals("/Page");
}

bool isPageTreeNode(QPDFObjectHandle object)
{
    return object.isDictionary() && object.hasKey("/Kids") && !isPage(object);
}

// A kid that says it is something else (a font, a picture) and lists no
// kids: other readers pass over it, where qpdf would call it a page and
// write it as one, its /Type overwritten, breaking what uses it.
bool isOtherObject(QPDFObjectHandle kid)
{
    if (kid.isStream())
        return true;
    QPDFObjectHandle type = kid.isDictionary() ? kid.getKey("/Type") : QPDFObjectHandle::newNull();
    return type.isName() && !type.isNameAndEquals("/Page") && !type.isNameAndEquals("/Pages") && !kid.hasKey("/Kids");
}

// Walks the page tree in order, each node once, without recursion, and
// takes out of the /Kids arrays every node met again or deeper than
// kMaxPageTreeLevels, counting them in cut (those too deep in deep as
// well), and every object listed that is no page, counting them in stray.
// A page that lists kids of its own stays a page, as other readers show it.
void cutPageTreeLoops(QPDFObjectHandle top, std::set<QPDFObjGen>& walked, int& cut, int& deep, int& stray)
{
    walkPageTree(top, [&](QPDFObjectHandle kid, int level) {
        if (isOtherObject(kid)) {
            ++stray;
            return PageTreeStep::Erase;
        }
        if (isPage(kid) && kid.hasKey("/Kids")) {
            kid.removeKey("/Kids");
            ++cut;
        }
        if (!isPageTreeNode(kid))
            return PageTreeStep::Next;
        if (level >= kMaxPageTreeLevels) {
            ++cut;
            ++deep;
            return PageTreeStep::Erase;
        }
        if (kid.isIndirect() && !walked.insert(kid.getObjGen()).second) {
            ++cut;
            return PageTreeStep::Erase;
        }
        return PageTreeStep::Descend;
    });
}

// The tree is walked from the node qpdf starts from: the catalog's /Pages,
// or the top of its /Parent chain when that names a page.
int cutPageTreeLoops(QPDF& pdf, int* deep, int* stray)
{
    int cut = 0;
    try {
        QPDFObjectHandle top = pdf.getRoot().getKey("/Pages");
        std::set<QPDFObjGen> climbed;
        while (top.isDictionary() && top.hasKey("/Parent") && climbed.insert(top.getObjGen()).second)
            top = top.getKey("/Parent");
        std::set<QPDFObjGen> walked{top.getObjGen()};
        if (isPageTreeNode(top))
            cutPageTreeLoops(top, walked, cut, *deep, *stray);
    } catch (const std::exception&) {
        // No catalog, or an object that cannot be read: qpdf's walks stop there too.
    }
    return cut;
}

}  // namespace

void walkPageTree(QPDFObjectHandle top, const std::function<PageTreeStep(QPDFObjectHandle kid, int level)>& visit)
{
    struct Level {
        QPDFObjectHandle kids;
        int next = 0;
        int level = 1;  // of the node whose kids these are
    };
    std::vector<Level> path{{top.getKey("/Kids"), 0, 1}};
    while (!path.empty()) {
        Level& at = path.back();
        if (!at.kids.isArray() || at.next >= at.kids.getArrayNItems()) {
            path.pop_back();
            continue;
        }
        QPDFObjectHandle kid = at.kids.getArrayItem(at.next);
        switch (visit(kid, at.level)) {
        case PageTreeStep::Next:
            ++at.next;
            break;
        case PageTreeStep::Erase:
            at.kids.eraseItem(at.next);
            break;
        case PageTreeStep::Descend: {
            ++at.next;
            const int level = at.level + 1;
            path.push_back({kid.getKey("/Kids"), 0, level});  // at is gone after this
            break;
        }
        }
    }
}

QpdfFile::QpdfFile() = default;
QpdfFile::~QpdfFile() = default;

bool QpdfFile::load(const QByteArray& bytes, QString* error, const QString& description)
{
    m_pdf.reset();
    m_attachmentsSealed = false;
    m_treeCuts = 0;
    m_deepCuts = 0;
    m_strayCuts = 0;
    m_treeWarnings = 0;
    m_bytes = bytes;
    const QByteArray name = description.toUtf8();
    auto pdf = std::make_unique<QPDF>();
    try {
        pdf->setSuppressWarnings(true);
        pdf->processMemoryFile(name.constData(), m_bytes.constData(), size_t(m_bytes.size()));
    } catch (const QPDFExc& e) {
        if (e.getErrorCode() != qpdf_e_password || !loadSealedAttachments(name)) {
            setError(error, QString::fromUtf8(e.what()));
            return false;
        }
        checkPageTree();
        return true;
    } catch (const std::exception& e) {
        setError(error, QString::fromUtf8(e.what()));
        return false;
    }
    // Opened by the empty password, sealed attachments are read the same
    // way: decrypted and written again they would lose or change their seal.
    bool attachmentsOnly = false;
    try {
        attachmentsOnly = pdf->isEncrypted() && sealsAttachmentsOnly(pdf->getTrailer().getKey("/Encrypt"));
    } catch (const std::exception&) {
        attachmentsOnly = false;
    }
    if (attachmentsOnly) {
        const QByteArray plain = m_bytes;  // read by the first parse for as long as it lives
        if (loadSealedAttachments(name)) {
            pdf.reset();
            return true;
        }
    }
    m_pdf = std::move(pdf);
    checkPageTree();
    return true;
}

// Attached files sealed by a password the document opens without (the
// pages and strings pass through the /Identity filter) are no reason to
// refuse the rest: the file is read as if it were not encrypted, which it is
// not where pages are concerned, and is never written again by qpdf.
QPDFObjectHandle sealedEncryption(QPDF& pdf)
{
    try {
        QPDFObjectHandle hidden = pdf.getTrailer().getKey(kHiddenKey.toStdString());
        return hidden.isDictionary() ? hidden : QPDFObjectHandle::newNull();
    } catch (const std::exception&) {
        return QPDFObjectHandle::newNull();
    }
}

void QpdfFile::checkPageTree()
{
    const size_t before = m_pdf->numWarnings();
    m_treeCuts = cutPageTreeLoops(*m_pdf, &m_deepCuts, &m_strayCuts);
    m_treeWarnings = int(m_pdf->numWarnings() - before);
}

bool QpdfFile::loadSealedAttachments(const QByteArray& name)
{
    int encrypt = -1;
    QByteArray view = withEncryptionHidden(m_bytes, &encrypt);
    if (encrypt < 0)
        return false;
    auto pdf = std::make_unique<QPDF>();
    try {
        pdf->setSuppressWarnings(true);
        pdf->processMemoryFile(name.constData(), view.constData(), size_t(view.size()));
        QPDFObjectHandle encryption = sealedEncryption(*pdf);
        if (!sealsAttachmentsOnly(encryption))
            return false;
        m_sealedNumber = encryption.getObjectID();
        m_sealedGeneration = encryption.getGeneration();
    } catch (const std::exception&) {
        return false;
    }
    m_bytes = view;
    m_pdf = std::move(pdf);
    m_attachmentsSealed = true;
    return true;
}

bool QpdfFile::run(const std::function<void(QPDF&)>& work, QString* error)
{
    if (!m_pdf) {
        setError(error, QStringLiteral("no document"));
        return false;
    }
    try {
        work(*m_pdf);
    } catch (const std::exception& e) {
        setError(error, QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

bool QpdfFile::write(QByteArray* out, const std::function<void(QPDFWriter&)>& configure, QString* error,
                     const std::function<bool(qint64)>& check)
{
    // Sealed attached files are encrypted by keys of their numbers, which
    // qpdf's writer gives anew (and it drops their /Crypt filters): the file
    // is written by hand, every object under its number, its bytes kept.
    if (m_attachmentsSealed) {
        if (!m_pdf) {
            setError(error, QStringLiteral("no document"));
            return false;
        }
        return ParsedObjectWriter::wholeFile(*m_pdf, m_pdf->getObjectByID(m_sealedNumber, m_sealedGeneration), out,
                                             error, check);
    }
    return writeWith(out, configure, error, check);
}

bool QpdfFile::writeWith(QByteArray* out, const std::function<void(QPDFWriter&)>& configure, QString* error,
                         const std::function<bool(qint64)>& check)
{
    if (check) {
        out->clear();
        return run([&](QPDF& pdf) {
            CheckedSink sink(*out, check);
            QPDFWriter writer(pdf);
            writer.setOutputPipeline(&sink);
            if (configure)
                configure(writer);
            writer.write();
        }, error);
    }
    return run([&](QPDF& pdf) {
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        if (configure)
            configure(writer);
        writer.write();
        const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
        *out = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
    }, error);
}

int QpdfFile::warningCount() const
{
    return m_pdf ? int(m_pdf->numWarnings()) - m_treeWarnings + m_treeCuts + m_strayCuts : 0;
}

int QpdfFile::damageWarningCount() const
{
    if (!m_pdf)
        return 0;
    int count = m_treeCuts + m_strayCuts;
    try {
        // getWarnings() empties qpdf's list; put them back so later calls see them too.
        const std::vector<QPDFExc> warnings = m_pdf->getWarnings();
        for (const QPDFExc& warning : warnings) {
            if (warning.getMessageDetail().find("reported number of objects") == std::string::npos)
                ++count;
            m_pdf->warn(warning);
        }
    } catch (const std::exception&) {
        return warningCount();
    }
    return count;
}

}  // namespace pdfengine
