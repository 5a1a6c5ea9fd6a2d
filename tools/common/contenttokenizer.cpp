#include "contenttokenizer.h"

ContentTokenizer::ContentTokenizer(const std::string &content)
    : input_(std::make_shared<BufferInputSource>("content", content))
{
    tokenizer_.allowEOF();
}

bool ContentTokenizer::next(QPDFTokenizer::Token *token)
{
    const qpdf_offset_t before = input_->tell();
    *token = tokenizer_.readToken(input_, "content", true);
    const QPDFTokenizer::token_type_e type = token->getType();
    if (type == QPDFTokenizer::tt_eof || (type == QPDFTokenizer::tt_bad && input_->tell() == before))
        return false;
    if (type == QPDFTokenizer::tt_word && token->getValue() == "ID") {
        // The image data starts after the one blank that follows "ID".
        char blank;
        input_->read(&blank, 1);
        tokenizer_.expectInlineImage(input_);
    }
    return true;
}
