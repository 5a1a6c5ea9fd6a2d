#include "pdfreplacer.h"

#include "converterruns.h"
#include "fontcache.h"
#include "inputfault.h"
#include "librarywrite.h"
#include "memorylimit.h"
#include "messagetext.h"
#include "mupdfguard.h"
#include "mupdfheld.h"
#include "mupdfmemory.h"
#include "outputassembly.h"
#include "pagerules.h"
#include "pagewriter.h"
#include "qpdfrepair.h"
#include "referencewalk.h"
#include "replacementfonts.h"
#include "rulepictures.h"
#include "skippedrule.h"
#include "temporaryoutput.h"
#include "writtencheck.h"

#include <mupdf/pdf.h>

#include <algorithm>
#include <map>
#include <memory>
#include <new>

namespace
{
// Where qpdf reads the input otherwise than the library, or not at all: the
// run is tried again on the input as repaired, which both read alike, and
// where that fails too, the library writes what it read itself.
class ReadingsDiffer : public InputFault
{
public:
    using InputFault::InputFault;
};

// The library's cache of decoded fonts and images, well within the memory share.
const size_t kStoreBytes = 64 << 20;

// The library's errors and warnings, counted: each tells of damage it met
// and read past, where poppler may read otherwise.
void countMessage(void *count, const char *)
{
    ++*static_cast<int *>(count);
}

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
}

// The input as the library opened it.
struct OpenedInput
{
    explicit OpenedInput(fz_context *ctx) : doc(ctx) {}
    HeldDocument doc;
    int pageCount = 0;
    bool repaired = false;          // read as repaired, by the library or before it
    bool libraryRepaired = false;   // the library had to rebuild its object table
};

// Opens the input, from its `repaired` bytes when there are any, and reads
// every object, so a repair the damage calls for happens before anything is
// changed; refuses a document without pages or with a page count it cannot
// hold.
void openInput(fz_context *ctx, const std::string &input, const std::string &repaired, OpenedInput *opened)
{
    bool locked = false;
    try {
        pdf_document **slot = opened->doc.slot();
        try {
            guarded(ctx, [&] {
                if (repaired.empty()) {
                    *slot = pdf_open_document(ctx, input.c_str());
                    return;
                }
                fz_stream *stream =
                    fz_open_memory(ctx, reinterpret_cast<const unsigned char *>(repaired.data()), repaired.size());
                fz_try(ctx)
                    *slot = pdf_open_document_with_stream(ctx, stream);
                fz_always(ctx)
                    fz_drop_stream(ctx, stream);
                fz_catch(ctx)
                    fz_rethrow(ctx);
            });
        } catch (const MupdfError &e) {
            throw std::runtime_error(std::string("not a PDF document, or damaged beyond repair (") + e.what()
                                     + ")");
        }
        locked = pdf_needs_password(ctx, opened->doc.get());
        if (locked)
            throw std::runtime_error("the document needs a password");
        // Every object is read now, so a repair the damage calls for
        // happens before anything is changed: a repair later would
        // rebuild the object table without the objects made meanwhile.
        int pageCount = 0, wasRepaired = 0, objects = 0;
        guarded(ctx, [&] {
            pageCount = pdf_count_pages(ctx, *slot);
            objects = pdf_xref_len(ctx, *slot);
            // A page tree claiming more pages than the file holds
            // objects is refused below, before any page is looked at.
            for (int i = 1; pageCount <= objects && i < objects; ++i) {
                fz_try(ctx)
                    pdf_cache_object(ctx, *slot, i);
                fz_catch(ctx) {
                    // an object beyond repair is one no page may need
                }
            }
            pageCount = pdf_count_pages(ctx, *slot);
            objects = pdf_xref_len(ctx, *slot);
            wasRepaired = pdf_was_repaired(ctx, *slot);
        });
        opened->pageCount = pageCount;
        opened->repaired = wasRepaired != 0 || !repaired.empty();
        opened->libraryRepaired = wasRepaired != 0;
        if (pageCount < 1)
            throw std::runtime_error("the document has no pages");
        // Every page is an object: a larger count is a claim the file
        // cannot hold, and the library would make room for every page.
        if (pageCount > objects)
            throw std::runtime_error("the page tree claims " + std::to_string(pageCount)
                                     + " pages, more than the file holds objects");
    } catch (const std::exception &e) {
        // Without its password no library of ours reads it.
        if (locked)
            throw std::runtime_error("cannot open " + quoted(input) + ": " + e.what());
        throw InputFault("cannot open " + quoted(input) + ": " + e.what());
    }
}

