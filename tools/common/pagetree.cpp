#include "pagetree.h"

#include <algorithm>
#include <new>
#include <set>
#include <utility>

namespace
{
std::string tooDeep(const char *what)
{
    return std::string(what) + " more than " + std::to_string(PageTree::kMaxDepth) + " levels deep";
}

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

std::string PageTree::refusal(const std::string &path)
{
    QPDF pdf;
    PageTree tree;
    std::string why;
    try {
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        if (tree.walk(pdf, &why))
            return std::string();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return std::string();
    }
    return why;
}

bool PageTree::walk(QPDF &pdf, std::string *why)
{
    below_.clear();
    above_.clear();
    damaged_ = false;
    pages_ = 0;
    countRefusal_.clear();
    QPDFObjectHandle catalog = pdf.getRoot();
    QPDFObjectHandle root = catalog.getKey("/Pages");
    std::vector<QPDFObjectHandle> pages;
    if (!walkDown({root}, &pages)) {
        *why = tooDeep("its page tree is");
        return false;
    }
    for (QPDFObjectHandle &page : pages) {
        if (tooManyParents(page)) {
            *why = tooDeep("its page tree is");
            return false;
        }
    }
    // Counted before the fields are walked: they are no part of the page tree.
    countRefusal_ = countOf(root, pages.size());
    pages_ = countRefusal_.empty() ? long(pages.size()) : 0;

    // A widget's field attributes are inherited through its /Parent fields.
    QPDFObjectHandle form = catalog.getKey("/AcroForm");
    QPDFObjectHandle fields = form.isDictionary() ? form.getKey("/Fields") : QPDFObjectHandle::newNull();
    std::vector<QPDFObjectHandle> widgets;
    bool within = !fields.isArray() || walkDown(fields.getArrayAsVector(), &widgets);
    for (size_t i = 0; within && i < pages.size(); ++i) {
        QPDFObjectHandle annotations = pages[i].getKey("/Annots");
        for (int a = 0; within && annotations.isArray() && a < annotations.getArrayNItems(); ++a) {
            QPDFObjectHandle annotation = annotations.getArrayItem(a);
            within = !annotation.isDictionary() || !tooManyParents(annotation);
        }
    }
    if (!within)
        *why = tooDeep("its form fields are nested");
    return within;
}

bool PageTree::walkDown(const std::vector<QPDFObjectHandle> &tops, std::vector<QPDFObjectHandle> *leaves)
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
        if (!kid.isDictionary()) {
            damaged_ = damaged_ || !path.empty();   // a missing root is no damage: it has no pages
            continue;
        }
        if (!kid.hasKey("/Kids")) {
            leaves->push_back(kid);
            continue;
        }
        // Readers differ on a page that lists kids: one takes it for a page, another for a node.
        if (kid.getKey("/Type").isNameAndEquals("/Page"))
            damaged_ = true;
        const QPDFObjGen og = kid.getObjGen();
        if (og.isIndirect()) {
            const auto known = below_.find(og);
            if (known != below_.end() || onPath.count(og)) {
                // Reached again, or a loop (which readers stop at): its levels are counted once.
                damaged_ = true;
                const int height = known != below_.end() ? known->second : 0;
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

bool PageTree::tooManyParents(QPDFObjectHandle node)
{
    // The indirect dictionaries walked, nearest first, each with the number walked before it.
    std::vector<std::pair<QPDFObjGen, int>> chain;
    std::set<QPDFObjGen> seen;
    int count = 0, known = 0;
    for (QPDFObjectHandle up = node.getKey("/Parent"); up.isDictionary(); up = up.getKey("/Parent")) {
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
        if (++count > kMaxDepth)
            return true;
    }
    const int total = count + known;
    for (const auto &walked : chain)
        above_[walked.first] = total - walked.second;
    return total > kMaxDepth;
}

std::string PageTree::countOf(QPDFObjectHandle root, size_t leaves)
{
    if (damaged_)
        return "its page tree is damaged: it reaches a part of itself more than once, or lists what is no page";
    if (leaves == 0)
        return "the document has no pages";
    QPDFObjectHandle count = root.getKey("/Count");
    if (!count.isNumber())
        return "its page tree gives no page count";
    if (count.getNumericValue() != double(leaves))
        return "its page tree claims " + quoted(count) + " pages and holds " + std::to_string(leaves);
    return std::string();
}
