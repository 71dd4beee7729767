#include "PdfPageCopy.h"

#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

namespace pdfengine {

namespace {

// Objects a walk from one page visits at most; a page reaching more is
// copied by qpdf, which loses nothing of it.
constexpr int kMaxReachedObjects = 200000;

// Fields reached by following /Parent up from a widget; bounded against loops.
QPDFObjectHandle topField(QPDFObjectHandle widget)
{
    constexpr int kMaxDepth = 64;
    QPDFObjectHandle field = widget;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        QPDFObjectHandle parent = field.getKey("/Parent");
        if (!parent.isDictionary() || !parent.isIndirect())
            break;
        field = parent;
    }
    return field;
}

bool isWidget(QPDFObjectHandle annot)
{
    return annot.isDictionary() && annot.getKey("/Subtype").isNameAndEquals("/Widget");
}

// Widgets on pages that the document's form does not list are entered in it
// (and a form made when there is none), so that qpdf treats them as fields.
void registerOrphanFields(QPDF& pdf)
{
    QPDFObjectHandle root = pdf.getRoot();
    QPDFObjectHandle form = root.getKey("/AcroForm");
    std::set<QPDFObjGen> listed;
    if (form.isDictionary() && form.getKey("/Fields").isArray()) {
        for (QPDFObjectHandle field : form.getKey("/Fields").aitems())
            listed.insert(field.getObjGen());
    }
    std::vector<QPDFObjectHandle> orphans;
    for (QPDFObjectHandle page : pdf.getAllPages()) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        if (!annots.isArray())
            continue;
        for (QPDFObjectHandle annot : annots.aitems()) {
            if (!isWidget(annot) || !annot.isIndirect())
                continue;
            QPDFObjectHandle field = topField(annot);
            if (listed.insert(field.getObjGen()).second)
                orphans.push_back(field);
        }
    }
    if (orphans.empty())
        return;
    if (!form.isDictionary()) {
        form = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        root.replaceKey("/AcroForm", form);
    }
    QPDFObjectHandle fields = form.getKey("/Fields");
    if (!fields.isArray()) {
        fields = QPDFObjectHandle::newArray();
        form.replaceKey("/Fields", fields);
    }
    for (const QPDFObjectHandle& field : orphans)
        fields.appendItem(field);
}

// Walks what a page reaches, its own /Parent aside and no other page
// entered, telling visit of each dictionary (a stream's own) and array
// once. False when the walk stopped at its bound.
bool walkFrom(QPDFObjectHandle page, const std::function<void(QPDFObjectHandle container)>& visit)
{
    std::set<QPDFObjGen> seen{page.getObjGen()};
    std::vector<QPDFObjectHandle> pending;
    const auto push = [&](QPDFObjectHandle object) {
        if (!object.isIndirect() || seen.insert(object.getObjGen()).second)
            pending.push_back(object);
    };
    for (auto [key, value] : page.ditems())
        if (key != "/Parent")
            push(value);
    for (int visited = 0; !pending.empty(); ++visited) {
        if (visited >= kMaxReachedObjects)
            return false;
        QPDFObjectHandle object = pending.back();
        pending.pop_back();
        if (object.isArray()) {
            visit(object);
            for (QPDFObjectHandle item : object.aitems())
                push(item);
            continue;
        }
        if (!object.isDictionary() && !object.isStream())
            continue;
        QPDFObjectHandle dict = object.isStream() ? object.getDict() : object;
        QPDFObjectHandle type = dict.getKey("/Type");
        if (type.isNameAndEquals("/Page") || type.isNameAndEquals("/Pages"))
            continue;  // not copied with this page
        visit(dict);
        for (auto [key, value] : dict.ditems())
            push(value);
    }
    return true;
}

// What a page reaches that pdfium's import would break.
struct PageReach {
    bool widget = false;
    bool pointsBack = false;  // a /Parent, /Prev or /First pdfium leaves naming the source's objects
    bool overBound = false;
    std::set<QPDFObjGen> groups;  // optional content groups
};

PageReach reachOf(QPDFObjectHandle page)
{
    PageReach reach;
    reach.overBound = !walkFrom(page, [&reach](QPDFObjectHandle container) {
        if (!container.isDictionary())
            return;
        reach.widget = reach.widget || isWidget(container);
        for (const char* key : {"/Parent", "/Prev", "/First"})
            reach.pointsBack = reach.pointsBack || !container.getKey(key).isNull();
        if (container.isIndirect() && container.getKey("/Type").isNameAndEquals("/OCG"))
            reach.groups.insert(container.getObjGen());
    });
    return reach;
}

