#include "pdfpages.h"

#include "memorylimit.h"
#include "pagesleftout.h"
#include "pagetree.h"
#include "temporaryoutput.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstring>
#include <new>
#include <set>
#include <stdexcept>
#include <utility>

namespace
{
// Tells MemoryLimit of a failed allocation of zlib's, which the library
// passes on in an error of its own, in zlib's words.
void noteZlibExhaustion(const std::exception &e)
{
    const std::string what = e.what();
    if (what.find("insufficient memory") != std::string::npos || what.find("zlib memory error") != std::string::npos)
        MemoryLimit::noteExhaustion();
}

// The library's messages name the file, object and offset; the user needs the
// kind of failure first.
// A failed write of our output file, in our words.
class WriteFailure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The library's messages name its own objects and offsets in its words; the
// user gets the kind of failure, and the caller names the file.
std::string reasonOf(const std::exception &e)
{
    if (const auto *system = dynamic_cast<const QPDFSystemError *>(&e))
        return std::strerror(system->getErrno());
    if (dynamic_cast<const WriteFailure *>(&e))
        return e.what();
    const auto *pdf = dynamic_cast<const QPDFExc *>(&e);
    if (pdf && pdf->getErrorCode() == qpdf_e_password)
        return "the document is password-protected";
    return "the file is damaged or not a PDF document, and could not be repaired";
}

// Whether the content of `page`, of `pdf`, decodes without a fault.
bool contentReads(QPDF &pdf, QPDFPageObjectHelper page)
{
    const size_t before = pdf.numWarnings();
    try {
        Pl_Discard discard;
        page.pipeContents(&discard);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        noteZlibExhaustion(e);
        return false;
    }
    return pdf.numWarnings() == before;
}

// Why the document written at `path` is not the pages `taken` (of
// `source`) whose content reads as theirs does, without a repair; empty
// when it is. Content the input itself holds damaged, which readers show
// as far as it goes, is copied as it is and no fault of the writing.
std::string verify(const std::string &path, QPDF &source, const std::vector<QPDFObjectHandle> &taken)
{
    QPDF written;
    written.setSuppressWarnings(true);
    bool readable = true;
    try {
        written.processFile(path.c_str());
        std::vector<QPDFPageObjectHelper> all = QPDFPageDocumentHelper(written).getAllPages();
        if (all.size() != taken.size())
            return "it had to be repaired, and the pages written from it are not all there";
        readable = !written.anyWarnings();
        for (size_t i = 0; readable && i < all.size(); ++i)
            readable = contentReads(written, all[i]) || !contentReads(source, taken[i]);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        noteZlibExhaustion(e);
        readable = false;
    }
    if (!readable)
        return "it had to be repaired, and the pages written from it could not all be read back";
    return std::string();
}

// The writer's bytes into our file, which keeps the reason of a failed write.
// The first failure ends the writing; what comes after it, from the
// destructors that finish the library's pipelines while that unwinds, is
// dropped: a second exception there would end the process.
class IntoFile : public Pipeline
{
public:
    explicit IntoFile(TemporaryOutput *file) : Pipeline("output", nullptr), file_(file) {}
    void write(unsigned char const *data, size_t size) override
    {
        if (!failed_ && !file_->write(data, size)) {
            failed_ = true;
            throw WriteFailure(file_->writeFailure());
        }
    }
    void finish() override {}

private:
    TemporaryOutput *file_;
    bool failed_ = false;
};
}

PdfPages::PdfPages()
{
    // Repairs are reported by the library as warnings; a document it could
    // repair is used, one it could not fails with an exception.
    pdf_.setSuppressWarnings(true);
}

bool PdfPages::open(const std::string &name, std::string bytes, std::string *error)
{
    bytes_ = std::move(bytes);
    PageTree tree;
    try {
        pdf_.processMemoryFile(name.c_str(), bytes_.data(), bytes_.size());
        if (!tree.walk(pdf_, error, &bytes_))
            return false;
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        noteZlibExhaustion(e);
        const auto *pdf = dynamic_cast<const QPDFExc *>(&e);
        unreadable_ = pdf && pdf->getErrorCode() != qpdf_e_password;
        *error = reasonOf(e);
        return false;
    }
    count_ = tree.pages();
    pages_ = tree.inOrder();
    heldNone_ = tree.holds() == 0;
    if (!tree.countRefusal().empty() && tree.claimed() == 0) {
        *error = tree.countRefusal();
        return false;
    }
    if (!tree.countRefusal().empty()) {
        count_ = tree.claimed();
        pages_ = tree.held();
    }
    try {
        standInForTheCatalog();
        padWithBlankPages();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        noteZlibExhaustion(e);
        *error = reasonOf(e);
        return false;
    }
    return true;
}

void PdfPages::padWithBlankPages()
{
    // Readers number the pages the root claims and show those it does not
    // hold as blank: the cut writes them so, the size of the page before.
    QPDFObjectHandle root = pdf_.getRoot().getKey("/Pages");
    while (long(pages_.size()) < count_)
        pages_.push_back({PageTree::blankPage(&pdf_, pages_.empty() ? root : pages_.back().page), root});
}

void PdfPages::standInForTheCatalog()
{
    // Readers show a kid that is the catalog as a blank page. Written as a
    // page, or left out and made null, it would take the document's root
    // with it: a blank page of its own stands in its place.
    const QPDFObjGen catalog = pdf_.getRoot().getObjGen();
    for (PageTree::Listed &listed : pages_) {
        if (catalog.isIndirect() && listed.page.getObjGen() == catalog)
            listed.page = PageTree::blankPage(&pdf_, listed.node);
    }
}

