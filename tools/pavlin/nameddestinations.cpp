#include "nameddestinations.h"

#include "pagetree.h"

#include <algorithm>

namespace
{
// The first of `entries` (sorted by key) whose key is `key`, or their end.
std::vector<std::pair<std::string, QPDFObjectHandle>>::const_iterator
find(const std::vector<std::pair<std::string, QPDFObjectHandle>> &entries, const std::string &key)
{
    const auto at = std::lower_bound(entries.begin(), entries.end(), key,
                                     [](const auto &entry, const std::string &k) { return entry.first < k; });
    return at != entries.end() && at->first == key ? at : entries.end();
}
}

NamedDestinations::NamedDestinations(QPDF &pdf)
{
    QPDFObjectHandle catalog = pdf.getRoot();
    QPDFObjectHandle names = catalog.getKey("/Names");
    if (names.isDictionary())
        readTree(names.getKey("/Dests"));
    QPDFObjectHandle dests = catalog.getKey("/Dests");
    if (dests.isDictionary()) {
        for (const auto &entry : dests.getDictAsMap())
            dests_.emplace(entry.first, entry.second);
    }
}

void NamedDestinations::readTree(QPDFObjectHandle root)
{
    // Each node once, no deeper than a page tree may stand.
    std::vector<std::pair<QPDFObjectHandle, int>> open{{root, 0}};
    std::set<QPDFObjGen> seen;
    while (!open.empty()) {
        auto [node, depth] = open.back();
        open.pop_back();
        if (!node.isDictionary() || depth > PageTree::kMaxDepth
            || (node.isIndirect() && !seen.insert(node.getObjGen()).second))
            continue;
        QPDFObjectHandle pairs = node.getKey("/Names");
        for (int i = 0; pairs.isArray() && i + 1 < pairs.getArrayNItems(); i += 2) {
            QPDFObjectHandle key = pairs.getArrayItem(i);
            if (key.isString())
                names_.emplace_back(key.getStringValue(), pairs.getArrayItem(i + 1));
        }
        QPDFObjectHandle kids = node.getKey("/Kids");
        // Put on the stack last first: the kids are read in their order.
        for (int i = kids.isArray() ? kids.getArrayNItems() - 1 : -1; i >= 0; --i)
            open.emplace_back(kids.getArrayItem(i), depth + 1);
    }
    // Readers search the tree by key; a key given twice is found once, the first.
    std::stable_sort(names_.begin(), names_.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    names_.erase(std::unique(names_.begin(), names_.end(), [](const auto &a, const auto &b) { return a.first == b.first; }),
                 names_.end());
}

QPDFObjGen NamedDestinations::explicitPage(QPDFObjectHandle destination)
{
    if (destination.isDictionary())
        destination = destination.getKey("/D");
    if (!destination.isArray() || destination.getArrayNItems() < 1)
        return QPDFObjGen();
    QPDFObjectHandle page = destination.getArrayItem(0);
    return page.isIndirect() ? page.getObjGen() : QPDFObjGen();
}

QPDFObjGen NamedDestinations::pageOf(QPDFObjectHandle destination) const
{
    if (!destination.isName() && !destination.isString())
        return explicitPage(destination);
    const std::string key = destination.isName() ? destination.getName() : destination.getStringValue();
    const auto inTree = find(names_, destination.isName() ? key.substr(1) : key);
    const auto inDests = dests_.find(destination.isName() ? key : "/" + key);
    // A name is looked up in the dictionary first, a string in the tree.
    if (destination.isName() && inDests != dests_.end())
        return explicitPage(inDests->second);
    if (inTree != names_.end())
        return explicitPage(inTree->second);
    return inDests != dests_.end() ? explicitPage(inDests->second) : QPDFObjGen();
}

void NamedDestinations::prune(QPDF &pdf, const std::set<QPDFObjGen> &kept) const
{
    QPDFObjectHandle catalog = pdf.getRoot();
    QPDFObjectHandle names = catalog.getKey("/Names");
    if (names.isDictionary() && names.hasKey("/Dests")) {
        QPDFObjectHandle pairs = QPDFObjectHandle::newArray();
        for (const auto &entry : names_) {
            if (kept.count(explicitPage(entry.second))) {
                pairs.appendItem(QPDFObjectHandle::newString(entry.first));
                pairs.appendItem(entry.second);
            }
        }
        // One node, the root, which has no /Limits: a valid tree of any size.
        QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
        tree.replaceKey("/Names", pairs);
        names.replaceKey("/Dests", pdf.makeIndirectObject(tree));
    }
    QPDFObjectHandle dests = catalog.getKey("/Dests");
    if (dests.isDictionary()) {
        for (const auto &entry : dests_) {
            if (!kept.count(explicitPage(entry.second)))
                dests.removeKey(entry.first);
        }
    }
}
