#include "qpdfrepair.h"

#include "pagetree.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFWriter.hh>

#include <map>
#include <new>
#include <set>
#include <utility>

namespace
{
// What a page takes from the nodes above it when it lacks it itself.
const char *const kInherited[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};

using Inherited = std::map<std::string, QPDFObjectHandle>;

// A node of the page tree on the way down and the kids still to visit.
struct Level
{
    std::vector<QPDFObjectHandle> kids;
    size_t next = 0;
    Inherited inherited;
};

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

bool QpdfRepair::collectPages(std::string *why)
{
    QPDFObjectHandle root = pdf_->getRoot().getKey("/Pages");
    if (!root.isDictionary() || !root.getKey("/Kids").isArray()) {
        *why = "it has no page tree";
        return false;
    }
    std::set<QPDFObjGen> nodes, listed;
    std::vector<Level> path;
    // A node is entered once: one reached again would give its pages again.
    const auto enter = [&](QPDFObjectHandle node) {
        if (node.isIndirect() && !nodes.insert(node.getObjGen()).second) {
            *why = "its page tree is damaged: it reaches a part of itself more than once";
            return false;
        }
        if (path.size() >= size_t(PageTree::kMaxDepth)) {
            *why = "its page tree is more than " + std::to_string(PageTree::kMaxDepth) + " levels deep";
            return false;
        }
        Level level;
        if (!path.empty())
            level.inherited = path.back().inherited;
        for (const char *key : kInherited) {
            if (node.hasKey(key))
                level.inherited[key] = node.getKey(key);
        }
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (kids.isArray())
            level.kids = kids.getArrayAsVector();
        path.push_back(std::move(level));
        return true;
    };
    if (!enter(root))
        return false;
    while (!path.empty()) {
        if (path.back().next == path.back().kids.size()) {
            path.pop_back();
            continue;
        }
        QPDFObjectHandle kid = path.back().kids[path.back().next++];
        if (!kid.isDictionary())
            continue;   // a null or a name: readers pass over it
        if (kid.hasKey("/Kids")) {
            if (kid.getKey("/Type").isNameAndEquals("/Page")) {
                *why = "its page tree is damaged: a page lists kids";
                return false;
            }
            if (!enter(kid))
                return false;
            continue;
        }
        // A page listed again is a page of its own to readers: it becomes a copy.
        if (!kid.isIndirect() || !listed.insert(kid.getObjGen()).second) {
            kid = pdf_->makeIndirectObject(kid.shallowCopy());
            listed.insert(kid.getObjGen());
        }
        for (const auto &attribute : path.back().inherited) {
            if (!kid.hasKey(attribute.first))
                kid.replaceKey(attribute.first, attribute.second);
        }
        kid.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        pages_.push_back(kid);
    }
    held_ = static_cast<long long>(pages_.size());
    QPDFObjectHandle count = root.getKey("/Count");
    stated_ = count.isInteger() ? count.getIntValue() : held_;
    if (held_ == 0) {
        *why = "the document has no pages";
        return false;
    }
    if (stated_ > held_ || stated_ < 1) {
        const std::string claim = count.unparse();
        *why = "its page tree claims " + (claim.size() <= 24 ? claim : claim.substr(0, 24) + "...") + " pages and holds "
            + std::to_string(held_);
        return false;
    }
    // Readers number the pages the tree states and no more.
    pages_.resize(size_t(stated_));
    return true;
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
