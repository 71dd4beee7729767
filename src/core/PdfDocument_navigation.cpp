// Links, outline, search and plain page text.
#include "PdfDocument.h"

#include "NativeTextLayout.h"
#include "PageGlyphs.h"
#include "PageOwnContent.h"
#include "PdfEngineInternal.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using namespace pdfengine;

namespace {

constexpr int kMaxOutlineDepth = 33;
constexpr int kMaxOutlineSiblings = 10000;
constexpr int kMaxOutlineItems = 100000;  // whole tree; a crafted outline may share or loop subtrees
constexpr double kWebLinkSlop = 1.5;       // points added around plain-text web addresses

using LinkTarget = PdfDocument::LinkTarget;
using OutlineItem = PdfDocument::OutlineItem;

QByteArray pdfActionUtf8(FPDF_ACTION action, FPDF_DOCUMENT doc, bool uri)
{
    const PdfiumApi& api = pdfApi();
    const unsigned long needed =
        uri ? api.FPDFAction_GetURIPath(doc, action, nullptr, 0) : api.FPDFAction_GetFilePath(action, nullptr, 0);
    if (needed == 0 || needed > (1u << 20))
        return {};
    QByteArray buffer(int(needed), '\0');
    const unsigned long written = uri ? api.FPDFAction_GetURIPath(doc, action, buffer.data(), needed)
                                      : api.FPDFAction_GetFilePath(action, buffer.data(), needed);
    if (written == 0)
        return {};
    const int end = buffer.indexOf('\0');
    return end >= 0 ? buffer.left(end) : buffer;
}

// The left and top of the view a destination asks for, where it names them.
PdfDocument::PageSpot spotOfDest(FPDF_DEST dest)
{
    PdfDocument::PageSpot spot;
    const PdfiumApi& api = pdfApi();
    unsigned long count = 0;
    float params[4] = {0, 0, 0, 0};
    switch (api.FPDFDest_GetView(dest, &count, params)) {
    case pdfium::kDestViewXyz: {
        FPDF_BOOL hasX = 0, hasY = 0, hasZoom = 0;
        float x = 0, y = 0, zoom = 0;
        if (api.FPDFDest_GetLocationInPage(dest, &hasX, &hasY, &hasZoom, &x, &y, &zoom)) {
            if (hasX)
                spot.left = x;
            if (hasY)
                spot.top = y;
        }
        break;
    }
    case pdfium::kDestViewFitH:
    case pdfium::kDestViewFitBH:
        if (count >= 1)
            spot.top = params[0];
        break;
    case pdfium::kDestViewFitV:
    case pdfium::kDestViewFitBV:
        if (count >= 1)
            spot.left = params[0];
        break;
    case pdfium::kDestViewFitR:
        if (count >= 4) {
            spot.left = std::min(params[0], params[2]);
            spot.top = std::max(params[1], params[3]);
        }
        break;
    default:
        break;
    }
    // A damaged file may hold anything in these numbers.
    if (spot.left && !std::isfinite(*spot.left))
        spot.left.reset();
    if (spot.top && !std::isfinite(*spot.top))
        spot.top.reset();
    return spot;
}

LinkTarget pageTarget(int pageIndex, const PdfDocument::PageSpot& spot = {})
{
    LinkTarget target;
    if (pageIndex >= 0) {
        target.kind = LinkTarget::Page;
        target.pageIndex = pageIndex;
        target.spot = spot;
    }
    return target;
}

LinkTarget destTarget(FPDF_DOCUMENT doc, FPDF_DEST dest)
{
    return dest ? pageTarget(pdfApi().FPDFDest_GetDestPageIndex(doc, dest), spotOfDest(dest)) : LinkTarget();
}

LinkTarget targetFromAction(FPDF_DOCUMENT doc, FPDF_ACTION action)
{
    if (!action)
        return {};
    const PdfiumApi& api = pdfApi();
    switch (api.FPDFAction_GetType(action)) {
    case pdfium::kActionGoTo:
    case pdfium::kActionRemoteGoTo:
    case pdfium::kActionEmbeddedGoTo: {
        return destTarget(doc, api.FPDFAction_GetDest(doc, action));
    }
    case pdfium::kActionUri: {
        const QString text = QString::fromUtf8(pdfActionUtf8(action, doc, true)).trimmed();
        if (text.isEmpty())
            return {};
        LinkTarget target;
        target.kind = LinkTarget::Url;
        target.url = QUrl::fromUserInput(text);
        return target;
    }
    case pdfium::kActionLaunch: {
        const QString text = QString::fromUtf8(pdfActionUtf8(action, doc, false)).trimmed();
        if (text.isEmpty())
            return {};
        LinkTarget target;
        target.kind = LinkTarget::File;
        target.path = text;
        return target;
    }
    default:
        return {};
    }
}

QString webLinkUrl(FPDF_PAGELINK links, int index)
{
    const int needed = pdfApi().FPDFLink_GetURL(links, index, nullptr, 0);
    if (needed <= 0 || needed > (1 << 20))
        return {};
    std::vector<unsigned short> units(size_t(needed), 0);
    const int written = pdfApi().FPDFLink_GetURL(links, index, units.data(), needed);
    if (written <= 0)
        return {};
    size_t length = 0;
    while (length < units.size() && units[length] != 0)
        ++length;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(units.data()), qsizetype(length)).trimmed();
}