// References among what the pages reach named anew: each of the map's keys
// by its value.
void redirect(const std::vector<QPDFObjectHandle>& pages, const std::map<QPDFObjGen, QPDFObjectHandle>& to)
{
    if (to.empty())
        return;
    for (const QPDFObjectHandle& page : pages)
        walkFrom(page, [&to](QPDFObjectHandle container) {
            if (container.isArray()) {
                for (int i = 0; i < container.getArrayNItems(); ++i) {
                    QPDFObjectHandle item = container.getArrayItem(i);
                    if (const auto found = to.find(item.getObjGen()); item.isIndirect() && found != to.end())
                        container.setArrayItem(i, found->second);
                }
                return;
            }
            for (auto [key, value] : container.ditems())
                if (const auto found = to.find(value.getObjGen()); value.isIndirect() && found != to.end())
                    container.replaceKey(key, found->second);
        });
}

bool hasLayers(QPDF& pdf)
{
    return pdf.getRoot().getKey("/OCProperties").isDictionary();
}

// The indirect objects an entry of a configuration lists: an array of
// them, or one written without its array.
std::set<QPDFObjGen> listedIn(QPDFObjectHandle config, const char* key)
{
    std::set<QPDFObjGen> listed;
    QPDFObjectHandle value = config.isDictionary() ? config.getKey(key) : QPDFObjectHandle::newNull();
    if (value.isIndirect() && value.isDictionary())
        listed.insert(value.getObjGen());
    for (QPDFObjectHandle item : value.isArray() ? value.getArrayAsVector() : std::vector<QPDFObjectHandle>())
        if (item.isIndirect())
            listed.insert(item.getObjGen());
    return listed;
}

// The array under key of dict, made (or made of a lone item) when it is not one.
QPDFObjectHandle arrayAt(QPDFObjectHandle dict, const char* key)
{
    QPDFObjectHandle value = dict.getKey(key);
    if (value.isArray())
        return value;
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    if (value.isDictionary())
        array.appendItem(value);
    dict.replaceKey(key, array);
    return array;
}

QPDFObjectHandle dictionaryAt(QPDFObjectHandle dict, const char* key)
{
    QPDFObjectHandle value = dict.getKey(key);
    if (value.isDictionary())
        return value;
    value = QPDFObjectHandle::newDictionary();
    dict.replaceKey(key, value);
    return value;
}

// Each automatic state of the source's configuration (a layer shown on the
// screen but not printed) given to the copied groups it lists.
void carryAutoStates(QPDFObjectHandle sourceConfig, QPDFObjectHandle targetConfig,
                     const std::map<QPDFObjGen, QPDFObjectHandle>& copies)
{
    QPDFObjectHandle states = sourceConfig.getKey("/AS");
    if (!states.isArray())
        return;
    for (QPDFObjectHandle state : states.aitems()) {
        if (!state.isDictionary())
            continue;
        QPDFObjectHandle groups = QPDFObjectHandle::newArray();
        for (const QPDFObjGen& id : listedIn(state, "/OCGs"))
            if (const auto copy = copies.find(id); copy != copies.end())
                groups.appendItem(copy->second);
        if (groups.getArrayNItems() == 0)
            continue;
        QPDFObjectHandle entry = QPDFObjectHandle::newDictionary();
        entry.replaceKey("/Event", state.getKey("/Event"));
        entry.replaceKey("/Category", state.getKey("/Category").shallowCopy());
        entry.replaceKey("/OCGs", groups);
        arrayAt(targetConfig, "/AS").appendItem(entry);
    }
}

// Whether each group is shown by a configuration: its /ON and /OFF, else its base state.
class LayerStates {
public:
    explicit LayerStates(QPDFObjectHandle config)
        : m_shownByDefault(!(config.isDictionary() && config.getKey("/BaseState").isNameAndEquals("/OFF"))),
          m_on(listedIn(config, "/ON")), m_off(listedIn(config, "/OFF"))
    {
    }
    bool shown(const QPDFObjGen& group) const
    {
        return m_on.count(group) ? true : m_off.count(group) ? false : m_shownByDefault;
    }
    bool shownByDefault() const { return m_shownByDefault; }

private:
    bool m_shownByDefault;
    std::set<QPDFObjGen> m_on, m_off;
};

