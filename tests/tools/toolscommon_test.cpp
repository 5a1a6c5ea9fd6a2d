// The checks and the temporary file every program that writes a user's file
// relies on: which paths are refused, what is read, what a stop or a full
// disk leaves behind, which pages draw too many forms, and which page trees
// are too deep to follow or hold another page count than they state.

#include "../pdfobjects.h"

#include "converterinput.h"
#include "formnesting.h"
#include "inputfile.h"
#include "memorylimit.h"
#include "outputpath.h"
#include "pagetree.h"
#include "qpdfrepair.h"
#include "pdfpages.h"
#include "stopcleanup.h"
#include "temporaryoutput.h"
#include "../filesizelimit.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <gtest/gtest.h>

#include <csignal>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <regex>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// A private folder for one test (under TMPDIR), removed with its files.
class Folder
{
public:
    Folder() { ::mkdtemp(&path_[0]); }
    ~Folder() { std::filesystem::remove_all(path_, ignored_); }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path_, ignored_))
            names.push_back(entry.path().filename());
        return names;
    }

private:
    std::string path_ = std::filesystem::temp_directory_path() / "toolscommon.XXXXXX";
    mutable std::error_code ignored_;
};

bool writeFile(const std::string &path, const std::string &bytes) { return bool(std::ofstream(path, std::ios::binary) << bytes); }
std::string readFile(const std::string &path) { std::ifstream in(path, std::ios::binary); return {std::istreambuf_iterator<char>(in), {}}; }
// Whether `text` starts with `start`, and is empty exactly when `start` is.
bool opens(const std::string &text, const std::string &start) { return text.rfind(start, 0) == 0 && text.empty() == start.empty(); }

// Runs `body` in a child process; its exit status, -1 when it did not exit.
int inChild(const std::function<void()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        std::_Exit(0);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}

TEST(OutputPath, RefusesInputsThroughLinksAndWhatIsNoRegularFile)
{
    Folder dir;
    ASSERT_TRUE(writeFile(dir / "in.pdf", "input") && writeFile(dir / "old.pdf", "old"));
    ASSERT_TRUE(::symlink((dir / "in.pdf").c_str(), (dir / "soft.pdf").c_str()) == 0
                && ::link((dir / "in.pdf").c_str(), (dir / "hard.pdf").c_str()) == 0
                && ::symlink((dir / "gone").c_str(), (dir / "dangling.pdf").c_str()) == 0
                && ::mkfifo((dir / "fifo").c_str(), 0600) == 0 && ::mkdir((dir / "folder").c_str(), 0700) == 0);
    // The output, and the start of the refusal ("" for none).
    const struct { std::string output, refusal; } rows[] = {
        {dir / "new.pdf", ""},
        {dir / "old.pdf", ""},
        {dir / "dangling.pdf", ""},
        {dir / "in.pdf", "it is the input file"},
        {dir / "soft.pdf", "it is the input file"},
        {dir / "hard.pdf", "it is the input file"},
        {dir / "folder/../in.pdf", "it is the input file"},
        {dir / "fifo", "it is not a regular file"},
        {"/dev/null", "it is not a regular file"},
        {dir / "folder", "it is a folder"},
        {"", "the output path is empty"},
    };
    for (const auto &row : rows) {
        const std::string refusal = OutputPath::refusal(row.output, {dir / "rules.txt", dir / "in.pdf"});
        EXPECT_TRUE(opens(refusal, row.refusal)) << row.output << ": " << refusal;
    }
    // A stale output goes; an input, a folder or a FIFO stays.
    std::string error;
    for (const char *name : {"old.pdf", "in.pdf", "hard.pdf", "soft.pdf", "folder", "fifo"})
        EXPECT_TRUE(OutputPath::removeStale(dir / name, {dir / "in.pdf"}, &error)) << name;
    for (const char *name : {"old.pdf", "in.pdf", "hard.pdf", "soft.pdf", "folder", "fifo"})
        EXPECT_EQ(::access((dir / name).c_str(), F_OK), name == std::string("old.pdf") ? -1 : 0) << name;
    EXPECT_EQ(readFile(dir / "in.pdf"), "input");
}

TEST(InputFile, ReadsRegularFilesWithinTheLimitOnly)
{
    Folder dir;
    ASSERT_TRUE(writeFile(dir / "ten", "0123456789") && writeFile(dir / "empty", ""));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);   // nobody writes: a blocking read would hang
    // The path, the limit, the bytes read or the start of the reason, and
    // whether it opens (only its reading fails).
    const struct { std::string path; long long limit; bool ok; std::string result; bool opens; } rows[] = {
        {dir / "ten", 10, true, "0123456789", true},
        {dir / "empty", 0, true, "", true},
        {dir / "ten", 9, false, "it is larger than 9 bytes", true},
        {dir / "fifo", 100, false, "it is not a regular file", false},
        {"/dev/zero", 100, false, "it is not a regular file", false},
        {dir / "", 100, false, "it is a folder", false},
        {dir / "missing", 100, false, "No such file or directory", false},
        // The system's files state no size: the limit holds as they are read.
        {"/proc/self/maps", 100, false, "it is larger than 100 bytes, the most this program reads", true},
        {"/proc/self/mem", 100, false, "Input/output error", true},
    };
    const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = descriptors();
    for (const auto &row : rows) {
        std::string bytes = "stale", error;
        const bool ok = InputFile::read(row.path, row.limit, &bytes, &error);
        EXPECT_TRUE(ok == row.ok && (ok ? bytes : error).rfind(row.result, 0) == 0
                    && InputFile::refusal(row.path).empty() == row.opens) << row.path << ": " << error;
    }
    EXPECT_EQ(descriptors(), before);   // each file closed again, read or refused
}

