// The embedded signature's incremental update: a signature dictionary with a
// reserved /Contents, its field as an invisible widget on the first page, the
// catalog with an /AcroForm, a classic cross-reference section and trailer.
// The source is read with qpdf, from the file, never copied whole; the
// result is read back the same way before it counts as signed.
#include "PdfWrittenObject.h"
#include "SigningInternal.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Constants.h>
#include <qpdf/InputSource.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <QFile>
#include <QObject>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

constexpr qint64 kContentsDigits = 131072;
constexpr int kFixedNumberWidth = 20;
// ISO 32000's limit on indirect object numbers: the new objects must fit.
constexpr qint64 kLargestObjectNumber = 8388607;
// startxref is looked for this far from the end.
constexpr qint64 kTailSearched = 65536;
// The invisible widget: printed and locked, no area.
constexpr int kWidgetFlags = 132;
// An object the update rewrites is read from the file up to this far.
constexpr qint64 kLargestWrittenObject = 4 * 1024 * 1024;
constexpr char kWhiteSpace[] = " \t\n\v\f\r";

bool isPdfSpace(char c)
{
    return c != '\0' && std::strchr(kWhiteSpace, c) != nullptr;
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// Bytes of a file a reader passes over: white space between where the last
// startxref points and its "xref" keyword.
struct SkippedRun {
    qint64 at = 0;
    qint64 length = 0;
};

// A SplicedFile as qpdf's input: qpdf seeks and reads what it needs. A
// skipped run is left out of what qpdf sees, as other readers pass over it
// (qpdf would rebuild the whole table for it).
class SplicedInput : public InputSource {
public:
    explicit SplicedInput(const SplicedFile& file, SkippedRun skipped = {}) : m_file(file), m_skipped(skipped) {}

    qpdf_offset_t findAndSkipNextEOL() override
    {
        constexpr size_t kPiece = 4096;
        char buffer[kPiece];
        for (;;) {
            const qpdf_offset_t start = m_at;
            const size_t length = read(buffer, kPiece);
            if (length == 0)
                return m_at;
            const auto eol = std::find_if(buffer, buffer + length, [](char c) { return c == '\r' || c == '\n'; });
            if (eol == buffer + length)
                continue;
            const qpdf_offset_t result = start + (eol - buffer);
            m_at = result + 1;
            char c = 0;
            while (read(&c, 1) == 1) {
                if (c != '\r' && c != '\n') {
                    unreadCh(c);
                    break;
                }
            }
            return result;
        }
    }
    std::string const& getName() const override { return m_name; }
    qpdf_offset_t tell() override { return m_at; }
    void seek(qpdf_offset_t offset, int whence) override
    {
        const qpdf_offset_t base = whence == SEEK_END ? size() : whence == SEEK_CUR ? m_at : 0;
        if (base + offset < 0)
            throw std::runtime_error("seek before the start of the file");
        m_at = base + offset;
    }
    void rewind() override { m_at = 0; }
    size_t read(char* buffer, size_t length) override
    {
        last_offset = m_at;
        qint64 wanted = std::min<qint64>(qint64(length), std::max<qint64>(0, size() - m_at));
        qint64 got = 0;
        while (wanted > 0) {
            // Up to the skipped run, then past it.
            const bool before = m_at < m_skipped.at;
            const qint64 piece = before ? std::min(wanted, m_skipped.at - m_at) : wanted;
            const qint64 read = m_file.read(before ? m_at : m_at + m_skipped.length, buffer + got, piece);
            if (read < 0)
                throw std::runtime_error("the file cannot be read");
            m_at += read;
            got += read;
            wanted -= read;
            if (read < piece)
                break;
        }
        return size_t(got);
    }
    void unreadCh(char) override
    {
        if (m_at > 0)
            --m_at;
    }

private:
    qint64 size() const { return m_file.size() - m_skipped.length; }

    const SplicedFile& m_file;
    SkippedRun m_skipped;
    qpdf_offset_t m_at = 0;
    std::string m_name = "document";
};

// The file parsed by qpdf, or null with the reason.
std::unique_ptr<QPDF> parsed(const SplicedFile& file, QString* error, SkippedRun skipped = {})
{
    const QString encrypted = QObject::tr("Встроенная подпись для зашифрованных PDF не поддерживается.");
    const auto unreadable = [](const char* what) {
        return QObject::tr("Не удалось прочитать структуру PDF: %1").arg(QString::fromUtf8(what));
    };
    auto pdf = std::make_unique<QPDF>();
    try {
        pdf->setSuppressWarnings(true);
        pdf->processInputSource(std::make_shared<SplicedInput>(file, skipped));
        if (!pdf->isEncrypted())
            return pdf;
        fail(error, encrypted);
    } catch (const QPDFExc& e) {
        // A password, or an encryption qpdf cannot even open, is encryption all the same.
        const bool encryption = e.getErrorCode() == qpdf_e_password || e.getObject() == "encryption dictionary";
        fail(error, encryption ? encrypted : unreadable(e.what()));
    } catch (const std::exception& e) {
        fail(error, unreadable(e.what()));
    }
    return nullptr;
}

QByteArray text(const std::string& unparsed)
{
    return QByteArray::fromStdString(unparsed);
}

QByteArray reference(int number, int generation)
{
    return QByteArray::number(number) + ' ' + QByteArray::number(generation) + " R";
}

// The dictionary text with entries put before its closing ">>".
QByteArray withEntries(const QByteArray& dictionary, const QByteArray& entries)
{
    QByteArray out = dictionary;
    out.insert(out.lastIndexOf(">>"), entries + ' ');
    return out;
}

// Takes a stream's bytes into a hash.
class HashSink : public Pipeline {
public:
    explicit HashSink(Sha256& hash) : Pipeline("hash", nullptr), m_hash(hash) {}
    void write(unsigned char const* data, size_t length) override
    {
        m_hash.add(reinterpret_cast<const char*>(data), qint64(length));
    }
    void finish() override {}

private:
    Sha256& m_hash;
};

// The page's content streams as stored (not decoded), in order; a stream
// that cannot be read leaves its mark instead.
QByteArray pageDigest(QPDFObjectHandle page)
{
    Sha256 hash;
    QPDFObjectHandle contents = page.getKey("/Contents");
    std::vector<QPDFObjectHandle> streams =
        contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
    for (QPDFObjectHandle& stream : streams) {
        HashSink sink(hash);
        bool read = false;
        try {
            read = stream.isStream() && stream.pipeStreamData(&sink, nullptr, 0, qpdf_dl_none, true);
        } catch (const std::exception&) {
            read = false;
        }
        hash.add(read ? "|" : "!", 1);
    }
    return hash.result();
}

QList<QByteArray> pageDigests(QPDF& pdf)
{
    QList<QByteArray> digests;
    for (const QPDFObjectHandle& page : pdf.getAllPages())
        digests << pageDigest(page);
    return digests;
}

QByteArray entryText(const QPDFXRefEntry& entry)
{
    const int type = entry.getType();
    if (type == 1)
        return "1 " + QByteArray::number(qint64(entry.getOffset()));
    return QByteArray::number(type) + ' ' + QByteArray::number(entry.getObjStreamNumber()) + ' '
        + QByteArray::number(entry.getObjStreamIndex());
}

// The decimal at `at`, or nothing; the end of its digits goes to end.
std::optional<qint64> digitsAt(const QByteArray& bytes, qint64 at, qint64* end)
{
    qint64 stop = at;
    while (stop < bytes.size() && bytes.at(stop) >= '0' && bytes.at(stop) <= '9')
        ++stop;
    bool ok = false;
    const qint64 value = bytes.mid(at, stop - at).toLongLong(&ok, 10);
    if (!ok || value < 0)
        return std::nullopt;
    if (end)
        *end = stop;
    return value;
}

// The offset after the last startxref, which must name a classic "xref"
// section: a cross-reference stream is refused by name. previous is where
// the keyword itself starts; white space before it goes to skipped.
bool previousXref(const SplicedFile& file, qint64* previous, SkippedRun* skipped, QString* error)
{
    const qint64 tailAt = std::max<qint64>(0, file.size() - kTailSearched);
    QByteArray tail(file.size() - tailAt, '\0');
    if (file.read(tailAt, tail.data(), tail.size()) != tail.size())
        return fail(error, QObject::tr("В PDF не найден startxref."));
    const qint64 keyword = tail.lastIndexOf("startxref");
    if (keyword < 0)
        return fail(error, QObject::tr("В PDF не найден startxref."));
    qint64 digits = keyword + 9;
    while (digits < tail.size() && isPdfSpace(tail.at(digits)))
        ++digits;
    const std::optional<qint64> value = digitsAt(tail, digits, nullptr);
    if (!value || *value >= file.size())
        return fail(error, QObject::tr("В PDF некорректный startxref."));
    QByteArray section(64, '\0');
    section.truncate(std::max<qint64>(0, file.read(*value, section.data(), section.size())));
    qsizetype blank = 0;
    while (blank < section.size() && isPdfSpace(section.at(blank)))
        ++blank;
    *previous = *value + blank;
    *skipped = {*value, blank};
    section = section.mid(blank).trimmed();
    static const QRegularExpression streamHeader(QStringLiteral("^\\d+\\s+\\d+\\s+obj\\b"));
    if (streamHeader.match(QString::fromLatin1(section)).hasMatch())
        return fail(error, QObject::tr("Встроенная подпись не поддерживается для PDF, сохранённых с потоком "
                                       "перекрёстных ссылок (сжатой структурой PDF 1.5 и новее)."));
    if (!section.startsWith("xref"))
        return fail(error, QObject::tr("В PDF некорректный startxref."));
    return true;
}

QByteArray objectText(qint64 number, qint64 generation, const QByteArray& body)
{
    return QByteArray::number(number) + ' ' + QByteArray::number(generation) + " obj\n" + body + "\nendobj\n";
}

// Four zero numbers of the final ByteRange's width.
QByteArray byteRangePlaceholder()
{
    const QByteArray zeros(kFixedNumberWidth, '0');
    return '[' + zeros + ' ' + zeros + ' ' + zeros + ' ' + zeros + ']';
}

QByteArray signatureDictionary(const QString& signer)
{
    const QByteArray placeholder = byteRangePlaceholder();
    const QString name = signer.isEmpty() ? QObject::tr("Подписант") : signer;
    return "<< /Type /Sig\n/Filter /Adobe.PPKLite\n/SubFilter /adbe.pkcs7.detached\n/ByteRange " + placeholder
        + "\n/Contents <" + QByteArray(kContentsDigits, '0') + ">\n/M " + pdfDateString(QDateTime::currentDateTime())
        + "\n/Name " + pdfTextString(name) + "\n/Reason "
        + pdfTextString(QObject::tr("Документ подписан в vorn PDF Reader")) + "\n>>";
}

QByteArray pdfLiteralString(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('('), QStringLiteral("\\("));
    text.replace(QLatin1Char(')'), QStringLiteral("\\)"));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return '(' + text.toUtf8() + ')';
}

