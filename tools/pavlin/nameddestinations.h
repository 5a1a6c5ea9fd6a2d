#ifndef GRIDMOLT_NAMEDDESTINATIONS_H
#define GRIDMOLT_NAMEDDESTINATIONS_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The destinations a document names, and the page each destination leads
// to: outline items and links name a place as a string, looked up in the
// catalog's /Names /Dests tree, or as a name, looked up in its /Dests
// dictionary (readers try the other when the first has none). Both are read
// once, bounded: a tree nested deeper than a page tree may be, or reaching a
// node again, is read as far as it goes.
class NamedDestinations
{
public:
    explicit NamedDestinations(QPDF &pdf);

    // The page `destination` leads to: an array whose first item is the
    // page, a dictionary holding one as /D, or a name or string naming one;
    // an object of no number (QPDFObjGen()) when it leads to none.
    QPDFObjGen pageOf(QPDFObjectHandle destination) const;

    // Keeps the names whose destination lies on a page of `kept`: the tree
    // becomes one node of those names in order, the dictionary holds those
    // names alone; the other trees of /Names stay as they are.
    void prune(QPDF &pdf, const std::set<QPDFObjGen> &kept) const;

private:
    // Reads the name tree below `root` into names_ in key order.
    void readTree(QPDFObjectHandle root);
    // The page of an explicit destination, or of a dictionary's /D.
    static QPDFObjGen explicitPage(QPDFObjectHandle destination);

    std::vector<std::pair<std::string, QPDFObjectHandle>> names_;   // the tree's, sorted, each key once
    std::map<std::string, QPDFObjectHandle> dests_;   // the dictionary's, by name
};

#endif