// The URL of the first plain-text web address around userPoint, if any.
LinkTarget webLinkAt(FPDF_PAGE page, const QPointF& userPoint)
{
    const PdfiumApi& api = pdfApi();
    TextPagePtr text(api.FPDFText_LoadPage(page));
    if (!text)
        return {};
    WebLinksPtr links(api.FPDFLink_LoadWebLinks(text.get()));
    if (!links)
        return {};
    const int linkCount = api.FPDFLink_CountWebLinks(links.get());
    for (int link = 0; link < linkCount; ++link) {
        bool hit = false;
        const int rectCount = api.FPDFLink_CountRects(links.get(), link);
        for (int r = 0; r < rectCount && !hit; ++r) {
            double left = 0, top = 0, right = 0, bottom = 0;
            if (!api.FPDFLink_GetRect(links.get(), link, r, &left, &top, &right, &bottom))
                continue;
            const QRectF rect = rectFromEdges(left, top, right, bottom)
                                    .adjusted(-kWebLinkSlop, -kWebLinkSlop, kWebLinkSlop, kWebLinkSlop);
            hit = rect.contains(userPoint);
        }
        if (!hit)
            continue;
        const QString url = webLinkUrl(links.get(), link);
        if (url.isEmpty())
            continue;
        LinkTarget target;
        target.kind = LinkTarget::Url;
        target.url = QUrl::fromUserInput(url);
        return target;
    }
    return {};
}

QString bookmarkTitle(FPDF_BOOKMARK bookmark)
{
    const unsigned long needed = pdfApi().FPDFBookmark_GetTitle(bookmark, nullptr, 0);
    if (needed < 2 || needed > (1u << 20))
        return {};
    std::vector<unsigned short> units(needed / 2 + 1, 0);
    if (pdfApi().FPDFBookmark_GetTitle(bookmark, units.data(), (unsigned long)(units.size() * 2)) == 0)
        return {};
    size_t length = 0;
    while (length < units.size() && units[length] != 0)
        ++length;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(units.data()), qsizetype(length)).trimmed();
}

struct OutlineWalk {
    FPDF_DOCUMENT doc;
    QSet<FPDF_BOOKMARK> seen;
    int items = 0;
};

void appendOutlineItems(OutlineWalk& walk, FPDF_BOOKMARK parent, QList<OutlineItem>& list, int depth)
{
    if (depth >= kMaxOutlineDepth)
        return;
    const PdfiumApi& api = pdfApi();
    FPDF_BOOKMARK child = api.FPDFBookmark_GetFirstChild(walk.doc, parent);
    for (int sibling = 0; child && sibling < kMaxOutlineSiblings && walk.items < kMaxOutlineItems; ++sibling) {
        if (walk.seen.contains(child))
            break;  // a loop or a shared subtree: each bookmark is read once
        walk.seen.insert(child);
        ++walk.items;

        OutlineItem item;
        item.title = bookmarkTitle(child);
        LinkTarget target = targetFromAction(walk.doc, api.FPDFBookmark_GetAction(child));
        if (target.kind == LinkTarget::None)
            target = destTarget(walk.doc, api.FPDFBookmark_GetDest(walk.doc, child));
        item.pageIndex = target.kind == LinkTarget::Page ? target.pageIndex : -1;
        item.spot = target.spot;
        if (target.kind == LinkTarget::Url)
            item.url = target.url;
        appendOutlineItems(walk, child, item.children, depth + 1);
        if (!item.title.isEmpty() || item.pageIndex >= 0 || item.url.isValid() || !item.children.isEmpty())
            list.append(item);
        child = api.FPDFBookmark_GetNextSibling(walk.doc, child);
    }
}

// The page's characters as a string, and for every UTF-16 unit of it the index
// of the pdfium character it came from.
struct PageText {
    QString text;
    std::vector<int> charIndexOfUnit;
};

constexpr char32_t kEndOfLineHyphen = 2;

bool namelessFont(FPDF_TEXTPAGE textPage, int index)
{
    return pdfApi().FPDFText_GetFontInfo(textPage, index, nullptr, 0, nullptr) <= 1;
}

