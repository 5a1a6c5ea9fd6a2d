#include "formnesting.h"
#include "contenttokenizer.h"
#include "pagerefusal.h"
#include "pageparts.h"

#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <memory>
#include <new>

namespace
{
std::string tooMany()
{
    return "its forms draw other forms more than " + std::to_string(FormNesting::kMaxDrawings) + " times";
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

std::string FormNesting::refusal(const std::string &path, const std::vector<int> &pages)
{
    FormNesting nesting;
    return firstRefusedPage(path, pages, nesting);
}

std::string FormNesting::refusal(QPDFPageObjectHelper &page)
{
    std::string why;
    total_ = 0;
    path_.clear();
    try {
        QPDFObjectHandle resources = page.getAttribute("/Resources", false);
        if (namesForm(resources)) {
            if (!count(callsIn(pageContent(page)), resources, 1, &why))
                return why;
        }
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        // Content that cannot be read draws nothing.
    }
    for (QPDFObjectHandle &appearance : appearanceForms(page)) {
        try {
            path_.assign(1, appearance.getObjGen());
            if (++total_ > kMaxDrawings)
                return tooMany();
            if (!count(callsOf(appearance), appearance.getDict().getKey("/Resources"), 1, &why))
                return why;
        } catch (const std::bad_alloc &) {
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
    std::map<std::string, long> counted;
    ContentTokenizer tokens(content);
    std::string lastName;
    for (QPDFTokenizer::Token token; tokens.next(&token);) {
        const QPDFTokenizer::token_type_e type = token.getType();
        if (type == QPDFTokenizer::tt_name) {
            lastName = token.getValue();
            continue;
        }
        if (type == QPDFTokenizer::tt_word && token.getValue() == "Do" && !lastName.empty())
            ++counted[lastName];
        lastName.clear();
    }
    return Calls(counted.begin(), counted.end());
}

const FormNesting::Calls &FormNesting::callsOf(QPDFObjectHandle form)
{
    const QPDFObjGen og = form.getObjGen();
    const auto known = calls_.find(og);
    if (known != calls_.end())
        return known->second;
    Calls calls;
    try {
        std::shared_ptr<Buffer> data = form.getStreamData(qpdf_dl_generalized);
        calls = callsIn(std::string(reinterpret_cast<const char *>(data->getBuffer()), data->getSize()));
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        // A stream that cannot be decoded draws nothing.
    }
    return calls_[og] = std::move(calls);
}

bool FormNesting::count(const Calls &calls, QPDFObjectHandle resources, long times, std::string *why)
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
        // Checked before multiplying: `times` and the count are each within the limit.
        if (call.second > kMaxDrawings || times > kMaxDrawings / call.second
            || (total_ += times * call.second) > kMaxDrawings) {
            *why = tooMany();
            return false;
        }
        if (int(path_.size()) >= kMaxDepth) {
            *why = "its forms are nested more than " + std::to_string(kMaxDepth) + " deep";
            return false;
        }
        // A form without resources of its own uses those it is drawn with.
        QPDFObjectHandle own = drawn.getDict().getKey("/Resources");
        path_.push_back(og);
        const Calls &inner = callsOf(drawn);
        const bool within = count(inner, own.isDictionary() ? own : resources, times * call.second, why);
        path_.pop_back();
        if (!within)
            return false;
    }
    return true;
}
