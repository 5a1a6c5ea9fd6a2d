#include "biff/eofrecord.h"

namespace Biff {

EOFRecord::EOFRecord()
{
    code = Code;
    SetFixedSize(0);
}

EOFRecord::~EOFRecord() = default;

} // namespace Biff