// The rules of one pass by page, in file order within a page.
struct Plan
{
    std::map<int64_t, std::vector<const TextRule *>> textByPage;
    std::map<int64_t, std::vector<const ImageRule *>> imagesByPage;
    std::vector<int64_t> pages;   // ascending, each once
};

// Every rule but those of `left`; a rule naming a page the document lacks
// is skipped.
Plan planRules(const RuleLines &rules, const std::map<int, std::string> &left, int pageCount,
               std::vector<std::string> *skipped)
{
    Plan plan;
    const auto pageExists = [&](int64_t page, const std::string &written, int line, const std::string &what) {
        if (page >= 1 && page <= pageCount)
            return true;
        skipped->push_back(SkippedRule::line(line, written, what, "the document has no such page (it has "
                                                                + std::to_string(pageCount) + ")"));
        return false;
    };
    for (const TextRule &rule : rules.textRules()) {
        if (!left.count(rule.line) && pageExists(rule.page, rule.pageText, rule.line, MessageText::quoted(rule.text)))
            plan.textByPage[rule.page].push_back(&rule);
    }
    for (const ImageRule &rule : rules.imageRules()) {
        if (!left.count(rule.line) && pageExists(rule.page, rule.pageText, rule.line, "picture " + quoted(rule.path)))
            plan.imagesByPage[rule.page].push_back(&rule);
    }
    for (const auto &entry : plan.textByPage)
        plan.pages.push_back(entry.first);
    for (const auto &entry : plan.imagesByPage)
        plan.pages.push_back(entry.first);
    std::sort(plan.pages.begin(), plan.pages.end());
    plan.pages.erase(std::unique(plan.pages.begin(), plan.pages.end()), plan.pages.end());
    return plan;
}

// The pages the library's walk of the tree finds as it fills its page
// table, nodes and pages told by their /Type as it tells them; -1 when the
// walk takes more steps than the file's objects allow (the library stops
// such a tree itself). The table is sized by the root's /Count, and the
// entries the walk leaves are not initialised: read later as page numbers,
// they name any object or none.
long pagesTheLibraryWalks(fz_context *ctx, pdf_document *d)
{
    const long budget = 4L * pdf_xref_len(ctx, d) + 1000;
    long walked = 0, steps = 0;
    std::vector<pdf_obj *> todo{pdf_dict_getp(ctx, pdf_trailer(ctx, d), "Root/Pages")};
    while (!todo.empty()) {
        pdf_obj *node = todo.back();
        todo.pop_back();
        pdf_obj *type = pdf_dict_get(ctx, node, PDF_NAME(Type));
        if (pdf_name_eq(ctx, type, PDF_NAME(Page))) {
            ++walked;
        } else if (pdf_name_eq(ctx, type, PDF_NAME(Pages))) {
            pdf_obj *kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
            const int n = pdf_array_len(ctx, kids);
            steps += 1 + n;
            if (steps > budget)
                return -1;
            for (int i = 0; i < n; ++i)
                todo.push_back(pdf_array_get(ctx, kids, i));
        }
    }
    return walked;
}

