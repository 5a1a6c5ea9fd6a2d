#ifndef GRIDMOLT_PAGESLEFTOUT_H
#define GRIDMOLT_PAGESLEFTOUT_H

#include "nameddestinations.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <set>
#include <vector>

// What a document cut to some of its pages keeps of the parts that belong
// to pages: a user who sends one page of a filled form must not send the
// values, headings or alternate texts of the others. Form fields none of
// whose widgets is on a page kept go, with fields left without kids. The
// form's XML data (XFA), which holds every page's values in one stream,
// goes too: readers fall back on the fields. The library removes only
// top-level fields, so the field tree is pruned here. An outline item
// stays when its destination (explicit or named, given directly or by a
// go-to action) lies on a page kept, or when it holds an item that stays;
// one leading to a page left out goes, its own items taking its place, and
// so does one leading nowhere in the cut (a web address) that holds none.
// Named destinations of pages left out go, and so do the beads of article
// threads (ArticleThreads). The structure tree, whose elements hold the
// alternate and actual texts of every page, goes with the marking that
// says the document is tagged when any page is left out: cutting it
// exactly would mean rewriting its map of marked content, and an untagged
// cut is read as a plain one. A cut that leaves no page out keeps all of it.
class PagesLeftOut
{
public:
    // `kept` are the pages the cut holds, `leftOut` those it drops.
    PagesLeftOut(std::set<QPDFObjGen> kept, std::set<QPDFObjGen> leftOut);

    // Prunes the form and the outlines of `pdf` to the pages kept.
    void prune(QPDF &pdf);

private:
    void pruneForm(QPDF &pdf);
    // Whether `field` has a widget on a page kept, pruning its /Kids to
    // those that do; each field is judged once, a loop as none.
    bool keepField(QPDFObjectHandle field, int depth);
    // The field at the top of the /Parent chain of `field`.
    static QPDFObjectHandle topOf(QPDFObjectHandle field);
    void pruneOutlines(QPDF &pdf, const NamedDestinations &destinations);
    // The items from `first` on along /Next, and of their descendants, that
    // stay, in order, each relinked to its own items that stay; each item
    // once, no deeper than a page tree may stand.
    std::vector<QPDFObjectHandle> keptItems(QPDFObjectHandle first, const NamedDestinations &destinations, int depth);
    // The page `item` leads to, or QPDFObjGen() when none.
    static QPDFObjGen pageOf(QPDFObjectHandle item, const NamedDestinations &destinations);
    void pruneStructure(QPDF &pdf);
    // Makes `kids` the items under `parent`, with the count readers show.
    static void link(QPDFObjectHandle parent, const std::vector<QPDFObjectHandle> &kids, bool outlineRoot);

    std::set<QPDFObjGen> kept_;
    std::set<QPDFObjGen> leftOut_;
    std::set<QPDFObjGen> keptWidgets_;
    std::map<QPDFObjGen, bool> judged_;   // fields judged, and whether they stay
    std::set<QPDFObjGen> items_;   // outline items walked
};

#endif
