#include "SavedFileCheck.h"

#include "KeptGlyphs.h"
#include "MovedBoxCheck.h"
#include "PageGlyphRemoval.h"
#include "PageResourceNames.h"
#include "PageOwnContent.h"
#include "PageRemovalTrial.h"
#include "PdfEngineInternal.h"
#include "PdfPageTransform.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QCryptographicHash>
#include <QDebug>
#include <QLineF>
#include <QMutex>
#include <QRegularExpression>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <set>

namespace pdfengine {

namespace {

QMutex s_faultMutex;
std::function<void(QByteArray&)> s_fault;

// Resource trees nest this deep at most before the check calls them unsound.
constexpr int kMaxObjectDepth = 64;

QString unreadableText(const QString& detail)
{
    return QStringLiteral("Записанный файл не читается другими программами: %1").arg(detail);
}

// qpdf's own message goes to the log; the reason shown is the program's.
QString unreadableByQpdf(const QString& message)
{
    qWarning().noquote() << "qpdf:" << message.left(300);
    return unreadableText(QStringLiteral("его объекты не читаются."));
}

QString untouchedChangedText(int page)
{
    return QStringLiteral("Страница %1 записанного файла отличается от исходной, хотя её не правили.").arg(page + 1);
}

QString lostResourceText(int page, const QString& name)
{
    return QStringLiteral("Содержимое страницы %1 записанного файла ссылается на ресурс %2, которого в нём нет.")
        .arg(page + 1)
        .arg(name);
}

QString missingTextText(int page, const QString& text)
{
    return QStringLiteral("На странице %1 записанного файла не читается записанный текст «%2».").arg(page + 1).arg(text);
}

QString changedOutsideText(int page)
{
    return QStringLiteral("Страница %1 записанного файла изменилась вне правки.").arg(page + 1);
}

QString movedChangedText(int page)
{
    return QStringLiteral("На странице %1 записанного файла перенесённый текст выглядит не так, как до переноса.")
        .arg(page + 1);
}

QString keptWordChangedText(int page, const QString& word)
{
    return QStringLiteral("На странице %1 записанного файла слово «%2», оставленное в исправленной строке, выглядит не так, как до правки.")
        .arg(page + 1)
        .arg(word);
}

QString uncheckedText(int page, const QString& reason)
{
    return QStringLiteral("Страницу %1 записанного файла не удалось проверить: %2.").arg(page + 1).arg(reason);
}

QString otherGlyphText(int page, const QString& letter)
{
    return QStringLiteral("На странице %1 записанного файла буква «%2» нарисована не тем знаком шрифта, что на исходной странице.")
        .arg(page + 1)
        .arg(letter);
}

QString deletedLeftText(int page, const QString& text)
{
    return QStringLiteral("На странице %1 записанного файла остался удалённый текст «%2».").arg(page + 1).arg(text);
}

QString copyUnreadableText()
{
    return QStringLiteral("Страницы файла не удалось перенести: их копия не читается другими программами.");
}

class HashSink : public Pipeline {
public:
    explicit HashSink(QCryptographicHash& hash) : Pipeline("hash", nullptr), m_hash(hash) {}
    void write(unsigned char const* data, size_t length) override
    {
        m_hash.addData(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(length)));
    }
    void finish() override {}

private:
    QCryptographicHash& m_hash;
};

// Digests of what a page draws: its decoded content, and every object its
// resources reach, followed through references and remembered per object
// (fonts and pictures are shared by many pages). Numbers are digested by
// value and streams by their decoded data, so a writer that spells them
// another way changes no digest.
class PageDigests {
public:
    // Pictures encoded anew on purpose digest as pictures only.
    explicit PageDigests(bool picturesByKind = false) : m_picturesByKind(picturesByKind) {}

    QByteArray content(QPDFObjectHandle page) const
    {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        HashSink sink(hash);
        QPDFPageObjectHelper(page).pipeContents(&sink);
        return hash.result();
    }

    // The content streams as stored: their filters and undecoded bytes. A
    // writer that kept them needs no decoding to show it.
    QByteArray storedContent(QPDFObjectHandle page) const
    {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        HashSink sink(hash);
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(page).getPageContents()) {
            if (!stream.isStream())
                continue;
            QPDFObjectHandle dict = stream.getDict();
            const std::string coding = dict.getKey("/Filter").unparseResolved() + dict.getKey("/DecodeParms").unparseResolved();
            hash.addData(QByteArrayView(coding.data(), qsizetype(coding.size())));
            bool filtered = false;
            if (!stream.pipeStreamData(&sink, &filtered, 0, qpdf_dl_none))
                return QByteArray();
        }
        return hash.result();
    }