// One lookup table for all pages, instead of a walk of the page tree per
// page; a page the repair could not find refuses the document, and so does
// a tree that would leave part of the table unfilled.
void loadPageTable(fz_context *ctx, const std::string &input, const OpenedInput &opened, HeldPageTable *table)
{
    pdf_document *d = opened.doc.get();
    const int pageCount = opened.pageCount;
    int missing = 0;
    pdf_document **tableSlot = table->slot();
    try {
        guarded(ctx, [&] {
            const long walked = pagesTheLibraryWalks(ctx, d);
            if (walked >= 0 && walked < pageCount)
                fz_throw(ctx, FZ_ERROR_GENERIC, "it claims %d pages and holds %ld", pageCount, walked);
            pdf_load_page_tree(ctx, d);
            *tableSlot = d;
            for (int i = 0; i < pageCount && !missing; ++i) {
                if (!pdf_is_dict(ctx, pdf_lookup_page_obj(ctx, d, i)))
                    missing = i + 1;
            }
        });
    } catch (const MupdfError &e) {
        throw InputFault("cannot open " + quoted(input) + ": its page tree is damaged (" + e.what() + ")");
    }
    if (missing)
        throw InputFault("cannot open " + quoted(input) + ": the document is damaged, page "
                                 + std::to_string(missing) + " is lost");
}

// The object numbers of the library's pages, in their order.
std::vector<int> pageNumbers(fz_context *ctx, pdf_document *d, int pageCount)
{
    std::vector<int> numbers(size_t(std::max(pageCount, 0)));
    int *slot = numbers.data();
    guarded(ctx, [&] {
        // The table holds the pages resolved, each knowing the number it was read under.
        for (int i = 0; i < pageCount; ++i) {
            pdf_obj *page = pdf_lookup_page_obj(ctx, d, i);
            slot[i] = pdf_is_indirect(ctx, page) ? pdf_to_num(ctx, page) : pdf_obj_parent_num(ctx, page);
        }
    });
    return numbers;
}

// Whether each page of a repaired input has its content and resources, for
// the written page to be measured by; the library reads every page of such
// a file again after writing.
std::vector<char> wholePages(fz_context *ctx, pdf_document *d, int pageCount)
{
    std::vector<char> whole(size_t(std::max(pageCount, 0)), 0);
    for (int i = 0; i < pageCount; ++i) {
        HeldPage page(ctx);
        pdf_page **slot = page.slot();
        char *mark = &whole[size_t(i)];
        try {
            guarded(ctx, [&] {
                *slot = pdf_load_page(ctx, d, i);
                *mark = WrittenCheck::whole(ctx, *slot);
            });
        } catch (const MupdfError &) {
            // a page readers cannot draw whole need not be written whole
        }
    }
    return whole;
}

// The input as qpdf reads it, beside the library's reading, both numbering
// the pages alike; they may differ elsewhere where either had to mend the
// object table or the page tree of the file itself.
void readBoth(fz_context *ctx, const std::string &input, const std::string &repaired, const OpenedInput &opened,
              OutputAssembly *assembly)
{
    if (opened.libraryRepaired && repaired.empty())
        throw ReadingsDiffer("cannot open " + quoted(input) + ": its table of objects is damaged");
    std::string why;
    if (!assembly->read(input, repaired, &why))
        throw ReadingsDiffer("cannot open " + quoted(input) + ": " + why);
    why = assembly->pageDisagreement(pageNumbers(ctx, opened.doc.get(), opened.pageCount));
    if (!why.empty())
        throw ReadingsDiffer("cannot open " + quoted(input) + ": " + why);
    if (assembly->mended() && repaired.empty())
        throw ReadingsDiffer("cannot open " + quoted(input) + ": its table of objects or its page tree is damaged");
}

// Writes the output into `file`, the temporary file of the output: from
// both readings, or by the library alone without `assembly`.
void writeOutput(fz_context *ctx, const std::string &input, pdf_document *d, OutputAssembly *assembly,
                 TemporaryOutput *file)
{
    try {
        if (assembly)
            assembly->write(file);
        else
            LibraryWrite::write(ctx, d, file);
    } catch (const MupdfError &e) {
        // Both read every object again as they write: one they cannot read is the input's fault.
        throw InputFault("cannot rewrite " + quoted(input) + ": it is damaged (" + e.what() + ")");
    } catch (const OutputAssembly::ReadingFault &e) {
        throw ReadingsDiffer("cannot rewrite " + quoted(input) + ": " + e.what());
    }
}

