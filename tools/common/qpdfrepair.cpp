#include "qpdfrepair.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFWriter.hh>

#include <new>
#include <set>

namespace
{
// The library's reason without the file name it puts first: ours names the input.
std::string reasonOf(const std::exception &e)
{
    const QPDFExc *fault = dynamic_cast<const QPDFExc *>(&e);
    return fault ? fault->getMessageDetail() : e.what();
}
}

QpdfRepair::QpdfRepair(std::string path)
    : path_(std::move(path))
{
}

QPDF *QpdfRepair::reading()
{
    if (opened_)
        return pdf_.get();
    opened_ = true;
    std::unique_ptr<QPDF> pdf(new QPDF);
    try {
        pdf->setSuppressWarnings(true);
        pdf->processFile(path_.c_str());
        pdf->getRoot();   // a file without a catalog is refused here, once
        pdf_ = std::move(pdf);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        failure_ = reasonOf(e);
    }
    return pdf_.get();
}

bool QpdfRepair::pages(std::vector<QPDFObjectHandle> *list, std::string *why)
{
    if (!reading()) {
        *why = failure_;
        return false;
    }
    if (!flattened_) {
        flattened_ = true;
        try {
            if (collectPages(&treeFault_)) {
                // One node over the pages: each names it its parent, whatever it named before.
                QPDFObjectHandle root = pdf_->makeIndirectObject(QPDFObjectHandle::newDictionary(
                    {{"/Type", QPDFObjectHandle::newName("/Pages")},
                     {"/Kids", QPDFObjectHandle::newArray(pages_)},
                     {"/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pages_.size()))}}));
                for (QPDFObjectHandle &page : pages_)
                    page.replaceKey("/Parent", root);
                pdf_->getRoot().replaceKey("/Pages", root);
                pdf_->updateAllPagesCache();
            }
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const std::exception &e) {
            treeFault_ = "its page tree is damaged (" + reasonOf(e) + ")";
        }
        if (!treeFault_.empty())
            pages_.clear();
    }
    *why = treeFault_;
    *list = pages_;
    return treeFault_.empty();
}

bool QpdfRepair::walked(std::string *why)
{
    if (!reading()) {
        *why = failure_;
        return false;
    }
    if (!walkedOnce_) {
        walkedOnce_ = true;
        try {
            if (!tree_.walk(*pdf_, &walkFault_)) {
                refused_ = true;
            } else if (!tree_.countRefusal().empty() && tree_.claimed() == 0) {
                walkFault_ = tree_.countRefusal();
                refused_ = tree_.overclaimed();
            }
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const std::exception &e) {
            walkFault_ = "its page tree is damaged (" + reasonOf(e) + ")";
        }
    }
    *why = walkFault_;
    return walkFault_.empty();
}

bool QpdfRepair::collectPages(std::string *why)
{
    if (!walked(why))
        return false;
    std::set<QPDFObjGen> listed;
    const bool claim = tree_.claimed() > 0;
    const QPDFObjGen catalog = pdf_->getRoot().getObjGen();
    for (const PageTree::Listed &entry : claim ? tree_.held() : tree_.inOrder()) {
        QPDFObjectHandle page = entry.page;
        // The catalog among the kids stays the catalog: a blank page stands in its place.
        if (page.isIndirect() && page.getObjGen() == catalog) {
            QPDFObjectHandle blank = PageTree::blankPage(pdf_.get(), entry.node);
            blank.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
            pages_.push_back(blank);
            continue;
        }
        // A page listed again is a page of its own to readers: it becomes a copy.
        if (!page.isIndirect() || !listed.insert(page.getObjGen()).second) {
            page = pdf_->makeIndirectObject(page.shallowCopy());
            listed.insert(page.getObjGen());
        }
        PageTree::inherit(page, entry.node);
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        // Kids of a page would make it a node to readers of the rewrite.
        page.removeKey("/Kids");
        pages_.push_back(page);
    }
    // Readers number the pages the root claims and show those it does not
    // hold as blank: they are written so, the size of the page before.
    while (claim && pages_.size() < size_t(tree_.claimed())) {
        QPDFObjectHandle blank =
            PageTree::blankPage(pdf_.get(), pages_.empty() ? pdf_->getRoot().getKey("/Pages") : pages_.back());
        blank.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        pages_.push_back(blank);
    }
    return true;
}

bool QpdfRepair::hybridReferences()
{
    return reading() && pdf_->getTrailer().hasKey("/XRefStm");
}

std::string QpdfRepair::treeRefusal(bool claimsToo)
{
    std::string why;
    return !walked(&why) && refused_ && (claimsToo || !tree_.overclaimed()) ? why : std::string();
}

bool QpdfRepair::claimTaken()
{
    std::string why;
    walked(&why);
    return tree_.claimed() > 0;
}

bool QpdfRepair::rewrite(std::string *bytes, std::string *why)
{
    std::vector<QPDFObjectHandle> list;
    if (!pages(&list, why))
        return false;
    try {
        // Plain objects, stream data as it stands: only what was read
        // changes, and the encryption is the input's.
        // The writer gives the table's size only in place of a /Size the
        // trailer has: a damaged trailer may have none, and a reader
        // without it rebuilds the table from whatever looks like an object.
        pdf_->getTrailer().replaceKey("/Size", QPDFObjectHandle::newInteger(0));
        QPDFWriter writer(*pdf_);
        writer.setOutputMemory();
        writer.setObjectStreamMode(qpdf_o_disable);
        writer.setCompressStreams(false);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.write();
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        bytes->assign(reinterpret_cast<const char *>(written->getBuffer()), written->getSize());
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        *why = "it cannot be rewritten (" + reasonOf(e) + ")";
        return false;
    }
    return true;
}