QString damagedText()
{
    return QObject::tr("PDF повреждён, и программы просмотра могут показать его по-разному: встроенная подпись не "
                       "добавлена. Сохраните документ заново и подпишите сохранённый файл.");
}

bool readWithoutRepair(QPDF& pdf);

// One object the update writes.
struct UpdateObject {
    int number = 0;
    int generation = 0;
    QByteArray body;
    qint64 offset = 0;
};

// What the update writes, read from the source.
struct UpdatePlan {
    QList<UpdateObject> objects;  // signature, field, catalog, page or its annotation list
    QByteArray trailerEntries;    // /Root, /Info, /ID
    int size = 0;                 // the new /Size
    qint64 previous = 0;
};

// The first number above every object in use; /Size when it says more and
// leaves room, so free entries at the end are not reused.
int firstFreeNumber(QPDF& pdf)
{
    int highest = 0;
    for (const auto& [objectGeneration, entry] : pdf.getXRefTable())
        highest = std::max(highest, objectGeneration.getObj());
    // Read as text: a /Size past 64 bits is only a wrong /Size.
    QPDFObjectHandle size = pdf.getTrailer().getKey("/Size");
    bool readable = false;
    const qint64 stated = size.isInteger() ? text(size.unparse()).toLongLong(&readable) : 0;
    if (readable && stated > highest + 1 && stated <= kLargestObjectNumber - 1)
        return int(stated);
    return highest + 1;
}

