// Feeds arbitrary bytes to the content-stream token reader every program
// shares, the one that decides which bytes of a page a rewrite replaces.
// Tokens must come in order, each inside the bytes and after the last, the
// reader must always move on, and skipping an inline image after any "ID"
// must stay inside the bytes. Read without decoding, the tokens lie at the
// same places; the check of operators' operands, which reads so, ends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "contenttokens.h"
#include "operandcounts.h"

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ContentTokens tokens(bytes), shapes(bytes);
    size_t last = 0;
    for (size_t n = 0; n <= bytes.size() + 1; ++n) {
        const ContentTokens::Token t = tokens.next();
        const ContentTokens::Place shape = shapes.nextPlace();
        check(shape.start == t.start && shape.end == t.end
              && (shape.kind == t.kind || (shape.kind == ContentTokens::Kind::Number && t.kind == ContentTokens::Kind::Keyword)));
        check(t.start >= last && t.end >= t.start && t.end <= bytes.size());
        if (t.kind == ContentTokens::Kind::End) {
            check(t.end == bytes.size());
            OperandCounts::anyShort(bytes);
            return 0;
        }
        check(t.end > t.start);
        if (t.kind == ContentTokens::Kind::Keyword && t.text == "ID") {
            tokens.skipInlineImage(t.text.size() % 7);
            shapes.skipInlineImage(t.text.size() % 7);
            check(tokens.position() <= bytes.size() && shapes.position() == tokens.position());
        }
        last = std::max(t.end, tokens.position());
    }
    check(false);   // more tokens than bytes: the reader stood still
    return 0;
}
