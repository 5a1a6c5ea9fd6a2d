#ifndef TESTS_OSTREL_COMMANDRUN_H
#define TESTS_OSTREL_COMMANDRUN_H

// Running the programs and readers the engine's tests check with, and the
// files they exchange.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{
struct Output
{
    int status = -1;   // the exit code; -1 when the program did not end by itself
    std::string out;
};

// Runs `args` (no shell word is taken from them) and returns its standard output.
inline Output run(const std::vector<std::string> &args)
{
    std::string command;
    for (const std::string &a : args)
        command += " '" + std::regex_replace(a, std::regex("'"), "'\\''") + '\'';
    Output result;
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline bool writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary);
    return bool(f << bytes);
}

inline std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
struct Word
{
    std::string text;
    double x0, y0, x1, y1;
};

// The words pdftotext finds in `pdf`, with their boxes.
inline std::vector<Word> words(const std::string &pdf)
{
    static const std::regex word(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*)</word>)re");
    std::vector<Word> list;
    const std::string xml = run({"pdftotext", "-bbox", pdf, "-"}).out;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), word); it != std::sregex_iterator(); ++it)
        list.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
    return list;
}
}

#endif
