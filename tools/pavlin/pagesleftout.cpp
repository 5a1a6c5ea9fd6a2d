#include "pagesleftout.h"

#include "articlethreads.h"
#include "pagetree.h"

#include <utility>

PagesLeftOut::PagesLeftOut(std::set<QPDFObjGen> kept, std::set<QPDFObjGen> leftOut)
    : kept_(std::move(kept)), leftOut_(std::move(leftOut))
{
}

void PagesLeftOut::prune(QPDF &pdf)
{
    pruneForm(pdf);
    // A cut that leaves no page out holds nothing of another page: its
    // outline, names, threads and structure stay as they are.
    if (leftOut_.empty())
        return;
    // Read before either is pruned: outline items name destinations.
    const NamedDestinations destinations(pdf);
    pruneOutlines(pdf, destinations);
    destinations.prune(pdf, kept_);
    ArticleThreads(kept_).prune(pdf);
    pruneStructure(pdf);
}

void PagesLeftOut::pruneForm(QPDF &pdf)
{
    QPDFObjectHandle form = pdf.getRoot().getKey("/AcroForm");
    if (!form.isDictionary())
        return;
    for (const QPDFObjGen &og : kept_) {
        QPDFObjectHandle annotations = pdf.getObject(og).getKey("/Annots");
        for (int i = 0; annotations.isArray() && i < annotations.getArrayNItems(); ++i) {
            const QPDFObjGen annotation = annotations.getArrayItem(i).getObjGen();
            if (annotation.isIndirect())
                keptWidgets_.insert(annotation);
        }
    }
    QPDFObjectHandle fields = form.getKey("/Fields");
    QPDFObjectHandle stay = QPDFObjectHandle::newArray();
    for (int i = 0; fields.isArray() && i < fields.getArrayNItems(); ++i) {
        if (keepField(fields.getArrayItem(i), 0))
            stay.appendItem(fields.getArrayItem(i));
    }
    form.replaceKey("/Fields", stay);
    // Fields the form does not list are still reached from their widgets:
    // their kids on pages left out go too.
    for (const QPDFObjGen &widget : keptWidgets_)
        keepField(topOf(pdf.getObject(widget)), 0);
    // The calculation order names fields; only those that stay can be in it.
    QPDFObjectHandle order = form.getKey("/CO");
    if (order.isArray()) {
        QPDFObjectHandle ordered = QPDFObjectHandle::newArray();
        for (int i = 0; i < order.getArrayNItems(); ++i) {
            const auto judged = judged_.find(order.getArrayItem(i).getObjGen());
            if (judged != judged_.end() && judged->second)
                ordered.appendItem(order.getArrayItem(i));
        }
        form.replaceKey("/CO", ordered);
    }
    form.removeKey("/XFA");
}

bool PagesLeftOut::keepField(QPDFObjectHandle field, int depth)
{
    // The walk of the trees has refused forms nested deeper before.
    if (!field.isDictionary() || depth > PageTree::kMaxDepth + 1)
        return false;
    const QPDFObjGen og = field.getObjGen();
    if (og.isIndirect()) {
        const auto judged = judged_.find(og);
        if (judged != judged_.end())
            return judged->second;
        judged_[og] = false;   // until its kids are judged: a loop keeps nothing
    }
    bool keep = og.isIndirect() && keptWidgets_.count(og);
    QPDFObjectHandle kids = field.getKey("/Kids");
    if (kids.isArray()) {
        QPDFObjectHandle stay = QPDFObjectHandle::newArray();
        for (int i = 0; i < kids.getArrayNItems(); ++i) {
            if (keepField(kids.getArrayItem(i), depth + 1))
                stay.appendItem(kids.getArrayItem(i));
        }
        keep = keep || stay.getArrayNItems() > 0;
        if (stay.getArrayNItems() > 0)
            field.replaceKey("/Kids", stay);
        else
            field.removeKey("/Kids");
    }
    if (og.isIndirect())
        judged_[og] = keep;
    return keep;
}