// The object's text as the file writes it, when it is a plain object there
// (not in an object stream) that reads whole.
std::optional<QByteArray> writtenBody(const SplicedFile& file, QPDF& pdf, QPDFObjGen id)
{
    const std::map<QPDFObjGen, QPDFXRefEntry> table = pdf.getXRefTable();
    const auto found = table.find(id);
    if (found == table.end() || found->second.getType() != 1)
        return std::nullopt;
    const qint64 offset = found->second.getOffset();
    QByteArray bytes(std::min<qint64>(kLargestWrittenObject, std::max<qint64>(0, file.size() - offset)), '\0');
    if (file.read(offset, bytes.data(), bytes.size()) != bytes.size())
        return std::nullopt;
    QByteArray body;
    if (!PdfWrittenObject::read(bytes, id.getObj(), id.getGen(), &body))
        return std::nullopt;
    return body;
}

// Whether the object names, in its own text, an object the file does not
// hold: written again from qpdf's reading, that entry would be left out.
bool namesMissing(QPDFObjectHandle object, const std::map<QPDFObjGen, QPDFXRefEntry>& table, int depth = 0)
{
    constexpr int kDeepestNesting = 64;
    if (depth > kDeepestNesting)
        return true;
    std::vector<QPDFObjectHandle> items;
    if (object.isArray())
        items = object.getArrayAsVector();
    else if (object.isDictionary())
        for (const auto& [key, value] : object.getDictAsMap())
            items.push_back(value);
    for (QPDFObjectHandle& item : items) {
        if (item.isIndirect() ? table.count(item.getObjGen()) == 0 : namesMissing(item, table, depth + 1))
            return true;
    }
    return false;
}