// Reads the written file back and puts it at the output path when it is
// usable and every applied rule reads back as asked; rules that do not land
// in `unread` and nothing is put there.
void verifyAndCommit(fz_context *ctx, const std::string &input, const WrittenCheck::Input &was,
                     const int *libraryMessages, const std::vector<AppliedRule> &applied, TemporaryOutput *file,
                     std::map<int, std::string> *unread)
{
    // Read back on every input: a library may accept what readers do not.
    WrittenCheck check(ctx, file->path(), was, libraryMessages);
    const std::string problem = check.verify(applied, unread);
    if (!problem.empty())
        throw InputFault("cannot rewrite " + quoted(input)
                         + (was.repaired ? ", which is damaged and had to be repaired" : std::string()) + ": " + problem);
    if (!unread->empty())
        return;
    // A library that failed to allocate may have left out part of what it
    // read or wrote, and only told of it in a warning.
    if (MemoryLimit::exhausted())
        throw std::bad_alloc();
    std::string why;
    if (!file->commit(&why))
        throw std::runtime_error("cannot write " + quoted(file->target()) + ": " + why);
}
}

PdfReplacer::PdfReplacer()
    : ctx_(fz_new_context(MupdfMemory::allocator(), nullptr, kStoreBytes))
{
    if (ctx_) {
        // Our one line on failure says what went wrong; the library's own
        // messages (repairs, warnings) would only bury it.
        fz_set_error_callback(ctx_, countMessage, &libraryMessages_);
        fz_set_warning_callback(ctx_, countMessage, &libraryMessages_);
    }
}

PdfReplacer::~PdfReplacer()
{
    // What holds the library's objects goes before the library.
    runs_.reset();
    pictures_.reset();
    fz_drop_context(ctx_);
}

bool PdfReplacer::run(const std::string &input, const std::string &output, const RuleLines &rules,
                      QpdfRepair *repair, std::string *error)
{
    if (!ctx_) {
        *error = "out of memory";
        return false;
    }
    repaired_.clear();
    libraryWrites_ = false;
    try {
        // Pictures first: one that cannot be read refuses the run.
        pictures_.reset(new RulePictures(ctx_, rules));
        readings(input, output, rules, repair);
        return true;
    } catch (const std::bad_alloc &) {
        throw;   // the caller tells of the memory share
    } catch (const std::exception &e) {
        *error = e.what();
        return false;
    }
}

void PdfReplacer::readings(const std::string &input, const std::string &output, const RuleLines &rules,
                           QpdfRepair *repair)
{
    if (repair && readRepairedFirst(input, output, rules, repair))
        return;
    std::string fault;
    bool differ = false;
    try {
        passes(input, output, rules);
        return;
    } catch (const InputFault &e) {
        // Out of memory, a repair would only fail the same way, later.
        if (!repair || MemoryLimit::exhausted())
            throw;
        fault = e.what();
        differ = dynamic_cast<const ReadingsDiffer *>(&e) != nullptr;
    }
    std::string why;
    if (repair->rewrite(&repaired_, &why)) {
        try {
            passes(input, output, rules);
            return;
        } catch (const InputFault &again) {
            if (!differ)
                throw std::runtime_error(std::string(again.what()) + " (also once repaired)");
        }
    } else if (!differ) {
        throw std::runtime_error(fault + "; it cannot be repaired either: " + why);
    }
    // What qpdf reads otherwise and cannot mend, the library writes as it read it.
    repaired_.clear();
    libraryWrites_ = true;
    try {
        passes(input, output, rules);
    } catch (const InputFault &last) {
        throw std::runtime_error(last.what());
    }
}

