#include "invisibletextcheck.h"

#include <qpdf/Pipeline.hh>

#include <cstdlib>
#include <new>
#include <set>
#include <stdexcept>

namespace
{
// Forms of a page read at most: a page naming more is read again whatever
// they hold.
const size_t kMaxForms = 1000;
// The longest token kept whole: longer ones are no operator or operand looked for.
const size_t kTokenLength = 16;

// Thrown at the first "3 Tr", to stop qpdf's decoding there.
struct Found : std::runtime_error
{
    Found() : std::runtime_error("invisible text") {}
};

// Reads decoded content for "3 Tr" without keeping it. qpdf may turn the
// stop at the first into an error of its own: the scan's own state tells.
class RenderModeScan : public Pipeline
{
public:
    RenderModeScan() : Pipeline("render mode", nullptr) {}

    void write(unsigned char const *data, size_t length) override
    {
        found_ = found_
            || InvisibleTextCheck::setsInvisible(reinterpret_cast<const char *>(data), length, &token_, &previous_);
        if (found_)
            throw Found();
    }
    void finish() override {}

    bool found() const { return found_; }

private:
    std::string token_, previous_;
    bool found_ = false;
};

bool isForm(QPDFObjectHandle object)
{
    return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Form");
}

// Whether the streams hold "3 Tr"; a stream that cannot be decoded holds
// none as far as is read.
bool scanned(const std::vector<QPDFObjectHandle> &streams)
{
    for (QPDFObjectHandle stream : streams) {
        RenderModeScan scan;
        try {
            if (stream.isStream())
                stream.pipeStreamData(&scan, 0, qpdf_dl_specialized, true);
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const std::exception &) {
            // Found, or content that cannot be read past here.
        }
        if (scan.found())
            return true;
    }
    return false;
}

// The forms `resources` name, and theirs, each once, at most kMaxForms;
// false when there are more.
bool formsOf(QPDFObjectHandle resources, std::vector<QPDFObjectHandle> *forms)
{
    std::set<QPDFObjGen> seen;
    std::vector<QPDFObjectHandle> pending{resources};
    while (!pending.empty()) {
        QPDFObjectHandle r = pending.back();
        pending.pop_back();
        QPDFObjectHandle xobjects = r.isDictionary() ? r.getKey("/XObject") : QPDFObjectHandle();
        if (!xobjects.isDictionary())
            continue;
        for (const auto &entry : xobjects.ditems()) {
            QPDFObjectHandle form = entry.second;
            if (!isForm(form) || !seen.insert(form.getObjGen()).second)
                continue;
            if (forms->size() >= kMaxForms)
                return false;
            forms->push_back(form);
            pending.push_back(form.getDict().getKey("/Resources"));
        }
    }
    return true;
}

bool mayDrawInvisible(QPDFPageObjectHelper &page)
{
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    if (scanned(contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents}))
        return true;
    std::vector<QPDFObjectHandle> forms;
    return !formsOf(page.getAttribute("/Resources", false), &forms) || scanned(forms);
}

bool isDelimiter(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0' || c == '(' || c == ')'
        || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' || c == '%';
}

bool invisibleMode(const std::string &operand)
{
    char *end = nullptr;
    const double mode = std::strtod(operand.c_str(), &end);
    return !operand.empty() && end && *end == '\0' && (mode == 3 || mode == 7);
}
}

std::string InvisibleTextCheck::refusal(QPDFPageObjectHelper &page)
{
    bool may = false;
    try {
        may = mayDrawInvisible(page);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        // What qpdf cannot read was not bounded either: not read twice.
    }
    pages_.push_back(may);
    return std::string();
}

bool InvisibleTextCheck::setsInvisible(const char *data, size_t length, std::string *token, std::string *previous)
{
    for (size_t i = 0; i < length; ++i) {
        const char c = data[i];
        if (!isDelimiter(c)) {
            if (token->size() <= kTokenLength)
                *token += c;
            continue;
        }
        if (!token->empty()) {
            if (*token == "Tr" && invisibleMode(*previous))
                return true;
            previous->swap(*token);
            token->clear();
        }
    }
    return false;
}