    QByteArray of(QPDFObjectHandle object)
    {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        add(object, hash, 0);
        return hash.result();
    }

private:
    void add(QPDFObjectHandle object, QCryptographicHash& hash, int depth)
    {
        if (depth > kMaxObjectDepth)
            throw std::runtime_error("resources nest too deep");
        // An annotation's page, or the one a link leads to: a page as such,
        // which the user may have edited or left behind.
        if (object.isIndirect() && object.isDictionary() && object.getKey("/Type").isNameAndEquals("/Page")) {
            hash.addData("page");
            return;
        }
        if (object.isIndirect()) {
            hash.addData(indirect(object, depth));
            return;
        }
        direct(object, hash, depth);
    }

    QByteArray indirect(QPDFObjectHandle object, int depth)
    {
        const QPDFObjGen id = object.getObjGen();
        if (const auto known = m_known.find(id); known != m_known.end())
            return known->second;
        if (!m_open.insert(id).second)
            return QByteArrayLiteral("loop");
        QCryptographicHash hash(QCryptographicHash::Sha1);
        direct(object, hash, depth + 1);
        m_open.erase(id);
        return m_known[id] = hash.result();
    }

    void direct(QPDFObjectHandle object, QCryptographicHash& hash, int depth)
    {
        const auto text = [&hash](const std::string& s) { hash.addData(QByteArrayView(s.data(), qsizetype(s.size()))); };
        if (object.isBool())
            text(object.getBoolValue() ? "T" : "F");
        else if (object.isInteger() || object.isReal())
            hash.addData(QByteArray::number(object.getNumericValue(), 'g', 6).prepend('#'));
        else if (object.isName())
            text("/" + object.getName());
        else if (object.isString())
            text("(" + object.getStringValue() + ")");
        else if (object.isArray()) {
            text("[");
            for (const QPDFObjectHandle& item : object.getArrayAsVector())
                add(item, hash, depth + 1);
            text("]");
        } else if (object.isDictionary() || object.isStream()) {
            dictionary(object, hash, depth);
        } else {
            text("null");
        }
    }

    // A stream's data decoded where a general filter allows (pictures keep
    // their own coding); its /Length, and the filters it was decoded from,
    // are the writer's business.
    void dictionary(QPDFObjectHandle object, QCryptographicHash& hash, int depth)
    {
        if (m_picturesByKind && object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Image")) {
            hash.addData("picture");
            return;
        }
        bool decoded = false;
        if (object.isStream()) {
            QCryptographicHash data(QCryptographicHash::Sha1);
            HashSink sink(data);
            object.pipeStreamData(&sink, &decoded, 0, qpdf_dl_generalized, false, false);
            hash.addData(data.result());
        }
        QPDFObjectHandle dict = object.isStream() ? object.getDict() : object;
        hash.addData("<<");
        for (const std::string& key : dict.getKeys()) {
            // /Parent climbs to the page tree, which the user may reorder.
            if (key == "/Parent" || (object.isStream() && (key == "/Length" || (decoded && (key == "/Filter" ||
                                                                                            key == "/DecodeParms")))))
                continue;
            hash.addData(QByteArrayView(key.data(), qsizetype(key.size())));
            add(dict.getKey(key), hash, depth + 1);
        }
        hash.addData(">>");
    }

    const bool m_picturesByKind;
    std::map<QPDFObjGen, QByteArray> m_known;
    std::set<QPDFObjGen> m_open;
};

// A page's resources, one digest per name in each category (a category
// that is no dictionary, /ProcSet, one for all): a writer may add a
// resource to a dictionary the page inherits, which changes nothing it draws.
std::map<std::string, QByteArray> resourceDigests(QPDFObjectHandle page, PageDigests& digests)
{
    std::map<std::string, QByteArray> found;
    QPDFObjectHandle resources = QPDFPageObjectHelper(page).getAttribute("/Resources", false);
    if (!resources.isDictionary())
        return found;
    for (const std::string& category : resources.getKeys()) {
        QPDFObjectHandle names = resources.getKey(category);
        if (!names.isDictionary()) {
            found[category] = digests.of(names);
            continue;
        }
        for (const std::string& name : names.getKeys())
            found[category + ' ' + name] = digests.of(names.getKey(name));
    }
    return found;
}