TEST(TemporaryOutput, ShortNameBesideTheTargetAndNothingLeftOnFailure)
{
    Folder dir;
    for (const std::string &name : {std::string("out.pdf"), std::string(250, 'n'), std::string(255, 'x')}) {
        TemporaryOutput out(dir / name);
        std::string error;
        ASSERT_TRUE(out.create(&error)) << error;
        // ".gm", the process id, "." and six characters, in the target's folder.
        EXPECT_TRUE(std::regex_match(out.path(), std::regex(".*/" + TemporaryOutput::namePrefix(long(::getpid())) + "[A-Za-z0-9]{6}")))
            << out.path();
        // A write of one byte is as whole as any other.
        ASSERT_TRUE(out.write("d", 1) && out.write("ata", 3) && out.written() == 4 && out.commit(&error)) << error;
        EXPECT_TRUE(readFile(dir / name) == "data" && dir.entries().size() == 1u);
        ::unlink((dir / name).c_str());
    }
    {
        TemporaryOutput dropped(dir / "dropped.pdf");
        std::string error;
        ASSERT_TRUE(dropped.create(&error) && dropped.write("x", 1));
    }
    EXPECT_TRUE(dir.entries().empty());
    // Failures to make or place the file, each with its reason.
    const struct { std::string target; bool made; std::string reason; } rows[] = {
        {dir / "no/such/out.pdf", false, "the folder \"" + (dir / "no/such") + "\" does not exist"},
        {dir / "out/", false, "the output path names a folder, not a file"},
        {dir / "never.pdf", true, "nothing was written"},
    };
    for (const auto &row : rows) {
        TemporaryOutput out(row.target);
        std::string error;
        EXPECT_TRUE(!(row.made ? out.commit(&error) : out.create(&error)) && error == row.reason) << row.target << ": " << error;
    }
    EXPECT_TRUE(dir.entries().empty());
    // A folder made at the target while the file was written: the file cannot take its place, and goes.
    {
        TemporaryOutput out(dir / "late");
        std::string error;
        ASSERT_TRUE(out.create(&error) && out.write("data", 4) && ::mkdir((dir / "late").c_str(), 0700) == 0
                    && writeFile(dir / "late/kept", "kept"));
        EXPECT_TRUE(!out.commit(&error) && error == "Is a directory" && dir.entries() == std::vector<std::string>{"late"}) << error;
        EXPECT_EQ(readFile(dir / "late/kept"), "kept");
    }
}

// The sanitizers' allocator reserves its memory by other rules: a data limit
// ends the process there instead of failing an allocation.
#if defined(__SANITIZE_ADDRESS__)
#define GRIDMOLT_NO_DATA_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GRIDMOLT_NO_DATA_LIMIT 1
#endif
#endif

TEST(MemoryLimit, FirstFailureIsNotedAndLeavesRoomToReport)
{
#ifdef GRIDMOLT_NO_DATA_LIMIT
    GTEST_SKIP() << "no data limit under the address sanitizer";
#endif
    const auto share = [](const char *value) {
        return ::setenv("TOOLSCOMMON_MEMORY_MB", value, 1), MemoryLimit::shareOfThisMachine("TOOLSCOMMON_MEMORY_MB");
    };
    EXPECT_EQ(share("48"), 48LL << 20);
    EXPECT_GT(share("48x"), 48LL << 20);   // not a number: the machine's share
    // In a child: the limit binds the process for good. Exit status 0 when
    // allocations failed within the share, the failure was noted, and the
    // reserve then held a further 32 MB.
    EXPECT_EQ(inChild([] {
        const MemoryLimit limit(48LL << 20);
        std::vector<std::unique_ptr<char[]>> held;
        try {
            for (int i = 0; i < 1000; ++i)
                held.emplace_back(new char[1 << 20])[0] = 1;
            std::_Exit(2);   // a gigabyte fitted in a share of 48 MB
        } catch (const std::bad_alloc &) {}
        if (!MemoryLimit::exhausted() || held.size() < 8)
            std::_Exit(3);
        std::unique_ptr<char[]> report(new char[32 << 20]);
        report[0] = 1;
    }), 0);
    // A failure after the limit has ended is the caller's own: not noted.
    EXPECT_EQ(inChild([] {
        { const MemoryLimit limit(1LL << 40); }
        try {
            static_cast<void>(::operator new(size_t(1) << 60));
        } catch (const std::bad_alloc &) {}
        std::_Exit(MemoryLimit::exhausted() ? 3 : 0);
    }), 0);
}

// Field `index` of /proc/self/statm in bytes: 0 the address space, 5 the
// data, as the system's limits count them.
long long inUse(int index)
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    for (int i = 0; i <= index; ++i)
        statm >> pages;
    return pages * ::sysconf(_SC_PAGESIZE);
}

// Under a soft limit on the address space or the data (ulimit -v, -d), the
// default share is at most half of what that limit leaves, so that the
// share's failed allocation, with room to report it, comes before the
// limit's; a share set in the environment stays as set. Each case in a
// child: a limit binds the process for good. Exit status 0 when it holds.
TEST(MemoryLimit, DefaultShareStaysWithinTheProcessLimits)
{
#ifdef GRIDMOLT_NO_DATA_LIMIT
    GTEST_SKIP() << "the address sanitizer reserves more address space than any such limit";
#endif
    constexpr long long left = 768LL << 20;
    const struct { const char *what; int resource; int index; } rows[] = {
        {"address space", RLIMIT_AS, 0},
        {"data", RLIMIT_DATA, 5},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const int resource = row.resource, index = row.index;
        EXPECT_EQ(inChild([resource, index] {
            ::unsetenv("TOOLSCOMMON_MEMORY_MB");
            const long long unlimited = MemoryLimit::shareOfThisMachine("TOOLSCOMMON_MEMORY_MB");
            struct rlimit limit;
            ::getrlimit(resource, &limit);
            limit.rlim_cur = rlim_t(inUse(index) + left);
            if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max)
                std::_Exit(0);   // the runner's own limit is tighter: nothing to set
            if (::setrlimit(resource, &limit) != 0)
                std::_Exit(2);
            const long long share = MemoryLimit::shareOfThisMachine("TOOLSCOMMON_MEMORY_MB");
            if (share <= 0 || share > left / 2 || share > unlimited)
                std::_Exit(3);
            ::setenv("TOOLSCOMMON_MEMORY_MB", "4000", 1);
            if (MemoryLimit::shareOfThisMachine("TOOLSCOMMON_MEMORY_MB") != 4000LL << 20)
                std::_Exit(4);
            // Filled within the default share: the failure is the share's,
            // and 32 MB more fit to report it.
            const MemoryLimit memory(share);
            std::vector<std::unique_ptr<char[]>> held;
            try {
                for (long long i = 0; i < (left >> 20); ++i)
                    held.emplace_back(new char[1 << 20])[0] = 1;
                std::_Exit(5);   // the whole limit fitted in its half
            } catch (const std::bad_alloc &) {}
            if (!MemoryLimit::exhausted())
                std::_Exit(6);
            std::unique_ptr<char[]> report(new char[32 << 20]);
            report[0] = 1;
        }), 0);
    }
}