// The rewritten object: its written text changed by edit, or, where the
// file holds it in an object stream, qpdf's reading of it changed the same
// way when that drops nothing.
bool rewritten(const SplicedFile& file, QPDF& pdf, QPDFObjectHandle object,
               const std::function<QByteArray(const QByteArray&)>& edit, UpdateObject* out, QString* error)
{
    std::optional<QByteArray> body = writtenBody(file, pdf, object.getObjGen());
    if (!body) {
        if (namesMissing(object, pdf.getXRefTable()))
            return fail(error, damagedText());
        body = text(object.unparseResolved());
    }
    const QByteArray changed = edit(*body);
    if (changed.isEmpty())
        return fail(error, QObject::tr("Список аннотаций первой страницы PDF повреждён."));
    *out = {object.getObjectID(), object.getGeneration(), changed};
    return true;
}

// The page dictionary with the widget added to its own /Annots: an array
// gets it last, anything else (a reference to nothing) becomes the array.
QByteArray withWidget(const QByteArray& page, const QByteArray& widget)
{
    qsizetype start = 0;
    qsizetype end = 0;
    if (!PdfWrittenObject::valueOf(page, "/Annots", &start, &end))
        return page.endsWith(">>") ? withEntries(page, "/Annots [" + widget + ']') : QByteArray();
    QByteArray out = page;
    if (page.at(start) == '[')
        return out.insert(end - 1, ' ' + widget);
    return out.replace(start, end - start, '[' + widget + ']');
}

// The first page the file holds as an object of its own (a direct kid is
// made one by qpdf, under a number the file does not have); null when none.
QPDFObjectHandle widgetPage(QPDF& pdf)
{
    const std::map<QPDFObjGen, QPDFXRefEntry> table = pdf.getXRefTable();
    for (const QPDFObjectHandle& page : pdf.getAllPages()) {
        if (table.count(page.getObjGen()) > 0)
            return page;
    }
    return QPDFObjectHandle::newNull();
}

