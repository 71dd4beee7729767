#include "PageResourceNames.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <deque>
#include <exception>

namespace pdfengine {

namespace {

constexpr size_t kMostFormDepth = 12;
constexpr size_t kMostFormsRead = 2000;  // a page drawing more forms is read no further

QPDFObjectHandle pageResources(QPDFObjectHandle page)
{
    return QPDFPageObjectHelper(page).getAttribute("/Resources", false);
}

bool holds(QPDFObjectHandle resources, const ResourceName& name)
{
    if (!resources.isDictionary())
        return false;
    QPDFObjectHandle category = resources.getKey(name.first);
    return category.isDictionary() && !category.getKey(name.second).isNull();
}

bool isPainting(const std::string& op)
{
    static const std::set<std::string> painting{"f",  "F",  "f*", "B", "B*", "b", "b*", "S",  "s",
                                                "Tj", "TJ", "'",  "\"", "Do", "sh", "EI"};
    return painting.count(op) > 0;
}

bool isShowing(const std::string& op)
{
    return op == "Tj" || op == "TJ" || op == "'" || op == "\"";
}

// One content stream's names. Those the enclosing forms' own resources hold
// (innermost last) are theirs; the others are looked up in the page's. The
// forms it draws are kept to be read next, with the resources they see.
class NameReader : public QPDFObjectHandle::ParserCallbacks {
public:
    struct Form {
        QPDFObjectHandle stream;
        std::vector<QPDFObjectHandle> scopes;
    };

    NameReader(QPDFObjectHandle page, std::vector<QPDFObjectHandle> scopes)
        : m_page(std::move(page)), m_scopes(std::move(scopes))
    {
    }

    std::set<ResourceName> lookedUp;
    std::set<ResourceName> carried;  // by an object drawn (page level only)
    std::vector<Form> forms;

    void handleObject(QPDFObjectHandle object) override
    {
        if (!object.isOperator()) {
            m_operands.push_back(object);
            return;
        }
        const std::string op = object.getOperatorValue();
        if (op == "Tf") {
            m_font = note("/Font", 0);
        } else if (op == "q") {
            m_fonts.push_back(m_font);
        } else if (op == "Q" && !m_fonts.empty()) {
            m_font = m_fonts.back();
            m_fonts.pop_back();
        } else if (op == "Do") {
            drawForm(note("/XObject", 0));
        } else if (op == "gs") {
            m_pending.insert(note("/ExtGState", 0));
        } else if (op == "cs" || op == "CS") {
            static const std::set<std::string> device{"/DeviceGray", "/DeviceRGB", "/DeviceCMYK", "/Pattern"};
            if (!m_operands.empty() && m_operands.front().isName() && !device.count(m_operands.front().getName()))
                m_pending.insert(note("/ColorSpace", 0));
        } else if (op == "sh") {
            carried.insert(note("/Shading", 0));
        } else if ((op == "scn" || op == "SCN") && !m_operands.empty()) {
            carried.insert(note("/Pattern", int(m_operands.size()) - 1));
        } else if ((op == "BDC" || op == "DP") && m_operands.size() == 2) {
            carried.insert(note("/Properties", 1));
        }
        if (isShowing(op) && !m_font.second.empty())
            carried.insert(m_font);
        if (op == "Do" && !m_operands.empty() && m_operands.front().isName())
            carried.insert({"/XObject", m_operands.front().getName()});
        if (isPainting(op)) {
            carried.insert(m_pending.begin(), m_pending.end());
            m_pending.clear();
        }
        m_operands.clear();
    }
    void handleEOF() override {}

private:
    // The name of operand as looked up (empty where it is no name); noted
    // as the page's unless an enclosing form holds it.
    ResourceName note(const char* category, int operand)
    {
        if (operand < 0 || operand >= int(m_operands.size()) || !m_operands[size_t(operand)].isName())
            return {};
        const ResourceName name{category, m_operands[size_t(operand)].getName()};
        if (std::none_of(m_scopes.begin(), m_scopes.end(), [&](const QPDFObjectHandle& r) { return holds(r, name); }))
            lookedUp.insert(name);
        return name;
    }

