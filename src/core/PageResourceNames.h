#pragma once
// The names a page's content looks up in the page's resources: its own
// streams' and those of the forms it draws that hold no such name of their
// own (a form without /Resources, or with only some, draws with the page's).
// pdfium, writing a page's content again, keeps only the resources its
// objects carry, and drops the others from the page's dictionary; these are
// put back from the page as it was read. It writes those dictionaries in
// place: a page whose dictionaries other pages share gets its own first.

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QPDF;
class QPDFObjectHandle;

namespace pdfengine {

// A category of a resource dictionary ("/Font", "/XObject", ...) and a name in it.
using ResourceName = std::pair<std::string, std::string>;

struct PageResourceUse {
    // Every name looked up in the page's resources.
    std::set<ResourceName> used;
    // Of those, the ones no object of the page's own content carries (a font
    // selected but never shown, a graphics state set with nothing drawn
    // after it, any name a form looks up in the page's resources): a writer
    // that keeps only the names its objects carry drops them.
    std::set<ResourceName> uncarried;
};

// The names of page (its content and the forms drawn, nested to a bound
// depth). May throw qpdf's exceptions.
PageResourceUse pageResourceUse(QPDFObjectHandle page);

// Those of names that the page's resources (inherited ones too) do not hold.
std::set<ResourceName> unresolvedNames(QPDFObjectHandle page, const std::set<ResourceName>& names);

// A page's resources as read, to put back what a writer drops: each name
// with its value written out (a reference by number, or the object itself).
struct PageResourceSnapshot {
    std::map<ResourceName, std::string> values;
    // Some name the page looks up is carried by no object of it.
    bool droppable = false;
    // Some dictionary of the page's resources may be drawn with elsewhere.
    bool shared = false;
};
// May throw qpdf's exceptions.
PageResourceSnapshot pageResourceSnapshot(QPDFObjectHandle page);

// Whether the page's resources, or a category of them, are a dictionary
// other pages may draw with too: inherited from the page tree, one object
// that another page names as its resources, or a category kept as an
// object of its own (pgf keeps one /ExtGState for all pages so). May throw
// qpdf's exceptions.
bool resourcesShared(QPDFObjectHandle page);

// Gives page copies of its own of those dictionaries, their names keeping
// their values; the objects written go to changed. How many dictionaries
// were copied. May throw qpdf's exceptions.
int ownResources(QPDFObjectHandle page, std::vector<std::pair<int, int>>& changed);

// Puts each name page looks up (its content and forms) that its resources
// lack and the snapshot (the same page as read, from a file whose objects
// keep their numbers in pdf) holds into page's own resources; the objects
// written go to changed. How many were put back. May throw qpdf's exceptions.
int restoreResources(QPDF& pdf, QPDFObjectHandle page, const PageResourceSnapshot& snapshot,
                     std::vector<std::pair<int, int>>& changed);

}  // namespace pdfengine
