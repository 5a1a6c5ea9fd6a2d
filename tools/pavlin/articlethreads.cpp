#include "articlethreads.h"

#include <utility>

ArticleThreads::ArticleThreads(std::set<QPDFObjGen> kept) : kept_(std::move(kept)) {}

void ArticleThreads::prune(QPDF &pdf)
{
    QPDFObjectHandle catalog = pdf.getRoot();
    QPDFObjectHandle threads = catalog.getKey("/Threads");
    if (threads.isArray()) {
        QPDFObjectHandle stay = QPDFObjectHandle::newArray();
        std::set<QPDFObjGen> seen;
        for (int i = 0; i < threads.getArrayNItems(); ++i) {
            QPDFObjectHandle thread = threads.getArrayItem(i);
            if (!thread.isDictionary() || (thread.isIndirect() && !seen.insert(thread.getObjGen()).second))
                continue;
            const std::vector<QPDFObjectHandle> beads = keptBeads(thread);
            if (beads.empty())
                continue;
            ring(thread, beads);
            stay.appendItem(thread);
        }
        if (stay.getArrayNItems() > 0)
            catalog.replaceKey("/Threads", stay);
        else
            catalog.removeKey("/Threads");
    }
    prunePageLists(pdf);
}

std::vector<QPDFObjectHandle> ArticleThreads::keptBeads(QPDFObjectHandle thread)
{
    std::vector<QPDFObjectHandle> beads;
    std::set<QPDFObjGen> seen;
    // Beads are indirect objects: the ring ends where one comes round again.
    for (QPDFObjectHandle bead = thread.getKey("/F"); bead.isDictionary() && bead.isIndirect(); bead = bead.getKey("/N")) {
        if (!seen.insert(bead.getObjGen()).second)
            break;
        QPDFObjectHandle page = bead.getKey("/P");
        if (page.isIndirect() && kept_.count(page.getObjGen()) && beads_.insert(bead.getObjGen()).second)
            beads.push_back(bead);
    }
    return beads;
}

void ArticleThreads::ring(QPDFObjectHandle thread, const std::vector<QPDFObjectHandle> &beads)
{
    thread.replaceKey("/F", beads.front());
    for (size_t i = 0; i < beads.size(); ++i) {
        QPDFObjectHandle bead = beads[i];
        // The first bead names its thread, the others need not.
        if (i == 0)
            bead.replaceKey("/T", thread);
        else
            bead.removeKey("/T");
        bead.replaceKey("/N", beads[(i + 1) % beads.size()]);
        bead.replaceKey("/V", beads[(i + beads.size() - 1) % beads.size()]);
    }
}

void ArticleThreads::prunePageLists(QPDF &pdf)
{
    for (const QPDFObjGen &og : kept_) {
        QPDFObjectHandle page = pdf.getObject(og);
        QPDFObjectHandle list = page.isDictionary() ? page.getKey("/B") : QPDFObjectHandle::newNull();
        if (!list.isArray())
            continue;
        QPDFObjectHandle stay = QPDFObjectHandle::newArray();
        for (int i = 0; i < list.getArrayNItems(); ++i) {
            QPDFObjectHandle bead = list.getArrayItem(i);
            if (bead.isIndirect() && beads_.count(bead.getObjGen()))
                stay.appendItem(bead);
        }
        if (stay.getArrayNItems() > 0)
            page.replaceKey("/B", stay);
        else
            page.removeKey("/B");
    }
}
