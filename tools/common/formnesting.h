#ifndef GRIDMOLT_FORMNESTING_H
#define GRIDMOLT_FORMNESTING_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <string>
#include <utility>
#include <vector>

// How much drawing a page's forms set off. A form (a content stream drawn by
// "Do") may draw other forms, each of them several times: a few kilobytes of
// forms nested twelve deep, four calls each, make 16 million drawings, which
// the renderers follow one by one for minutes and gigabytes. Counted here
// before any renderer runs, every path through the forms multiplied out, so
// such a page is refused at once. The count stops at the limit, so it costs
// no more than the limit itself whatever the file claims.
class FormNesting
{
public:
    // Far beyond real pages (a map with a symbol form at every town has
    // thousands), and still about a second of rendering.
    static const long kMaxDrawings = 100000;
    // Renderers stop far sooner; the limit keeps this count's own recursion shallow.
    static const int kMaxDepth = 100;

    // Why page `number` (from 1) of `path` draws too much; empty when it
    // does not, or when the file cannot be read this way (the program's own
    // library then decides). `pages` empty means every page.
    static std::string refusal(const std::string &path, const std::vector<int> &pages);

    // Why `page`, with its annotations' appearances, draws too much; empty
    // when it does not.
    std::string refusal(QPDFPageObjectHelper &page);

private:
    // The names a content stream draws with "Do", and how often each.
    using Calls = std::vector<std::pair<std::string, long>>;
    static Calls callsIn(const std::string &content);
    const Calls &callsOf(QPDFObjectHandle form);
    bool count(const Calls &calls, QPDFObjectHandle resources, long times, std::string *why);

    std::map<QPDFObjGen, Calls> calls_;
    std::vector<QPDFObjGen> path_;   // the forms being drawn, outermost first
    long total_ = 0;
};

#endif