// Plain text: line ends are "\n", no other control characters, and no text
// that lies under the program's own white-out.
PageText readPageText(FPDF_PAGE page, FPDF_TEXTPAGE textPage)
{
    PageText result;
    const PdfiumApi& api = pdfApi();
    const HiddenTextFilter hidden(page, textPage);
    const int count = api.FPDFText_CountChars(textPage);
    result.text.reserve(std::max(count, 0));
    result.charIndexOfUnit.reserve(size_t(std::max(count, 0)));
    PenMoves pens(textPage);
    for (int i = 0; i < count; ++i) {
        const char32_t codePoint = api.FPDFText_GetUnicode(textPage, i);
        if (codePoint == 13 && api.FPDFText_IsGenerated(textPage, i) == 1)
            continue;
        if (hidden.hides(i))
            continue;
        // Most characters are one UTF-16 unit as they are.
        const bool plain = codePoint >= 0x20 && codePoint < 0xD800 && !(codePoint >= 0x7F && codePoint <= 0x9F);
        QString piece;
        if (!plain) {
            const bool ligatureSlot = codePoint >= 10 && codePoint <= 15 && api.FPDFText_IsGenerated(textPage, i) != 1;
            piece = textOfPdfiumCode(codePoint, ligatureSlot && namelessFont(textPage, i));
            if (codePoint == kEndOfLineHyphen)
                piece += QLatin1Char('\n');  // pdfium joins the word over the line end it marks
            if (piece.isEmpty() || (piece == QLatin1String("\n") && result.text.endsWith(QLatin1Char('\n'))))
                continue;
        }
        // A producer that moves the pen between words draws no blank there.
        if (pens.before(i, codePoint) && !result.text.endsWith(QLatin1Char(' '))) {
            result.text += QLatin1Char(' ');
            result.charIndexOfUnit.push_back(i);
        }
        if (plain) {
            result.text += QChar(char16_t(codePoint));
            result.charIndexOfUnit.push_back(i);
            continue;
        }
        result.text += piece;
        result.charIndexOfUnit.insert(result.charIndexOfUnit.end(), size_t(piece.size()), i);
    }
    return result;
}

// The page text as searched: a line end, with the blanks around it and a
// hyphen before it, reads as one space, so a phrase is found across lines.
// Every unit keeps the pdfium character it came from.
PageText searchableText(const PageText& page)
{
    PageText result;
    result.text.reserve(page.text.size());
    result.charIndexOfUnit.reserve(page.charIndexOfUnit.size());
    auto dropLast = [&result] {
        result.text.chop(1);
        result.charIndexOfUnit.pop_back();
    };
    auto isHyphen = [](QChar c) { return c == QLatin1Char('-') || c == QChar(0x00AD) || c == QChar(0x2010); };
    bool afterLineEnd = false;
    for (qsizetype i = 0; i < page.text.size(); ++i) {
        const QChar c = page.text[i];
        const int charIndex = page.charIndexOfUnit[size_t(i)];
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (afterLineEnd)
                continue;
            while (!result.text.isEmpty() && result.text.back().isSpace())
                dropLast();
            if (!result.text.isEmpty() && isHyphen(result.text.back()))
                dropLast();
            while (!result.text.isEmpty() && result.text.back().isSpace())
                dropLast();
            if (!result.text.isEmpty()) {
                result.text += QLatin1Char(' ');
                result.charIndexOfUnit.push_back(charIndex);
            }
            afterLineEnd = true;
            continue;
        }
        if (afterLineEnd && c.isSpace())
            continue;
        afterLineEnd = false;
        result.text += c;
        result.charIndexOfUnit.push_back(charIndex);
    }
    return result;
}

// Rectangles of the characters [first, first + count) in displayed-page space.
QList<QRectF> charRangeRects(FPDF_TEXTPAGE textPage, int first, int count, const PdfPageTransform& transform)
{
    QList<QRectF> rects;
    const int rectCount = pdfApi().FPDFText_CountRects(textPage, first, count);
    for (int r = 0; r < rectCount; ++r) {
        double left = 0, top = 0, right = 0, bottom = 0;
        if (pdfApi().FPDFText_GetRect(textPage, r, &left, &top, &right, &bottom))
            rects.append(transform.toPage(rectFromEdges(left, top, right, bottom)));
    }
    return rects;
}

} // namespace

PdfDocument::LinkTarget PdfDocument::linkAtPoint(int pageIndex, const QPointF& point) const
{
    QMutexLocker lock(&m_mutex);
    const PagePtr page = loadPageIfAny(m_doc, pageIndex);
    if (!page)
        return {};
    const QPointF userPoint = pageTransformOf(page.get()).toUser(point);
    if (FPDF_LINK link = pdfApi().FPDFLink_GetLinkAtPoint(page.get(), userPoint.x(), userPoint.y())) {
        const LinkTarget destination = destTarget(m_doc, pdfApi().FPDFLink_GetDest(m_doc, link));
        if (destination.kind == LinkTarget::Page)
            return destination;
        const LinkTarget target = targetFromAction(m_doc, pdfApi().FPDFLink_GetAction(link));
        if (target.kind != LinkTarget::None)
            return target;
    }
    return webLinkAt(page.get(), userPoint);
}

