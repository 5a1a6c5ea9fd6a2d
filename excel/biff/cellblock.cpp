#include "biff/cellblock.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

namespace {

[[noreturn]] void NoRecordHeld(const char* what)
{
    std::fprintf(stderr, "CellBlock::%s called on an empty cell block\n", what);
    std::abort();
}

} // namespace

CellBlock::CellBlock()
    : type(NoRecord), record(nullptr), inlineRecord_(false)
{
}

CellBlock::~CellBlock()
{
    Reset();
}

bool CellBlock::IsCellRecord(unsigned int identifier)
{
    switch (identifier) {
    case Formula::Code:
    case MulRK::Code:
    case MulBlank::Code:
    case LabelSST::Code:
    case Blank::Code:
    case Number::Code:
    case BoolErr::Code:
    case RK::Code:
        return true;
    default:
        return false;
    }
}

void CellBlock::Reset()
{
    if (inlineRecord_)
        record->~Record();
    else
        delete record;
    type = NoRecord;
    record = nullptr;
    inlineRecord_ = false;
}

void CellBlock::SetType(int newType)
{
    if (record != nullptr && newType == type)
        return;
    Reset();
    switch (newType) {
    case Formula::Code: record = new Formula; break;
    case MulRK::Code: record = new MulRK; break;
    case MulBlank::Code: record = new MulBlank; break;
    case LabelSST::Code: record = new (inline_) LabelSST; break;
    case Blank::Code: record = new (inline_) Blank; break;
    case Number::Code: record = new (inline_) Number; break;
    case BoolErr::Code: record = new (inline_) BoolErr; break;
    case RK::Code: record = new (inline_) RK; break;
    default:
        assert(!"CellBlock::SetType: not a cell record identifier");
        return;
    }
    inlineRecord_ = record == static_cast<void*>(inline_);
    type = static_cast<unsigned short>(newType);
}

unsigned int CellBlock::Read(const char* data, unsigned int size)
{
    if (data == nullptr || size < 4)
        return 0;
    unsigned short identifier = 0;
    CompoundDoc::LittleEndian::Read(data, identifier, 0);
    if (!IsCellRecord(identifier))
        return 0;
    SetType(identifier);
    return record->Read(data, size);
}

unsigned int CellBlock::Write(char* data)
{
    return record ? record->Write(data) : 0;
}

unsigned int CellBlock::DataSize()
{
    return record ? record->DataSize() : 0;
}

unsigned int CellBlock::RecordSize()
{
    // The fixed-size kinds always take the same bytes; saving sizes every
    // cell several times, so their size comes without a call into the record.
    switch (type) {
    case Blank::Code: return Blank::FixedDataSize + 4;
    case BoolErr::Code: return BoolErr::FixedDataSize + 4;
    case LabelSST::Code: return LabelSST::FixedDataSize + 4;
    case Number::Code: return Number::FixedDataSize + 4;
    case RK::Code: return RK::FixedDataSize + 4;
    default: return record ? record->RecordSize() : 0;
    }
}

unsigned short CellBlock::RowIndex() const
{
    switch (type) {
    case Formula::Code: return static_cast<const Formula*>(record)->rowIndex;
    case MulRK::Code:
    case MulBlank::Code: return static_cast<const MulCellRecord*>(record)->rowIndex;
    case LabelSST::Code:
    case Blank::Code:
    case Number::Code:
    case BoolErr::Code:
    case RK::Code: return static_cast<const CellRecord*>(record)->rowIndex;
    default: NoRecordHeld("RowIndex");
    }
}

unsigned short CellBlock::ColIndex() const
{
    switch (type) {
    case Formula::Code: return static_cast<const Formula*>(record)->colIndex;
    case MulRK::Code:
    case MulBlank::Code: return static_cast<const MulCellRecord*>(record)->firstColIndex;
    case LabelSST::Code:
    case Blank::Code:
    case Number::Code:
    case BoolErr::Code:
    case RK::Code: return static_cast<const CellRecord*>(record)->colIndex;
    default: NoRecordHeld("ColIndex");
    }
}

} // namespace Sheet
} // namespace Biff
