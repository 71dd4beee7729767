#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>

namespace pdfengine {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

}  // namespace

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

bool QpdfFile::write(QByteArray* out, const std::function<void(QPDFWriter&)>& configure, QString* error)
{
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

}  // namespace pdfengine