// The page's own revision, or of its indirect annotation list, with the
// field's widget added; written as the file has it but for that entry.
bool widgetHolder(const SplicedFile& file, QPDF& pdf, QPDFObjectHandle page, int field, UpdateObject* holder,
                  QString* error)
{
    QPDFObjectHandle annots = page.getKey("/Annots");
    const QByteArray widget = reference(field, 0);
    if (annots.isIndirect() && annots.isArray()) {
        return rewritten(file, pdf, annots, [&](const QByteArray& list) {
            return list.endsWith(']') ? QByteArray(list).insert(list.size() - 1, ' ' + widget) : QByteArray();
        }, holder, error);
    }
    if (!annots.isArray() && !annots.isNull())
        return fail(error, QObject::tr("Список аннотаций первой страницы PDF повреждён."));
    return rewritten(file, pdf, page, [&](const QByteArray& dictionary) { return withWidget(dictionary, widget); },
                     holder, error);
}

// The catalog, when it can take the signature's form; else the reason.
bool signableCatalog(QPDF& pdf, QPDFObjectHandle* root, QString* error)
{
    QPDFObjectHandle reference = pdf.getTrailer().getKey("/Root");
    if (!reference.isIndirect() || reference.getObjectID() > kLargestObjectNumber)
        return fail(error, QObject::tr("В trailer PDF не найдены /Root или /Size."));
    if (reference.isNull()) {
        // Listed but read as nothing: the object is there and damaged.
        if (pdf.getXRefTable().count(reference.getObjGen()) > 0)
            return fail(error, QObject::tr("Не удалось прочитать словарь каталога PDF."));
        return fail(error, QObject::tr("Не найден объект каталога PDF %1 %2 obj.")
                               .arg(reference.getObjectID())
                               .arg(reference.getGeneration()));
    }
    if (!reference.isDictionary())
        return fail(error, QObject::tr("Каталог PDF не является словарём."));
    // Any /AcroForm entry counts, even one naming an object that is gone.
    if (reference.getDictAsMap().count("/AcroForm") > 0)
        return fail(error, QObject::tr("PDF уже содержит AcroForm. Встроенная подпись для таких PDF будет добавлена "
                                       "отдельным этапом."));
    *root = reference;
    return true;
}

// /Root, and /Info and /ID as the source's trailer has them.
QByteArray trailerEntries(QPDF& pdf, QPDFObjectHandle root)
{
    QPDFObjectHandle trailer = pdf.getTrailer();
    QByteArray entries = "/Root " + reference(root.getObjectID(), root.getGeneration());
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (info.isIndirect() || info.isDictionary())
        entries += " /Info " + text(info.unparse());
    QPDFObjectHandle id = trailer.getKey("/ID");
    if (id.isArray())
        entries += " /ID " + text(id.unparseResolved());
    return entries;
}