bool PdfReplacer::readRepairedFirst(const std::string &input, const std::string &output, const RuleLines &rules,
                                    QpdfRepair *repair)
{
    // The library sizes its page table by the root's claim: a claim the
    // tree does not fill leaves entries it reads as page numbers
    // uninitialised, so such a tree is read as repaired alone.
    const bool claim = repair->claimTaken();
    // A tree some reader stumbles on is read as repaired first, where the
    // library would number its pages otherwise than readers.
    if (!claim && !repair->readersStumble())
        return false;
    std::string why;
    if (!repair->rewrite(&repaired_, &why)) {
        if (claim)
            throw std::runtime_error("cannot open " + quoted(input) + ": its page tree claims more pages than it holds,"
                                     " and it cannot be repaired: " + why);
        return false;
    }
    try {
        passes(input, output, rules);
        return true;
    } catch (const InputFault &e) {
        if (claim || MemoryLimit::exhausted())
            throw std::runtime_error(e.what());
    }
    repaired_.clear();
    return false;
}

void PdfReplacer::passes(const std::string &input, const std::string &output, const RuleLines &rules)
{
    // A rule not read back from the written file is left out, and the file
    // written again without it; one more pass is allowed for what that
    // changes, then the run gives up rather than loop.
    const int kPasses = 3;
    std::map<int, std::string> left;
    for (int pass = 1;; ++pass) {
        std::map<int, std::string> unread;
        attempt(input, output, rules, left, &unread);
        if (unread.empty())
            return;
        if (pass == kPasses)
            throw std::runtime_error("cannot write " + quoted(output) + ": " + unread.begin()->second);
        left.insert(unread.begin(), unread.end());
    }
}

void PdfReplacer::attempt(const std::string &input, const std::string &output, const RuleLines &rules,
                          const std::map<int, std::string> &left, std::map<int, std::string> *unread)
{
    fz_context *ctx = ctx_;
    libraryMessages_ = 0;
    skipped_.clear();
    for (const auto &entry : left)
        skipped_.push_back(entry.second);

    OpenedInput opened(ctx);
    openInput(ctx, input, repaired_, &opened);
    pdf_document *d = opened.doc.get();
    WrittenCheck::Input was;
    was.pageCount = opened.pageCount;
    was.repaired = opened.repaired;
    std::unique_ptr<OutputAssembly> assembly;
    HeldPageTable pageTable(ctx);
    try {
        was.dangling = ReferenceWalk::of(ctx, d, true).dangling;
        // Before anything changes: the assembly counts the input's objects.
        if (!libraryWrites_)
            assembly.reset(new OutputAssembly(ctx, d));
    } catch (const MupdfError &e) {
        throw InputFault("cannot open " + quoted(input) + ": " + e.what());
    }
    loadPageTable(ctx, input, opened, &pageTable);
    if (assembly)
        readBoth(ctx, input, repaired_, opened, assembly.get());
    if (was.repaired)
        was.whole = wholePages(ctx, d, opened.pageCount);

    ReplacementFonts fonts(ctx);
    std::vector<std::string> ruleTexts;
    for (const TextRule &rule : rules.textRules())
        for (const TextRule::Reading &r : rule.readings())
            ruleTexts.push_back(r.replace);
    fonts.prepare(ruleTexts);

    Plan plan = planRules(rules, left, opened.pageCount, &skipped_);
    PageWriter writer(ctx, d, &fonts);
    FontCache pageFonts(ctx, d);
    if (!plan.imagesByPage.empty() && !runs_)
        runs_.reset(new ConverterRuns(input));
    std::vector<AppliedRule> applied;
    const PageRules::Editing editing = {ctx, d, input, &writer, &pageFonts, &runs_, *pictures_, &applied, &skipped_};
    for (const int64_t number : plan.pages)
        PageRules::apply(editing, number, plan.textByPage[number], plan.imagesByPage[number]);

    TemporaryOutput file(output);
    writeOutput(ctx, input, d, assembly.get(), &file);
    verifyAndCommit(ctx, input, was, &libraryMessages_, applied, &file, unread);
}