// A caller that closed the standard input leaves descriptor 0 free: the
// temporary file may get it, and is written all the same.
TEST(TemporaryOutput, WrittenWhenItGetsDescriptorZero)
{
    Folder dir;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(STDIN_FILENO);
        TemporaryOutput out(dir / "out.pdf");
        std::string error;
        std::_Exit(out.create(&error) && out.write("data", 4) && out.commit(&error) ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(dir / "out.pdf"), "data");
}

TEST(TemporaryOutput, FileSizeLimitIsReportedAsFileTooLarge)
{
    Folder dir;
    FileSizeLimit limit(1000);
    TemporaryOutput out(dir / "out.pdf");
    std::string error;
    ASSERT_TRUE(limit.ok() && out.create(&error));
    EXPECT_TRUE(!out.write(std::string(5000, 'x').data(), 5000) && out.writeFailure() == "File too large" && !out.commit(&error)
                && error == "File too large" && dir.entries().empty()) << error;
}

// A program stopped while its file is half written: the temporary file goes,
// the process ends by the signal, the target is not made. The child tells
// through a pipe when the file stands, so the signal comes mid-write.
TEST(StopCleanup, StopSignalsRemoveTheTemporaryFile)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        Folder dir;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            StopCleanup::prepare("test");
            TemporaryOutput out(dir / "out.pdf");
            std::string error;
            if (!out.create(&error) || !out.write("half", 4))
                std::_Exit(3);
            (void)!::write(ready[1], "r", 1);
            for (;;)
                ::pause();
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ASSERT_TRUE(dir.entries().size() == 1u && dir.entries()[0].rfind(TemporaryOutput::namePrefix(long(pid)), 0) == 0);
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig && dir.entries().empty()) << sig;
        ::close(ready[0]);
        ::close(ready[1]);
    }
    // An exception nobody catches ends the process with status 1, not an abort.
    Folder dir;
    EXPECT_EQ(inChild([&] {
        StopCleanup::prepare("test");
        TemporaryOutput out(dir / "out.pdf");
        std::string error;
        out.create(&error);
        std::terminate();
    }), 1);
    EXPECT_TRUE(dir.entries().empty());
}

// A stop signal that comes while a Hold stands waits for its end, and then ends the process.
TEST(StopCleanup, HoldDefersStopSignals)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EQ(inChild([sig] {
            StopCleanup::prepare("test");
            const StopCleanup::Hold hold;
            ::raise(sig);
            std::_Exit(7);
        }), 7) << sig;
        EXPECT_EQ(inChild([sig] {
            StopCleanup::prepare("test");
            {
                const StopCleanup::Hold hold;
                ::raise(sig);
            }
            std::_Exit(7);
        }), -1) << sig;
    }
}

namespace
{
// A one-page document whose page draws "/F0 Do" `pageCalls` times; form i
// draws form i+1 `calls` times, `depth` forms in all. Forms without
// resources of their own (`inherit`) find the next form by the page's
// resources. `annotation` draws form 0 once more as an appearance.
std::string formsPdf(int depth, int calls, int pageCalls, bool inherit = false, bool annotation = false,
                     const std::string &pageLead = std::string())
{
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"};
    std::string names;
    for (int i = 0; i < depth; ++i)
        names += "/F" + std::to_string(i) + " " + std::to_string(5 + i) + " 0 R ";
    const auto stream = [](const std::string &dict, const std::string &data) {
        return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    std::string pageContent = pageLead;
    for (int i = 0; i < pageCalls; ++i)
        pageContent += "/F0 Do ";
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources << /XObject << "
                      + (inherit ? names : "/F0 5 0 R") + " >> >>"
                      + (annotation ? " /Annots [<< /Subtype /Square /Rect [0 0 9 9] /AP << /N 5 0 R >> >>]" : "")
                      + " >>");
    objects.push_back(stream("", pageContent));
    for (int i = 0; i < depth; ++i) {
        // Image data that reads like a drawing of a form: not one.
        std::string content = "BI /W 5 /H 1 /CS /G /BPC 8 ID /N Do EI ";
        const std::string next = "/F" + std::to_string(i + 1);
        for (int c = 0; i + 1 < depth && c < calls; ++c)
            content += (inherit ? next : "/N") + " Do ";
        const std::string resources = inherit || i + 1 == depth
            ? "" : "/Resources << /XObject << /N " + std::to_string(6 + i) + " 0 R >> >>";
        objects.push_back(stream("/Type /XObject /Subtype /Form /BBox [0 0 9 9] " + resources, content));
    }
    return pdfFromObjects(objects);
}
}

