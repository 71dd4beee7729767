#include "ParsedObjectWriter.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <exception>
#include <map>
#include <set>
#include <stdexcept>

namespace pdfengine {

namespace {

constexpr int kCompressionLevel = 6;

QByteArray zlibBytes(const QByteArray& data)
{
    return qCompress(data, kCompressionLevel).mid(4);  // qCompress puts the length in front
}

// Every object the values reach through references, by number: where a
// number is reached at two generations, the higher (the one in use). A
// reference to an object that is not there reaches nothing.
std::map<int, QPDFObjectHandle> reachedObjects(const std::vector<QPDFObjectHandle>& roots)
{
    std::map<int, QPDFObjectHandle> reached;
    std::set<QPDFObjGen> seen;
    std::vector<QPDFObjectHandle> pending = roots;
    while (!pending.empty()) {
        QPDFObjectHandle item = pending.back();
        pending.pop_back();
        if (item.isIndirect()) {
            if (!seen.insert(item.getObjGen()).second || item.isNull())
                continue;
            QPDFObjectHandle& kept = reached[item.getObjectID()];
            if (!kept.isInitialized() || kept.getGeneration() < item.getGeneration())
                kept = item;
        }
        if (item.isStream())
            item = item.getDict();
        if (item.isDictionary()) {
            for (const auto& [key, value] : item.getDictAsMap())
                pending.push_back(value);
        } else if (item.isArray()) {
            for (const QPDFObjectHandle& value : item.getArrayAsVector())
                pending.push_back(value);
        }
    }
    return reached;
}

}  // namespace

QByteArray ParsedObjectWriter::body(QPDFObjectHandle object, bool pack)
{
    if (!object.isStream())
        return QByteArray::fromStdString(object.unparseResolved());
    const std::shared_ptr<Buffer> raw = object.getRawStreamData();
    const QByteArray data(reinterpret_cast<const char*>(raw->getBuffer()), qsizetype(raw->getSize()));
    QPDFObjectHandle dict = object.getDict().shallowCopy();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    const bool packing = pack && !filter.isName() && !(filter.isArray() && filter.getArrayNItems() > 0);
    const QByteArray stored = packing ? zlibBytes(data) : data;
    if (packing) {
        dict.replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
        dict.removeKey("/DecodeParms");
        dict.removeKey("/DL");
    }
    dict.replaceKey("/Length", QPDFObjectHandle::newInteger(stored.size()));
    return QByteArray::fromStdString(dict.unparse()) + "\nstream\n" + stored + "\nendstream";
}

QByteArray ParsedObjectWriter::table(const Placed& placed, bool freeHead)
{
    QByteArray rows = freeHead ? "xref\n0 1\n0000000000 65535 f \n" : "xref\n";
    for (const auto& [id, offset] : placed)
        rows += QByteArray::number(id.first) + " 1\n" + QByteArray::number(offset).rightJustified(10, '0') + ' ' +
                QByteArray::number(id.second).rightJustified(5, '0') + " n \n";
    return rows;
}

bool ParsedObjectWriter::wholeFile(QPDF& pdf, QPDFObjectHandle encryption, QByteArray* out, QString* error,
                                   const std::function<bool(qint64)>& check)
{
    try {
        QPDFObjectHandle trailer = pdf.getTrailer();
        QPDFObjectHandle tail = QPDFObjectHandle::newDictionary();
        for (const char* key : {"/Root", "/Info", "/ID"})
            if (trailer.hasKey(key))
                tail.replaceKey(key, trailer.getKey(key));
        if (!encryption.isNull())
            tail.replaceKey("/Encrypt", encryption);
        const std::map<int, QPDFObjectHandle> reached = reachedObjects({tail});
        QByteArray bytes = "%PDF-" + QByteArray::fromStdString(pdf.getPDFVersion()) + "\n%\xE2\xE3\xCF\xD3\n";
        Placed placed;
        for (const auto& [number, object] : reached) {
            placed.push_back({{number, object.getGeneration()}, bytes.size()});
            bytes += QByteArray::number(number) + ' ' + QByteArray::number(object.getGeneration()) + " obj\n" +
                     body(object, false) + "\nendobj\n";
            if (check && !check(bytes.size()))
                throw std::runtime_error("write stopped");
        }
        const qint64 tableAt = bytes.size();
        tail.replaceKey("/Size", QPDFObjectHandle::newInteger(reached.empty() ? 1 : reached.rbegin()->first + 1));
        bytes += table(placed, true) + "trailer\n" + QByteArray::fromStdString(tail.unparse()) + "\nstartxref\n" +
                 QByteArray::number(tableAt) + "\n%%EOF\n";
        *out = bytes;
        return true;
    } catch (const std::exception& e) {
        *error = QString::fromUtf8(e.what()).left(200);
        return false;
    }
}

}  // namespace pdfengine
