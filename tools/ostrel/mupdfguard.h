#ifndef OSTREL_MUPDFGUARD_H
#define OSTREL_MUPDFGUARD_H

// The PDF library reports errors by jumping to its own handler. Its calls are
// made inside guarded(), which turns such an error into a C++ exception, so
// C++ objects around them are unwound normally. The function passed must keep
// no object with a destructor of its own, as a jump would pass it by.
//
// A C++ exception the function throws (memory running out in a container it
// fills, a check of ours) is caught inside the handler, which is then left
// the ordinary way, and thrown again after it: leaving the handler by an
// exception would keep it on the library's stack of handlers, and the
// library's next error would jump into a function that has returned.

#include <mupdf/fitz.h>

#include <exception>
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
    std::exception_ptr thrown;
    fz_try(ctx) {
        try {
            f();
        } catch (...) {
            thrown = std::current_exception();
        }
    }
    fz_catch(ctx) {
        throw MupdfError(fz_caught_message(ctx));
    }
    if (thrown)
        std::rethrow_exception(thrown);
}

#endif
