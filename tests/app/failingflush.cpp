// Loaded into a program under test (LD_PRELOAD): a disk whose every flush
// fails, as a full or failing device answers one at the end, so a test sees
// what a program makes of a file it could not bring to the disk.

#include <cerrno>

extern "C" int fsync(int)
{
    errno = EIO;
    return -1;
}

extern "C" int fdatasync(int)
{
    errno = EIO;
    return -1;
}
