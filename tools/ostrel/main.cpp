// Ostrel.dll: the replacement engine the replacement window starts.
//
//   Ostrel.dll IN.pdf -tesome OUT.pdf RULES   text rules
//   Ostrel.dll IN.pdf -pisome OUT.pdf RULES   image rules
//
// Exit codes: 0 every rule applied; 1 failed, no output written; 2 output
// written, but some rules found nothing and were skipped (one line each on
// standard error).

#include "pdfreplacer.h"
#include "rulelines.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
enum ExitCode { Done = 0, Failed = 1, Partial = 2 };

const char kProgram[] = "Ostrel.dll";

void say(const std::string &line)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

bool readFile(const std::string &path, std::string *bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A failed run leaves no file at the output path, not even one an earlier
// run left there: the window would take it for this run's success. The input
// itself is never removed.
void clearOutput(const std::string &input, const std::string &output)
{
    struct stat in, out;
    if (stat(output.c_str(), &out) != 0 || !S_ISREG(out.st_mode))
        return;
    if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        return;
    unlink(output.c_str());
}
}

int main(int argc, char **argv)
{
    const std::string option = argc == 5 ? argv[2] : "";
    if (option != "-tesome" && option != "-pisome") {
        say("usage: Ostrel.dll <input.pdf> -tesome|-pisome <output.pdf> <rule file>"
            " (exit 0: every rule applied, 1: failed, no output, 2: output written, some rules skipped)");
        return Failed;
    }
    const std::string input = argv[1], output = argv[3], rulePath = argv[4];

    std::string bytes;
    if (!readFile(rulePath, &bytes)) {
        say("cannot read the rule file \"" + rulePath + "\": " + std::strerror(errno));
        clearOutput(input, output);
        return Failed;
    }
    const RuleLines rules = RuleLines::parse(bytes, option == "-tesome" ? RuleLines::Kind::Text : RuleLines::Kind::Image);
    if (!rules.ok()) {
        say("rule file \"" + rulePath + "\", " + rules.error());
        clearOutput(input, output);
        return Failed;
    }

    PdfReplacer replacer;
    std::string error;
    if (!replacer.run(input, output, rules, &error)) {
        say(error);   // the one line of a failure; skipped rules no longer matter
        clearOutput(input, output);
        return Failed;
    }
    for (const std::string &line : replacer.skipped())
        say("rule file \"" + rulePath + "\", " + line);
    return replacer.skipped().empty() ? Done : Partial;
}
