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

void CompoundFile::Header::Write(char* buffer)
{
    LE::Write(buffer, fileType, 0, 8);
    LE::Write(buffer, classId[0], 8, 8);
    LE::Write(buffer, classId[1], 16, 8);
    LE::Write(buffer, minorVersion, 24, 2);
    LE::Write(buffer, majorVersion, 26, 2);
    LE::Write(buffer, byteOrder, 28, 2);
    LE::Write(buffer, bigBlockShift, 30, 2);
    LE::Write(buffer, smallBlockShift, 32, 2);
    LE::Write(buffer, reserved1, 34, 2);
    LE::Write(buffer, reserved2, 36, 4);
    LE::Write(buffer, reserved3, 40, 4);
    LE::Write(buffer, batCount, 44, 4);
    LE::Write(buffer, directoryStart, 48, 4);
    LE::Write(buffer, reserved4, 52, 4);
    LE::Write(buffer, smallStreamCutoff, 56, 4);
    LE::Write(buffer, sbatStart, 60, 4);
    LE::Write(buffer, sbatCount, 64, 4);
    LE::Write(buffer, xbatStart, 68, 4);
    LE::Write(buffer, xbatCount, 72, 4);
    for (int i = 0; i < 109; ++i)
        LE::Write(buffer, batBlocks[i], 76 + 4 * static_cast<unsigned long>(i), 4);
}

void CompoundFile::Header::Read(char* buffer)
{
    LE::Read(buffer, fileType, 0, 8);
    LE::Read(buffer, classId[0], 8, 8);
    LE::Read(buffer, classId[1], 16, 8);
    LE::Read(buffer, minorVersion, 24, 2);
    LE::Read(buffer, majorVersion, 26, 2);
    LE::Read(buffer, byteOrder, 28, 2);
    LE::Read(buffer, bigBlockShift, 30, 2);
    LE::Read(buffer, smallBlockShift, 32, 2);
    LE::Read(buffer, reserved1, 34, 2);
    LE::Read(buffer, reserved2, 36, 4);
    LE::Read(buffer, reserved3, 40, 4);
    LE::Read(buffer, batCount, 44, 4);
    LE::Read(buffer, directoryStart, 48, 4);
    LE::Read(buffer, reserved4, 52, 4);
    LE::Read(buffer, smallStreamCutoff, 56, 4);
    LE::Read(buffer, sbatStart, 60, 4);
    LE::Read(buffer, sbatCount, 64, 4);
    LE::Read(buffer, xbatStart, 68, 4);
    LE::Read(buffer, xbatCount, 72, 4);
    for (int i = 0; i < 109; ++i)
        LE::Read(buffer, batBlocks[i], 76 + 4 * static_cast<unsigned long>(i), 4);
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

void CompoundFile::DirectoryEntry::Write(char* buffer)
{
    LE::WriteString(buffer, name, 0, 32);
    LE::Write(buffer, nameSize, 64, 2);
    LE::Write(buffer, type, 66, 1);
    LE::Write(buffer, colour, 67, 1);
    LE::Write(buffer, leftSibling, 68, 4);
    LE::Write(buffer, rightSibling, 72, 4);
    LE::Write(buffer, child, 76, 4);
    LE::Write(buffer, classId[0], 80, 8);
    LE::Write(buffer, classId[1], 88, 8);
    LE::Write(buffer, userFlags, 96, 4);
    for (int i = 0; i < 4; ++i)
        LE::Write(buffer, timeStamps[i], 100 + 4 * static_cast<unsigned long>(i), 4);
    LE::Write(buffer, startBlock, 116, 4);
    LE::Write(buffer, size, 120, 4);
    LE::Write(buffer, reservedWord, 124, 2);
}

void CompoundFile::DirectoryEntry::Read(char* buffer)
{
    LE::ReadString(buffer, name, 0, 32);
    LE::Read(buffer, nameSize, 64, 2);
    LE::Read(buffer, type, 66, 1);
    LE::Read(buffer, colour, 67, 1);
    LE::Read(buffer, leftSibling, 68, 4);
    LE::Read(buffer, rightSibling, 72, 4);
    LE::Read(buffer, child, 76, 4);
    LE::Read(buffer, classId[0], 80, 8);
    LE::Read(buffer, classId[1], 88, 8);
    LE::Read(buffer, userFlags, 96, 4);
    for (int i = 0; i < 4; ++i)
        LE::Read(buffer, timeStamps[i], 100 + 4 * static_cast<unsigned long>(i), 4);
    LE::Read(buffer, startBlock, 116, 4);
    LE::Read(buffer, size, 120, 4);
    LE::Read(buffer, reservedWord, 124, 2);
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
