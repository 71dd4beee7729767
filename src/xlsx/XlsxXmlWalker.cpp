#include "XlsxXmlWalker.h"

#include "XlsxIBudget.h"

#include <algorithm>

namespace {

// The most characters a spreadsheet cell holds; longer texts are cut.
constexpr qsizetype kMaxTextChars = 32767;
constexpr qsizetype kSlice = 256 * 1024;
// The largest double written out in full with a few decimals fits; a longer
// text is no number a writer makes, and converting it costs milliseconds.
constexpr qsizetype kMaxNumberChars = 350;

const QString kRelationshipsNamespace =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");

} // namespace

XlsxXmlWalker::XlsxXmlWalker(const QByteArray& xml, XlsxIBudget& budget)
    : m_xml(xml), m_budget(budget), m_empty(xml.isEmpty())
{
    feed();
}

bool XlsxXmlWalker::feed()
{
    if (m_fed >= m_xml.size())
        return false;
    const qsizetype size = qMin(kSlice, m_xml.size() - m_fed);
    m_reader.addData(QByteArray::fromRawData(m_xml.constData() + m_fed, size));
    m_fed += size;
    return true;
}

XlsxXmlWalker::~XlsxXmlWalker()
{
    if (!m_empty && !m_stopped && m_reader.hasError())
        m_budget.damaged = true;
}

bool XlsxXmlWalker::next()
{
    if (m_empty || m_stopped)
        return false;
    for (;;) {
        if (m_reader.atEnd()) {
            if (m_reader.error() != QXmlStreamReader::PrematureEndOfDocumentError || !feed())
                return false;
        }
        switch (m_reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++m_depth > kMaxDepth) {
                m_budget.damaged = true;
                m_stopped = true;
                return false;
            }
            return true;
        case QXmlStreamReader::EndElement:
            --m_depth;
            return true;
        case QXmlStreamReader::Characters:
            return true;
        default:
            break;
        }
    }
}

QString XlsxXmlWalker::relationshipId() const
{
    const QXmlStreamAttributes attributes = m_reader.attributes();
    const QStringView prefixed = attributes.value(QLatin1String("r:id"));
    if (!prefixed.isEmpty())
        return prefixed.toString();
    return attributes.value(kRelationshipsNamespace, QLatin1String("id")).toString();
}

int xlsxInt(QStringView text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

double xlsxDouble(QStringView text, bool* ok)
{
    bool parsed = false;
    text = text.trimmed();
    const double value = text.size() <= kMaxNumberChars ? text.toDouble(&parsed) : 0.0;
    if (ok)
        *ok = parsed;
    return parsed ? value : 0.0;
}

bool xlsxBool(QStringView text, bool absent)
{
    text = text.trimmed();
    if (text == u"1" || text == u"true")
        return true;
    if (text == u"0" || text == u"false")
        return false;
    return absent;
}

void xlsxAppendBounded(QString& to, QStringView text)
{
    const qsizetype room = kMaxTextChars - to.size();
    if (room <= 0)
        return;
    // Most texts come in one piece: a copy of exactly its size then needs no
    // trimming of spare capacity later.
    if (to.isEmpty())
        to = text.left(room).toString();
    else
        to.append(text.left(room));
}

QString xlsxUnescaped(QString text)
{
    qsizetype at = text.indexOf(QLatin1String("_x"));
    if (at < 0)
        return text;
    const auto hex = [](QChar c) {
        const char16_t u = c.toLower().unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f');
    };
    QString out;
    out.reserve(text.size());
    qsizetype done = 0;
    for (; at >= 0; at = text.indexOf(QLatin1String("_x"), at)) {
        const bool escape = at + 6 < text.size() && text.at(at + 6) == u'_' &&
                            std::all_of(text.cbegin() + at + 2, text.cbegin() + at + 6, hex);
        if (!escape) {
            ++at;
            continue;
        }
        out += QStringView(text).mid(done, at - done);
        out += QChar(char16_t(QStringView(text).mid(at + 2, 4).toUShort(nullptr, 16)));
        at += 7;
        done = at;
    }
    out += QStringView(text).mid(done);
    return out;
}
