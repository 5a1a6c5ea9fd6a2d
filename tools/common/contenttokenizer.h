// The tokens of a page's or form's content as qpdf reads them, with an
// inline image's data skipped, for the checks that count what content draws.
#pragma once

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <memory>
#include <string>

class ContentTokenizer
{
public:
    explicit ContentTokenizer(const std::string &content);

    // The next token into `token`; false at the end, or where nothing more
    // can be read. A token readers skip (a stray ")") is handed on too.
    bool next(QPDFTokenizer::Token *token);

private:
    std::shared_ptr<BufferInputSource> input_;
    QPDFTokenizer tokenizer_;
};
