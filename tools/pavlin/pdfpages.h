#ifndef GRIDMOLT_PDFPAGES_H
#define GRIDMOLT_PDFPAGES_H

#include "pagetree.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>
#include <vector>

// One PDF document, for counting its pages and writing a document of some of
// them. The library reports failures by throwing; every method here catches
// and returns false with a reason instead, phrased for the user. Running out
// of memory (std::bad_alloc) is left to the caller; zlib's failed allocations,
// which the library reports as its own errors, are told to MemoryLimit.
class TemporaryOutput;

class PdfPages
{
public:
    PdfPages();
    PdfPages(const PdfPages &) = delete;
    PdfPages &operator=(const PdfPages &) = delete;

    // Reads the document from `bytes` (kept), repairing what can be repaired;
    // false when it is not a PDF, is damaged beyond repair, needs a password,
    // has a page tree too deep to follow (PageTree) or no page count a reader
    // would give. A root that claims more pages than its tree holds, in a
    // claim readers take (PageTree::claimed()), is counted so: the pages it
    // does not hold are blank. `name` names it in the library's own messages.
    bool open(const std::string &name, std::string bytes, std::string *error);

    // After open(): whether the library could not read the file at all (not
    // a password it wants, nor a page tree it refused), and whether the page
    // tree it read holds no page, whatever its root claims.
    bool unreadable() const { return unreadable_; }
    bool heldNone() const { return heldNone_; }

    // The pages of the page tree, which its root states.
    long pageCount() const { return count_; }
    // The bytes the document was read from.
    const std::string &bytes() const { return bytes_; }

    // Writes a document of the given pages (numbered from 1, repeats
    // allowed) in that order to `out`; false when one is outside the
    // document or a write failed (the reason is the file's own then). Each
    // page keeps its content, resources, annotations and links; the rest of
    // the document (information, metadata, encryption) is kept too, with
    // references to pages that were left out made null, and the form
    // fields, outline items, named destinations, thread beads and structure
    // of those pages left out (PagesLeftOut); each page keeps its label, and
    // a blank page the root claims, or a kid that is the catalog, is written
    // blank. Whatever the permissions say, a document that opens
    // without a password is cut as every program of ours rewrites it,
    // keeping its encryption.
    // Changes this object: call once.
    bool writePages(const std::vector<long> &pages, TemporaryOutput *out, std::string *error);

private:
    // The pages in their new order under the root node.
    void replaceTree(const std::vector<long> &pages);
    // The page labels of the pages given, at their new places.
    void relabel(const std::vector<long> &pages);
    // Adds blank pages to pages_ up to count_.
    void padWithBlankPages();
    // Puts a blank page in place of the catalog where the tree lists it.
    void standInForTheCatalog();

    std::string bytes_;
    QPDF pdf_;
    long count_ = 0;
    bool unreadable_ = false;
    bool heldNone_ = false;
    std::vector<PageTree::Listed> pages_;   // in reading order
};

#endif
