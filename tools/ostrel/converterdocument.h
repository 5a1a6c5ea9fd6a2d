#ifndef OSTREL_CONVERTERDOCUMENT_H
#define OSTREL_CONVERTERDOCUMENT_H

#include <memory>
#include <string>

namespace Poppler
{
class Document;
}

// The document the converter draws for the file at `path`, opened with the
// converter's library as PopplerRoom opens it: the file itself, or qpdf's
// rewrite of it where the converter draws that (ConverterInput). Null when
// it cannot be opened, or when the converter refuses its page tree.
namespace ConverterDocument
{
std::unique_ptr<Poppler::Document> open(const std::string &path);
}

#endif
