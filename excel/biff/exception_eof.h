#ifndef BIFF_EXCEPTION_EOF_H
#define BIFF_EXCEPTION_EOF_H

namespace Biff {

// Thrown by the row-block reader when it meets an EOF record where row or
// cell records were expected; carries the bytes consumed so far so the
// worksheet reader can resume its count.
class EXCEPTION_EOF {
public:
    unsigned int bytesRead;

    explicit EXCEPTION_EOF(unsigned int bytes) : bytesRead(bytes) {}
};

} // namespace Biff

#endif
