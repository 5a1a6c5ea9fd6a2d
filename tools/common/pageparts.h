// What the per-page checks read of a page besides its resources: its content
// and the appearances its annotations draw with it.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <stdexcept>
#include <string>
#include <vector>

// A page's content, or a form's, that decodes to more than the checks read:
// a few kilobytes may inflate to gigabytes, which the checks would hold
// whole and a renderer would take minutes over. Not a damaged stream: the
// checks refuse the page with what() ("its content decodes to more than
// 256 MB") instead of passing over what they cannot read.
class ContentBound : public std::runtime_error
{
public:
    static constexpr long long kMaxBytes = 256LL * 1024 * 1024;
    ContentBound();
};

// The page's content streams, decoded and joined; throws ContentBound past
// the bound, and as qpdf does when they cannot be read.
std::string pageContent(QPDFPageObjectHelper &page);

// A form's or pattern cell's content, decoded; throws as pageContent() does.
std::string decodedStream(QPDFObjectHandle stream);

// The normal appearance of each annotation that has a form for it, each
// drawn once with the page. A list or appearance that cannot be read draws
// nothing.
std::vector<QPDFObjectHandle> appearanceForms(QPDFPageObjectHelper &page);