// The optional content groups the copied pages use, entered in target's
// optional content with the state the source's default configuration
// gives them: a layer the source hides stays hidden, whatever the target's
// own base state. Groups the source does not list stay unlisted, as
// readers show their content either way. A group the target already has,
// alike and in the same state (a page duplicated), is that group: the
// copied pages name it, and readers that tell groups apart by what they
// hold, not by their number, keep each one's state.
void carryLayers(QPDF& target, QPDF& source, const std::vector<QPDFObjectHandle>& sourcePages,
                 const std::vector<QPDFObjectHandle>& copiedPages)
{
    QPDFObjectHandle properties = source.getRoot().getKey("/OCProperties");
    if (!properties.isDictionary())
        return;
    std::set<QPDFObjGen> reached;
    for (const QPDFObjectHandle& page : sourcePages)
        reached.merge(reachOf(page).groups);
    // In the source's order, which layer panels follow.
    std::vector<QPDFObjectHandle> groups;
    QPDFObjectHandle listed = properties.getKey("/OCGs");
    for (QPDFObjectHandle group : listed.isArray() ? listed.getArrayAsVector() : std::vector<QPDFObjectHandle>())
        if (group.isIndirect() && reached.erase(group.getObjGen()))
            groups.push_back(group);
    if (groups.empty())
        return;
    QPDFObjectHandle config = properties.getKey("/D");
    const LayerStates states(config);
    const std::set<QPDFObjGen> locked = listedIn(config, "/Locked");
    const bool ordered = config.isDictionary() && config.getKey("/Order").isArray();

    QPDFObjectHandle targetProperties = dictionaryAt(target.getRoot(), "/OCProperties");
    QPDFObjectHandle targetGroups = arrayAt(targetProperties, "/OCGs");
    QPDFObjectHandle targetConfig = dictionaryAt(targetProperties, "/D");
    const LayerStates targetStates(targetConfig);
    std::map<std::string, QPDFObjectHandle> alike;  // the target's groups by what they hold and their state
    std::set<QPDFObjGen> present;
    const auto key = [](QPDFObjectHandle group, bool shown) { return group.unparseResolved() + (shown ? "+" : "-"); };
    for (QPDFObjectHandle group : targetGroups.aitems()) {
        present.insert(group.getObjGen());
        alike.try_emplace(key(group, targetStates.shown(group.getObjGen())), group);
    }
    std::map<QPDFObjGen, QPDFObjectHandle> copies, renamed;  // groups added; copies named as the target's
    for (const QPDFObjectHandle& group : groups) {
        const QPDFObjGen id = group.getObjGen();
        const bool shown = states.shown(id);
        QPDFObjectHandle copy = target.copyForeignObject(group);
        if (const auto same = alike.find(key(group, shown)); same != alike.end() && same->second.getObjGen() != copy.getObjGen()) {
            renamed[copy.getObjGen()] = same->second;
            continue;
        }
        if (!present.insert(copy.getObjGen()).second)
            continue;
        copies[id] = copy;
        targetGroups.appendItem(copy);
        if (shown != targetStates.shownByDefault())
            arrayAt(targetConfig, shown ? "/ON" : "/OFF").appendItem(copy);
        if (locked.count(id))
            arrayAt(targetConfig, "/Locked").appendItem(copy);
        if (ordered)
            arrayAt(targetConfig, "/Order").appendItem(copy);
    }
    redirect(copiedPages, renamed);
    if (config.isDictionary())
        carryAutoStates(config, targetConfig, copies);
}

std::vector<QPDFObjectHandle> pagesOf(QPDF& pdf, int pageIndex)
{
    const std::vector<QPDFObjectHandle> all = pdf.getAllPages();
    if (pageIndex >= int(all.size()))
        throw std::runtime_error("no such page in the imported file");
    if (pageIndex < 0)
        return all;
    return {all[size_t(pageIndex)]};
}

bool hasWidgets(QPDFObjectHandle page)
{
    QPDFObjectHandle annots = page.getKey("/Annots");
    if (!annots.isArray())
        return false;
    for (QPDFObjectHandle annot : annots.aitems())
        if (isWidget(annot))
            return true;
    return false;
}

// qpdf gives a page whose annotations it fixed up annotations of its own,
// but leaves the links among them (a pop-up and its note, a reply and what
// it answers) naming the annotations it copied them from: they name the
// page's own again, and each names its page.
void relinkAnnotations(QPDF& target, QPDFObjectHandle page, QPDFObjectHandle sourcePage)
{
    QPDFObjectHandle annots = page.getKey("/Annots");
    QPDFObjectHandle sourceAnnots = sourcePage.getKey("/Annots");
    if (!annots.isArray() || !sourceAnnots.isArray())
        return;
    // qpdf's fix-up keeps the source's order, passing over streams.
    std::map<QPDFObjGen, QPDFObjectHandle> own;
    int at = 0;
    for (QPDFObjectHandle annot : sourceAnnots.aitems()) {
        if (annot.isStream())
            continue;
        if (at >= annots.getArrayNItems())
            break;
        QPDFObjectHandle mine = annots.getArrayItem(at++);
        if (annot.isIndirect())
            own[target.copyForeignObject(annot).getObjGen()] = mine;
    }
    for (QPDFObjectHandle annot : annots.aitems()) {
        if (!annot.isDictionary())
            continue;
        for (const char* key : {"/Popup", "/IRT", "/Parent"}) {
            QPDFObjectHandle linked = annot.getKey(key);
            if (linked.isIndirect() && (std::string(key) != "/Parent" || !isWidget(annot)))
                if (const auto found = own.find(linked.getObjGen()); found != own.end())
                    annot.replaceKey(key, found->second);
        }
        if (annot.hasKey("/P"))
            annot.replaceKey("/P", page);
    }
}