QList<PdfDocument::OutlineItem> PdfDocument::outline() const
{
    QMutexLocker lock(&m_mutex);
    QList<OutlineItem> items;
    if (!m_doc)
        return items;
    OutlineWalk walk{m_doc, {}, 0};
    appendOutlineItems(walk, nullptr, items, 0);
    return items;
}

QList<QRectF> PdfDocument::findText(int pageIndex, const QString& text) const
{
    return findTextWithOptions(pageIndex, text, FindOptions{});
}

QList<QRectF> PdfDocument::findTextWithOptions(int pageIndex, const QString& text, const FindOptions& options) const
{
    QList<QRectF> rects;
    for (const QList<QRectF>& match : findMatches(pageIndex, text, options))
        rects += match;
    return rects;
}

// Searches the page's plain text (the same text extractAllText gives, its
// line ends read as spaces), so ligatures match their letters, a phrase is
// found across a line end as one match with one rectangle per line, and text
// kept under an edit's white-out is not found.
QList<QList<QRectF>> PdfDocument::findMatches(int pageIndex, const QString& text, const FindOptions& options) const
{
    if (text.isEmpty() || !isOpen())
        return {};
    if (options.useRegex)
        return findRegex(pageIndex, text, options.matchCase);
    QString pattern = QRegularExpression::escape(text);
    if (options.wholeWord)
        pattern = QStringLiteral("(?<![\\w])") + pattern + QStringLiteral("(?![\\w])");
    return findRegex(pageIndex, pattern, options.matchCase);
}

// Every match of the expression over the page text marks exactly the characters
// it matched, so "match case" is honoured and no occurrence is marked twice.
QList<QList<QRectF>> PdfDocument::findRegex(int pageIndex, const QString& pattern, bool matchCase) const
{
    QRegularExpression expression(pattern, matchCase ? QRegularExpression::NoPatternOption
                                                     : QRegularExpression::CaseInsensitiveOption);
    if (!expression.isValid())
        return {};
    QMutexLocker lock(&m_mutex);
    QList<QList<QRectF>> found;
    const LoadedTextPage loaded = loadTextPage(m_doc, pageIndex);
    if (!loaded.text)
        return found;
    const PageText pageText = searchableText(readPageText(loaded.page.get(), loaded.text.get()));
    QRegularExpressionMatchIterator matches = expression.globalMatch(pageText.text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (match.capturedLength() <= 0)
            continue;
        const int firstChar = pageText.charIndexOfUnit[size_t(match.capturedStart())];
        const int lastChar = pageText.charIndexOfUnit[size_t(match.capturedEnd() - 1)];
        QList<QRectF> rects = charRangeRects(loaded.text.get(), firstChar, lastChar - firstChar + 1, loaded.transform);
        if (!rects.isEmpty())
            found.append(std::move(rects));
    }
    return found;
}

PdfDocument::PageSpot PdfDocument::spotOnPage(int pageIndex, const PageSpot& spot) const
{
    if (!spot.left && !spot.top)
        return {};
    QMutexLocker lock(&m_mutex);
    const PagePtr page = loadPageIfAny(m_doc, pageIndex);
    if (!page)
        return {};
    const PdfPageTransform transform = pageTransformOf(page.get());
    const QRectF box = transform.userBox();
    const QPointF shown = transform.toPage(QPointF(spot.left.value_or(box.left()), spot.top.value_or(box.top())));
    // A quarter turn shows the file's vertical axis across.
    const bool across = transform.quarterTurns() % 2 != 0;
    PageSpot result;
    if (across ? spot.top : spot.left)
        result.left = shown.x();
    // A top at the page's lower edge shows nothing of the page: writers that
    // put "/XYZ 0 0 0" mean the page as a whole.
    if ((across ? spot.left : spot.top) && shown.y() > 0)
        result.top = shown.y();
    return result;
}

QString PdfDocument::extractAllText(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    const LoadedTextPage loaded = loadTextPage(m_doc, pageIndex);
    return loaded.text ? readPageText(loaded.page.get(), loaded.text.get()).text : QString();
}

QString PdfDocument::extractAllTextAllPages() const
{
    QStringList pages;
    const int count = pageCount();
    for (int i = 0; i < count; ++i)
        pages << extractAllText(i);
    return pages.join(QLatin1Char('\n'));
}