// The first resource of the source page the written page lacks or holds
// otherwise ("/Font /F1"); empty when it keeps them all.
std::string changedResource(const std::map<std::string, QByteArray>& written,
                            const std::map<std::string, QByteArray>& source)
{
    for (const auto& [name, digest] : source) {
        const auto found = written.find(name);
        if (found == written.end() || found->second != digest)
            return name;
    }
    return std::string();
}

// A page's annotations as they draw, in order: each one's kind, place,
// flags, layer and appearance, and the file it carries. A widget's
// appearance is left out: a form merged into another has its resource
// names renamed, and its fields are proved apart.
std::vector<QByteArray> annotationDigests(QPDFObjectHandle page, PageDigests& digests)
{
    std::vector<QByteArray> found;
    QPDFObjectHandle annots = page.getKey("/Annots");
    for (QPDFObjectHandle annot : annots.isArray() ? annots.getArrayAsVector() : std::vector<QPDFObjectHandle>()) {
        if (!annot.isDictionary())
            continue;
        const bool widget = annot.getKey("/Subtype").isNameAndEquals("/Widget");
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const char* key : {"/Subtype", "/Rect", "/F", "/OC", "/FS", "/AP"})
            if (!widget || std::string(key) != "/AP")
                hash.addData(digests.of(annot.getKey(key)));
        found.push_back(hash.result());
    }
    return found;
}

// What a page written again lost of its source page, which nobody changed.
struct UntouchedLoss {
    enum Kind { None, Content, Resource, Annotations } kind = None;
    std::string resource;  // for Resource: which one
};

// The written page against its source page: its content (stored alike, or
// decoded alike), every resource of the source and its annotations. A
// source page qpdf cannot read proves nothing either way (None).
UntouchedLoss untouchedLoss(QPDFObjectHandle to, QPDFObjectHandle from, PageDigests& writtenDigests,
                            PageDigests& sourceDigests)
{
    if (!from.isDictionary())
        return {};
    std::map<std::string, QByteArray> sourceResources;
    QByteArray sourceStored;
    std::vector<QByteArray> sourceAnnotations;
    try {
        sourceStored = sourceDigests.storedContent(from);
        sourceResources = resourceDigests(from, sourceDigests);
        sourceAnnotations = annotationDigests(from, sourceDigests);
    } catch (const std::exception&) {
        return {};
    }
    // Stored alike, drawn alike; stored otherwise, the decoded content decides.
    bool sameContent = !sourceStored.isEmpty() && writtenDigests.storedContent(to) == sourceStored;
    if (!sameContent) {
        QByteArray sourceContent;
        try {
            sourceContent = sourceDigests.content(from);
        } catch (const std::exception&) {
            return {};
        }
        sameContent = writtenDigests.content(to) == sourceContent;
    }
    if (!sameContent)
        return {UntouchedLoss::Content, {}};
    if (const std::string lost = changedResource(resourceDigests(to, writtenDigests), sourceResources); !lost.empty())
        return {UntouchedLoss::Resource, lost};
    if (annotationDigests(to, writtenDigests) != sourceAnnotations)
        return {UntouchedLoss::Annotations, {}};
    return {};
}

// Why a page of another file is not put in: what its copy lost.
QString copyLossText(int sourcePage, const UntouchedLoss& loss)
{
    switch (loss.kind) {
    case UntouchedLoss::Resource: {
        const QString name = QString::fromStdString(loss.resource);
        return QStringLiteral("Страница %1 файла при переносе теряет ресурс %2; страницы не вставлены.")
            .arg(sourcePage + 1)
            .arg(name.mid(name.indexOf(QLatin1Char(' ')) + 1));
    }
    case UntouchedLoss::Annotations:
        return QStringLiteral("Страница %1 файла при переносе меняет свои аннотации; страницы не вставлены.")
            .arg(sourcePage + 1);
    case UntouchedLoss::Content:
    case UntouchedLoss::None:
        break;
    }
    return QStringLiteral("Страница %1 файла при переносе меняет своё содержимое; страницы не вставлены.")
        .arg(sourcePage + 1);
}

// A name the written page's content or a form it draws looks up in the
// page's resources that they lack, unless the source page lacked it too;
// empty when there is none.
QString lostResource(QPDFObjectHandle written, QPDFObjectHandle* source)
{
    const std::set<ResourceName> missing = unresolvedNames(written, pageResourceUse(written).used);
    for (const ResourceName& name : missing)
        if (!source || unresolvedNames(*source, {name}).empty())
            return QString::fromStdString(name.second);
    return QString();
}