QPDFObjectHandle PagesLeftOut::topOf(QPDFObjectHandle field)
{
    std::set<QPDFObjGen> seen;
    // The walk of the trees has refused forms nested deeper.
    for (int up = 0; up <= PageTree::kMaxDepth && field.getKey("/Parent").isDictionary(); ++up) {
        if (field.isIndirect() && !seen.insert(field.getObjGen()).second)
            break;
        field = field.getKey("/Parent");
    }
    return field;
}

void PagesLeftOut::pruneOutlines(QPDF &pdf, const NamedDestinations &destinations)
{
    QPDFObjectHandle outlines = pdf.getRoot().getKey("/Outlines");
    if (!outlines.isDictionary())
        return;
    if (outlines.isIndirect())
        items_.insert(outlines.getObjGen());
    link(outlines, keptItems(outlines.getKey("/First"), destinations, 0), true);
}

std::vector<QPDFObjectHandle> PagesLeftOut::keptItems(QPDFObjectHandle first, const NamedDestinations &destinations,
                                                      int depth)
{
    std::vector<QPDFObjectHandle> stay;
    // Items are indirect objects; what is reached again, or lies deeper
    // than the walk goes, goes with the relinking.
    if (depth > PageTree::kMaxDepth)
        return stay;
    for (QPDFObjectHandle item = first; item.isDictionary() && item.isIndirect(); item = item.getKey("/Next")) {
        if (!items_.insert(item.getObjGen()).second)
            break;
        std::vector<QPDFObjectHandle> kids = keptItems(item.getKey("/First"), destinations, depth + 1);
        const QPDFObjGen page = pageOf(item, destinations);
        if (kept_.count(page) || (!leftOut_.count(page) && !kids.empty())) {
            link(item, kids, false);
            stay.push_back(item);
        } else {
            stay.insert(stay.end(), kids.begin(), kids.end());
        }
    }
    return stay;
}

QPDFObjGen PagesLeftOut::pageOf(QPDFObjectHandle item, const NamedDestinations &destinations)
{
    QPDFObjectHandle destination = item.getKey("/Dest");
    QPDFObjectHandle action = item.getKey("/A");
    if (destination.isNull() && action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo"))
        destination = action.getKey("/D");
    return destinations.pageOf(destination);
}

void PagesLeftOut::pruneStructure(QPDF &pdf)
{
    QPDFObjectHandle catalog = pdf.getRoot();
    catalog.removeKey("/StructTreeRoot");
    catalog.removeKey("/MarkInfo");
}

void PagesLeftOut::link(QPDFObjectHandle parent, const std::vector<QPDFObjectHandle> &kids, bool outlineRoot)
{
    long long shown = 0;
    for (size_t i = 0; i < kids.size(); ++i) {
        QPDFObjectHandle kid = kids[i];
        kid.replaceKey("/Parent", parent);
        if (i > 0)
            kid.replaceKey("/Prev", kids[i - 1]);
        else
            kid.removeKey("/Prev");
        if (i + 1 < kids.size())
            kid.replaceKey("/Next", kids[i + 1]);
        else
            kid.removeKey("/Next");
        QPDFObjectHandle count = kid.getKey("/Count");
        shown += 1 + (count.isInteger() && count.getIntValue() > 0 ? count.getIntValue() : 0);
    }
    if (kids.empty()) {
        parent.removeKey("/First");
        parent.removeKey("/Last");
        parent.removeKey("/Count");
        return;
    }
    parent.replaceKey("/First", kids.front());
    parent.replaceKey("/Last", kids.back());
    // An item shown closed counts its items negative; the outline root, open.
    QPDFObjectHandle count = parent.getKey("/Count");
    const bool closed = !outlineRoot && (!count.isInteger() || count.getIntValue() <= 0);
    parent.replaceKey("/Count", QPDFObjectHandle::newInteger(closed ? -shown : shown));
}
