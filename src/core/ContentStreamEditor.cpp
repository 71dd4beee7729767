#include "ContentStreamEditor.h"

#include "ContentWalk.h"

#include "PageOwnContent.h"
#include "TypedInPlace.h"

#include "ContentCopy.h"
#include "ContentTokens.h"
#include "CoverWatch.h"
#include "QpdfFile.h"

#include "PdfFontMetrics.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <QLineF>
#include <QTransform>

#include <algorithm>

#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace pdfengine {

using namespace contentwalk;

namespace {

// A form's content edited, and what moves inside it draws again at its
// end, in the state the form starts in.
std::string formData(const FormUse& use)
{
    const std::string data = applied(*use.work);
    if (!use.copy || use.copy->empty())
        return data;
    std::string closing;
    for (size_t i = 0; i <= use.openSaves; ++i)
        closing += "Q\n";
    return "q\n" + data + "\n" + closing + use.copy->stream();
}

}  // namespace

ContentStreamEditor::ContentStreamEditor(QPDF& pdf, StandardWidths standardWidths)
    : m_pdf(pdf), m_standardWidths(std::move(standardWidths))
{
}

bool ContentStreamEditor::removeGlyphs(QPDFObjectHandle& page, const std::vector<QRectF>& areas)
{
    std::vector<QPolygonF> shapes;
    for (const QRectF& area : areas)
        shapes.emplace_back(area);
    return removeGlyphsWithin(page, shapes);
}

bool ContentStreamEditor::removeGlyphsWithin(QPDFObjectHandle& page, const std::vector<QPolygonF>& areas)
{
    return edit(page, GlyphEdit{areas, {}, {}, {}}, false);
}

bool ContentStreamEditor::removeInvisibleGlyphs(QPDFObjectHandle& page)
{
    return edit(page, GlyphEdit(), true);
}

bool ContentStreamEditor::removeAndMoveGlyphs(QPDFObjectHandle& page, const std::vector<QPolygonF>& areas,
                                              const std::vector<GlyphMove>& moves)
{
    return edit(page, GlyphEdit{areas, {}, {}, moves}, false);
}

bool ContentStreamEditor::editGlyphs(QPDFObjectHandle& page, const GlyphEdit& glyphEdit)
{
    return edit(page, glyphEdit, false);
}

bool ContentStreamEditor::edit(QPDFObjectHandle& page, const GlyphEdit& glyphEdit, bool invisible)
{
    m_error.clear();
    m_glyphsRemoved = 0;
    m_glyphsMoved = 0;
    m_glyphsShifted = 0;
    m_changed.clear();
    try {
        std::vector<std::unique_ptr<StreamWork>> streams;
        QPDFObjectHandle contents = page.getKey("/Contents");
        std::vector<QPDFObjectHandle> items =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        for (QPDFObjectHandle& item : items) {
            if (!item.isStream())
                continue;
            auto work = std::make_unique<StreamWork>();
            work->stream = item;
            if (!readDecodedStream(item, size_t(kMaxStreamBytes), &work->data)) {
                m_error = QStringLiteral("содержимое страницы слишком велико или не читается");
                return false;
            }
            if (!tokenize(work->data, work->tokens, m_error, inheritedResources(page)))
                return false;
            streams.push_back(std::move(work));
        }
        ContentWalk walk(m_pdf, m_standardWidths, glyphEdit, invisible);
        std::vector<StreamWork*> order;
        for (auto& s : streams)
            order.push_back(s.get());
        QPDFObjectHandle resources = inheritedResources(page);
        if (!walk.walk(order, resources, QTransform(), 0)) {
            m_error = walk.error;
            return false;
        }
        if (walk.covers.covered() || walk.shiftCovers.covered()) {
            m_error = QStringLiteral("строку закрывает то, что нарисовано поверх неё");
            return false;
        }
        walk.dropDeadFontSetters();
        walk.placeTypedWords();
        // Forms to change are checked before anything changes.
        for (auto& [key, use] : walk.forms) {
            if (use.work->splices.empty())
                continue;
            if (use.uses > 1 || use.depth > 1) {
                m_error = QStringLiteral("текст стоит в форме, которая нарисована на странице не один раз");
                return false;
            }
        }
        // A stream other pages draw too is copied for this page before it changes.
        const bool anySplice = std::any_of(streams.begin(), streams.end(), [](const auto& s) { return !s->splices.empty(); });
        const std::set<QPDFObjGen> shared = anySplice ? streamsOfOtherPages(m_pdf, page) : std::set<QPDFObjGen>();
        std::vector<QPDFObjectHandle> ownItems = items;
        bool copied = false;
        for (auto& s : streams) {
            if (s->splices.empty())
                continue;
            if (shared.count(s->stream.getObjGen())) {
                QPDFObjectHandle copy = s->stream.copyStream();
                for (QPDFObjectHandle& item : ownItems)
                    if (item.isIndirect() && item.getObjGen() == s->stream.getObjGen())
                        item = copy;
                s->stream = copy;
                copied = true;
            }
            s->stream.replaceStreamData(applied(*s), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            m_changed.push_back({s->stream.getObjectID(), s->stream.getGeneration()});
        }
        if (!walk.copy.empty()) {
            // Drawn last, over the white of the old places.
            QPDFObjectHandle moved = QPDFObjectHandle::newStream(&m_pdf, walk.copy.stream());
            ownItems.push_back(moved);
            m_changed.push_back({moved.getObjectID(), moved.getGeneration()});
            contents = QPDFObjectHandle::newArray();  // the page gets an array of its own
            copied = true;
            m_glyphsMoved += walk.copy.glyphCount();
        }
        if (copied) {
            page.replaceKey("/Contents", contents.isArray() ? QPDFObjectHandle::newArray(ownItems) : ownItems.front());
            m_changed.push_back({page.getObjectID(), page.getGeneration()});
        }
        for (auto& [key, use] : walk.forms) {
            if (use.work->splices.empty())
                continue;
            // The page gets its own copy of the form and of the resources naming it.
            QPDFObjectHandle copy = use.work->stream.copyStream();
            copy.replaceStreamData(formData(use), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            m_glyphsMoved += use.copy ? use.copy->glyphCount() : 0;
            QPDFObjectHandle ownResources = resources.shallowCopy();
            QPDFObjectHandle xobjects = ownResources.getKey("/XObject").shallowCopy();
            xobjects.replaceKey(use.name, copy);
            ownResources.replaceKey("/XObject", xobjects);
            page.replaceKey("/Resources", ownResources);
            resources = ownResources;
            m_changed.push_back({copy.getObjectID(), copy.getGeneration()});
            m_changed.push_back({page.getObjectID(), page.getGeneration()});
        }
        m_glyphsRemoved = walk.removed;
        m_glyphsShifted = walk.shifted;
    } catch (const std::exception& e) {
        m_error = QString::fromUtf8(e.what()).left(200);
        return false;
    }
    return true;
}

}  // namespace pdfengine