// The source pages added to target in order, each with annotations and
// fields of its own, and their layers carried over. The first copy of a
// page without fields keeps the annotations copied with it, whose links
// among them qpdf's copy keeps whole.
void copyPages(QPDF& target, QPDF& source, const std::vector<QPDFObjectHandle>& pages)
{
    registerOrphanFields(source);
    QPDFAcroFormDocumentHelper sourceForm(source);
    registerOrphanFields(target);
    QPDFPageDocumentHelper targetPages(target);
    QPDFAcroFormDocumentHelper targetForm(target);
    std::map<QPDFObjGen, QPDFObjectHandle> copied;
    std::vector<QPDFObjectHandle> addedPages;
    for (const QPDFObjectHandle& page : pages) {
        const auto earlier = copied.find(page.getObjGen());
        if (earlier == copied.end())
            targetPages.addPage(QPDFPageObjectHelper(page), false);
        else
            targetPages.addPage(QPDFPageObjectHelper(earlier->second).shallowCopyPage(), false);
        QPDFObjectHandle added = targetPages.getAllPages().back().getObjectHandle();
        if (earlier != copied.end() || hasWidgets(page)) {
            targetForm.fixCopiedAnnotations(added, page, sourceForm);
            relinkAnnotations(target, added, page);
        }
        copied.try_emplace(page.getObjGen(), added);
        addedPages.push_back(added);
    }
    carryLayers(target, source, pages, addedPages);
}

}  // namespace

bool PdfPageCopy::needsQpdf(const QByteArray& pdf, int pageIndex)
{
    QpdfFile file;
    if (!file.load(pdf, nullptr))
        return false;
    QList<int> pages;
    bool counted = file.run([&](QPDF& qpdf) {
        const int count = int(qpdf.getAllPages().size());
        for (int page = 0; page < count; ++page)
            if (pageIndex < 0 || page == pageIndex)
                pages << page;
    }, nullptr);
    return counted && needsQpdf(file, pages);
}

bool PdfPageCopy::needsQpdf(QpdfFile& file, const QList<int>& pages)
{
    // Sealed attachments keep their seal only in the file they were sealed in.
    if (!file.isLoaded() || file.attachmentsSealed())
        return false;
    bool needed = false;
    file.run([&](QPDF& pdf) {
        const std::vector<QPDFObjectHandle> all = pdf.getAllPages();
        const bool layered = hasLayers(pdf);
        for (const int index : pages) {
            if (index < 0 || index >= int(all.size()))
                continue;
            const PageReach reach = reachOf(all[size_t(index)]);
            if (reach.widget || reach.pointsBack || reach.overBound || (layered && !reach.groups.empty())) {
                needed = true;
                return;
            }
        }
    }, nullptr);
    return needed;
}

bool PdfPageCopy::appendPages(const QByteArray& target, const QByteArray& source, int pageIndex, QByteArray* out,
                              QString* error)
{
    QpdfFile to;
    QpdfFile from;
    if (!to.load(target, error) || !from.load(source, error, QStringLiteral("imported file")))
        return false;
    const bool copied =
        from.run([&](QPDF& sourcePdf) { copyPages(to.pdf(), sourcePdf, pagesOf(sourcePdf, pageIndex)); }, error);
    return copied && to.write(out, {}, error);
}

bool PdfPageCopy::extractPages(const QByteArray& source, const QList<int>& pages, QByteArray* out, QString* error)
{
    QpdfFile from;
    if (!from.load(source, error))
        return false;
    return from.run([&](QPDF& sourcePdf) {
        const std::vector<QPDFObjectHandle> all = sourcePdf.getAllPages();
        std::vector<QPDFObjectHandle> listed;
        for (const int index : pages) {
            if (index < 0 || index >= int(all.size()))
                throw std::runtime_error("no such page in the document");
            listed.push_back(all[size_t(index)]);
        }
        QPDF target;
        target.setSuppressWarnings(true);
        target.emptyPDF();
        copyPages(target, sourcePdf, listed);
        QPDFWriter writer(target);
        writer.setOutputMemory();
        writer.write();
        const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
        *out = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
    }, error);
}

}  // namespace pdfengine