// A file pages are compared with, read once, with the digests of its objects.
struct SourceFile {
    explicit SourceFile(bool picturesByKind) : digests(picturesByKind) {}
    QpdfFile file;
    std::vector<QPDFObjectHandle> pages;
    PageDigests digests;
};

// The files a check compares pages with: the source and the files put-in
// pages came from, each read on first need; one that qpdf cannot read
// proves nothing.
class SourceFiles {
public:
    // picturesByKind: pictures digest as pictures only.
    explicit SourceFiles(const QByteArray& source, bool picturesByKind = false)
        : m_source(source), m_picturesByKind(picturesByKind)
    {
    }
    bool picturesByKind() const { return m_picturesByKind; }

    SourceFile* of(const QByteArray* bytes)
    {
        if (!bytes || bytes->isEmpty())
            return nullptr;
        std::unique_ptr<SourceFile>& known = m_files[bytes];
        if (!known) {
            known = std::make_unique<SourceFile>(m_picturesByKind);
            if (!known->file.load(*bytes, nullptr) ||
                !known->file.run([&](QPDF& pdf) { known->pages = pdf.getAllPages(); }, nullptr))
                known->pages.clear();
        }
        return known->file.isLoaded() ? known.get() : nullptr;
    }
    SourceFile* of(const SavedPage& page) { return of(page.from ? page.from : &m_source); }
    // The source page a page shows; null when it shows none that reads.
    QPDFObjectHandle pageOf(const SavedPage& page)
    {
        SourceFile* file = of(page);
        return file && page.source >= 0 && size_t(page.source) < file->pages.size() ? file->pages[size_t(page.source)]
                                                                                       : QPDFObjectHandle();
    }
    // The files put-in pages came from, as read.
    std::vector<QpdfFile*> putInFiles(const std::vector<SavedPage>& pages)
    {
        std::vector<QpdfFile*> files;
        std::set<const QByteArray*> seen;
        for (const SavedPage& page : pages)
            if (page.from && seen.insert(page.from).second)
                if (SourceFile* file = of(page.from))
                    files.push_back(&file->file);
        return files;
    }

private:
    const QByteArray& m_source;
    const bool m_picturesByKind;
    std::map<const QByteArray*, std::unique_ptr<SourceFile>> m_files;
};

// The written file's pages against the pages they show, as qpdf reads both.
// An untouched page is held to its annotations as well.
QString comparePages(QPDF& written, SourceFiles& sources, const std::vector<SavedPage>& pages)
{
    const std::vector<QPDFObjectHandle> writtenPages = written.getAllPages();
    PageDigests writtenDigests(sources.picturesByKind());
    for (size_t index = 0; index < pages.size() && index < writtenPages.size(); ++index) {
        const SavedPage& page = pages[index];
        QPDFObjectHandle from = sources.pageOf(page);
        const bool known = from.isInitialized();
        if (!known && !page.edit)
            continue;
        if (page.edit) {
            const QString lost = lostResource(writtenPages[index], known ? &from : nullptr);
            if (!lost.isEmpty())
                return lostResourceText(int(index), lost);
            continue;
        }
        const UntouchedLoss loss =
            untouchedLoss(writtenPages[index], from, writtenDigests, sources.of(page)->digests);
        if (loss.kind != UntouchedLoss::None)
            return untouchedChangedText(int(index));
    }
    return QString();
}

QString attachmentsChangedText()
{
    return QStringLiteral("Вложенные файлы записанного файла отличаются от исходных.");
}

QString encryptionChangedText()
{
    return QStringLiteral("Шифрование записанного файла отличается от исходного.");
}

// Attached files read no further than this to be compared decoded.
constexpr size_t kMaxAttachmentCompared = size_t(256) * 1024 * 1024;

// An attached file as stored: its dictionary bar /Length and its bytes; with
// its number and generation where it is sealed (its key is made of them).
QByteArray storedDigest(QPDFObjectHandle stream, bool withNumber)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (withNumber)
        hash.addData(QByteArray::fromStdString(stream.getObjGen().unparse(' ')));
    QPDFObjectHandle dict = stream.getDict();
    for (const std::string& key : dict.getKeys()) {
        if (key != "/Length")
            hash.addData(QByteArray::fromStdString(key + dict.getKey(key).unparseResolved()));
    }
    const std::shared_ptr<Buffer> raw = stream.getRawStreamData();
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(raw->getBuffer()), qsizetype(raw->getSize())));
    return hash.result();
}

