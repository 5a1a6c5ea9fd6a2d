#ifndef COMPOUNDDOC_LITTLEENDIAN_H
#define COMPOUNDDOC_LITTLEENDIAN_H

// Little-endian field codec used by every on-disk format of the engine.
// Bytes are moved one at a time with shifts, so the result is the same on any
// host regardless of its byte order or alignment rules.

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

namespace CompoundDoc {

class LittleEndian {
public:
    // A byte count of 0 means the width of T; a wchar_t is one 16-bit unit on
    // disk although it is wider in memory.
    template <typename T>
    static int Width(int bytes)
    {
        if (bytes != 0)
            return bytes;
        if constexpr (std::is_same<T, wchar_t>::value)
            return 2;
        return static_cast<int>(sizeof(T));
    }

    // ---- single values on a raw buffer (caller guarantees room) ----
    template <typename T>
    static void Write(char* buffer, T value, unsigned long position, int bytes = 0)
    {
        const int n = Width<T>(bytes);
        for (int i = 0; i < n; ++i)
            buffer[position + static_cast<unsigned long>(i)] = static_cast<char>(ByteAt(value, i));
    }

    template <typename T>
    static void Read(const char* buffer, T& value, unsigned long position, int bytes = 0)
    {
        const int n = Width<T>(bytes);
        unsigned long long acc = 0;
        for (int i = 0; i < n && i < 8; ++i)
            acc |= static_cast<unsigned long long>(
                       static_cast<unsigned char>(buffer[position + static_cast<unsigned long>(i)]))
                << (8 * i);
        value = Truncate<T>(acc);
    }

    // ---- single values on a byte vector ----
    // The vector is never resized. Positions at or beyond its end are skipped
    // (a read gets no contribution from them, a write drops them), so a caller
    // that miscounts cannot touch memory outside the vector.
    template <typename T>
    static void Write(std::vector<char>& buffer, T value, unsigned long position, int bytes = 0)
    {
        const int n = Width<T>(bytes);
        const std::size_t size = buffer.size();
        for (int i = 0; i < n; ++i) {
            const std::size_t at = static_cast<std::size_t>(position) + static_cast<std::size_t>(i);
            if (at < size)
                buffer[at] = static_cast<char>(ByteAt(value, i));
        }
    }

    template <typename T>
    static void Read(const std::vector<char>& buffer, T& value, unsigned long position, int bytes = 0)
    {
        const int n = Width<T>(bytes);
        const std::size_t size = buffer.size();
        unsigned long long acc = 0;
        for (int i = 0; i < n && i < 8; ++i) {
            const std::size_t at = static_cast<std::size_t>(position) + static_cast<std::size_t>(i);
            if (at < size)
                acc |= static_cast<unsigned long long>(static_cast<unsigned char>(buffer[at])) << (8 * i);
        }
        value = Truncate<T>(acc);
    }

    // ---- runs of characters: character i at position + i*w, w = 2 for
    // wchar_t (UTF-16 code units, no surrogate handling) and 1 for 8-bit text.
    // No terminator is read or written.
    template <typename T>
    static void WriteString(char* buffer, const T* characters, unsigned long position, int count)
    {
        const unsigned long w = static_cast<unsigned long>(Width<T>(0));
        for (int i = 0; i < count; ++i)
            Write(buffer, characters[i], position + static_cast<unsigned long>(i) * w, 0);
    }

    template <typename T>
    static void ReadString(const char* buffer, T* characters, unsigned long position, int count)
    {
        const unsigned long w = static_cast<unsigned long>(Width<T>(0));
        for (int i = 0; i < count; ++i)
            Read(buffer, characters[i], position + static_cast<unsigned long>(i) * w, 0);
    }

    template <typename T>
    static void WriteString(std::vector<char>& buffer, const T* characters, unsigned long position, int count)
    {
        const unsigned long w = static_cast<unsigned long>(Width<T>(0));
        for (int i = 0; i < count; ++i)
            Write(buffer, characters[i], position + static_cast<unsigned long>(i) * w, 0);
    }

    template <typename T>
    static void ReadString(const std::vector<char>& buffer, T* characters, unsigned long position, int count)
    {
        const unsigned long w = static_cast<unsigned long>(Width<T>(0));
        for (int i = 0; i < count; ++i)
            Read(buffer, characters[i], position + static_cast<unsigned long>(i) * w, 0);
    }

private:
    // Byte i of the value as if it were shifted right by 8*i: signed values
    // fill with 0xFF beyond their width, unsigned ones with 0.
    template <typename T>
    static unsigned char ByteAt(T value, int i)
    {
        if constexpr (std::is_signed<T>::value) {
            const long long v = static_cast<long long>(value);
            if (i >= 8)
                return v < 0 ? 0xFF : 0;
            return static_cast<unsigned char>((static_cast<unsigned long long>(v) >> (8 * i)) & 0xFFu);
        } else {
            const unsigned long long v = static_cast<unsigned long long>(value);
            return i < 8 ? static_cast<unsigned char>((v >> (8 * i)) & 0xFFu) : 0;
        }
    }

    template <typename T>
    static T Truncate(unsigned long long acc)
    {
        // Keep the low bits of the type's width; the bytes were zero-extended,
        // so a short read into a wider signed type is not sign-extended.
        if constexpr (sizeof(T) < sizeof(unsigned long long))
            acc &= (1ULL << (8 * sizeof(T))) - 1ULL;
        if constexpr (std::is_signed<T>::value) {
            // Reinterpret as two's complement of the type's width.
            typedef typename std::make_unsigned<T>::type U;
            const U u = static_cast<U>(acc);
            T out;
            static_assert(sizeof(U) == sizeof(T), "width");
            std::memcpy(&out, &u, sizeof(T));
            return out;
        } else {
            return static_cast<T>(acc);
        }
    }
};

} // namespace CompoundDoc

#endif
