// How the places a page's edits name follow the page: turned with it, and
// taken on by later edits of the same page.
#include "SavedFileCheck.h"

#include "GlyphSpots.h"
#include "PdfPageTransform.h"

#include <QLineF>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

// A box carried by map, which turns a page's displayed frame by clockwise
// degrees: an upright box stays upright, a turned one turns on with the page.
TurnedBox carried(const TurnedBox& box, const QTransform& map, double clockwise)
{
    if (!box.isTurned())
        return TurnedBox(map.mapRect(box.rect.normalized()), 0);
    TurnedBox moved = box;
    moved.centre = map.map(box.centre);
    moved.rect.translate(moved.centre - box.centre);
    moved.rotation = box.rotation + clockwise;
    return moved;
}

}  // namespace

void PageEdit::turnTo(int turns, const QRectF& userBox)
{
    turns = ((turns % 4) + 4) % 4;
    if (turns == quarterTurns)
        return;
    const QTransform map = PdfPageTransform(userBox, quarterTurns).toUserMatrix() *
                           PdfPageTransform(userBox, turns).toUserMatrix().inverted();
    const double clockwise = -qRadiansToDegrees(std::atan2(map.m12(), map.m11()));
    for (std::vector<TurnedBox>* boxes : {&edited, &kept, &cleared, &textBoxes, &deleted})
        for (TurnedBox& box : *boxes)
            box = carried(box, map, clockwise);
    const auto carry = [&](MovedBox& move) {
        move.from = carried(move.from, map, clockwise);
        move.by = map.map(move.by) - map.map(QPointF());
    };
    for (MovedBox& move : moved)
        carry(move);
    for (KeptWordPlace& word : keptWords)
        carry(word.place);
    quarterTurns = turns;
}

namespace {

constexpr double kSamePlace = 0.5;  // points: a box taken up where an earlier edit put it

bool samePlace(const TurnedBox& a, const TurnedBox& b)
{
    return QLineF(a.bounds().topLeft(), b.bounds().topLeft()).length() < kSamePlace &&
           QLineF(a.bounds().bottomRight(), b.bounds().bottomRight()).length() < kSamePlace;
}

}  // namespace

// A word kept again where an earlier correction put it is that word, moved
// on; one standing where an earlier edit wrote is no word of the source's.
// An earlier kept word a later edit reaches is held to that edit's own checks.
void PageEdit::addKeptWords(const PageEdit& later)
{
    std::vector<KeptWordPlace> next;
    for (const KeptWordPlace& word : later.keptWords) {
        const auto earlier = std::find_if(keptWords.begin(), keptWords.end(), [&](const KeptWordPlace& was) {
            return samePlace(was.place.landing(), word.place.from);
        });
        if (earlier != keptWords.end()) {
            next.push_back({{earlier->place.from, earlier->place.by + word.place.by}, word.text});
            continue;
        }
        const QRectF from = word.place.from.bounds();
        const auto reaches = [&](const TurnedBox& area) { return area.bounds().intersects(from); };
        if (std::none_of(edited.begin(), edited.end(), reaches) && std::none_of(moved.begin(), moved.end(), [&](const MovedBox& m) {
                return m.landing().bounds().intersects(from);
            }))
            next.push_back(word);
    }
    for (const KeptWordPlace& word : keptWords) {
        const QRectF to = word.place.landing().bounds();
        const auto reaches = [&](const TurnedBox& area) { return area.bounds().intersects(to); };
        const bool again = std::any_of(later.keptWords.begin(), later.keptWords.end(), [&](const KeptWordPlace& k) {
            return samePlace(word.place.landing(), k.place.from);
        });
        if (!again && std::none_of(later.edited.begin(), later.edited.end(), reaches) &&
            std::none_of(later.cleared.begin(), later.cleared.end(), reaches))
            next.push_back(word);
    }
    keptWords = next;
}

void PageEdit::addMoves(const PageEdit& later)
{
    for (const MovedBox& next : later.moved) {
        const auto earlier = std::find_if(moved.begin(), moved.end(),
                                          [&](const MovedBox& move) { return samePlace(move.landing(), next.from); });
        if (earlier != moved.end())
            earlier->by += next.by;
        else
            moved.push_back(next);
    }
    // What was cleared again after it landed is no longer the moved text.
    std::vector<MovedBox> stay;
    for (const MovedBox& move : moved) {
        const QRectF to = move.landing().bounds();
        const bool cleared = std::any_of(later.cleared.begin(), later.cleared.end(), [&](const TurnedBox& place) {
            return place.bounds().intersects(to) &&
                   std::none_of(later.moved.begin(), later.moved.end(),
                                [&](const MovedBox& next) { return samePlace(next.from, place); });
        });
        if (!cleared)
            stay.push_back(move);
    }
    moved = stay;
}

void PageEdit::addTaken(const PageEdit& later)
{
    for (const TakenGlyph& next : later.taken) {
        // A glyph an earlier edit moved is that glyph where it went.
        const auto earlier = std::find_if(taken.begin(), taken.end(), [&](const TakenGlyph& was) {
            return was.moved && drawnAlike(was.spot.origin + was.by, was.spot.size, next.spot.origin, next.spot.size);
        });
        if (earlier == taken.end()) {
            taken.push_back(next);
        } else if (next.moved) {
            earlier->by += next.by;
        } else {
            earlier->moved = false;
            earlier->by = QPointF();
        }
    }
}

}  // namespace pdfengine
