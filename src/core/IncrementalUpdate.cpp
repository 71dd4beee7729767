#include "IncrementalUpdate.h"

#include "ContentStreamEditor.h"
#include "ParsedObjectWriter.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <stdexcept>

namespace pdfengine {

namespace {

constexpr int kTailSearched = 4096;
constexpr int kMaxCompareDepth = 32;
constexpr double kNumberTolerance = 1e-6;

bool sameObject(QPDFObjectHandle a, QPDFObjectHandle b, int depth);

// No string or stream, which an encrypted file's key seals, in object or
// the objects written inside it.
bool holdsNothingSealed(QPDFObjectHandle object, int depth)
{
    if (depth > 0 && object.isIndirect())
        return true;  // a reference: the object is not written
    if (object.isStream() || object.isString() || depth > kMaxCompareDepth)
        return false;
    if (object.isArray()) {
        for (const QPDFObjectHandle& item : object.getArrayAsVector())
            if (!holdsNothingSealed(item, depth + 1))
                return false;
    } else if (object.isDictionary()) {
        for (const std::string& key : object.getKeys())
            if (!holdsNothingSealed(object.getKey(key), depth + 1))
                return false;
    }
    return true;
}

// Takes decoded bytes and stops the decoding at the first that differs
// from expected, or past its end.
class SameAs : public Pipeline {
public:
    explicit SameAs(const std::string& expected) : Pipeline("same", nullptr), m_expected(expected) {}
    void write(unsigned char const* data, size_t length) override
    {
        if (length > m_expected.size() - m_at ||
            !std::equal(data, data + length, reinterpret_cast<const unsigned char*>(m_expected.data()) + m_at))
            throw std::length_error("stream differs");
        m_at += length;
    }
    void finish() override {}
    bool whole() const { return m_at == m_expected.size(); }

private:
    const std::string& m_expected;
    size_t m_at = 0;
};

bool sameStreamData(QPDFObjectHandle a, QPDFObjectHandle b)
{
    const std::shared_ptr<Buffer> rawA = a.getRawStreamData();
    const std::shared_ptr<Buffer> rawB = b.getRawStreamData();
    if (rawA->getSize() == rawB->getSize() &&
        std::equal(rawA->getBuffer(), rawA->getBuffer() + rawA->getSize(), rawB->getBuffer()))
        return true;
    // Decoded no further than the editor reads content, and the second only
    // against the first: a longer or undecodable stream counts as changed
    // and is kept as it is.
    std::string dataA;
    if (!readDecodedStream(a, size_t(ContentStreamEditor::kMaxStreamBytes), &dataA))
        return false;
    try {
        SameAs sink(dataA);
        bool filtered = false;
        return b.pipeStreamData(&sink, &filtered, 0, qpdf_dl_generalized, true) && sink.whole();
    } catch (const std::exception&) {
        return false;  // differs, or not decodable
    }
}

bool sameDictionary(QPDFObjectHandle a, QPDFObjectHandle b, int depth, bool streamDict)
{
    std::set<std::string> keys = a.getKeys();
    for (const std::string& key : b.getKeys())
        keys.insert(key);
    for (const std::string& key : keys) {
        if (streamDict && (key == "/Length" || key == "/Filter" || key == "/DecodeParms" || key == "/DL"))
            continue;
        QPDFObjectHandle x = a.getKey(key), y = b.getKey(key);
        if (x.isNull() && y.isNull())
            continue;
        if (!sameObject(x, y, depth + 1))
            return false;
    }
    return true;
}

// Whether two objects of two parses of one file say the same; references
// are equal when they name the same object.
bool sameObject(QPDFObjectHandle a, QPDFObjectHandle b, int depth)
{
    if (depth > kMaxCompareDepth)
        return false;
    if (depth > 0 && (a.isIndirect() || b.isIndirect()))
        return a.isIndirect() && b.isIndirect() && a.getObjGen() == b.getObjGen();
    if (a.isNumber() && b.isNumber()) {
        const double x = a.getNumericValue(), y = b.getNumericValue();
        return std::abs(x - y) <= kNumberTolerance * std::max(1.0, std::abs(x));
    }
    if (a.getTypeCode() != b.getTypeCode())
        return false;
    if (a.isStream())
        return sameDictionary(a.getDict(), b.getDict(), depth, true) && sameStreamData(a, b);
    if (a.isDictionary())
        return sameDictionary(a, b, depth, false);
    if (a.isArray()) {
        const int n = a.getArrayNItems();
        if (n != b.getArrayNItems())
            return false;
        for (int i = 0; i < n; ++i)
            if (!sameObject(a.getArrayItem(i), b.getArrayItem(i), depth + 1))
                return false;
        return true;
    }
    return a.unparse() == b.unparse();
}

bool sameEntry(const QPDFXRefEntry& a, const QPDFXRefEntry& b)
{
    if (a.getType() != b.getType())
        return false;
    if (a.getType() == 1)
        return a.getOffset() == b.getOffset();
    return a.getType() != 2 ||
           (a.getObjStreamNumber() == b.getObjStreamNumber() && a.getObjStreamIndex() == b.getObjStreamIndex());
}

// pdfium writes every reference with generation 0. Where the file holds a
// number only at another generation, the reference meant that one: left as
// written it names an object that is not there, and qpdf drops it unseen.
// The references are mended in the parsed update, so no offset moves
// whatever the generation.
using Generations = std::map<int, int>;

// The generation each number of the file is in use at, where it is not 0.
// A number freed and used again has a higher generation, and an older
// section may still list the entry it had before.
Generations reusedGenerations(const std::map<QPDFObjGen, QPDFXRefEntry>& table)
{
    Generations generations;
    for (const auto& [id, entry] : table) {
        if (entry.getType() != 0 && id.getGen() > 0)
            generations[id.getObj()] = std::max(generations[id.getObj()], id.getGen());
    }
    return generations;
}

// The direct values of object, with every reference "N 0 R" to a number in
// use at another generation made "N g R".
void mendReferences(QPDF& pdf, QPDFObjectHandle object, const Generations& generations, int depth)
{
    if (depth > kMaxCompareDepth)
        return;
    if (object.isStream())
        object = object.getDict();
    const auto mended = [&](QPDFObjectHandle item) {
        if (!item.isIndirect()) {
            mendReferences(pdf, item, generations, depth + 1);
            return item;
        }
        const auto found = item.getGeneration() == 0 ? generations.find(item.getObjectID()) : generations.end();
        return found == generations.end() ? item : pdf.getObjectByID(found->first, found->second);
    };
    if (object.isDictionary()) {
        // With its null entries: a reference to the generation 0 that is not there reads as null.
        for (const auto& [key, value] : object.getDictAsMap())
            object.replaceKey(key, mended(value));
    } else if (object.isArray()) {
        for (int i = 0; i < object.getArrayNItems(); ++i)
            object.setArrayItem(i, mended(object.getArrayItem(i)));
    }
}

// The objects an update written after the original's `originalSize` bytes holds.
std::vector<QPDFObjGen> updatedObjects(QPDF& pdf, qint64 originalSize)
{
    std::vector<QPDFObjGen> updated;
    const std::map<QPDFObjGen, QPDFXRefEntry> table = pdf.getXRefTable();
    for (const auto& [id, entry] : table) {
        const auto stream = entry.getType() == 2 ? table.find(QPDFObjGen(entry.getObjStreamNumber(), 0)) : table.end();
        const QPDFXRefEntry& placed = stream == table.end() ? entry : stream->second;
        if (placed.getType() == 1 && placed.getOffset() >= originalSize)
            updated.push_back(id);
    }
    return updated;
}

// pdfium reads an integer past 32 bits as another (0, or its low 32 bits),
// and writes that back into every object it saves. Where pdfium's copy
// holds what it made of the original's number, the original's stands, so
// an object pdfium did not change keeps its bytes as written.
constexpr qint64 kPdfiumSmallest = -2147483648LL, kPdfiumLargest = 2147483647LL;

bool pdfiumReading(long long original, long long written)
{
    if (original >= kPdfiumSmallest && original <= kPdfiumLargest)
        return false;
    const unsigned long long magnitude = original < 0 ? 0ULL - static_cast<unsigned long long>(original)
                                                      : static_cast<unsigned long long>(original);
    const bool wraps = original > 0 && magnitude <= 0xFFFFFFFFULL;
    return written == 0 || (wraps && written == static_cast<qint32>(static_cast<quint32>(magnitude)));
}

void restoreWideNumbers(QPDFObjectHandle original, QPDFObjectHandle written, int depth)
{
    if (depth > kMaxCompareDepth || original.isIndirect() != written.isIndirect() ||
        (depth > 0 && original.isIndirect()))
        return;
    if (original.isStream() && written.isStream()) {
        restoreWideNumbers(original.getDict(), written.getDict(), depth + 1);
        return;
    }
    const auto restored = [&](QPDFObjectHandle from, QPDFObjectHandle to) {
        if (from.isInteger() && to.isInteger() && pdfiumReading(from.getIntValue(), to.getIntValue()))
            return QPDFObjectHandle::newInteger(from.getIntValue());
        restoreWideNumbers(from, to, depth + 1);
        return to;
    };
    if (original.isDictionary() && written.isDictionary()) {
        for (const std::string& key : written.getKeys())
            if (original.hasKey(key))
                written.replaceKey(key, restored(original.getKey(key), written.getKey(key)));
    } else if (original.isArray() && written.isArray() && original.getArrayNItems() == written.getArrayNItems()) {
        for (int i = 0; i < written.getArrayNItems(); ++i)
            written.setArrayItem(i, restored(original.getArrayItem(i), written.getArrayItem(i)));
    }
}

// pdfium draws an annotation that has no appearance of its own by making
// one and writing it into the annotation, which it marks so: drawing a page
// changes nothing of it, so such an annotation keeps what the file held.
bool appearanceMadeByPdfium(QPDFObjectHandle was, QPDFObjectHandle now)
{
    return was.isDictionary() && now.isDictionary() && !was.hasKey("/PDFIUM_HasGeneratedAP") &&
           now.hasKey("/PDFIUM_HasGeneratedAP");
}

// The objects object leads to, directly or through others, that are new
// (old does not hold them).
void newObjectsUnder(QPDFObjectHandle object, const std::map<QPDFObjGen, QPDFXRefEntry>& old,
                     std::set<QPDFObjGen>& found, int depth)
{
    if (depth > kMaxCompareDepth)
        return;
    if (object.isIndirect() && depth > 0) {
        if (old.count(object.getObjGen()) || !found.insert(object.getObjGen()).second)
            return;
    }
    if (object.isStream())
        object = object.getDict();
    if (object.isArray()) {
        for (const QPDFObjectHandle& item : object.getArrayAsVector())
            newObjectsUnder(item, old, found, depth + 1);
    } else if (object.isDictionary()) {
        for (const std::string& key : object.getKeys())
            newObjectsUnder(object.getKey(key), old, found, depth + 1);
    }
}

// The objects object names itself (through direct arrays and dictionaries).
void namedObjects(QPDFObjectHandle object, std::set<QPDFObjGen>& found, int depth)
{
    if (depth > kMaxCompareDepth)
        return;
    if (object.isIndirect() && depth > 0) {
        found.insert(object.getObjGen());
        return;
    }
    if (object.isStream())
        object = object.getDict();
    if (object.isArray()) {
        for (const QPDFObjectHandle& item : object.getArrayAsVector())
            namedObjects(item, found, depth + 1);
    } else if (object.isDictionary()) {
        for (const std::string& key : object.getKeys())
            namedObjects(object.getKey(key), found, depth + 1);
    }
}

void putBigEndian(QByteArray& out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

qint64 IncrementalUpdate::lastCrossReference(const QByteArray& bytes)
{
    const qsizetype from = std::max<qsizetype>(0, bytes.size() - kTailSearched);
    const qsizetype at = bytes.lastIndexOf("startxref");
    if (at < from)
        return -1;
    qsizetype i = at + 9;
    while (i < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[i])))
        ++i;
    qsizetype j = i;
    while (j < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[j])))
        ++j;
    bool ok = false;
    const qint64 offset = bytes.mid(i, j - i).toLongLong(&ok);
    return ok && offset >= 0 && offset < bytes.size() ? offset : -1;
}

