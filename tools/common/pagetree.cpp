#include "pagetree.h"

#include <qpdf/QPDFExc.hh>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <string_view>
#include <utility>

namespace
{
std::string tooDeep(const char *what)
{
    return std::string(what) + " more than " + std::to_string(PageTree::kMaxDepth) + " levels deep";
}

// White space as the file format knows it.
const char kBlanks[] = " \t\r\n\f";
// A page is looked at in its bytes up to this size; larger ones are parsed.
const size_t kPlainBytes = 4096;

// A node on the way down and the kids still to visit.
struct Level
{
    QPDFObjectHandle node;
    std::vector<QPDFObjectHandle> kids;
    size_t next = 0;
    int below = 0;   // the most levels of nodes under it found so far
};

// A number as the file writes it, cut where it would only fill the message.
std::string quoted(QPDFObjectHandle number)
{
    const std::string text = number.unparse();
    return text.size() <= 24 ? text : text.substr(0, 24) + "...";
}
}

bool PageTree::walk(QPDF &pdf, std::string *why, const std::string *bytes)
{
    below_.clear();
    above_.clear();
    plainParents_.clear();
    plainPages_ = 0;
    damaged_ = false;
    overclaimed_ = false;
    passedOver_ = false;
    pages_ = 0;
    claimed_ = 0;
    holds_ = 0;
    steps_ = 0;
    budget_ = 0;
    countRefusal_.clear();
    inOrder_.clear();
    held_.clear();
    pdf_ = &pdf;
    bytes_ = bytes;
    table_.clear();
    tableRead_ = false;
    if (bytes_)
        table_ = pdf.getXRefTable();
    QPDFObjectHandle catalog = pdf.getRoot();
    QPDFObjectHandle root = catalog.getKey("/Pages");
    std::vector<QPDFObjectHandle> pages;
    // A root without kids holds no page, and is no page itself unless it says so.
    const bool bare = root.isDictionary() && !root.hasKey("/Kids") && !root.getKey("/Type").isNameAndEquals("/Page");
    bool within = bare || walkDown({root}, &pages, &inOrder_);
    // A page's parents are the dictionaries above it; a plain page's are its node's.
    for (size_t i = 0; within && i < pages.size(); ++i)
        within = above(pages[i]) <= kMaxDepth + 1;
    for (size_t i = 0; within && i < plainParents_.size(); ++i)
        within = above(plainParents_[i]) <= kMaxDepth;
    if (!within) {
        *why = tooDeep("its page tree is");
        return false;
    }
    // Counted before the fields are walked: they are no part of the page tree.
    const size_t held = pages.size() + size_t(plainPages_);
    holds_ = held;
    countRefusal_ = countOf(root, held);
    // What a claim is refused with, for a caller that takes the claim.
    if (claimed_ > 0)
        held_.swap(inOrder_);
    inOrder_.resize(size_t(pages_));

    // A widget's field attributes are inherited through its /Parent fields.
    QPDFObjectHandle form = catalog.getKey("/AcroForm");
    QPDFObjectHandle fields = form.isDictionary() ? form.getKey("/Fields") : QPDFObjectHandle::newNull();
    std::vector<QPDFObjectHandle> widgets;
    within = !fields.isArray() || walkDown(fields.getArrayAsVector(), &widgets);
    for (size_t i = 0; within && i < pages.size(); ++i) {
        QPDFObjectHandle annotations = pages[i].getKey("/Annots");
        for (int a = 0; within && annotations.isArray() && a < annotations.getArrayNItems(); ++a) {
            QPDFObjectHandle annotation = annotations.getArrayItem(a);
            within = !annotation.isDictionary() || above(annotation) <= kMaxDepth + 1;
        }
    }
    if (!within)
        *why = tooDeep("its form fields are nested");
    return within;
}