// The same decoded, which a writer may pack otherwise; empty where it does not decode.
QByteArray decodedDigest(QPDFObjectHandle stream)
{
    std::string data;
    if (!readDecodedStream(stream, kMaxAttachmentCompared, &data))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QPDFObjectHandle dict = stream.getDict();
    for (const std::string& key : dict.getKeys()) {
        if (key != "/Length" && key != "/Filter" && key != "/DecodeParms" && key != "/DL")
            hash.addData(QByteArray::fromStdString(key + dict.getKey(key).unparseResolved()));
    }
    hash.addData(QByteArrayView(data.data(), qsizetype(data.size())));
    return hash.result();
}

// Every embedded file stream of the file, and those its catalog names by name.
struct AttachedFiles {
    std::vector<QPDFObjectHandle> streams;
    std::map<std::string, std::vector<QPDFObjectHandle>> named;

    explicit AttachedFiles(QPDF& pdf)
    {
        for (QPDFObjectHandle object : pdf.getAllObjects()) {
            if (object.isStream() && object.getDict().getKey("/Type").isNameAndEquals("/EmbeddedFile"))
                streams.push_back(object);
        }
        for (const auto& [name, fileEntry] : QPDFEmbeddedFileDocumentHelper(pdf).getEmbeddedFiles()) {
            QPDFObjectHandle files = fileEntry->getEmbeddedFileStreams();
            for (const std::string& key : files.isDictionary() ? files.getKeys() : std::set<std::string>())
                if (files.getKey(key).isStream())
                    named[name].push_back(files.getKey(key));
        }
    }
};

// Whether a written attached file is the source's: stored alike, or, unless
// sealed, decoded alike.
bool sameAttachment(QPDFObjectHandle written, QPDFObjectHandle source, bool sealed)
{
    if (storedDigest(written, sealed) == storedDigest(source, sealed))
        return true;
    if (sealed)
        return false;
    const QByteArray decoded = decodedDigest(written);
    return !decoded.isEmpty() && decoded == decodedDigest(source);
}

QPDFObjectHandle encryptionOf(QpdfFile& file)
{
    return file.attachmentsSealed() ? sealedEncryption(file.pdf()) : file.pdf().getTrailer().getKey("/Encrypt");
}

// The encryption dictionary as text, its /P as the 32 bits of permissions it
// stands for: writers spell them as a negative number or as the positive
// one of the same bits.
std::string encryptionText(QPDFObjectHandle encryption)
{
    if (!encryption.isDictionary())
        return encryption.unparseResolved();
    std::string text;
    for (const std::string& key : encryption.getKeys()) {
        QPDFObjectHandle value = encryption.getKey(key);
        text += key + ' ';
        if (key == "/P" && value.isInteger())
            text += std::to_string(std::int32_t(std::uint32_t(value.getIntValue())));
        else
            text += value.unparseResolved();
        text += '\n';
    }
    return text;
}

QByteArray firstId(QPDF& pdf)
{
    QPDFObjectHandle id = pdf.getTrailer().getKey("/ID");
    return id.isArray() && id.getArrayNItems() > 0 && id.getArrayItem(0).isString()
               ? QByteArray::fromStdString(id.getArrayItem(0).getStringValue())
               : QByteArray();
}

// The written file's attached files and encryption against the source's:
// every attached file it holds is one of the source's or came with a page
// put in from one of putIn, every one the source's catalog names is there,
// and its encryption is the source's.
QString compareAttachedFiles(QpdfFile& written, QpdfFile& source, const std::vector<QpdfFile*>& putIn)
{
    QPDFObjectHandle encryption = encryptionOf(source);
    if (encryptionText(encryptionOf(written)) != encryptionText(encryption) ||
        (!encryption.isNull() && firstId(written.pdf()) != firstId(source.pdf())))
        return encryptionChangedText();
    const bool sealed = source.attachmentsSealed();
    const AttachedFiles now(written.pdf()), before(source.pdf());
    std::vector<AttachedFiles> brought;
    for (QpdfFile* file : putIn)
        brought.emplace_back(file->pdf());
    const auto cameWithPage = [&](const QPDFObjectHandle& stream) {
        for (size_t i = 0; i < brought.size(); ++i)
            if (std::any_of(brought[i].streams.begin(), brought[i].streams.end(), [&](const QPDFObjectHandle& was) {
                    return sameAttachment(stream, was, putIn[i]->attachmentsSealed());
                }))
                return true;
        return false;
    };
    for (const QPDFObjectHandle& stream : now.streams) {
        if (std::none_of(before.streams.begin(), before.streams.end(),
                         [&](const QPDFObjectHandle& was) { return sameAttachment(stream, was, sealed); }) &&
            !cameWithPage(stream))
            return attachmentsChangedText();
    }
    for (const auto& [name, streams] : before.named) {
        const auto kept = now.named.find(name);
        if (kept == now.named.end() || kept->second.size() != streams.size())
            return attachmentsChangedText();
        for (size_t i = 0; i < streams.size(); ++i)
            if (!sameAttachment(kept->second[i], streams[i], sealed))
                return attachmentsChangedText();
    }
    return QString();
}