bool IncrementalUpdate::append(QPDF& pdf, const QByteArray& base, const std::vector<std::pair<int, int>>& objects,
                               QByteArray* out, QString* error)
{
    const qint64 previous = lastCrossReference(base);
    if (previous < 0) {
        *error = QStringLiteral("в файле не найдена таблица ссылок");
        return false;
    }
    std::vector<std::pair<int, int>> sorted = objects;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    try {
        QPDFObjectHandle trailer = pdf.getTrailer();
        // An encrypted file takes plain objects that hold nothing its key would seal.
        const bool encrypted = trailer.hasKey("/Encrypt");
        if (encrypted && !std::all_of(sorted.begin(), sorted.end(), [&pdf](const std::pair<int, int>& id) {
                return holdsNothingSealed(pdf.getObjectByID(id.first, id.second), 0);
            })) {
            *error = QStringLiteral("файл зашифрован");
            return false;
        }
        // Streams sealed by a key of their own keep their bytes as they are.
        const bool sealed = !sealedEncryption(pdf).isNull();
        QByteArray bytes = base;
        if (!bytes.endsWith('\n'))
            bytes.append('\n');
        ParsedObjectWriter::Placed offsets;
        int size = trailer.getKey("/Size").isInteger() ? int(trailer.getKey("/Size").getIntValue()) : 0;
        for (const auto& [number, generation] : sorted) {
            QPDFObjectHandle object = pdf.getObjectByID(number, generation);
            offsets.push_back({{number, generation}, bytes.size()});
            bytes += QByteArray::number(number) + ' ' + QByteArray::number(generation) + " obj\n" +
                     ParsedObjectWriter::body(object, !sealed) + "\nendobj\n";
            size = std::max(size, number + 1);
        }
        QPDFObjectHandle tail = QPDFObjectHandle::newDictionary();
        for (const char* key : {"/Root", "/Info", "/ID"})
            if (trailer.hasKey(key))
                tail.replaceKey(key, trailer.getKey(key));
        if (sealed)
            tail.replaceKey("/Encrypt", sealedEncryption(pdf));
        else if (encrypted)
            tail.replaceKey("/Encrypt", trailer.getKey("/Encrypt"));
        tail.replaceKey("/Prev", QPDFObjectHandle::newInteger(previous));
        const qint64 xrefAt = bytes.size();
        const QByteArray head = base.mid(previous, 4);
        if (head == "xref") {
            tail.replaceKey("/Size", QPDFObjectHandle::newInteger(size));
            bytes += ParsedObjectWriter::table(offsets, false) + "trailer\n" + QByteArray::fromStdString(tail.unparse()) + '\n';
        } else {
            // A cross-reference stream naming the objects and itself.
            const int self = size;
            offsets.push_back({{self, 0}, xrefAt});
            QByteArray rows;
            std::vector<QPDFObjectHandle> index;
            for (const auto& [id, offset] : offsets) {
                rows.append(char(1));
                putBigEndian(rows, quint64(offset), 4);
                putBigEndian(rows, quint64(id.second), 2);
                index.push_back(QPDFObjectHandle::newInteger(id.first));
                index.push_back(QPDFObjectHandle::newInteger(1));
            }
            tail.replaceKey("/Type", QPDFObjectHandle::newName("/XRef"));
            tail.replaceKey("/Size", QPDFObjectHandle::newInteger(self + 1));
            tail.replaceKey("/W", QPDFObjectHandle::parse("[1 4 2]"));
            tail.replaceKey("/Index", QPDFObjectHandle::newArray(index));
            tail.replaceKey("/Length", QPDFObjectHandle::newInteger(rows.size()));
            bytes += QByteArray::number(self) + " 0 obj\n" + QByteArray::fromStdString(tail.unparse()) + "\nstream\n" +
                     rows + "\nendstream\nendobj\n";
        }
        bytes += "startxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
        *out = bytes;
    } catch (const std::exception& e) {
        *error = QString::fromUtf8(e.what()).left(200);
        return false;
    }
    return true;
}

