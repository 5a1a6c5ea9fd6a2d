#ifndef GRIDMOLT_BIFF_TESTUTIL_H
#define GRIDMOLT_BIFF_TESTUTIL_H

// Helpers shared by the BIFF record tests: writing into guarded or exact
// buffers, reading from exact heap copies (so the address sanitizer sees any
// stray byte), hex literals, little-endian peeks and raw record pieces.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace biffTest {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<char> Chars;

// Writes into a buffer followed by guard bytes, checks that Write reports the
// given size and left every guard byte alone.
template <typename W>
Bytes writeGuarded(W& w, unsigned int size, const char* sizeName)
{
    Bytes out(size + 16, 0xAB);
    EXPECT_EQ(w.Write(reinterpret_cast<char*>(out.data())), size);
    for (std::size_t i = size; i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xAB) << "byte written beyond " << sizeName << " at " << i;
    out.resize(size);
    return out;
}

template <typename R>
Bytes writeExact(R& r)
{
    return writeGuarded(r, r.RecordSize(), "RecordSize()");
}

// A heap copy of exactly the given bytes, so a read past the end is caught.
inline std::unique_ptr<char[]> exactCopy(const Bytes& bytes)
{
    std::unique_ptr<char[]> copy(new char[bytes.size() ? bytes.size() : 1]);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        copy[i] = static_cast<char>(bytes[i]);
    return copy;
}

template <typename R>
unsigned int readExact(R& r, const Bytes& bytes)
{
    auto copy = exactCopy(bytes);
    return r.Read(copy.get(), static_cast<unsigned int>(bytes.size()));
}

inline void appendPiece(Bytes& out, unsigned short code, const Bytes& payload)
{
    out.push_back(code & 0xFF);
    out.push_back(code >> 8);
    out.push_back(payload.size() & 0xFF);
    out.push_back((payload.size() >> 8) & 0xFF);
    out.insert(out.end(), payload.begin(), payload.end());
}

struct Piece {
    unsigned short code;
    std::size_t offset; // of the piece's header in the stream
    Bytes payload;
};

// Splits a written stream into its pieces (code, length, payload),
// independently of the record codes; the pieces must fill it exactly.
template <typename Container>
std::vector<Piece> Pieces(const Container& stream)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(stream.data());
    std::vector<Piece> out;
    std::size_t p = 0;
    while (p + 4 <= stream.size()) {
        const std::size_t n = b[p + 2] | (b[p + 3] << 8);
        EXPECT_LE(p + 4 + n, stream.size());
        if (p + 4 + n > stream.size())
            break;
        Piece piece;
        piece.code = static_cast<unsigned short>(b[p] | (b[p + 1] << 8));
        piece.offset = p;
        piece.payload.assign(b + p + 4, b + p + 4 + n);
        out.push_back(piece);
        p += 4 + n;
    }
    EXPECT_EQ(p, stream.size());
    return out;
}

// "09 08 10 00 ..." -> bytes; anything but hex digits separates.
inline Chars Hex(const char* text)
{
    Chars out;
    unsigned int value = 0;
    int digits = 0;
    for (const char* c = text; *c; ++c) {
        const char ch = *c;
        int v = -1;
        if (ch >= '0' && ch <= '9')
            v = ch - '0';
        else if (ch >= 'A' && ch <= 'F')
            v = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f')
            v = ch - 'a' + 10;
        if (v < 0)
            continue;
        value = value * 16 + static_cast<unsigned int>(v);
        if (++digits == 2) {
            out.push_back(static_cast<char>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

inline unsigned int U16(const Chars& b, std::size_t at)
{
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned int>(static_cast<unsigned char>(b[at + 1])) << 8;
}

inline unsigned int U32(const Chars& b, std::size_t at)
{
    return U16(b, at) | U16(b, at + 2) << 16;
}

inline void Append(Chars& to, const Chars& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// Writes a record into a buffer of exactly RecordSize() bytes (the address
// sanitizer catches any byte beyond) and checks that Write reports that size.
template <typename R>
Chars Written(R& record)
{
    const unsigned int size = record.RecordSize();
    Chars out(size);
    EXPECT_EQ(record.Write(out.data()), size);
    EXPECT_EQ(record.RecordSize(), size);
    return out;
}

} // namespace biffTest

#endif