// Letters and digits only: the writer breaks lines and words where it must.
QString bareText(const QString& text)
{
    QString bare;
    for (const QChar c : text)
        if (c.isLetterOrNumber())
            bare.append(c);
    return bare;
}

// What pdfium reads inside the areas of a loaded page, letters and digits only.
QString textInside(FPDF_PAGE page, const std::vector<TurnedBox>& areas)
{
    const PdfiumApi& api = pdfApi();
    TextPagePtr text(api.FPDFText_LoadPage(page));
    if (!text)
        return QString();
    const PdfPageTransform transform = pageTransformOf(page);
    QString read;
    const int count = api.FPDFText_CountChars(text.get());
    for (int i = 0; i < count; ++i) {
        double left = 0, right = 0, bottom = 0, top = 0;
        if (!api.FPDFText_GetCharBox(text.get(), i, &left, &right, &bottom, &top))
            continue;
        const QPointF centre = transform.toPage(rectFromEdges(left, top, right, bottom)).center();
        if (std::any_of(areas.begin(), areas.end(), [&](const TurnedBox& area) { return area.contains(centre); })) {
            const char32_t code = char32_t(api.FPDFText_GetUnicode(text.get(), i));
            read.append(QString::fromUcs4(&code, 1));
        }
    }
    return bareText(read);
}

// The page's own letters (not the program's) whose middles stand in one of
// the places, letters and digits only: what a deletion there left readable.
QString ownLettersInside(FPDF_PAGE page, const std::vector<TurnedBox>& places)
{
    const PdfiumApi& api = pdfApi();
    TextPagePtr text(places.empty() ? nullptr : api.FPDFText_LoadPage(page));
    if (!text)
        return QString();
    const PdfPageTransform transform = pageTransformOf(page);
    QString read;
    const int count = api.FPDFText_CountChars(text.get());
    for (int i = 0; i < count; ++i) {
        double left = 0, right = 0, bottom = 0, top = 0;
        FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(text.get(), i);
        if (!object || isOwnObject(object) || !api.FPDFText_GetCharBox(text.get(), i, &left, &right, &bottom, &top))
            continue;
        const QPointF centre = transform.toPage(rectFromEdges(left, top, right, bottom)).center();
        if (std::any_of(places.begin(), places.end(), [&](const TurnedBox& place) { return place.contains(centre); })) {
            const char32_t code = char32_t(api.FPDFText_GetUnicode(text.get(), i));
            read.append(QString::fromUcs4(&code, 1));
        }
    }
    return bareText(read);
}

// Lines only moved, drawn by poppler where they went as where they stood.
// poppler draws a page turned by its /Rotate, which the moved places do
// not take: on a turned page pdfium's check of them stands alone.
QString comparePopplerMoves(const QByteArray& bytes, const QByteArray& source, int index, const SavedPage& page)
{
    QByteArray without;
    QString reason;
    if (!PageGlyphRemoval::withoutMovedContent(bytes, index, &without, &reason))
        return uncheckedText(index, reason);
    switch (popplerMovedInk(source, page.source, bytes, index, without, page.edit->moved, &reason)) {
    case MovedInkVerdict::Alike:
        return QString();
    case MovedInkVerdict::Unlike:
        return movedChangedText(index);
    case MovedInkVerdict::Unchecked:
        break;
    }
    return uncheckedText(index, reason);
}

// A page of the check's own copy turned as it stood when it was edited,
// so that the edit's areas say where the edits stand on it. Later loads of
// the page see the turn too.
void turnAsEdited(FPDF_PAGE page, int quarterTurns)
{
    if (pdfApi().FPDFPage_GetRotation(page) != quarterTurns)
        pdfApi().FPDFPage_SetRotation(page, quarterTurns);
}