bool planUpdate(const SplicedFile& file, QPDF& pdf, const QString& signer, UpdatePlan* plan,
                PdfSignatureShell* shell, QString* error)
{
    QPDFObjectHandle root;
    if (!signableCatalog(pdf, &root, error))
        return false;
    // Every page read first: a cross-reference table qpdf has to rebuild is
    // rebuilt before the new numbers are chosen.
    shell->pageDigests = pageDigests(pdf);
    // A file qpdf had to mend reads differently in other readers: the
    // signature would vouch for a document they do not show.
    if (!readWithoutRepair(pdf))
        return fail(error, damagedText());
    const int n = firstFreeNumber(pdf);
    if (n + 1 > kLargestObjectNumber)
        return fail(error, QObject::tr("В PDF слишком много объектов для встроенной подписи."));
    if (pdf.getAllPages().empty())
        return fail(error, QObject::tr("В PDF нет страниц, подпись некуда поместить."));
    QPDFObjectHandle page = widgetPage(pdf);
    UpdateObject holder;
    if (!page.isNull() && !widgetHolder(file, pdf, page, n + 1, &holder, error))
        return false;
    UpdateObject catalog;
    const QByteArray form = "/AcroForm << /SigFlags 3 /Fields [" + reference(n + 1, 0) + "] >>";
    if (!rewritten(file, pdf, root, [&](const QByteArray& body) { return withEntries(body, form); }, &catalog, error))
        return false;
    if (!page.isNull() && holder.number == catalog.number)
        return fail(error, QObject::tr("Список аннотаций первой страницы PDF повреждён."));

    // With no page of its own object, the widget stays off the pages.
    const QByteArray onPage =
        page.isNull() ? QByteArray() : " /P " + reference(page.getObjectID(), page.getGeneration());
    const QByteArray field = "<< /Type /Annot /Subtype /Widget /FT /Sig /T "
        + pdfLiteralString(QStringLiteral("VornSignature") + QString::number(n)) + " /V " + reference(n, 0)
        + " /F " + QByteArray::number(kWidgetFlags) + " /Rect [0 0 0 0]" + onPage + " >>";
    plan->objects = {{n, 0, signatureDictionary(signer)}, {n + 1, 0, field}, catalog};
    if (!page.isNull())
        plan->objects << holder;
    plan->size = n + 2;
    plan->trailerEntries = trailerEntries(pdf, root);

    shell->keptObjects.clear();
    for (const auto& [objectGeneration, entry] : pdf.getXRefTable()) {
        const QPair<int, int> key(objectGeneration.getObj(), objectGeneration.getGen());
        const bool replaced = key == qMakePair(catalog.number, catalog.generation)
            || (!page.isNull() && key == qMakePair(holder.number, holder.generation));
        if (!replaced)
            shell->keptObjects.insert(key, entryText(entry));
    }
    return true;
}

// Whether a page's content names an object the file does not hold (freed
// by an update, or lost): qpdf reads it as nothing, other readers rebuild
// the file and find the old stream.
bool contentMissing(QPDF& pdf)
{
    for (QPDFObjectHandle page : pdf.getAllPages()) {
        QPDFObjectHandle contents = page.getKey("/Contents");
        std::vector<QPDFObjectHandle> streams =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        for (QPDFObjectHandle& stream : streams) {
            if (stream.isIndirect() && !stream.isStream())
                return true;
        }
    }
    return false;
}

// Whether a note of qpdf's tells of damage that changes what readers show:
// a rebuilt cross-reference table, a recovered stream length, an object not
// found where the table says or another one there. Other notes (a repeated
// key, a stray "#" in a name, white space around "stream" or "xref", a
// direct page, an empty object) leave every reader's view as it was.
bool changesWhatReadersShow(const std::string& detail)
{
    static const char* const kDamage[] = {"file is damaged", "reconstruct cross-reference table", "stream length",
                                          "not found", "expected n n obj", "object has offset 0"};
    static const QRegularExpression otherObject(QStringLiteral("^expected \\d+ \\d+ obj$"));
    for (const char* damage : kDamage) {
        if (detail.find(damage) != std::string::npos)
            return true;
    }
    return otherObject.match(QString::fromStdString(detail)).hasMatch();
}

// Whether qpdf read every listed object without mending anything. Each is
// read, so damage off the pages (a font, an annotation) counts too; the
// table is copied, as a rebuild while reading replaces it.
bool readWithoutRepair(QPDF& pdf)
{
    const std::map<QPDFObjGen, QPDFXRefEntry> table = pdf.getXRefTable();
    for (const auto& [objectGeneration, entry] : table) {
        if (entry.getType() != 0)
            pdf.getObject(objectGeneration).getTypeCode();
    }
    for (const QPDFExc& warning : pdf.getWarnings()) {
        if (changesWhatReadersShow(warning.getMessageDetail()))
            return false;
    }
    return !contentMissing(pdf);
}

// The cross-reference section of the update: one subsection per run of
// consecutive numbers, in ascending order.
QByteArray xrefSection(QList<UpdateObject> objects)
{
    std::stable_sort(objects.begin(), objects.end(),
                     [](const UpdateObject& a, const UpdateObject& b) { return a.number < b.number; });
    QByteArray section = "xref\n";
    for (qsizetype first = 0; first < objects.size();) {
        qsizetype last = first;
        while (last + 1 < objects.size() && objects.at(last + 1).number == objects.at(last).number + 1)
            ++last;
        section += QByteArray::number(objects.at(first).number) + ' ' + QByteArray::number(last - first + 1) + '\n';
        for (qsizetype at = first; at <= last; ++at)
            section += xrefEntry(objects.at(at).offset, objects.at(at).generation);
        first = last + 1;
    }
    return section;
}