bool IncrementalUpdate::trimmed(const QByteArray& original, const QByteArray& updated, QByteArray* out, int* changed,
                                QString* error, const std::function<bool()>& goOn)
{
    QpdfFile before, after;
    if (!before.load(original, error) || !after.load(updated, error))
        return false;
    Generations generations;
    if (!before.run([&](QPDF& pdf) { generations = reusedGenerations(pdf.getXRefTable()); }, error))
        return false;
    // An update appended to a damaged file would keep the damage.
    if (before.warningCount() > 0) {
        *error = QStringLiteral("файл повреждён");
        return false;
    }
    const bool read = after.run([&](QPDF& pdf) {
        for (const QPDFObjGen& id : updatedObjects(pdf, original.size())) {
            QPDFObjectHandle object = pdf.getObjectByObjGen(id);
            if (!generations.empty())
                mendReferences(pdf, object, generations, 0);
            const auto reused = id.getGen() == 0 ? generations.find(id.getObj()) : generations.end();
            const QPDFObjGen source = reused == generations.end() ? id : QPDFObjGen(id.getObj(), reused->second);
            QPDFObjectHandle was = before.pdf().getObjectByObjGen(source);
            if (!was.isNull())
                restoreWideNumbers(was, object, 0);
        }
        if (!generations.empty())
            mendReferences(pdf, pdf.getTrailer(), generations, 0);
    }, error);
    if (!read)
        return false;
    std::vector<std::pair<int, int>> kept;
    const bool compared = after.run([&](QPDF& pdf) {
        const std::map<QPDFObjGen, QPDFXRefEntry> old = before.pdf().getXRefTable();
        // What pdfium made to draw annotations is left out, unless something written names it.
        std::set<QPDFObjGen> drawnOnly, madeToDraw;
        for (const auto& [id, entry] : pdf.getXRefTable()) {
            QPDFObjectHandle now = pdf.getObjectByObjGen(id);
            if (old.count(id) && appearanceMadeByPdfium(before.pdf().getObjectByObjGen(id), now)) {
                drawnOnly.insert(id);
                newObjectsUnder(now, old, madeToDraw, 0);
            }
        }
        for (const auto& [id, entry] : pdf.getXRefTable()) {
            if (goOn && !goOn())
                throw std::runtime_error("comparison stopped");
            // pdfium's own copy of an object it knows by number only: it
            // stands for the generation in use.
            const auto reused = id.getGen() == 0 ? generations.find(id.getObj()) : generations.end();
            if (reused != generations.end() && entry.getType() == 1 && entry.getOffset() >= original.size()) {
                const QPDFObjGen meant(id.getObj(), reused->second);
                if (!sameObject(before.pdf().getObjectByObjGen(meant), pdf.getObjectByObjGen(id), 0)) {
                    pdf.swapObjects(id, meant);
                    kept.push_back({meant.getObj(), meant.getGen()});
                }
                continue;
            }
            const auto known = old.find(id);
            if (known != old.end() && sameEntry(known->second, entry))
                continue;
            if (drawnOnly.count(id))
                continue;
            QPDFObjectHandle now = pdf.getObjectByObjGen(id);
            if (known != old.end() && sameObject(before.pdf().getObjectByObjGen(id), now, 0))
                continue;
            if (now.isNull())
                continue;
            // The update's own cross-reference and object streams are not content.
            if (now.isStream() && (now.getDict().getKey("/Type").isNameAndEquals("/XRef") ||
                                   now.getDict().getKey("/Type").isNameAndEquals("/ObjStm")))
                continue;
            kept.push_back({id.getObj(), id.getGen()});
        }
        if (madeToDraw.empty())
            return;
        std::set<QPDFObjGen> named;
        namedObjects(pdf.getTrailer(), named, 0);
        for (const auto& [number, generation] : kept)
            if (!madeToDraw.count(QPDFObjGen(number, generation)))
                namedObjects(pdf.getObjectByID(number, generation), named, 0);
        kept.erase(std::remove_if(kept.begin(), kept.end(), [&](const std::pair<int, int>& id) {
                       const QPDFObjGen object(id.first, id.second);
                       return madeToDraw.count(object) && !named.count(object);
                   }), kept.end());
    }, error);
    if (!compared)
        return false;
    *changed = int(kept.size());
    if (kept.empty()) {
        *out = original;
        return true;
    }
    return append(after.pdf(), original, kept, out, error);
}

}  // namespace pdfengine
