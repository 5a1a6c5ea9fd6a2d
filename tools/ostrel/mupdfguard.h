#ifndef OSTREL_MUPDFGUARD_H
#define OSTREL_MUPDFGUARD_H

// The PDF library reports errors by jumping to its own handler. Its calls are
// made inside guarded(), which turns such an error into a C++ exception, so
// C++ objects around them are unwound normally. The function passed must make
// library calls only and keep no object with a destructor of its own.

#include <mupdf/fitz.h>

#include <stdexcept>
#include <string>

class MupdfError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

template <typename F>
void guarded(fz_context *ctx, F &&f)
{
    fz_try(ctx) {
        f();
    }
    fz_catch(ctx) {
        throw MupdfError(fz_caught_message(ctx));
    }
}

#endif
