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

// How much work a page's forms set off. A form (a content stream drawn by
// "Do") may draw other forms, each of them several times: a few kilobytes of
// forms nested twelve deep, four calls each, make 16 million drawings, which
// the renderers follow one by one for minutes. Counted here before any
// renderer runs, every path through the forms multiplied out, each drawing
// weighed by what the renderers spend on it, so such a page is refused at
// once, while a plan drawing one symbol a hundred thousand times is not. The
// count stops at the limit, so it costs no more than the limit itself
// whatever the file claims.
class FormNesting
{
public:
    // A page's budget of drawing work, shared with its images (ImagePixels):
    // a few seconds. A unit is a few nanoseconds of drawing; a gray pixel of
    // an image costs two.
    static constexpr long long kMaxWork = 1000000000;
    // Renderers stop far sooner; the limit keeps this count's own recursion shallow.
    static const int kMaxDepth = 100;

    // The work of drawing a form once whose content has `bytes` bytes: the
    // renderers set up each drawing and read its content anew each time.
    static long long drawingWork(long long bytes);

    // Why page `number` (from 1) of `path` draws too much; empty when it
    // does not, or when the file cannot be read this way (the program's own
    // library then decides). `pages` empty means every page.
    static std::string refusal(const std::string &path, const std::vector<int> &pages);

    // Why `page`, with its annotations' appearances, draws too much; empty
    // when it does not. Content past ContentBound's bound is refused too.
    std::string refusal(QPDFPageObjectHelper &page);

private:
    // refusal(), throwing ContentBound.
    std::string boundedRefusal(QPDFPageObjectHelper &page);
    // The names a form's content draws with "Do", how often each, and the
    // content's size.
    using Calls = std::vector<std::pair<std::string, long long>>;
    struct Form
    {
        Calls calls;
        long long bytes = 0;
    };
    static Calls callsIn(const std::string &content);
    const Form &formOf(QPDFObjectHandle form);
    // Adds `times` drawings of `form` to the count; false, with the reason,
    // past a limit.
    bool draw(const Form &form, long long times, std::string *why);
    bool count(const Calls &calls, QPDFObjectHandle resources, long long times, std::string *why);

    std::map<QPDFObjGen, Form> forms_;
    std::vector<QPDFObjGen> path_;   // the forms being drawn, outermost first
    long long work_ = 0;
    long long drawings_ = 0;
};

#endif
