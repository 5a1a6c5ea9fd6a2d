#ifndef OSTREL_POPPLERROOM_H
#define OSTREL_POPPLERROOM_H

#include <cstddef>
#include <memory>
#include <string>

namespace Poppler
{
class Document;
}

// Poppler ends the process when its malloc fails. Reading a page takes it a
// few megabytes; a run with less left of its memory share stops before a
// call into it, as out of memory (std::bad_alloc), rather than by a signal.
namespace PopplerRoom
{
const size_t kHeadroom = 4 << 20;

// Throws std::bad_alloc when kHeadroom more bytes do not fit in the
// process's data limit now.
void need();

// The document at `path` as the converter reads it, once there is room,
// the library's own messages silenced as the converter silences them (our
// one line says what failed); null when it cannot be opened.
std::unique_ptr<Poppler::Document> open(const std::string &path);
}

#endif