    void drawForm(const ResourceName& name)
    {
        if (name.second.empty() || m_scopes.size() >= kMostFormDepth)
            return;
        QPDFObjectHandle xobject = QPDFObjectHandle::newNull();
        for (auto scope = m_scopes.rbegin(); scope != m_scopes.rend() && xobject.isNull(); ++scope)
            if (holds(*scope, name))
                xobject = scope->getKey(name.first).getKey(name.second);
        if (xobject.isNull() && holds(pageResources(m_page), name))
            xobject = pageResources(m_page).getKey(name.first).getKey(name.second);
        if (!xobject.isStream() || !xobject.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
            return;
        std::vector<QPDFObjectHandle> scopes = m_scopes;
        scopes.push_back(xobject.getDict().getKey("/Resources"));
        forms.push_back({xobject, std::move(scopes)});
    }

    QPDFObjectHandle m_page;
    std::vector<QPDFObjectHandle> m_scopes;
    std::vector<QPDFObjectHandle> m_operands;
    ResourceName m_font;
    std::vector<ResourceName> m_fonts;
    std::set<ResourceName> m_pending;  // set, nothing drawn since
};

// Another page of the file names resources, an object, as its own.
bool namedByAnotherPage(QPDFObjectHandle page, QPDFObjectHandle resources)
{
    QPDF* pdf = page.getOwningQPDF();
    if (!pdf || !resources.isIndirect())
        return false;
    const QPDFObjGen id = resources.getObjGen();
    const std::vector<QPDFObjectHandle>& pages = pdf->getAllPages();
    return std::any_of(pages.begin(), pages.end(), [&](QPDFObjectHandle other) {
        return other.getObjGen() != page.getObjGen() && other.getKey("/Resources").getObjGen() == id;
    });
}

// The page's own resources are not the page's alone: inherited from the
// page tree, or named by another page.
bool resourcesNotOwn(QPDFObjectHandle page)
{
    QPDFObjectHandle own = page.getKey("/Resources");
    return !own.isDictionary() || namedByAnotherPage(page, own);
}

// The categories kept as objects of their own, which other pages or forms may name too.
std::vector<std::string> categoryObjects(QPDFObjectHandle resources)
{
    std::vector<std::string> found;
    for (const std::string& category : resources.getKeys()) {
        QPDFObjectHandle names = resources.getKey(category);
        if (names.isIndirect() && names.isDictionary())
            found.push_back(category);
    }
    return found;
}

}  // namespace

PageResourceUse pageResourceUse(QPDFObjectHandle page)
{
    PageResourceUse use;
    NameReader top(page, {});
    QPDFPageObjectHelper(page).parseContents(&top);
    use.used = top.lookedUp;
    for (const ResourceName& name : top.lookedUp)
        if (!top.carried.count(name))
            use.uncarried.insert(name);
    std::deque<NameReader::Form> waiting(top.forms.begin(), top.forms.end());
    std::set<QPDFObjGen> read;
    while (!waiting.empty() && read.size() < kMostFormsRead) {
        NameReader::Form form = std::move(waiting.front());
        waiting.pop_front();
        if (form.stream.isIndirect() && !read.insert(form.stream.getObjGen()).second)
            continue;
        NameReader inner(page, form.scopes);
        try {
            form.stream.parseAsContents(&inner);
        } catch (const std::exception&) {
            continue;  // a form that does not read draws nothing to keep
        }
        // A name a form looks up in the page's resources is carried by no object of the page.
        use.used.insert(inner.lookedUp.begin(), inner.lookedUp.end());
        use.uncarried.insert(inner.lookedUp.begin(), inner.lookedUp.end());
        waiting.insert(waiting.end(), inner.forms.begin(), inner.forms.end());
    }
    return use;
}

std::set<ResourceName> unresolvedNames(QPDFObjectHandle page, const std::set<ResourceName>& names)
{
    QPDFObjectHandle resources = pageResources(page);
    std::set<ResourceName> missing;
    for (const ResourceName& name : names)
        if (!holds(resources, name))
            missing.insert(name);
    return missing;
}

PageResourceSnapshot pageResourceSnapshot(QPDFObjectHandle page)
{
    PageResourceSnapshot snapshot;
    QPDFObjectHandle resources = pageResources(page);
    if (!resources.isDictionary())
        return snapshot;
    for (const std::string& category : resources.getKeys()) {
        QPDFObjectHandle names = resources.getKey(category);
        if (!names.isDictionary())
            continue;
        for (const std::string& name : names.getKeys()) {
            QPDFObjectHandle value = names.getKey(name);
            // In an array: a reference alone does not parse back.
            snapshot.values[{category, name}] = "[" + value.unparse() + "]";
        }
    }
    snapshot.droppable = !pageResourceUse(page).uncarried.empty();
    snapshot.shared = resourcesShared(page);
    return snapshot;
}

bool resourcesShared(QPDFObjectHandle page)
{
    QPDFObjectHandle resources = pageResources(page);
    return resources.isDictionary() && (resourcesNotOwn(page) || !categoryObjects(resources).empty());
}

int ownResources(QPDFObjectHandle page, std::vector<std::pair<int, int>>& changed)
{
    QPDFObjectHandle resources = pageResources(page);
    if (!resources.isDictionary())
        return 0;
    int copied = 0;
    std::set<QPDFObjGen> written;
    if (resourcesNotOwn(page)) {
        // Direct: its categories written inside it are copied with it.
        resources = resources.shallowCopy();
        page.replaceKey("/Resources", resources);
        written.insert(page.getObjGen());
        ++copied;
    }
    for (const std::string& category : categoryObjects(resources)) {
        resources.replaceKey(category, resources.getKey(category).shallowCopy());
        written.insert(resources.isIndirect() ? resources.getObjGen() : page.getObjGen());
        ++copied;
    }
    for (const QPDFObjGen& object : written)
        changed.emplace_back(object.getObj(), object.getGen());
    return copied;
}

int restoreResources(QPDF& pdf, QPDFObjectHandle page, const PageResourceSnapshot& snapshot,
                     std::vector<std::pair<int, int>>& changed)
{
    std::set<QPDFObjGen> written;
    const auto putBack = [&](const ResourceName& name, const std::string& held) {
        // By number: the same object in pdf, or the direct one with its references.
        QPDFObjectHandle copy = QPDFObjectHandle::parse(&pdf, held).getArrayItem(0);
        if (copy.isNull())
            return false;
        QPDFObjectHandle resources = page.getKey("/Resources");
        if (!resources.isDictionary()) {
            // Inherited ones become the page's own, as it draws with them.
            QPDFObjectHandle inherited = pageResources(page);
            resources = inherited.isDictionary() ? inherited.shallowCopy() : QPDFObjectHandle::newDictionary();
            page.replaceKey("/Resources", resources);
            written.insert(page.getObjGen());
        }
        QPDFObjectHandle category = resources.getKey(name.first);
        if (!category.isDictionary() || !category.isIndirect()) {
            category = category.isDictionary() ? category.shallowCopy() : QPDFObjectHandle::newDictionary();
            resources.replaceKey(name.first, category);
            written.insert(resources.isIndirect() ? resources.getObjGen() : page.getObjGen());
        } else {
            written.insert(category.getObjGen());
        }
        category.replaceKey(name.second, copy);
        return true;
    };
    int restored = 0;
    std::set<ResourceName> tried;
    // A form put back may look up more names: read again until none is put back.
    for (size_t round = 0; round < kMostFormDepth; ++round) {
        int now = 0;
        for (const ResourceName& name : unresolvedNames(page, pageResourceUse(page).used)) {
            const auto held = snapshot.values.find(name);
            if (held != snapshot.values.end() && tried.insert(name).second && putBack(name, held->second))
                ++now;
        }
        if (now == 0)
            break;
        restored += now;
    }
    for (const QPDFObjGen& object : written)
        changed.emplace_back(object.getObj(), object.getGen());
    return restored;
}

}  // namespace pdfengine