// The update's bytes with the reserve and the final /ByteRange in place.
bool writeUpdate(UpdatePlan plan, qint64 sourceSize, bool endsWithNewline, PdfSignatureShell* out, QString* error)
{
    QByteArray update = endsWithNewline ? QByteArray() : QByteArray("\n");
    update.reserve(kContentsDigits + 8192);
    for (UpdateObject& object : plan.objects) {
        object.offset = sourceSize + update.size();
        update += objectText(object.number, object.generation, object.body);
    }
    const qint64 xrefAt = sourceSize + update.size();
    update += xrefSection(plan.objects) + "trailer\n<< /Size " + QByteArray::number(plan.size) + ' '
        + plan.trailerEntries + " /Prev " + QByteArray::number(plan.previous) + " >>\nstartxref\n"
        + QByteArray::number(xrefAt) + "\n%%EOF\n";

    const qint64 rangeAt = update.indexOf(byteRangePlaceholder());
    const qint64 contentsKey = rangeAt < 0 ? -1 : update.indexOf("/Contents <", rangeAt);
    if (rangeAt < 0 || contentsKey < 0)
        return fail(error, QObject::tr("Не удалось подготовить ByteRange для PDF-подписи."));
    const qint64 firstDigit = sourceSize + contentsKey + 11;
    const qint64 closingBracket = firstDigit + kContentsDigits;
    const qint64 total = sourceSize + update.size();
    if (total <= closingBracket || update.at(contentsKey + 10) != '<')
        return fail(error, QObject::tr("Не удалось найти резерв подписи в PDF."));
    const QByteArray byteRange = '[' + fixedPdfNumber(0) + ' ' + fixedPdfNumber(firstDigit - 1) + ' '
        + fixedPdfNumber(closingBracket + 1) + ' ' + fixedPdfNumber(total - (closingBracket + 1)) + ']';
    update.replace(rangeAt, byteRange.size(), byteRange);
    out->sourceSize = sourceSize;
    out->update = std::move(update);
    out->contentsOffset = firstDigit;
    out->contentsLength = kContentsDigits;
    return true;
}

// The signature dictionary of the signed file's newest field, through the
// catalog as a reader finds it.
QPDFObjectHandle signatureOf(QPDF& pdf)
{
    QPDFObjectHandle fields = pdf.getRoot().getKey("/AcroForm").getKey("/Fields");
    if (!fields.isArray() || fields.getArrayNItems() < 1)
        return QPDFObjectHandle::newNull();
    return fields.getArrayItem(fields.getArrayNItems() - 1).getKey("/V");
}

bool signatureMatches(QPDF& pdf, const SplicedFile& file, const PdfSignatureShell& shell)
{
    QPDFObjectHandle signature = signatureOf(pdf);
    QPDFObjectHandle range = signature.getKey("/ByteRange");
    QPDFObjectHandle contents = signature.getKey("/Contents");
    if (!range.isArray() || range.getArrayNItems() != 4 || !contents.isString())
        return false;
    qint64 numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        QPDFObjectHandle item = range.getArrayItem(i);
        if (!item.isInteger())
            return false;
        numbers[i] = item.getIntValue();
    }
    const qint64 after = shell.contentsOffset + shell.contentsLength + 1;
    if (numbers[0] != 0 || numbers[1] != shell.contentsOffset - 1 || numbers[2] != after
        || numbers[2] + numbers[3] != file.size())
        return false;
    const BioPtr covered = rangesBio(&file, {{numbers[0], numbers[1]}, {numbers[2], numbers[3]}});
    return covered && cmsSignatureMatches(QByteArray::fromStdString(contents.getStringValue()), covered.get())
        && !rangesBioFailed(covered.get());
}

} // namespace