TEST(FormNesting, EveryPathThroughTheFormsIsCounted)
{
    // The most drawings of a form of one inline image, 39 bytes, that the budget allows.
    const long long max = FormNesting::kMaxWork / FormNesting::drawingWork(39);
    const std::string over = "drawing its forms takes more work than a page may";
    // Depth, calls per form, calls on the page, inherited resources, an
    // annotation; the start of the refusal ("" for none); what the page's
    // content holds before its calls.
    const struct { int depth, calls, pageCalls; bool inherit, annotation; std::string refusal, lead = ""; } rows[] = {
        {12, 4, 1, false, false, over + " (at least 349525 form drawings)"},
        // 1 + 4 + ... + 4^7 drawings of a form of 63 bytes, 4^8 of one of 39:
        // 555 million units, over half the budget.
        {9, 4, 1, false, false, ""},
        {9, 4, 2, false, false, over},
        {10, 4, 1, false, false, over},                     // four times as much
        {8, 4, 1, false, true, ""},                         // the annotation draws it all again
        {9, 4, 1, false, true, over},
        {12, 4, 1, true, false, over},                      // names found in the page's resources
        // A symbol drawn 162,074 times, without nesting.
        {1, 0, int(max), false, false, ""},
        {1, 0, int(max) + 1, false, false, over},
        {1, 0, int(max) - 1, false, true, ""},   // the appearance is the last drawing allowed
        {1, 0, int(max), false, true, over},
        {FormNesting::kMaxDepth, 1, 1, false, false, ""},
        {FormNesting::kMaxDepth + 1, 1, 1, false, false, "its forms are nested more than 100 deep"},
        // An appearance is the first level of what it draws.
        {FormNesting::kMaxDepth, 1, 0, false, true, ""},
        {FormNesting::kMaxDepth + 1, 1, 0, false, true, "its forms are nested more than 100 deep"},
        // Tokens a reader skips do not end the count.
        {12, 4, 1, false, false, over, ") > ] } "},
        // A name that is not the last operand before Do draws nothing.
        {1, 0, int(max), false, false, "", "/F0 1 Do /F0 /N Do "},
    };
    for (const auto &row : rows) {
        const std::string bytes = formsPdf(row.depth, row.calls, row.pageCalls, row.inherit, row.annotation, row.lead);
        QPDF pdf;
        pdf.processMemoryFile("forms", bytes.data(), bytes.size());
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
        ASSERT_EQ(pages.size(), 1u);
        const std::string refusal = FormNesting().refusal(pages[0]);
        EXPECT_TRUE(opens(refusal, row.refusal)) << row.depth << " " << row.calls << ": " << refusal;
    }
    // A form that draws itself is skipped, as renderers skip it.
    std::string loop = formsPdf(2, 4, 1);
    loop.replace(loop.find("/N 6 0 R"), 8, "/N 5 0 R");
    Folder dir;
    ASSERT_TRUE(writeFile(dir / "loop.pdf", loop) && writeFile(dir / "deep.pdf", formsPdf(12, 4, 1)));
    EXPECT_EQ(FormNesting::refusal(dir / "loop.pdf", {}), "");
    EXPECT_EQ(FormNesting::refusal(dir / "deep.pdf", {2}), "");   // no such page
    EXPECT_EQ(FormNesting::refusal(dir / "deep.pdf", {1}).substr(0, 8), "page 1: ");
    EXPECT_EQ(FormNesting::refusal(dir / "missing.pdf", {}), "");   // left to the program's library
}

TEST(PdfPages, PagesOutsideTheDocumentAreRefused)
{
    for (long page : {0L, -1L, 2L}) {
        PdfPages pdf;
        std::string error;
        ASSERT_TRUE(pdf.open("one.pdf", formsPdf(1, 0, 1), &error)) << error;
        Folder dir;
        TemporaryOutput out(dir / "out.pdf");
        EXPECT_FALSE(pdf.writePages({page}, &out, &error));
        EXPECT_EQ(error, "page " + std::to_string(page) + " is outside the document, which has 1 page");
    }
}

namespace
{
std::string ref(size_t object) { return std::to_string(object) + " 0 R"; }

// One page under `nodes` page-tree nodes in a chain, the root first, whose
// /Count is `count`; the page's /Parent leads up through `parents` more
// dictionaries that no /Kids list (0: up the chain itself).
std::vector<std::string> chainObjects(int nodes, const std::string &count = "1", int parents = 0)
{
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int i = 0; i < nodes; ++i)
        objects.push_back("<< /Type /Pages /Kids [" + ref(size_t(3 + i)) + "] /Count " + (i == 0 ? count : "1")
                          + (i > 0 ? " /Parent " + ref(size_t(1 + i)) : "") + " >>");
    const size_t page = objects.size() + 1;
    objects.push_back("<< /Type /Page /MediaBox [0 0 10 10] /Parent " + ref(parents > 0 ? page + 1 : page - 1) + " >>");
    for (int i = 0; i < parents; ++i)
        objects.push_back(i + 1 < parents ? "<< /Type /Pages /Parent " + ref(page + 2 + size_t(i)) + " >>" : "<< /Type /Pages >>");
    return objects;
}

// One page with one widget under `levels` form fields in a chain.
std::vector<std::string> fieldObjects(int levels)
{
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>",
                                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                     "<< /Type /Page /MediaBox [0 0 10 10] /Parent 2 0 R /Annots [" + ref(size_t(4 + levels)) + "] >>"};
    for (int i = 0; i < levels; ++i)
        objects.push_back("<< /T (f) /Kids [" + ref(size_t(5 + i)) + "]" + (i > 0 ? " /Parent " + ref(size_t(3 + i)) : "") + " >>");
    objects.push_back("<< /Type /Annot /Subtype /Widget /Rect [0 0 5 5] /Parent " + ref(size_t(3 + levels)) + " >>");
    return objects;
}

// A root over node 3 over page 4, written as `page`; node 3's /Parent
// leads up through `parents` dictionaries that no /Kids list.
std::vector<std::string> nodeObjects(const std::string &page, int parents)
{
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                     "<< /Type /Pages /Kids [4 0 R] /Count 1 /Parent 5 0 R >>", page};
    for (int i = 0; i < parents; ++i)
        objects.push_back(i + 1 < parents ? "<< /Type /Pages /Parent " + ref(size_t(6 + i)) + " >>" : "<< /Type /Pages >>");
    return objects;
}

// Node 3 (over page 4) under the root, and again under `chain` more nodes.
std::vector<std::string> againObjects(int chain)
{
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>",
                                     "<< /Type /Pages /Kids [4 0 R] /Count 1 /Parent 2 0 R >>",
                                     "<< /Type /Page /MediaBox [0 0 10 10] /Parent 3 0 R >>"};
    for (int i = 0; i < chain; ++i)
        objects.push_back("<< /Type /Pages /Kids [" + ref(i + 1 < chain ? size_t(6 + i) : 3) + "] /Count 1 /Parent "
                          + ref(i > 0 ? size_t(4 + i) : 2) + " >>");
    return objects;
}

