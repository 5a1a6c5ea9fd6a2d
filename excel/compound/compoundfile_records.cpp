// The two fixed-size records of the container: file header and directory entry.

#include "compound/compoundfile.h"
#include "compound/littleendian.h"

#include <cwchar>

namespace CompoundDoc {

typedef LittleEndian LE;

CompoundFile::Header::Header()
    : fileType(0xE11AB1A1E011CFD0ull),
      minorVersion(0x3B),
      majorVersion(3),
      byteOrder(0xFFFE),
      bigBlockShift(9),
      smallBlockShift(6),
      reserved1(0),
      reserved2(0),
      reserved3(0),
      batCount(1),
      directoryStart(1),
      reserved4(0),
      smallStreamCutoff(4096),
      sbatStart(0xFFFFFFFEu),
      sbatCount(0),
      xbatStart(0xFFFFFFFEu),
      xbatCount(0),
      bigBlockSize(512),
      smallBlockSize(64)
{
    classId[0] = classId[1] = 0;
    batBlocks[0] = 0;
    for (int i = 1; i < 109; ++i)
        batBlocks[i] = 0xFFFFFFFFu;
    Initialize();
}

void CompoundFile::Header::Initialize()
{
    // Shifts outside the word size would be undefined; such a header is
    // refused by the loader anyway.
    bigBlockSize = bigBlockShift < 32 ? 1u << bigBlockShift : 0;
    smallBlockSize = smallBlockShift < 32 ? 1u << smallBlockShift : 0;
}

namespace {

// Every field of the header with its offset and width in bytes, in stream
// order: one list serves reading and writing, so the two cannot drift apart.
template <typename Op>
void HeaderFields(CompoundFile::Header& h, Op op)
{
    op(h.fileType, 0, 8);
    op(h.classId[0], 8, 8);
    op(h.classId[1], 16, 8);
    op(h.minorVersion, 24, 2);
    op(h.majorVersion, 26, 2);
    op(h.byteOrder, 28, 2);
    op(h.bigBlockShift, 30, 2);
    op(h.smallBlockShift, 32, 2);
    op(h.reserved1, 34, 2);
    op(h.reserved2, 36, 4);
    op(h.reserved3, 40, 4);
    op(h.batCount, 44, 4);
    op(h.directoryStart, 48, 4);
    op(h.reserved4, 52, 4);
    op(h.smallStreamCutoff, 56, 4);
    op(h.sbatStart, 60, 4);
    op(h.sbatCount, 64, 4);
    op(h.xbatStart, 68, 4);
    op(h.xbatCount, 72, 4);
    for (int i = 0; i < 109; ++i)
        op(h.batBlocks[i], 76 + 4 * static_cast<unsigned long>(i), 4);
}

} // namespace

void CompoundFile::Header::Write(char* buffer)
{
    HeaderFields(*this, [buffer](auto& field, unsigned long position, int bytes) {
        LE::Write(buffer, field, position, bytes);
    });
}

void CompoundFile::Header::Read(char* buffer)
{
    HeaderFields(*this, [buffer](auto& field, unsigned long position, int bytes) {
        LE::Read(buffer, field, position, bytes);
    });
    Initialize();
}

CompoundFile::DirectoryEntry::DirectoryEntry()
    : nameSize(0),
      type(1),
      colour(1),
      leftSibling(0xFFFFFFFFu),
      rightSibling(0xFFFFFFFFu),
      child(0xFFFFFFFFu),
      userFlags(0),
      startBlock(0xFFFFFFFEu),
      size(0),
      reservedWord(0)
{
    for (int i = 0; i < 32; ++i)
        name[i] = 0;
    classId[0] = classId[1] = 0;
    for (int i = 0; i < 4; ++i)
        timeStamps[i] = 0;
}

namespace {

// The directory entry's fields behind its name, as HeaderFields.
template <typename Op>
void DirectoryEntryFields(CompoundFile::DirectoryEntry& e, Op op)
{
    op(e.nameSize, 64, 2);
    op(e.type, 66, 1);
    op(e.colour, 67, 1);
    op(e.leftSibling, 68, 4);
    op(e.rightSibling, 72, 4);
    op(e.child, 76, 4);
    op(e.classId[0], 80, 8);
    op(e.classId[1], 88, 8);
    op(e.userFlags, 96, 4);
    for (int i = 0; i < 4; ++i)
        op(e.timeStamps[i], 100 + 4 * static_cast<unsigned long>(i), 4);
    op(e.startBlock, 116, 4);
    op(e.size, 120, 4);
    op(e.reservedWord, 124, 2);
}

} // namespace

void CompoundFile::DirectoryEntry::Write(char* buffer)
{
    LE::WriteString(buffer, name, 0, 32);
    DirectoryEntryFields(*this, [buffer](auto& field, unsigned long position, int bytes) {
        LE::Write(buffer, field, position, bytes);
    });
}

void CompoundFile::DirectoryEntry::Read(char* buffer)
{
    LE::ReadString(buffer, name, 0, 32);
    DirectoryEntryFields(*this, [buffer](auto& field, unsigned long position, int bytes) {
        LE::Read(buffer, field, position, bytes);
    });
}

namespace {

// Names are always terminated inside their 32 units (the loader refuses
// others), but never trust that here.
std::size_t NameLength(const wchar_t* name)
{
    std::size_t n = 0;
    while (n < 32 && name[n] != 0)
        ++n;
    return n;
}

} // namespace

bool operator<(const CompoundFile::DirectoryEntry& a, const CompoundFile::DirectoryEntry& b)
{
    const std::size_t la = NameLength(a.name);
    const std::size_t lb = NameLength(b.name);
    if (la != lb)
        return la < lb;
    for (std::size_t i = 0; i < la; ++i)
        if (a.name[i] != b.name[i])
            return a.name[i] < b.name[i];
    return true; // equal names count as less than each other
}

bool operator>(const CompoundFile::DirectoryEntry& a, const CompoundFile::DirectoryEntry& b)
{
    return b < a;
}

} // namespace CompoundDoc
