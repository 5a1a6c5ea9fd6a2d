// The file-level half of a per-page check (FormNesting, ImagePixels): open
// the file with qpdf and ask `check.refusal(page)` of each wanted page.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <new>
#include <string>
#include <vector>

// "page N: why" for the first of `pages` (every page when empty) that
// `check` refuses, or "" when none is. Pages past the end are left out, and a
// file qpdf cannot open is left to the program's own library to judge.
template <class Check>
std::string firstRefusedPage(const std::string &path, const std::vector<int> &pages, Check &check)
{
    QPDF pdf;
    std::vector<QPDFPageObjectHelper> all;
    try {
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        all = QPDFPageDocumentHelper(pdf).getAllPages();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return std::string();
    }
    std::vector<int> wanted = pages;
    if (wanted.empty()) {
        for (size_t i = 0; i < all.size(); ++i)
            wanted.push_back(int(i + 1));
    }
    for (int number : wanted) {
        if (number < 1 || size_t(number) > all.size())
            continue;
        const std::string why = check.refusal(all[size_t(number - 1)]);
        if (!why.empty())
            return "page " + std::to_string(number) + ": " + why;
    }
    return std::string();
}
