#ifndef GRIDMOLT_QPDFREPAIR_H
#define GRIDMOLT_QPDFREPAIR_H

#include "pagetree.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>
#include <string>
#include <vector>

// The input as the second library reads it: read once, for the checks made
// before the rules run (its page tree, its forms) and, when the engine's own
// library cannot take the file, for its repair. That library stops at what
// this one reads on: a broken object stream, a key that is no name, an
// object beyond the table, a page without /Type, a null or a name among the
// kids, a page listed twice, a page that is its own parent. The repair
// writes the same document again in plain objects, its page tree one node
// over the pages readers find, each page carrying what it inherited, and
// the encryption the input has; the engine and the converter then read
// those bytes.
class QpdfRepair
{
public:
    explicit QpdfRepair(std::string path);

    // The pages readers number, in their order, after the page tree was
    // made one node (idempotent); false with what is wrong with the tree.
    bool pages(std::vector<QPDFObjectHandle> *list, std::string *why);

    // Why the page tree is refused before any library follows it: deeper
    // than readers go, or claiming more pages than it holds where readers
    // do not take the claim (more pages than the file numbers objects; a
    // claim they take is written padded with blank pages). Empty
    // otherwise, and when the file cannot be read this way (the program's
    // own library then decides). With `claimsToo` false, only a tree too deep.
    std::string treeRefusal(bool claimsToo = true);

    // Whether the tree holds what some reader stops at and the rewrite
    // mends: a kid that is no dictionary or the catalog, a page listing kids,
    // a page found by its number alone.
    bool readersStumble() const { return tree_.passedOver(); }

    // Whether the root claims more pages than the tree holds and readers
    // take the claim: the rewrite then pads the pages held with blank ones.
    bool claimTaken();

    // Whether the file's last table of objects names a second one in a
    // stream (/XRefStm): a library that looks up an object in the first
    // table alone finds there only a free entry, or none.
    bool hybridReferences();

    // The input rewritten as above; false with what is wrong with the
    // input when it cannot be.
    bool rewrite(std::string *bytes, std::string *why);

private:
    // The input as read, opened on the first call; nullptr when it cannot
    // be (why in failure_). Allocation failures are thrown.
    QPDF *reading();
    // Walks the page tree once; false with what is wrong with it.
    bool walked(std::string *why);
    // The leaves the page tree's walk found, each a page object of its own
    // carrying what it inherits from the nodes above it.
    bool collectPages(std::string *why);

    std::string path_;
    std::unique_ptr<QPDF> pdf_;
    bool opened_ = false;
    bool walkedOnce_ = false;
    bool flattened_ = false;
    bool refused_ = false;   // the walk refused the tree outright
    std::string failure_;
    std::string walkFault_;
    std::string treeFault_;
    PageTree tree_;
    std::vector<QPDFObjectHandle> pages_;
};

#endif