// `objects` with every `key` written as `as`.
std::vector<std::string> hidden(std::vector<std::string> objects, const std::string &key, const std::string &as)
{
    for (std::string &object : objects) {
        for (size_t at = object.find(key); at != std::string::npos; at = object.find(key, at + as.size()))
            object.replace(at, key.size(), as);
    }
    return objects;
}

// A root whose /Kids are `kids`, over object 3, a page, and object 4, a node over that page.
std::vector<std::string> kidsObjects(const std::string &kids, const std::string &count)
{
    return {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>",
            "<< /Type /Page /MediaBox [0 0 10 10] /Parent 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 /Parent 2 0 R >>"};
}
}

TEST(PageTree, DeepTreesAreRefusedAndOnlyTheStatedCountOfReachablePagesIsTaken)
{
    const int max = PageTree::kMaxDepth;
    const std::string deep = "its page tree is more than 100 levels deep", fields = "its form fields are nested more than 100 levels deep";
    const std::string bare = "<< /Type /Page /MediaBox [0 0 10 10] >>", plainDict = "<< /Type /Page /MediaBox [0 0 10 10] /Parent 3 0 R";
    const std::string plain = plainDict + " >>";
    // nodeObjects() with another node over a plain page listed first.
    const auto afterAnotherNode = [&](int parents) {
        std::vector<std::string> objects = nodeObjects(plain, parents);
        const size_t node = objects.size() + 1;
        objects[1] = "<< /Type /Pages /Kids [" + ref(node) + " 3 0 R] /Count 2 >>";
        objects.push_back("<< /Type /Pages /Kids [" + ref(node + 1) + "] /Count 1 /Parent 2 0 R >>");
        objects.push_back("<< /Type /Page /MediaBox [0 0 10 10] /Parent " + ref(node) + " >>");
        return objects;
    };
    // The document; the refusal of the walk ("" for none); the pages counted
    // and the start of the reason they are no page count.
    const struct { const char *what; std::vector<std::string> objects; std::string refusal; long pages; std::string countRefusal; } rows[] = {
        {"one node", chainObjects(1), "", 1, ""},
        {"nodes at the limit", chainObjects(max), "", 1, ""},
        {"nodes past the limit", chainObjects(max + 1), deep, 0, ""},
        {"30,000 nodes", chainObjects(30000), deep, 0, ""},
        {"50,000 nodes", chainObjects(50000), deep, 0, ""},
        {"parents at the limit", chainObjects(1, "1", max), "", 1, ""},
        {"parents past the limit", chainObjects(1, "1", max + 1), deep, 0, ""},
        {"30,000 parents", chainObjects(1, "1", 30000), deep, 0, ""},
        {"fields at the limit", fieldObjects(max), "", 1, ""},
        {"fields past the limit", fieldObjects(max + 1), fields, 0, ""},
        {"30,000 fields", fieldObjects(30000), fields, 0, ""},
        // The widget's fields are reached from the page alone.
        {"fields of the page's widget at the limit", hidden(fieldObjects(max), "/AcroForm", "/NoForm"), "", 1, ""},
        {"fields of the page's widget past the limit", hidden(fieldObjects(max + 1), "/AcroForm", "/NoForm"), fields, 0, ""},
        // Kids no look at the bytes may miss: behind a name escape, or after a string holding "endobj".
        {"escaped kids past the limit", hidden(chainObjects(max + 1), "/Kids", "/K#69ds"), deep, 0, ""},
        {"kids after a string past the limit", hidden(chainObjects(max + 1), "/Kids", "/T (x endobj) /Kids"), deep, 0, ""},
        {"parents after a comment past the limit", hidden(chainObjects(1, "1", max + 1), "/Parent", "%\n/Parent"), deep, 0, ""},
        {"a page with a hex string", hidden(chainObjects(1), "/MediaBox", "/ID <00> /MediaBox"), "", 1, ""},
        {"count as a real", chainObjects(1, "1.0"), "", 1, ""},
        {"count of two billion", chainObjects(1, "2147483647"), "", 0, "its page tree claims 2147483647 pages and holds 1"},
        {"count past 32 bits", chainObjects(1, "4294967297"), "", 0, "its page tree claims 4294967297 pages and holds 1"},
        {"count -1", chainObjects(1, "-1"), "", 0, "its page tree claims -1 pages and holds 1"},
        {"count 0", chainObjects(1, "0"), "", 0, "its page tree claims 0 pages and holds 1"},
        {"count 2", chainObjects(1, "2"), "", 0, "its page tree claims 2 pages and holds 1"},
        {"long count", chainObjects(1, std::string(3000, '9') + ".5"), "", 0, "its page tree claims 999999999999999999999999... pages"},
        {"count a name", chainObjects(1, "/One"), "", 0, "its page tree gives no page count"},
        {"no kids", kidsObjects("", "0"), "", 0, "the document has no pages"},
        {"a page twice", kidsObjects("3 0 R 3 0 R", "2"), "", 2, ""},
        {"a node twice", kidsObjects("4 0 R 4 0 R", "2"), "", 2, ""},
        // A kid that lists the root again: readers pass over it.
        {"a loop", kidsObjects("4 0 R 2 0 R", "1"), "", 1, ""},
        // What every reader passes over or takes alike.
        {"a kid no dictionary", kidsObjects("3 0 R 7", "1"), "", 1, ""},
        {"a null kid", kidsObjects("3 0 R null", "1"), "", 1, ""},
        {"a name kid", kidsObjects("/Name 3 0 R", "1"), "", 1, ""},
        {"a page without type", hidden(kidsObjects("3 0 R", "1"), "/Type /Page /MediaBox", "/MediaBox"), "", 1, ""},
        {"a node without type", hidden(kidsObjects("4 0 R", "1"), "/Type /Pages /Kids", "/Kids"), "", 1, ""},
        {"a count one below the pages", kidsObjects("3 0 R 4 0 R", "1"), "", 1, ""},
        {"a count below the pages, as a real", kidsObjects("3 0 R 4 0 R", "1.0"), "", 0, "its page tree claims 1.0 pages and holds 2"},
        {"a page listing kids", {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                 "<< /Type /Page /Kids [4 0 R] /Parent 2 0 R >>", "<< /Type /Page /Parent 3 0 R >>"},
         "", 1, ""},
        {"a kid no object", kidsObjects("3 0 R 9 0 R", "1"), "", 1, ""},
        // A node reached again deeper down: its levels count from there.
        {"a node again at the limit", againObjects(max - 2), "", 2, ""},
        {"a node again past the limit", againObjects(max - 1), deep, 0, ""},
        // A page's parents past its node's: a plain page is no exception.
        {"a page over a node with parents at the limit", nodeObjects(plain, max - 1), "", 1, ""},
        {"a page over a node with parents past the limit", nodeObjects(plain, max), deep, 0, ""},
        {"... after another node's page", afterAnotherNode(max - 1), "", 2, ""},
        {"... past the limit after another node's page", afterAnotherNode(max), deep, 0, ""},
        // The /Parent written outside the page's dictionary is none: the node's parents are not the page's.
        {"a parent after the page", nodeObjects(bare + " /Parent 3 0 R", max + 1), "", 1, ""},
        {"a parent in a second dictionary", nodeObjects(bare + " << /Parent 3 0 R >>", max + 1), "", 1, ""},
        {"a parent after the page closed twice", nodeObjects(bare + " >> /Parent 3 0 R <<", max + 1), "", 1, ""},
        // What the library reads as no page: an array closed once too often, a stream past the bytes looked at.
        {"a page closing an array twice", nodeObjects("<< /Type /Page /MediaBox [0 0 10 10]] /Parent 3 0 R [ >>", max + 1),
         "", 0, "the document has no pages"},
        {"a page that is a stream", nodeObjects(plainDict + " /Length 1 >>" + std::string(5000, ' ') + "stream\nx\nendstream", max + 1),
         "", 0, "the document has no pages"},
    };
    for (const auto &row : rows) {
        const std::string bytes = pdfFromObjects(row.objects);
        // Each page parsed, and pages told from their bytes.
        for (const std::string *given : {static_cast<const std::string *>(nullptr), &bytes}) {
            QPDF pdf;
            pdf.setSuppressWarnings(true);
            pdf.processMemoryFile("tree", bytes.data(), bytes.size());
            PageTree tree;
            std::string why;
            const bool walked = tree.walk(pdf, &why, given);
            EXPECT_TRUE(walked == row.refusal.empty() && why == row.refusal) << row.what << ": " << why;
            if (walked) {
                EXPECT_TRUE(tree.pages() == row.pages && opens(tree.countRefusal(), row.countRefusal)
                            && tree.inOrder().size() == size_t(row.pages))
                    << row.what << ": " << tree.pages() << " " << tree.countRefusal();
            }
        }
    }
    // From a file; one the library cannot read is left to the program's own.
    Folder dir;
    ASSERT_TRUE(writeFile(dir / "deep.pdf", pdfFromObjects(chainObjects(30000))) && writeFile(dir / "text.pdf", "Dear reader,\n"));
    EXPECT_EQ(QpdfRepair(dir / "deep.pdf").treeRefusal(), "its page tree is more than 100 levels deep");
    EXPECT_EQ(QpdfRepair(dir / "text.pdf").treeRefusal(), "");
    EXPECT_EQ(QpdfRepair(dir / "missing.pdf").treeRefusal(), "");
}