// A changed page drawn and read by pdfium, turned as when it was edited
// (a turn before or after changes no mark of it): its written texts inside
// the edited areas, and nothing changed outside them.
QString compareChangedPage(const QByteArray& bytes, const QByteArray& sourceBytes, FPDF_DOCUMENT written,
                           FPDF_DOCUMENT source, int index, const SavedPage& page)
{
    const PdfiumApi& api = pdfApi();
    const PageEdit& edit = *page.edit;
    PagePtr after(api.FPDF_LoadPage(written, index));
    if (!after)
        return changedOutsideText(index);
    bool upright = api.FPDFPage_GetRotation(after.get()) == 0;
    turnAsEdited(after.get(), edit.quarterTurns);
    std::vector<TurnedBox> places = edit.edited;
    places.insert(places.end(), edit.textBoxes.begin(), edit.textBoxes.end());
    const QString read = textInside(after.get(), places);
    // Word by word: turned and broken lines read in another order.
    for (const QString& text : edit.texts)
        for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            if (!read.contains(bareText(word)))
                return missingTextText(index, text.simplified().left(60));
    if (const QString left = ownLettersInside(after.get(), edit.deleted); !left.isEmpty())
        return deletedLeftText(index, left.left(60));
    PagePtr before(source && page.source >= 0 ? api.FPDF_LoadPage(source, page.source) : nullptr);
    if (!before || !edit.placesKnown)
        return QString();
    upright = upright && api.FPDFPage_GetRotation(before.get()) == 0;
    turnAsEdited(before.get(), edit.quarterTurns);
    const EditAreas areas{edit.edited, edit.kept, edit.cleared, edit.moved, edit.glyphsKnown, edit.taken, edit.textEdited};
    if (!pagesChangeOnlyInside(before.get(), after.get(), areas, edit.textKept && !edit.glyphsKnown))
        return changedOutsideText(index);
    if (edit.glyphsKnown && edit.textKept) {
        const KeptGlyphsVerdict glyphs = glyphsKeptAsBefore(before.get(), after.get(), edit.taken, edit.textEdited);
        if (glyphs.takenLeft)
            return deletedLeftText(index, glyphs.letters);
        if (!glyphs.kept)
            return changedOutsideText(index);
    }
    QString reason;
    if (!movedBoxesLookAsBefore(source, page.source, written, index, edit.moved, &reason))
        return movedChangedText(index);
    std::vector<MovedBox> keptPlaces;
    for (const KeptWordPlace& word : edit.keptWords)
        keptPlaces.push_back(word.place);
    if (const int unlike = keptWordUnlike(source, page.source, written, index, keptPlaces, &reason); unlike >= 0)
        return reason.isEmpty() ? keptWordChangedText(index, edit.keptWords[size_t(unlike)].text.left(60))
                                : uncheckedText(index, reason);
    if (const QString moves = upright ? comparePopplerMoves(bytes, sourceBytes, index, page) : QString();
        !moves.isEmpty())
        return moves;
    return writtenGlyphsAsPage(before.get(), after.get(), edit.cleared, &reason) ? QString()
                                                                                 : otherGlyphText(index, reason);
}

