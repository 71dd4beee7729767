#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <exception>
#include <stdexcept>

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

QpdfFile::QpdfFile() = default;
QpdfFile::~QpdfFile() = default;

bool QpdfFile::load(const QByteArray& bytes, QString* error, const QString& description)
{
    m_pdf.reset();
    m_bytes = bytes;
    auto pdf = std::make_unique<QPDF>();
    try {
        pdf->setSuppressWarnings(true);
        const QByteArray name = description.toUtf8();
        pdf->processMemoryFile(name.constData(), m_bytes.constData(), size_t(m_bytes.size()));
    } catch (const std::exception& e) {
        setError(error, QString::fromUtf8(e.what()));
        return false;
    }
    m_pdf = std::move(pdf);
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
    return m_pdf ? int(m_pdf->numWarnings()) : 0;
}

int QpdfFile::damageWarningCount() const
{
    if (!m_pdf)
        return 0;
    int count = 0;
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
