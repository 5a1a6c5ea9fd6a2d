#ifndef GRIDMOLT_BIFF_PIECEOFFSETS_H
#define GRIDMOLT_BIFF_PIECEOFFSETS_H

#include <vector>

#include "biff/record.h"

namespace Biff {

// Where each CONTINUE piece of `record` begins in its joined data, read from
// the stream bytes `stream` it was just read from (Record::Read returned
// `consumed` for them, so every piece header lies inside). These are the
// record's own continueOffsets, except for a record with a piece longer than
// a stream piece may be: Record::Read drops that plan, as the record is
// written back in fixed pieces, yet a reader of strings still needs to know
// where each piece starts with its option byte.
std::vector<unsigned int> PieceOffsets(const Record& record, const char* stream, unsigned int consumed);

} // namespace Biff

#endif