namespace
{
// One page whose font lies in an object stream that only the cross-reference
// stream named by the table's trailer (/XRefStm) lists; the table marks it
// free, as writers of such hybrid files do.
std::string hybridPdf()
{
    const auto number = [](long long n, int width) {
        std::string text = std::to_string(n);
        return std::string(size_t(std::max(0, width - int(text.size()))), '0') + text;
    };
    const std::string font = "5 0 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Type /ObjStm /N 1 /First 4 /Length " + std::to_string(font.size()) + " >>\nstream\n" + font + "\nendstream"};
    std::string pdf = "%PDF-1.5\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        // The object stream is object 6.
        pdf += std::to_string(i < 3 ? i + 1 : 6) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    // Entries of 1 + 4 + 2 bytes for objects 5 to 7.
    const auto entry = [](int type, size_t field) {
        std::string e(1, char(type));
        for (int shift = 24; shift >= 0; shift -= 8)
            e += char((field >> shift) & 0xff);
        return e + std::string(2, '\0');
    };
    const size_t streamAt = pdf.size();
    const std::string entries = entry(2, 6) + entry(1, offsets[3]) + entry(1, streamAt);
    pdf += "7 0 obj\n<< /Type /XRef /Size 8 /Index [5 3] /W [1 4 2] /Length " + std::to_string(entries.size())
        + " >>\nstream\n" + entries + "\nendstream\nendobj\n";
    const size_t tableAt = pdf.size();
    pdf += "xref\n0 8\n0000000000 65535 f \n";
    for (size_t i = 0; i < 3; ++i)
        pdf += number((long long)offsets[i], 10) + " 00000 n \n";
    for (int i = 0; i < 4; ++i)
        pdf += "0000000000 00000 f \n";
    return pdf + "trailer\n<< /Size 8 /Root 1 0 R /XRefStm " + std::to_string(streamAt) + " >>\nstartxref\n"
        + std::to_string(tableAt) + "\n%%EOF\n";
}
}

