// What the per-page checks read of a page besides its resources: its content
// and the appearances its annotations draw with it.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>
#include <vector>

// The page's content streams, decoded and joined; throws as qpdf does when
// they cannot be read.
std::string pageContent(QPDFPageObjectHelper &page);

// The normal appearance of each annotation that has a form for it, each
// drawn once with the page. A list or appearance that cannot be read draws
// nothing.
std::vector<QPDFObjectHandle> appearanceForms(QPDFPageObjectHelper &page);
