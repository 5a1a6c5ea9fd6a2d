#ifndef GRIDMOLT_ERROROUTPUT_H
#define GRIDMOLT_ERROROUTPUT_H

#include <string>

// The programs' one way to the caller's error output. The libraries print
// there on their own (the PDF library's allocator its "Bogus memory
// allocation size", the JPEG library its "Corrupt JPEG data", Qt its
// warnings), which the window would show as our words, and a run that
// succeeded would not be silent. So the process's error output is pointed
// at nothing, and only the lines said here reach the caller.
namespace ErrorOutput
{
// Call first in main(); `program` starts every line. Sanitizer reports
// still reach the caller.
void takeOver(const char *program);

// Writes "program: message" as one line, in one write.
void say(const std::string &message);
void say(const char *message);
}

#endif
