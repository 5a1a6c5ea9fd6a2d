#include "biff/bof.h"

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

BOF::BOF()
    : version(0), type(0), buildIdentifier(0), buildYear(0), fileHistoryFlags(0), lowestVersion(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

BOF::~BOF() = default;

unsigned int BOF::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, version, 0);
    LittleEndian::Read(data, type, 2);
    LittleEndian::Read(data, buildIdentifier, 4);
    LittleEndian::Read(data, buildYear, 6);
    LittleEndian::Read(data, fileHistoryFlags, 8);
    LittleEndian::Read(data, lowestVersion, 12);
    return consumed;
}

unsigned int BOF::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, version, 0);
    LittleEndian::Write(data, type, 2);
    LittleEndian::Write(data, buildIdentifier, 4);
    LittleEndian::Write(data, buildYear, 6);
    LittleEndian::Write(data, fileHistoryFlags, 8);
    LittleEndian::Write(data, lowestVersion, 12);
    return Record::Write(out);
}

} // namespace Biff