// What the converter reads for a file: the file itself, or qpdf's rewrite
// where poppler would lose part of it, with every page and no second table.
TEST(ConverterInput, FilesPopplerMisreadsAreReadAsRewritten)
{
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>";
    const auto tree = [&page](const std::string &kids, int count) {
        return pdfFromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                               "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>", page, page});
    };
    // `why`: why the file is refused, or why it is read as it is for want of the rewrite.
    const struct { const char *what; std::string pdf; bool prepared, rewritten; int pages; std::string why = ""; } rows[] = {
        {"plain", tree("3 0 R 4 0 R", 2), true, false, 2},
        {"a null among the kids", tree("3 0 R null 4 0 R", 2), true, true, 2},
        {"hybrid references", hybridPdf(), true, true, 1},
        {"a tree deeper than readers go", pdfFromObjects(chainObjects(30000)), false, false, 0,
         "its page tree is more than 100 levels deep"},
        {"no PDF: left to the converter's library", "Dear reader,\n", true, false, 0},
        {"a null among the kids of a tree claiming more pages than the file has entries", tree("3 0 R null 4 0 R", 6), true,
         false, 0, "its page tree claims"},
    };
    Folder dir;
    for (const auto &row : rows) {
        ASSERT_TRUE(writeFile(dir / "in.pdf", row.pdf));
        ConverterInput input(dir / "in.pdf");
        std::string why;
        EXPECT_EQ(input.prepare(&why), row.prepared) << row.what;
        EXPECT_EQ(row.prepared ? input.fallback().substr(0, row.why.size()) : why, row.why) << row.what;
        EXPECT_EQ(input.fallback().empty(), !row.prepared || row.why.empty()) << row.what;
        EXPECT_EQ(input.rewrite().empty(), !row.rewritten) << row.what;
        if (!row.rewritten)
            continue;
        QPDF rewritten;
        rewritten.processMemoryFile("rewrite", input.rewrite().data(), input.rewrite().size());
        EXPECT_EQ(QPDFPageDocumentHelper(rewritten).getAllPages().size(), size_t(row.pages)) << row.what;
        EXPECT_FALSE(rewritten.getTrailer().hasKey("/XRefStm")) << row.what;
        EXPECT_EQ(input.rewrite().find("/XRefStm"), std::string::npos) << row.what;
    }
}

// Plain pages are counted from their bytes, without the library parsing
// them: the walk leaves them unread, so bytes changed after it are what
// the library reads. Given no bytes, it parses them.
TEST(PageTree, PlainPagesAreCountedWithoutParsing)
{
    const std::string page = "<< /Type /Page /MediaBox [0 0 10 10] /Parent 2 0 R >>";
    for (const bool givenBytes : {true, false}) {
        std::string bytes = pdfFromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                            "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>", page, page, page});
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("plain", bytes.data(), bytes.size());
        PageTree tree;
        std::string why;
        ASSERT_TRUE(tree.walk(pdf, &why, givenBytes ? &bytes : nullptr)) << why;
        EXPECT_EQ(tree.pages(), 3);
        for (size_t at = bytes.find("10 10]"); at != std::string::npos; at = bytes.find("10 10]", at))
            bytes.replace(at, 5, "20 20");
        for (int id = 3; id <= 5; ++id)
            EXPECT_EQ(pdf.getObjectByID(id, 0).getKey("/MediaBox").getArrayItem(2).getIntValue(), givenBytes ? 20 : 10)
                << givenBytes << " " << id;
    }
}

// The outline of three pages: A (page 1); B (page 3, open) over B1 (page 2)
// and B2 (page 1); C (page 2, closed) over C1 (page 3). Items leading to a
// page left out go, their own items taking their place; counts follow.
TEST(PdfPages, CutsRelinkTheOutlineAroundPagesLeftOut)
{
    const auto item = [](const std::string &title, int page, const std::string &links) {
        return "<< /Title (" + title + ") /Dest [" + std::to_string(page + 2) + " 0 R /Fit] " + links + " >>";
    };
    const std::string pdf = pdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R /Outlines 6 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", "<< /Type /Outlines /First 7 0 R /Last 9 0 R /Count 5 >>",
        item("A", 1, "/Parent 6 0 R /Next 8 0 R"), item("B", 3, "/Parent 6 0 R /Prev 7 0 R /Next 9 0 R /First 10 0 R /Last 11 0 R /Count 2"),
        item("C", 2, "/Parent 6 0 R /Prev 8 0 R /First 12 0 R /Last 12 0 R /Count -1"),
        item("B1", 2, "/Parent 8 0 R /Next 11 0 R"), item("B2", 1, "/Parent 8 0 R /Prev 10 0 R"), item("C1", 3, "/Parent 9 0 R")});
    // The pages cut, then each item as "title count" in reading order, its own items in brackets.
    const struct { std::vector<long> pages; std::string outline; long rootCount; } rows[] = {
        {{2}, "B1 0, C 0", 2},
        {{1, 3}, "A 0, B 1 [B2 0], C1 0", 4},
        {{1, 2, 3}, "A 0, B 2 [B1 0, B2 0], C -1 [C1 0]", 5},
    };
    for (const auto &row : rows) {
        PdfPages pages;
        std::string error;
        Folder dir;
        TemporaryOutput out(dir / "cut.pdf");
        ASSERT_TRUE(pages.open("outline.pdf", pdf, &error) && out.create(&error) && pages.writePages(row.pages, &out, &error)
                    && out.commit(&error)) << error;
        QPDF cut;
        cut.processFile((dir / "cut.pdf").c_str());
        std::function<std::string(QPDFObjectHandle)> listed = [&](QPDFObjectHandle first) {
            std::string text;
            QPDFObjectHandle previous = QPDFObjectHandle::newNull();
            for (QPDFObjectHandle at = first; at.isDictionary(); previous = at, at = at.getKey("/Next")) {
                // Each item's links back agree with the way down.
                EXPECT_TRUE(at.getKey("/Prev").isSameObjectAs(previous) || (previous.isNull() && !at.hasKey("/Prev")));
                QPDFObjectHandle count = at.getKey("/Count");
                text += (text.empty() ? "" : ", ") + at.getKey("/Title").getUTF8Value() + " "
                    + std::to_string(count.isInteger() ? count.getIntValue() : 0);
                if (at.hasKey("/First"))
                    text += " [" + listed(at.getKey("/First")) + "]";
            }
            return text;
        };
        QPDFObjectHandle outlines = cut.getRoot().getKey("/Outlines");
        EXPECT_EQ(listed(outlines.getKey("/First")), row.outline);
        EXPECT_EQ(outlines.getKey("/Count").getIntValue(), row.rootCount);
    }
}

