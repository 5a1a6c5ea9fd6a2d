#ifndef GRIDMOLT_PAGETREE_H
#define GRIDMOLT_PAGETREE_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <map>
#include <string>
#include <vector>

// The trees a reader follows from the catalog to a page: the page tree down
// through /Kids, each page's chain of /Parent nodes it inherits attributes
// from, and the form fields above the page's widgets. The libraries follow
// them by recursion: a one-page file whose page sits under 30,000 nodes ends
// them with a stack overflow, and one of them refuses any chain longer than
// a hundred in words that name no file. Walked here first, without recursion
// and each node once, so such a file is refused in our words before a
// library opens it.
//
// The walk also gives the page count a reader reaches, and the pages in the
// order readers show them. Readers take the count the root states and look
// pages up by it: it is trusted when the tree holds at least that many pages
// (a count below the pages is the count every reader gives, and they show
// the first ones), no node reached twice. What readers pass over alike is
// no damage: a kid that is no dictionary (null, a name, a number, a
// reference to nothing), a page without /Type, a node without /Type, one
// page listed twice (it counts twice), a kid that lists a node above it
// (a loop back up the tree, which readers leave), and a page whose object
// was written with another generation than its references give (readers
// ignore the generation; it is found by its number). A node listed twice
// lists its pages twice, as it does to readers, while the walk stays within
// a few steps for each object the file holds; a tree whose paths multiply
// at every level does not. A dictionary of /Type /Page that lists kids is a
// page, as the readers that draw it take it.
class PageTree
{
public:
    // Nodes above a page, parents of a page or levels of form fields. The
    // strictest reader stops at this many itself; real documents use a few.
    static const int kMaxDepth = 100;

    // Walks the trees of `pdf`; false when one is deeper than the limit,
    // with the reason. `bytes`, when given, are those `pdf` was read from:
    // pages are then told from their bytes where they are plain enough,
    // without the library parsing each. The library's failures are its
    // caller's to catch.
    bool walk(QPDF &pdf, std::string *why, const std::string *bytes = nullptr);

    // After a walk: the pages readers count, and why the tree gives no page
    // count a reader would give (empty when it gives one).
    long pages() const { return pages_; }
    const std::string &countRefusal() const { return countRefusal_; }
    // Whether the root claims more pages than the tree holds.
    bool overclaimed() const { return overclaimed_; }
    // Whether the walk passed over a kid that is no dictionary or lists a
    // node above it, or found a page by its number alone: some readers
    // stop there and lose pages.
    bool passedOver() const { return passedOver_; }

    // After a walk that gave a count: the pages() pages in reading order,
    // each with the node that lists it (inherited attributes come from
    // there). A page listed twice stands twice.
    struct Listed
    {
        QPDFObjectHandle page;
        QPDFObjectHandle node;
    };
    const std::vector<Listed> &inOrder() const { return inOrder_; }

    // After a walk whose count was refused because the root claims more
    // pages than the tree holds (none, or fewer), where the claim is one
    // readers take (a whole number no larger than the entries of the file's
    // table of objects, in blocks of 256 when the table had to be rebuilt):
    // the number claimed, and the pages held in reading order.
    // 0 and nothing otherwise.
    long claimed() const { return claimed_; }
    // After a walk: the pages the tree holds, whatever its root claims.
    size_t holds() const { return holds_; }
    const std::vector<Listed> &held() const { return held_; }

    // Copies onto `page` what it lacks and inherits from `node`, the node
    // that lists it, and the nodes above that: a page written into another
    // tree keeps its boxes, resources and rotation. Each node once, at
    // most kMaxDepth + 1 of them, whatever a /Parent leads to.
    static void inherit(QPDFObjectHandle page, QPDFObjectHandle node);
    // A page without content in `pdf`, of the size and turn `like` (a page
    // or the node listing it) gives it, as readers show a page they number
    // but cannot draw.
    static QPDFObjectHandle blankPage(QPDF *pdf, QPDFObjectHandle like);

private:
    // Walks the nodes below `tops` (those with /Kids), collecting the
    // dictionaries without /Kids into `leaves`, and the nodes whose plain
    // pages were counted without parsing into `plainParents_`; false when
    // more than kMaxDepth nodes stand on one path. With `inOrder`, every
    // leaf, plain or not, is also listed there in order.
    bool walkDown(const std::vector<QPDFObjectHandle> &tops, std::vector<QPDFObjectHandle> *leaves,
                  std::vector<Listed> *inOrder = nullptr);
    // Whether a node reached again may be walked again: false once the
    // walk has taken more steps than the file's objects allow.
    bool walkAgain();
    // `kid` itself, or the object of its number written with another
    // generation when `kid` refers to nothing.
    QPDFObjectHandle ofAnyGeneration(QPDFObjectHandle kid);
    // Whether `kid`, as its bytes stand, is a page without kids or
    // annotations whose /Parent is `node`; false when unsure.
    bool plainPage(QPDFObjectHandle kid, QPDFObjectHandle node) const;
    // The dictionaries from `dict` up through /Parent, itself included;
    // more than kMaxDepth + 1 once past that.
    int above(QPDFObjectHandle dict);
    std::string countOf(QPDFObjectHandle root, size_t leaves);
    // Whether the library rebuilt the file's table of objects on reading.
    bool tableRebuilt() const;

    QPDF *pdf_ = nullptr;
    const std::string *bytes_ = nullptr;
    std::map<QPDFObjGen, QPDFXRefEntry> table_;
    bool tableRead_ = false;   // table_ read after the library's repairs
    std::map<QPDFObjGen, int> below_;   // the most levels of nodes from a node down, itself included
    std::map<QPDFObjGen, int> above_;   // dictionaries from a node up through /Parent, itself included
    std::vector<QPDFObjectHandle> plainParents_;
    long plainPages_ = 0;
    bool overclaimed_ = false;   // the root claims more pages than the tree holds
    bool damaged_ = false;   // a node reached twice more often than the walk follows
    bool passedOver_ = false;
    long pages_ = 0;
    long claimed_ = 0;
    long steps_ = 0;   // kids walked, for walkAgain()
    long budget_ = 0;   // the most steps, once a node is reached again
    size_t holds_ = 0;
    std::string countRefusal_;
    std::vector<Listed> inOrder_;
    std::vector<Listed> held_;
};

#endif