bool PageTree::walkDown(const std::vector<QPDFObjectHandle> &tops, std::vector<QPDFObjectHandle> *leaves,
                        std::vector<Listed> *inOrder)
{
    std::vector<Level> path;
    std::set<QPDFObjGen> onPath;
    size_t nextTop = 0;
    for (;;) {
        QPDFObjectHandle kid;
        if (!path.empty() && path.back().next == path.back().kids.size()) {
            // Every kid visited: the node's height is known for whoever reaches it again.
            const Level done = std::move(path.back());
            path.pop_back();
            const QPDFObjGen og = done.node.getObjGen();
            if (og.isIndirect()) {
                below_[og] = done.below + 1;
                onPath.erase(og);
            }
            if (!path.empty())
                path.back().below = std::max(path.back().below, done.below + 1);
            continue;
        }
        if (!path.empty()) {
            Level &level = path.back();
            kid = level.kids[level.next++];
        } else if (nextTop < tops.size()) {
            kid = tops[nextTop++];
        } else {
            return true;
        }
        ++steps_;
        const QPDFObjectHandle lister = path.empty() ? QPDFObjectHandle::newNull() : path.back().node;
        if (!path.empty() && plainPage(kid, lister)) {
            if (plainParents_.empty() || plainParents_.back().getObjGen() != lister.getObjGen())
                plainParents_.push_back(lister);
            ++plainPages_;
            if (inOrder)
                inOrder->push_back({kid, lister});
            continue;
        }
        if (!kid.isDictionary()) {
            passedOver_ = true;
            kid = ofAnyGeneration(kid);
        }
        // Every reader passes over a kid that is no dictionary.
        if (!kid.isDictionary())
            continue;
        // Readers show the catalog listed as a kid as a blank page; one
        // library takes it otherwise, so it is drawn as rewritten.
        if (kid.isIndirect() && kid.getObjGen() == pdf_->getRoot().getObjGen())
            passedOver_ = true;
        // A page that lists kids is a page to the readers that draw it (one
        // library takes it for a node): its kids are passed over. The root
        // is a node whatever its type says.
        if (!kid.hasKey("/Kids") || (!path.empty() && kid.getKey("/Type").isNameAndEquals("/Page"))) {
            // One library numbers its kids too.
            passedOver_ = passedOver_ || kid.hasKey("/Kids");
            leaves->push_back(kid);
            if (inOrder)
                inOrder->push_back({kid, lister});
            continue;
        }
        const QPDFObjGen og = kid.getObjGen();
        if (og.isIndirect() && onPath.count(og)) {
            // A kid that lists a node above it: every reader passes over it
            // (one stops drawing there), and so does the walk.
            passedOver_ = true;
            continue;
        }
        if (og.isIndirect()) {
            const auto known = below_.find(og);
            // Reached again through another path: readers list its pages
            // again, and so does the walk while it stays within what the
            // file's size allows; past that its levels are counted once.
            if (known != below_.end() && !walkAgain()) {
                damaged_ = true;
                const int height = known->second;
                if (int(path.size()) + height > kMaxDepth)
                    return false;
                if (!path.empty())
                    path.back().below = std::max(path.back().below, height);
                continue;
            }
        }
        if (int(path.size()) >= kMaxDepth)
            return false;
        Level level;
        level.node = kid;
        QPDFObjectHandle kids = kid.getKey("/Kids");
        if (kids.isArray())
            level.kids = kids.getArrayAsVector();
        if (og.isIndirect())
            onPath.insert(og);
        path.push_back(std::move(level));
    }
}

bool PageTree::walkAgain()
{
    // Each node and page of the file a few times over: a tree that lists a
    // node twice is walked whole, one whose paths multiply at every level
    // is not.
    if (budget_ == 0) {
        if (!tableRead_) {
            table_ = pdf_->getXRefTable();
            tableRead_ = true;
        }
        budget_ = 4 * long(table_.size()) + 1000;
    }
    return steps_ <= budget_;
}

QPDFObjectHandle PageTree::blankPage(QPDF *pdf, QPDFObjectHandle like)
{
    QPDFObjectHandle blank = QPDFObjectHandle::newDictionary();
    inherit(blank, like);
    blank.removeKey("/Resources");
    if (!blank.getKey("/MediaBox").isArray())
        blank.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 612 792]"));
    return pdf->makeIndirectObject(blank);
}

void PageTree::inherit(QPDFObjectHandle page, QPDFObjectHandle node)
{
    static const char *const inherited[] = {"/MediaBox", "/CropBox", "/Resources", "/Rotate"};
    std::set<QPDFObjGen> seen;
    int steps = 0;
    for (QPDFObjectHandle up = node; up.isDictionary() && steps <= kMaxDepth; up = up.getKey("/Parent"), ++steps) {
        if (up.isIndirect() && !seen.insert(up.getObjGen()).second)
            break;
        for (const char *key : inherited) {
            if (!page.hasKey(key) && up.hasKey(key))
                page.replaceKey(key, up.getKey(key));
        }
    }
}

QPDFObjectHandle PageTree::ofAnyGeneration(QPDFObjectHandle kid)
{
    if (!kid.isIndirect() || !kid.isNull())
        return kid;
    // Read once, after the library's repair has listed what the file holds.
    if (!tableRead_) {
        table_ = pdf_->getXRefTable();
        tableRead_ = true;
    }
    const int id = kid.getObjectID();
    for (auto entry = table_.lower_bound(QPDFObjGen(id, 0)); entry != table_.end() && entry->first.getObj() == id; ++entry) {
        if (entry->first.getGen() == kid.getGeneration())
            continue;
        QPDFObjectHandle found = pdf_->getObjectByID(id, entry->first.getGen());
        if (found.isDictionary())
            return found;
    }
    return kid;
}