QByteArray xrefEntry(qint64 offset, int generation)
{
    return QByteArray::number(offset).rightJustified(10, '0') + ' '
        + QByteArray::number(generation).rightJustified(5, '0') + " n \n";
}

QByteArray fixedPdfNumber(qint64 value)
{
    return QByteArray::number(value).rightJustified(kFixedNumberWidth, '0');
}

QByteArray pdfTextString(const QString& text)
{
    QByteArray utf16("\xFE\xFF", 2);
    for (const QChar c : text) {
        utf16 += char(c.unicode() >> 8);
        utf16 += char(c.unicode() & 0xFF);
    }
    return '<' + utf16.toHex().toUpper() + '>';
}

QByteArray pdfDateString(const QDateTime& localTime)
{
    const int offset = localTime.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    const QString zone = QStringLiteral("%1%2'%3'")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return "(D:" + localTime.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + zone.toLatin1() + ')';
}

bool preparePdfSignatureShell(QFile* source, const QString& signer, PdfSignatureShell* out, QString* error)
{
    const SplicedFile file(source, source->size(), {});
    UpdatePlan plan;
    SkippedRun skipped;
    if (!previousXref(file, &plan.previous, &skipped, error))
        return false;
    const std::unique_ptr<QPDF> pdf = parsed(file, error, skipped);
    if (!pdf)
        return false;
    PdfSignatureShell shell;
    try {
        if (!planUpdate(file, *pdf, signer, &plan, &shell, error))
            return false;
    } catch (const std::exception& e) {
        return fail(error, QObject::tr("Не удалось прочитать структуру PDF: %1").arg(QString::fromUtf8(e.what())));
    }
    char last = 0;
    const bool endsWithNewline = file.read(file.size() - 1, &last, 1) == 1 && last == '\n';
    if (!writeUpdate(std::move(plan), file.size(), endsWithNewline, &shell, error))
        return false;
    *out = std::move(shell);
    return true;
}

bool pdfReadsWithoutRepair(QFile* source)
{
    const SplicedFile file(source, source->size(), {});
    QPDF pdf;
    try {
        pdf.setSuppressWarnings(true);
        pdf.processInputSource(std::make_shared<SplicedInput>(file, SkippedRun{}));
        // As before an embedded signature: a table qpdf has to rebuild is
        // rebuilt while the pages are read.
        pageDigests(pdf);
        return readWithoutRepair(pdf);
    } catch (const std::exception&) {
        return false;
    }
}

bool checkSignedPdf(QFile* source, const PdfSignatureShell& shell, QString* error)
{
    const SplicedFile file(source, shell.sourceSize, shell.update);
    QString reason;
    const std::unique_ptr<QPDF> pdf = parsed(file, &reason);
    if (!pdf)
        return fail(error, reason);
    try {
        // Pages first, as when the source was read: a table qpdf has to
        // rebuild is rebuilt before the entries are compared.
        const QList<QByteArray> pages = pageDigests(*pdf);
        if (pages.size() != shell.pageDigests.size())
            return fail(error, QObject::tr("число страниц изменилось"));
        for (qsizetype at = 0; at < pages.size(); ++at) {
            if (pages.at(at) != shell.pageDigests.at(at))
                return fail(error, QObject::tr("содержимое страницы %1 изменилось").arg(at + 1));
        }
        const std::map<QPDFObjGen, QPDFXRefEntry> table = pdf->getXRefTable();
        for (auto kept = shell.keptObjects.constBegin(); kept != shell.keptObjects.constEnd(); ++kept) {
            const auto found = table.find(QPDFObjGen(kept.key().first, kept.key().second));
            if (found == table.end() || entryText(found->second) != kept.value())
                return fail(error, QObject::tr("объект %1 %2 заменён").arg(kept.key().first).arg(kept.key().second));
        }
        if (!signatureMatches(*pdf, file, shell))
            return fail(error, QObject::tr("подпись не сходится с документом"));
    } catch (const std::exception& e) {
        return fail(error, QObject::tr("Не удалось прочитать структуру PDF: %1").arg(QString::fromUtf8(e.what())));
    }
    return true;
}
