// Ostrel.dll: the replacement engine the replacement window starts.
//
//   Ostrel.dll IN.pdf -tesome OUT.pdf RULES   text rules
//   Ostrel.dll IN.pdf -pisome OUT.pdf RULES   image rules
//
// Exit codes: 0 every rule applied (a rule file without a rule writes the
// input's pages unchanged); 1 failed, no output written; 2 output
// written, but some rules found nothing or repeated an earlier line and
// were skipped (one line each on standard error). OUT.pdf may not be the
// input, the rule file or a picture, nor anything but a regular file.
// OSTREL_MEMORY_MB bounds its memory (MemoryLimit).

#include "erroroutput.h"
#include "formnesting.h"
#include "inputfile.h"
#include "memorylimit.h"
#include "outputpath.h"
#include "pagerefusal.h"
#include "pagetree.h"
#include "pdfreplacer.h"
#include "qpdfrepair.h"
#include "rulelines.h"
#include "stopcleanup.h"

#include <qpdf/QPDFPageObjectHelper.hh>

#include <sys/stat.h>

#include <new>
#include <set>
#include <string>

namespace
{
enum ExitCode { Done = 0, Failed = 1, Partial = 2 };

const char kProgram[] = "Ostrel.dll";

// Far beyond the window's rule files (some 50 bytes a rule).
const long long kMaxRuleFileBytes = 64LL << 20;

// Every picture is held whole while the pages change, once for each way
// its path is written.
const long long kMaxPicturesBytes = 128LL << 20;

// Why the pictures the rules name are too much for one run; empty when
// they are not. A picture that cannot be read is named when it is read.
std::string picturesRefusal(const RuleLines &rules)
{
    std::set<std::string> paths;
    long long total = 0;
    for (const ImageRule &rule : rules.imageRules()) {
        struct stat info;
        if (paths.insert(rule.path).second && ::stat(rule.path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            total += info.st_size;
    }
    if (total <= kMaxPicturesBytes)
        return std::string();
    return "the pictures its rules name take " + std::to_string(total >> 20) + " MB together, more than the "
        + std::to_string(kMaxPicturesBytes >> 20) + " MB one run reads";
}

// The pages the rules name, for the check of their forms.
std::vector<int> rulePages(const RuleLines &rules)
{
    std::set<int> pages;
    for (const TextRule &rule : rules.textRules())
        pages.insert(int(std::min<int64_t>(rule.page, 1 << 30)));
    for (const ImageRule &rule : rules.imageRules())
        pages.insert(int(std::min<int64_t>(rule.page, 1 << 30)));
    return std::vector<int>(pages.begin(), pages.end());
}

// Whether a reader may draw `object` as a page: a dictionary without kids
// holding content, annotations or the type of a page.
bool mayBePage(QPDFObjectHandle object)
{
    return object.isDictionary() && !object.isStream() && !object.hasKey("/Kids")
        && (object.hasKey("/Contents") || object.hasKey("/Annots") || object.getKey("/Type").isNameAndEquals("/Page"));
}

// Why some object of `input` that a reader may draw as a page draws too
// much; empty when none does, or when qpdf cannot read the file (which
// is then left to the engine's library, which bounds the nesting it
// follows itself).
std::string anyPageRefusal(const std::string &input)
{
    QPDF pdf;
    std::vector<QPDFObjectHandle> pages;
    try {
        pdf.setSuppressWarnings(true);
        pdf.processFile(input.c_str());
        for (QPDFObjectHandle &object : pdf.getAllObjects()) {
            if (mayBePage(object))
                pages.push_back(object);
            // A page written among the kids is no object of its own.
            QPDFObjectHandle kids = object.isDictionary() ? object.getKey("/Kids") : QPDFObjectHandle::newNull();
            for (int k = 0; kids.isArray() && k < kids.getArrayNItems(); ++k) {
                if (!kids.getArrayItem(k).isIndirect() && mayBePage(kids.getArrayItem(k)))
                    pages.push_back(kids.getArrayItem(k));
            }
        }
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return std::string();
    }
    FormNesting nesting;
    for (QPDFObjectHandle &object : pages) {
        QPDFPageObjectHelper page(object);
        const std::string why = nesting.refusal(page);
        if (!why.empty())
            return "a page (its page tree cannot be followed): " + why;
    }
    return std::string();
}

// "page N: why" for the first of `numbers` whose forms draw too much; empty
// when none does. Where the walk cannot list the pages (a damaged tree the
// engine's library may still read, and the converter's reading with it),
// no numbering of them can be trusted: every object a reader may draw as a
// page is checked.
std::string formRefusal(QpdfRepair &reading, const std::string &input, const std::vector<int> &numbers)
{
    if (numbers.empty())
        return std::string();
    std::vector<QPDFObjectHandle> pages;
    std::string why;
    if (!reading.pages(&pages, &why))
        return anyPageRefusal(input);
    FormNesting nesting;
    return firstRefusedPage(pages, numbers, nesting);
}

// Reads the rules and applies them; empty on success, else the one line.
// The pictures the rules name join `inputs`.
std::string applyRules(const std::string &input, const std::string &option, const std::string &output,
                       const std::string &rulePath, std::vector<std::string> *inputs, std::vector<std::string> *notes)
{
    std::string bytes, error = InputFile::refusal(input);
    if (!error.empty())
        return "cannot open \"" + input + "\": " + error;
    // One reading of the input for the checks and, should the engine's
    // library not take the file, its repair.
    QpdfRepair reading(input);
    error = reading.treeRefusal();
    if (!error.empty())
        return "cannot open \"" + input + "\": " + error;
    if (!InputFile::read(rulePath, kMaxRuleFileBytes, &bytes, &error))
        return "cannot read the rule file \"" + rulePath + "\": " + error;
    const RuleLines rules = RuleLines::parse(bytes, option == "-tesome" ? RuleLines::Kind::Text : RuleLines::Kind::Image);
    if (!rules.ok())
        return "rule file \"" + rulePath + "\", " + rules.error();
    error = picturesRefusal(rules);
    if (!error.empty())
        return "rule file \"" + rulePath + "\": " + error;
    for (const ImageRule &rule : rules.imageRules())
        inputs->push_back(rule.path);
    error = OutputPath::refusal(output, *inputs);
    if (!error.empty())
        return "cannot write \"" + output + "\": " + error;
    // Once the path is known to be none of the inputs, and before the work:
    // a run stopped by a signal then leaves no earlier result there. A file
    // that cannot be removed is named if the run fails.
    std::string staleError;
    OutputPath::removeStale(output, *inputs, &staleError);
    error = formRefusal(reading, input, rulePages(rules));
    if (!error.empty())
        return "cannot replace in \"" + input + "\": " + error;
    PdfReplacer replacer;
    if (!replacer.run(input, output, rules, &reading, &error))
        return error;
    for (const std::string &line : replacer.skipped())
        notes->push_back("rule file \"" + rulePath + "\", " + line);
    for (const std::string &line : rules.repeats())
        notes->push_back("rule file \"" + rulePath + "\", " + line);
    return std::string();
}
}

int main(int argc, char **argv)
{
    StopCleanup::prepare(kProgram);
    const std::string option = argc == 5 ? argv[2] : "";
    if (option != "-tesome" && option != "-pisome") {
        ErrorOutput::say("usage: Ostrel.dll <input.pdf> -tesome|-pisome <output.pdf> <rule file>"
            " (exit 0: every rule applied, 1: failed, no output, 2: output written, some rules skipped)");
        return Failed;
    }
    const std::string input = argv[1], output = argv[3], rulePath = argv[4];
    // Before anything is read or written; a refused path is left as it is.
    std::vector<std::string> inputs{input, rulePath};
    const std::string refusal = OutputPath::refusal(output, inputs);
    if (!refusal.empty()) {
        ErrorOutput::say("cannot write \"" + output + "\": " + refusal);
        return Failed;
    }
    std::string error;
    std::vector<std::string> notes;
    {
        const MemoryLimit memory(MemoryLimit::shareOfThisMachine("OSTREL_MEMORY_MB"));
        try {
            error = applyRules(input, option, output, rulePath, &inputs, &notes);
        } catch (const std::bad_alloc &) {
            MemoryLimit::noteExhaustion();
        } catch (const std::exception &e) {
            error = "cannot replace in \"" + input + "\": unexpected failure (" + e.what() + ")";
        }
        // A library may have skipped what it could not allocate: nothing made after that is kept.
        if (MemoryLimit::exhausted()) {
            error = "cannot replace in \"" + input + "\": it needs more memory than this run may use ("
                + std::to_string(memory.shareMegabytes()) + " MB; OSTREL_MEMORY_MB sets it)";
        }
    }
    if (!error.empty()) {
        ErrorOutput::say(error);   // the one line of a failure; skipped rules no longer matter
        OutputPath::removeStale(output, inputs, &error);
        return Failed;
    }
    for (const std::string &line : notes)
        ErrorOutput::say(line);
    return notes.empty() ? Done : Partial;
}
