#include "formnesting.h"
#include "contenttokens.h"
#include "pagerefusal.h"
#include "pageparts.h"


#include <algorithm>
#include <limits>
#include <memory>
#include <new>

namespace
{
// Setting up one drawing of a form, and reading one byte of its content,
// in units of work: the converter reads a page twice, for its image and
// for its words, some ten microseconds a drawing each time.
const long long kSetupWork = 5000;
const long long kByteWork = 30;

// Products stop at the largest value: past the limit, never past the type.
long long multiply(long long a, long long b)
{
    const long long most = std::numeric_limits<long long>::max();
    return a > 0 && b > most / a ? most : a * b;
}

bool isForm(QPDFObjectHandle object)
{
    return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Form");
}

// Whether `resources` name a form to draw: content without one draws none,
// and need not be read.
bool namesForm(QPDFObjectHandle resources)
{
    QPDFObjectHandle xobjects = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle();
    if (!xobjects.isDictionary())
        return false;
    for (const auto &entry : xobjects.ditems()) {
        if (isForm(entry.second))
            return true;
    }
    return false;
}
}

long long FormNesting::drawingWork(long long bytes)
{
    return kSetupWork + multiply(std::max(0LL, bytes), kByteWork);
}

std::string FormNesting::refusal(const std::string &path, const std::vector<int> &pages)
{
    FormNesting nesting;
    return firstRefusedPage(path, pages, nesting);
}

std::string FormNesting::refusal(QPDFPageObjectHelper &page)
{
    try {
        return boundedRefusal(page);
    } catch (const ContentBound &e) {
        return e.what();
    }
}

std::string FormNesting::boundedRefusal(QPDFPageObjectHelper &page)
{
    std::string why;
    work_ = drawings_ = 0;
    path_.clear();
    try {
        QPDFObjectHandle resources = page.getAttribute("/Resources", false);
        if (namesForm(resources)) {
            if (!count(callsIn(pageContent(page)), resources, 1, &why))
                return why;
        }
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const ContentBound &) {
        throw;
    } catch (const std::exception &) {
        // Content that cannot be read draws nothing.
    }
    for (QPDFObjectHandle &appearance : appearanceForms(page)) {
        try {
            path_.assign(1, appearance.getObjGen());
            const Form &form = formOf(appearance);
            if (!draw(form, 1, &why) || !count(form.calls, appearance.getDict().getKey("/Resources"), 1, &why))
                return why;
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const ContentBound &) {
            throw;
        } catch (const std::exception &) {
            // An appearance that cannot be read is not drawn.
        }
    }
    return std::string();
}

FormNesting::Calls FormNesting::callsIn(const std::string &content)
{
    // Most content draws no form at all: no need to read it token by token.
    if (content.find("Do") == std::string::npos)
        return Calls();
    std::map<std::string, long long> counted;
    ContentTokens tokens(content);
    std::string lastName;
    for (ContentTokens::Token token = tokens.next(); token.kind != ContentTokens::Kind::End; token = tokens.next()) {
        if (token.kind == ContentTokens::Kind::Name) {
            lastName = '/' + token.text;   // as the resources name it
            continue;
        }
        if (token.kind == ContentTokens::Kind::Keyword && token.text == "Do" && !lastName.empty())
            ++counted[lastName];
        else if (token.kind == ContentTokens::Kind::Keyword && token.text == "ID")
            tokens.skipInlineImage(0);   // its data hold no operator
        lastName.clear();
    }
    return Calls(counted.begin(), counted.end());
}

const FormNesting::Form &FormNesting::formOf(QPDFObjectHandle form)
{
    const QPDFObjGen og = form.getObjGen();
    const auto known = forms_.find(og);
    if (known != forms_.end())
        return known->second;
    Form read;
    try {
        const std::string content = decodedStream(form);
        read.bytes = (long long)content.size();
        // A form whose one drawing takes more than the budget is refused
        // when it is drawn, whatever it draws: its content is not read.
        if (drawingWork(read.bytes) <= kMaxWork)
            read.calls = callsIn(content);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const ContentBound &) {
        throw;
    } catch (const std::exception &) {
        // A stream that cannot be decoded draws nothing.
    }
    return forms_[og] = std::move(read);
}

bool FormNesting::draw(const Form &form, long long times, std::string *why)
{
    // Each drawing costs at least the setup: within the limit, neither sum nears overflow.
    work_ = std::min(kMaxWork + 1, work_ + std::min(kMaxWork + 1, multiply(times, drawingWork(form.bytes))));
    drawings_ = std::min(kMaxWork, drawings_ + std::min(kMaxWork, times));
    if (work_ <= kMaxWork)
        return true;
    *why = "drawing its forms takes more work than a page may (at least " + std::to_string(drawings_)
        + " form drawings)";
    return false;
}

bool FormNesting::count(const Calls &calls, QPDFObjectHandle resources, long long times, std::string *why)
{
    QPDFObjectHandle xobjects = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle();
    for (const auto &call : calls) {
        // Pictures and the like are drawn once a call: no more than the content's size.
        QPDFObjectHandle drawn = xobjects.isDictionary() ? xobjects.getKey(call.first) : QPDFObjectHandle();
        if (!isForm(drawn))
            continue;
        const QPDFObjGen og = drawn.getObjGen();
        // Renderers skip a form that draws itself, directly or not.
        if (std::find(path_.begin(), path_.end(), og) != path_.end())
            continue;
        if (int(path_.size()) >= kMaxDepth) {
            *why = "its forms are nested more than " + std::to_string(kMaxDepth) + " deep";
            return false;
        }
        const Form &form = formOf(drawn);
        const long long drawings = multiply(times, call.second);
        if (!draw(form, drawings, why))
            return false;
        // A form without resources of its own uses those it is drawn with.
        QPDFObjectHandle own = drawn.getDict().getKey("/Resources");
        path_.push_back(og);
        const bool within = count(form.calls, own.isDictionary() ? own : resources, drawings, why);
        path_.pop_back();
        if (!within)
            return false;
    }
    return true;
}
