// The file-level half of the per-page checks (FormNesting, ImagePixels):
// open the file with qpdf once and ask each check's `refusal(page)` of each
// wanted page.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <new>
#include <string>
#include <vector>

// "page N: why" for the first of `pages` (every page when empty) among
// `all`, the document's pages in order, that a check refuses, the checks
// asked in turn over all pages; "" when none is. Pages past the end are
// left out.
template <class Page, class... Checks>
std::string firstRefusedPage(const std::vector<Page> &all, const std::vector<int> &pages, Checks &...checks)
{
    std::vector<int> wanted = pages;
    if (wanted.empty()) {
        for (size_t i = 0; i < all.size(); ++i)
            wanted.push_back(int(i + 1));
    }
    std::string why;
    const auto ask = [&](auto &check) {
        for (size_t k = 0; why.empty() && k < wanted.size(); ++k) {
            const int number = wanted[k];
            if (number < 1 || size_t(number) > all.size())
                continue;
            QPDFPageObjectHelper page(all[size_t(number - 1)]);
            const std::string refused = check.refusal(page);
            if (!refused.empty())
                why = "page " + std::to_string(number) + ": " + refused;
        }
    };
    (ask(checks), ...);
    return why;
}

// The same for the document `load` reads into the QPDF it is given, read
// once; a document qpdf cannot open is left to the program's own library
// to judge.
template <class Load, class... Checks>
std::string firstRefusedPageOf(Load load, const std::vector<int> &pages, Checks &...checks)
{
    QPDF pdf;
    std::vector<QPDFPageObjectHelper> all;
    try {
        pdf.setSuppressWarnings(true);
        load(pdf);
        all = QPDFPageDocumentHelper(pdf).getAllPages();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return std::string();
    }
    return firstRefusedPage(all, pages, checks...);
}

template <class... Checks>
std::string firstRefusedPage(const std::string &path, const std::vector<int> &pages, Checks &...checks)
{
    return firstRefusedPageOf([&path](QPDF &pdf) { pdf.processFile(path.c_str()); }, pages, checks...);
}
