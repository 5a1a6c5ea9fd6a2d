// Feeds arbitrary bytes to the BIFF record readers: a workbook stream read
// record by record through the globals and worksheet readers, and each
// globals record and string form on its own. Whatever reads must write back
// exactly RecordSize() bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "biff/largestring.h"
#include "biff/smallstring.h"
#include "biff/workbook.h"
#include "biff/worksheet.h"

namespace {

// Writes into a heap buffer of exactly RecordSize() bytes, so an overrun is
// caught, and stops on a size mismatch.
template <typename R>
void rewrite(R& r)
{
    const unsigned int size = r.RecordSize();
    if (size > (64u << 20))
        return;
    std::unique_ptr<char[]> out(new char[size ? size : 1]);
    const unsigned int written = r.Write(out.get());
    if (written != 0 && written != size)
        __builtin_trap();
}

// What the globals reader accepts is written in a canonical form that reads
// back and writes the same bytes again.
void checkGlobalsCanonical(Biff::Workbook& globals)
{
    const unsigned int size = globals.RecordSize();
    if (size > (64u << 20))
        return;
    std::vector<char> first(size);
    if (globals.Write(first.data()) != size)
        return;
    Biff::Workbook again;
    if (again.Read(first.data(), size) != size)
        __builtin_trap();
    if (again.RecordSize() != size)
        __builtin_trap();
    std::vector<char> second(size);
    if (again.Write(second.data()) != size || second != first)
        __builtin_trap();
}

template <typename R>
void readAndRewrite(const char* data, unsigned int size)
{
    R r;
    if (r.Read(data, size) != 0)
        rewrite(r);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t length)
{
    if (length > (1u << 20))
        return 0;
    // An exact heap copy, so reading one byte past the input is caught.
    std::unique_ptr<char[]> copy(new char[length ? length : 1]);
    for (size_t i = 0; i < length; ++i)
        copy[i] = static_cast<char>(bytes[i]);
    const char* data = copy.get();
    const unsigned int size = static_cast<unsigned int>(length);

    // The workbook stream: globals, then worksheet substreams one after another.
    {
        Biff::Workbook globals;
        const unsigned int used = globals.Read(data, size);
        if (used > size)
            __builtin_trap();
        if (used != 0) {
            rewrite(globals);
            checkGlobalsCanonical(globals);
            unsigned int offset = used;
            while (offset < size) {
                Biff::Worksheet sheet;
                const unsigned int n = sheet.Read(data + offset, size - offset);
                if (n == 0 || n > size - offset)
                    break;
                rewrite(sheet);
                offset += n;
            }
        }
    }

    // Each reader alone on the same bytes.
    readAndRewrite<Biff::Record>(data, size);
    readAndRewrite<Biff::BOF>(data, size);
    readAndRewrite<Biff::Workbook::Window1>(data, size);
    readAndRewrite<Biff::Workbook::Font>(data, size);
    readAndRewrite<Biff::Workbook::XF>(data, size);
    readAndRewrite<Biff::Workbook::Style>(data, size);
    readAndRewrite<Biff::Workbook::Format>(data, size);
    readAndRewrite<Biff::Workbook::BoundSheet>(data, size);
    readAndRewrite<Biff::Workbook::SharedStringTable>(data, size);
    readAndRewrite<Biff::Workbook::ExtSST>(data, size);
    {
        Biff::Worksheet sheet;
        if (sheet.Read(data, size) != 0)
            rewrite(sheet);
    }
    {
        Biff::LargeString s;
        if (s.Read(data, size) != 0) {
            std::unique_ptr<char[]> out(new char[s.DataSize()]);
            if (s.Write(out.get()) != s.DataSize())
                __builtin_trap();
        }
        Biff::SmallString t;
        if (t.Read(data, size) != 0) {
            std::unique_ptr<char[]> out(new char[t.DataSize()]);
            if (t.Write(out.get()) != t.DataSize())
                __builtin_trap();
        }
    }
    return 0;
}