QString compareChangedPages(const QByteArray& bytes, const QByteArray& source, const std::vector<SavedPage>& pages)
{
    const auto changed = [](const SavedPage& page) { return page.edit != nullptr; };
    if (std::none_of(pages.begin(), pages.end(), changed))
        return QString();
    const PdfiumApi& api = pdfApi();
    DocumentPtr written(api.FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
    if (!written)
        return unreadableText(pdfiumErrorString());
    // Each file changed pages came from, read once (the byte buffers outlive them).
    std::map<const QByteArray*, DocumentPtr> sources;
    for (size_t index = 0; index < pages.size(); ++index) {
        if (!changed(pages[index]))
            continue;
        const QByteArray& from = pages[index].from ? *pages[index].from : source;
        DocumentPtr& before = sources[&from];
        if (!before && !from.isEmpty())
            before.reset(api.FPDF_LoadMemDocument64(from.constData(), size_t(from.size()), nullptr));
        const QString problem = compareChangedPage(bytes, from, written.get(), before.get(), int(index), pages[index]);
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

}  // namespace

void PageEdit::add(const PageEdit& later, const QStringList& blockTexts)
{
    const QString blocks = bareText(blockTexts.join(QString()));
    QStringList stay;
    std::vector<TurnedBox> stayBoxes;
    for (qsizetype i = 0; i < texts.size(); ++i)
        if (blocks.contains(bareText(texts[i]))) {
            stay << texts[i];
            stayBoxes.push_back(textBoxes[size_t(i)]);
        }
    texts = stay + later.texts;
    textBoxes = stayBoxes;
    textBoxes.insert(textBoxes.end(), later.textBoxes.begin(), later.textBoxes.end());
    edited.insert(edited.end(), later.edited.begin(), later.edited.end());
    kept.insert(kept.end(), later.kept.begin(), later.kept.end());
    cleared.insert(cleared.end(), later.cleared.begin(), later.cleared.end());
    addKeptWords(later);
    addMoves(later);
    addTaken(later);
    textEdited.insert(textEdited.end(), later.textEdited.begin(), later.textEdited.end());
    glyphsKnown = glyphsKnown || later.glyphsKnown;
    deleted.insert(deleted.end(), later.deleted.begin(), later.deleted.end());
    placesKnown = placesKnown && later.placesKnown;
    textKept = textKept && later.textKept;
    quarterTurns = later.quarterTurns;
}

QString SavedFileCheck::problem(const QByteArray& bytes, int pages)
{
    return problem(bytes, QByteArray(), std::vector<SavedPage>(size_t(std::max(pages, 0))));
}

QString SavedFileCheck::problem(const QByteArray& bytes, const QByteArray& source, const std::vector<SavedPage>& pages,
                               WrittenCopy copy)
{
    QpdfFile file;
    QString error;
    if (!file.load(bytes, &error, QStringLiteral("saved file")))
        return unreadableByQpdf(error);
    int found = -1;
    if (!file.run([&found](QPDF& pdf) { found = int(pdf.getAllPages().size()); }, &error))
        return unreadableByQpdf(error);
    // Warnings given while the cross-references and the page tree were read
    // mean qpdf had to repair what it read.
    if (const int warnings = file.damageWarningCount(); warnings > 0)
        return unreadableText(QStringLiteral("предупреждений при чтении: %1.").arg(warnings));
    if (found != int(pages.size()))
        return unreadableText(QStringLiteral("в нём %1 стр. вместо %2.").arg(found).arg(pages.size()));
    const bool picturesByKind = copy == WrittenCopy::PicturesReencoded;
    SourceFiles sources(source, picturesByKind);
    SourceFile* original = sources.of(&source);
    QString mismatch;
    if (!file.run([&](QPDF& pdf) { mismatch = comparePages(pdf, sources, pages); }, &error))
        return unreadableByQpdf(error);
    if (!mismatch.isEmpty())
        return mismatch;
    if (original && copy != WrittenCopy::Pages && !file.run([&](QPDF&) {
            mismatch = compareAttachedFiles(file, original->file, sources.putInFiles(pages));
        }, &error))
        return unreadableByQpdf(error);
    if (!mismatch.isEmpty())
        return mismatch;
    return picturesByKind ? QString() : compareChangedPages(bytes, source, pages);
}

QString SavedFileCheck::copyProblem(const QByteArray& bytes, const QByteArray& source, const std::vector<SavedPage>& pages)
{
    QpdfFile file;
    QString error;
    int found = -1;
    if (!file.load(bytes, &error, QStringLiteral("copied pages")) ||
        !file.run([&found](QPDF& pdf) { found = int(pdf.getAllPages().size()); }, &error)) {
        qWarning().noquote() << "qpdf:" << error.left(300);
        return copyUnreadableText();
    }
    if (file.damageWarningCount() > 0 || found != int(pages.size()))
        return copyUnreadableText();
    SourceFiles sources(source);
    QString mismatch;
    const bool compared = file.run([&](QPDF& pdf) {
        const std::vector<QPDFObjectHandle> copies = pdf.getAllPages();
        PageDigests copyDigests;
        for (size_t index = 0; index < pages.size() && mismatch.isEmpty(); ++index) {
            QPDFObjectHandle from = sources.pageOf(pages[index]);
            if (!from.isInitialized())
                continue;
            const UntouchedLoss loss = untouchedLoss(copies[index], from, copyDigests, sources.of(&source)->digests);
            if (loss.kind != UntouchedLoss::None)
                mismatch = copyLossText(pages[index].source, loss);
        }
    }, &error);
    if (!compared)
        return unreadableByQpdf(error);
    return mismatch;
}

void SavedFileCheck::setFaultForTests(std::function<void(QByteArray&)> fault)
{
    QMutexLocker lock(&s_faultMutex);
    s_fault = std::move(fault);
}

void SavedFileCheck::applyFaultForTests(QByteArray& bytes)
{
    QMutexLocker lock(&s_faultMutex);
    if (s_fault)
        s_fault(bytes);
}

}  // namespace pdfengine