TEST(PdfPages, CountsOnlyWhatTheTreeHoldsAndStates)
{
    // The document, and the page count or the refusal.
    const struct { std::vector<std::string> objects; long pages; std::string error; } rows[] = {
        {chainObjects(3), 1, ""},
        {chainObjects(1, "2147483647"), 0, "its page tree claims 2147483647 pages and holds 1"},
        {chainObjects(PageTree::kMaxDepth + 1), 0, "its page tree is more than 100 levels deep"},
        {kidsObjects("", "0"), 0, "the document has no pages"},
        {kidsObjects("3 0 R null 4 0 R", "2"), 2, ""},
        {kidsObjects("3 0 R 4 0 R", "1"), 1, ""},
    };
    for (const auto &row : rows) {
        PdfPages pdf;
        std::string error;
        const bool opened = pdf.open("tree.pdf", pdfFromObjects(row.objects), &error);
        EXPECT_TRUE(opened == row.error.empty() && error == row.error && (!opened || pdf.pageCount() == row.pages)) << error;
    }
    // A page whose object was written with another generation than its
    // references give: readers find it by its number, and so does the walk.
    std::string otherGeneration = pdfFromObjects(kidsObjects("4 0 R 3 0 R", "2"));
    otherGeneration.replace(otherGeneration.find("\n3 0 obj"), 8, "\n3 1 obj");
    PdfPages again;
    std::string why;
    EXPECT_TRUE(again.open("generation.pdf", otherGeneration, &why) && again.pageCount() == 2) << why;
    // Pages kept in object streams have no place of their own in the file: they are parsed.
    QPDF source;
    const std::string plain = pdfFromObjects(chainObjects(3));
    source.processMemoryFile("plain", plain.data(), plain.size());
    QPDFWriter writer(source);
    writer.setOutputMemory();
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.write();
    const std::shared_ptr<Buffer> packed = writer.getBufferSharedPointer();
    PdfPages pdf;
    std::string error;
    EXPECT_TRUE(pdf.open("packed.pdf", std::string(reinterpret_cast<const char *>(packed->getBuffer()), packed->getSize()), &error)
                && pdf.pageCount() == 1) << error;
}

// Outlines, name trees and threads that loop or nest past any limit: a
// cut of one page ends, holds what leads into it and reads back.
TEST(PdfPages, CutsEndOnLoopingAndDeepOutlinesNamesAndThreads)
{
    const int deep = 30000;
    std::vector<std::string> objects{
        "<< /Type /Catalog /Pages 2 0 R /Outlines 5 0 R /Names << /Dests 6 0 R >> /Threads [7 0 R 7 0 R] >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] /B [8 0 R] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] /B [9 0 R] >>",
        // The first item comes round to itself, and opens a chain of items each inside the last.
        "<< /Type /Outlines /First 10 0 R /Last 10 0 R /Count 2 >>",
        // The tree's root lists itself and a chain of nodes each under the last.
        "<< /Kids [6 0 R 11 0 R] /Names [(keep) [3 0 R /Fit] (drop) [4 0 R /Fit]] >>",
        // A ring that never comes back to its first bead.
        "<< /Type /Thread /F 8 0 R /I << /Title (Ring) >> >>",
        "<< /Type /Bead /T 7 0 R /P 3 0 R /N 9 0 R /V 9 0 R /R [0 0 5 5] >>",
        "<< /Type /Bead /P 4 0 R /N 9 0 R /V 8 0 R /R [0 0 5 5] >>",
        "<< /Title (Loop) /Parent 5 0 R /Next 10 0 R /Dest (keep) /First " + std::to_string(11 + deep) + " 0 R >>"};
    // Objects 11 on: the chain of tree nodes, then the chain of items.
    for (int i = 0; i < deep; ++i)
        objects.push_back("<< /Kids [" + std::to_string(12 + i) + " 0 R] /Names [(n" + std::to_string(i) + ") [4 0 R /Fit]] >>");
    for (int i = 0; i < deep; ++i)
        objects.push_back("<< /Title (Deep) /Dest [3 0 R /Fit] /First " + std::to_string(12 + deep + i) + " 0 R >>");
    PdfPages pages;
    std::string error;
    Folder dir;
    TemporaryOutput out(dir / "cut.pdf");
    ASSERT_TRUE(pages.open("hostile.pdf", pdfFromObjects(objects), &error) && out.create(&error)
                && pages.writePages({1}, &out, &error) && out.commit(&error)) << error;
    QPDF cut;
    cut.processFile((dir / "cut.pdf").c_str());
    QPDFObjectHandle catalog = cut.getRoot();
    // The looping item stays once, over items no deeper than a page tree may stand.
    QPDFObjectHandle first = catalog.getKey("/Outlines").getKey("/First");
    EXPECT_EQ(first.getKey("/Title").getUTF8Value(), "Loop");
    EXPECT_FALSE(first.hasKey("/Next"));
    int levels = 0;
    for (QPDFObjectHandle item = first.getKey("/First"); item.isDictionary(); item = item.getKey("/First"))
        ++levels;
    EXPECT_GT(levels, 0);
    EXPECT_LE(levels, PageTree::kMaxDepth + 1);
    // The name tree keeps "keep" alone; the thread, its bead on page 1 in a ring of one.
    QPDFObjectHandle names = catalog.getKey("/Names").getKey("/Dests").getKey("/Names");
    ASSERT_TRUE(names.isArray());
    EXPECT_EQ(names.getArrayNItems(), 2);
    EXPECT_EQ(names.getArrayItem(0).getUTF8Value(), "keep");
    QPDFObjectHandle threads = catalog.getKey("/Threads");
    ASSERT_TRUE(threads.isArray());
    EXPECT_EQ(threads.getArrayNItems(), 1);
    QPDFObjectHandle bead = threads.getArrayItem(0).getKey("/F");
    EXPECT_TRUE(bead.getKey("/N").isSameObjectAs(bead) && bead.getKey("/V").isSameObjectAs(bead));
}
