#ifndef OSTREL_QPDFREPAIR_H
#define OSTREL_QPDFREPAIR_H

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
// the encryption the input has; the engine then reads those bytes.
class QpdfRepair
{
public:
    explicit QpdfRepair(std::string path);

    // The input as read, opened on the first call; nullptr when it cannot
    // be (why in failure()). Allocation failures are thrown.
    QPDF *reading();
    const std::string &failure() const { return failure_; }

    // The pages readers number, in their order, after the page tree was
    // made one node (idempotent); false with what is wrong with the tree.
    // `stated` is the count the tree gives, `held` the pages it holds.
    bool pages(std::vector<QPDFObjectHandle> *list, std::string *why);
    long long stated() const { return stated_; }
    long long held() const { return held_; }

    // The input rewritten as above; false with what is wrong with the
    // input when it cannot be.
    bool rewrite(std::string *bytes, std::string *why);

private:
    // Walks the page tree from the catalog, each node once and without
    // recursion, collecting its leaves with what they inherit.
    bool collectPages(std::string *why);

    std::string path_;
    std::unique_ptr<QPDF> pdf_;
    bool opened_ = false;
    bool flattened_ = false;
    std::string failure_;
    std::string treeFault_;
    std::vector<QPDFObjectHandle> pages_;
    long long stated_ = 0;
    long long held_ = 0;
};

#endif
