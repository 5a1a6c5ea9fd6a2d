#ifndef GRIDMOLT_ARTICLETHREADS_H
#define GRIDMOLT_ARTICLETHREADS_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>
#include <vector>

// The article threads of a document cut to some of its pages: each thread
// keeps the beads on pages kept, linked in a ring again in their order; a
// thread left without a bead goes, with its title; each page kept lists
// the beads kept alone. A ring is followed once, each bead once, so a
// broken or endless chain ends where it first comes round.
class ArticleThreads
{
public:
    // `kept` are the pages the cut holds.
    explicit ArticleThreads(std::set<QPDFObjGen> kept);

    void prune(QPDF &pdf);

private:
    // The beads of `thread` on pages kept, in the order of its ring.
    std::vector<QPDFObjectHandle> keptBeads(QPDFObjectHandle thread);
    // Links `beads` into a ring that `thread` starts.
    static void ring(QPDFObjectHandle thread, const std::vector<QPDFObjectHandle> &beads);
    // Leaves in each kept page's /B the beads kept.
    void prunePageLists(QPDF &pdf);

    std::set<QPDFObjGen> kept_;
    std::set<QPDFObjGen> beads_;   // kept
};

#endif
