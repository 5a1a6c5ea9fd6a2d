#ifndef GRIDMOLT_STOPCLEANUP_H
#define GRIDMOLT_STOPCLEANUP_H

// What a program that writes a temporary file does when it is stopped. The
// window ends our programs with SIGTERM (and a kill after a grace period);
// a terminal sends SIGINT or SIGHUP. On any of them the temporary file that
// is armed here is removed and the process ends by the same signal, as if it
// had not been caught. A write past a file size limit fails with EFBIG ("File
// too large") instead of ending the process by SIGXFSZ, and an exception that
// escapes everything ends the process with status 1 and a line in our words
// instead of an abort.
//
// One file at a time, for the whole process: the handlers can only reach
// what is prepared beforehand, so the path lives in a buffer made when the
// file is armed and the handler does nothing but unlink it and re-raise.
namespace StopCleanup
{
// Call once at the start of main(); it also takes over the error output
// (ErrorOutput), and `program` starts every line there.
void prepare(const char *program);

// Blocks the stop signals while the caller makes the file and arms it, so a
// stop never finds a file made but not yet armed. Unblocked on destruction.
class Hold
{
public:
    Hold();
    ~Hold();
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
};

// The writable buffer of `capacity` bytes that the handler removes when armed;
// the caller fills it (mkstemp fills a pattern in place) inside a Hold.
char *buffer(unsigned long capacity);
void arm();
void disarm();
}

#endif