bool PageTree::plainPage(QPDFObjectHandle kid, QPDFObjectHandle node) const
{
    if (!bytes_ || !kid.isIndirect() || !node.isIndirect())
        return false;
    const auto entry = table_.find(kid.getObjGen());
    if (entry == table_.end() || entry->second.getType() != 1)
        return false;
    // The object stands where the table says, as the library reads it.
    const std::string &bytes = *bytes_;
    const qpdf_offset_t offset = entry->second.getOffset();
    char head[64];
    const int headSize = std::snprintf(head, sizeof head, "%d %d obj", kid.getObjectID(), kid.getGeneration());
    if (offset < 0 || size_t(offset) >= bytes.size() || bytes.compare(size_t(offset), size_t(headSize), head) != 0)
        return false;
    // Looked for no further than a plain page reaches: each page costs its own bytes only.
    const size_t start = size_t(offset) + size_t(headSize);
    const std::string_view near(bytes.data() + start, std::min(bytes.size() - start, kPlainBytes));
    const size_t end = near.find("endobj");
    if (end == near.npos)
        return false;
    const std::string_view body = near.substr(0, end);
    // Nothing that could hide a key or the object's end: strings, comments,
    // escapes in names, streams; only dictionaries and arrays, balanced.
    if (body.find_first_of("(%#{}") != body.npos || body.find("stream") != body.npos || body.find("/Kids") != body.npos
        || body.find("/Annots") != body.npos)
        return false;
    const size_t first = body.find_first_not_of(kBlanks);
    if (first == body.npos || body.compare(first, 2, "<<") != 0)
        return false;
    int depth = 0, arrays = 0;
    size_t last = first;
    for (size_t i = first; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '<' || c == '>') {
            if (i + 1 == body.size() || body[i + 1] != c)
                return false;   // a hex string
            if (c == '<' && depth == 0 && i != first)
                return false;   // a second object
            depth += c == '<' ? 1 : -1;
            if (depth < 0)
                return false;
            last = ++i;
        } else if (c == '[' || c == ']') {
            arrays += c == '[' ? 1 : -1;
            if (arrays < 0)
                return false;
        }
    }
    if (depth != 0 || arrays != 0 || body.find_first_not_of(kBlanks, last + 1) != body.npos)
        return false;
    // Exactly one /Parent, a reference to the node that lists it.
    const size_t at = body.find("/Parent");
    if (at == body.npos || body.find("/Parent", at + 1) != body.npos)
        return false;
    char wanted[64];
    const int wantedSize = std::snprintf(wanted, sizeof wanted, "%d %d R", node.getObjectID(), node.getGeneration());
    const size_t value = body.find_first_not_of(kBlanks, at + 7);
    const size_t after = value + size_t(wantedSize);
    return value != body.npos && value > at + 7 && body.compare(value, size_t(wantedSize), wanted) == 0
        && after < body.size() && std::strchr(" \t\r\n\f/>", body[after]);
}

int PageTree::above(QPDFObjectHandle dict)
{
    // The indirect dictionaries walked, nearest first, each with the number walked before it.
    std::vector<std::pair<QPDFObjGen, int>> chain;
    std::set<QPDFObjGen> seen;
    int count = 0, known = 0;
    for (QPDFObjectHandle up = dict; up.isDictionary(); up = up.getKey("/Parent")) {
        const QPDFObjGen og = up.getObjGen();
        if (og.isIndirect()) {
            const auto memo = above_.find(og);
            if (memo != above_.end()) {
                known = memo->second;
                break;
            }
            if (!seen.insert(og).second)
                break;   // a loop, which readers stop at
            chain.emplace_back(og, count);
        }
        if (++count > kMaxDepth + 1)
            return count;
    }
    const int total = count + known;
    for (const auto &walked : chain)
        above_[walked.first] = total - walked.second;
    return total;
}

std::string PageTree::countOf(QPDFObjectHandle root, size_t leaves)
{
    pages_ = 0;
    if (damaged_)
        return "its page tree is damaged: it reaches a part of itself more than once";
    QPDFObjectHandle count = root.getKey("/Count");
    // Readers take a claim of more pages than the tree holds when it is a
    // whole number no larger than the entries of the file's table of
    // objects (object 0 among them); a table rebuilt from the objects
    // found has room for them in blocks of 256 entries.
    if (count.isInteger() && count.getIntValue() > (long long)leaves) {
        if (!tableRead_) {
            table_ = pdf_->getXRefTable();
            tableRead_ = true;
        }
        long long entries = table_.empty() ? 1 : table_.rbegin()->first.getObj() + 1LL;
        if (count.getIntValue() > entries && tableRebuilt())
            entries = (entries + 255) / 256 * 256;
        if (count.getIntValue() <= entries)
            claimed_ = long(count.getIntValue());
    }
    if (leaves == 0)
        return "the document has no pages";
    if (!count.isNumber())
        return "its page tree gives no page count";
    overclaimed_ = count.getNumericValue() > double(leaves);
    // Below the pages held, readers agree on the count stated, in whole pages.
    const bool under = count.isInteger() && count.getIntValue() >= 1 && count.getIntValue() < (long long)leaves;
    if (count.getNumericValue() != double(leaves) && !under)
        return "its page tree claims " + quoted(count) + " pages and holds " + std::to_string(leaves);
    pages_ = under ? long(count.getIntValue()) : long(leaves);
    return std::string();
}

bool PageTree::tableRebuilt() const
{
    // The library keeps no other record of it a caller can read. Reading
    // its warnings clears them: they are given back for the caller.
    bool rebuilt = false;
    for (const QPDFExc &warning : pdf_->getWarnings()) {
        rebuilt = rebuilt || warning.getMessageDetail().find("reconstruct cross-reference table") != std::string::npos;
        pdf_->warn(warning);
    }
    return rebuilt;
}
