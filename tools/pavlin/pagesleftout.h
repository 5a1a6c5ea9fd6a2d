#ifndef GRIDMOLT_PAGESLEFTOUT_H
#define GRIDMOLT_PAGESLEFTOUT_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFOutlineObjectHelper.hh>

#include <map>
#include <set>
#include <vector>

// What a document cut to some of its pages keeps of the parts that belong
// to pages: a user who sends one page of a filled form must not send the
// values of the others. Form fields none of whose widgets is on a page
// kept go, with fields left without kids; outline items that lead to a
// page left out go, their own items taking their place. The form's XML
// data (XFA), which holds every page's values in one stream, goes too:
// readers fall back on the fields. The library removes only top-level
// fields, so the field tree is pruned here.
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
    void pruneOutlines(QPDF &pdf);
    // The items of `items` and of their descendants that stay, in order,
    // each relinked to its own items that stay.
    std::vector<QPDFObjectHandle> keptItems(std::vector<QPDFOutlineObjectHelper> items);
    // Makes `kids` the items under `parent`, with the count readers show.
    static void link(QPDFObjectHandle parent, const std::vector<QPDFObjectHandle> &kids, bool outlineRoot);

    std::set<QPDFObjGen> kept_;
    std::set<QPDFObjGen> leftOut_;
    std::set<QPDFObjGen> keptWidgets_;
    std::map<QPDFObjGen, bool> judged_;   // fields judged, and whether they stay
};

#endif