void PdfPages::replaceTree(const std::vector<long> &pages)
{
    // The output is this document with its page list replaced, so what hangs
    // off the catalog comes along. The new list is one flat array under the
    // root node, built in one pass: adding and removing pages one at a time
    // through the library costs time in proportion to the document for
    // every page. Types readers do without are written as the format has them.
    QPDFObjectHandle root = pdf_.getRoot().getKey("/Pages");
    // A root that is itself the one page it lists gives way to a node of its own.
    const auto isRoot = [&root](const PageTree::Listed &listed) { return listed.page.isSameObjectAs(root); };
    if (!root.isDictionary() || std::any_of(pages_.begin(), pages_.end(), isRoot)) {
        root = pdf_.makeIndirectObject(QPDFObjectHandle::newDictionary());
        pdf_.getRoot().replaceKey("/Pages", root);
    }
    QPDFObjectHandle kids = QPDFObjectHandle::newArray();
    std::set<QPDFObjGen> placed;
    for (long p : pages) {
        const PageTree::Listed &listed = pages_[size_t(p - 1)];
        QPDFObjectHandle page = listed.page;
        if (placed.insert(page.getObjGen()).second) {
            // What it inherits from the nodes the cut leaves out.
            PageTree::inherit(page, listed.node);
        } else {
            // A page named again becomes a page of its own that shares the
            // content: one object cannot stand twice in the tree.
            page = pdf_.makeIndirectObject(page.shallowCopy());
        }
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        // Kids of a page would make it a node to some readers.
        page.removeKey("/Kids");
        page.replaceKey("/Parent", root);
        kids.appendItem(page);
    }
    root.replaceKey("/Type", QPDFObjectHandle::newName("/Pages"));
    root.removeKey("/Parent");
    root.replaceKey("/Kids", kids);
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pages.size())));
    pdf_.updateAllPagesCache();
}

void PdfPages::relabel(const std::vector<long> &pages)
{
    QPDFPageLabelDocumentHelper labels(pdf_);
    if (!labels.hasPageLabels())
        return;
    // Labels go by the place of a page: each run of pages that follow one
    // another in the document keeps the labels it had, from its new place.
    std::vector<QPDFObjectHandle> numbers;
    for (size_t first = 0, last = 0; first < pages.size(); first = last + 1) {
        for (last = first; last + 1 < pages.size() && pages[last + 1] == pages[last] + 1;)
            ++last;
        labels.getLabelsForPageRange(pages[first] - 1, pages[last] - 1, static_cast<long long>(first), numbers);
    }
    QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
    tree.replaceKey("/Nums", QPDFObjectHandle::newArray(numbers));
    pdf_.getRoot().replaceKey("/PageLabels", tree);
}

bool PdfPages::writePages(const std::vector<long> &pages, TemporaryOutput *out, std::string *error)
{
    for (long p : pages) {
        if (p < 1 || size_t(p) > pages_.size()) {
            *error = "page " + std::to_string(p) + " is outside the document, which has "
                + std::to_string(pages_.size()) + (pages_.size() == 1 ? " page" : " pages");
            return false;
        }
    }
    try {
        // A page written inside its node's /Kids is given a number of its
        // own, which tells it from the others.
        for (PageTree::Listed &listed : pages_) {
            if (!listed.page.isIndirect())
                listed.page = pdf_.makeIndirectObject(listed.page);
        }
        std::set<QPDFObjGen> kept, leftOut;
        for (long p : pages)
            kept.insert(pages_[size_t(p - 1)].page.getObjGen());
        for (const PageTree::Listed &listed : pages_) {
            if (!kept.count(listed.page.getObjGen()))
                leftOut.insert(listed.page.getObjGen());
        }
        relabel(pages);
        replaceTree(pages);
        PagesLeftOut(kept, leftOut).prune(pdf_);
        // Pages left out are still reachable through links, outlines and
        // form fields; without this they would be written in full.
        for (const QPDFObjGen &og : leftOut)
            pdf_.replaceObject(og, QPDFObjectHandle::newNull());
        // The writer gives the table's size only in place of a /Size the
        // trailer has: a damaged trailer may have none, and a reader
        // without it rebuilds the table from whatever looks like an object.
        pdf_.getTrailer().replaceKey("/Size", QPDFObjectHandle::newInteger(0));
        IntoFile file(out);
        QPDFWriter writer(pdf_);
        writer.setOutputPipeline(&file);
        // Streams are written as they were read, and objects outside object
        // streams: compressing them again would call zlib, whose failed
        // allocations the library reports as errors of its own, also from
        // the destructors that finish its pipelines, which ends the process.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.setObjectStreamMode(qpdf_o_disable);
        writer.write();
        // A repair made while the document was read may have lost what the
        // pages refer to: what was written must hold up on its own.
        if (pdf_.anyWarnings()) {
            std::vector<QPDFObjectHandle> taken;
            for (long p : pages)
                taken.push_back(pages_[size_t(p - 1)].page);
            *error = verify(out->path(), pdf_, taken);
            if (!error->empty())
                return false;
        }
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        noteZlibExhaustion(e);
        *error = reasonOf(e);
        return false;
    }
    return true;
}
