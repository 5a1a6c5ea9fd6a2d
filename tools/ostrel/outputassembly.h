#ifndef OSTREL_OUTPUTASSEMBLY_H
#define OSTREL_OUTPUTASSEMBLY_H

#include <mupdf/pdf.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <memory>
#include <string>
#include <vector>

class TemporaryOutput;

// The output as qpdf reads the input, with what the rules changed or made
// taken from the engine's library: every other object keeps its bytes (its
// stream data as it stands, its numbers as written), which the library,
// writing numbers at single precision and images anew, would not.
//
// The library's edits are the objects of its incremental section: those it
// made (numbered from the input's object count on) are carried over whole;
// those of the input it changed are merged, keeping qpdf's value wherever
// the library's equals it (a number within single precision keeps its
// digits). Both readings must number the objects alike; pageDisagreement()
// tells where they do not. An object the library gave the generation its
// references name (ReferenceWalk's mending) is read by qpdf under that
// generation too.
class OutputAssembly
{
public:
    // `doc` as the engine's library read the input, every object cached,
    // and before anything is changed.
    OutputAssembly(fz_context *ctx, pdf_document *doc);
    ~OutputAssembly();
    OutputAssembly(const OutputAssembly &) = delete;
    OutputAssembly &operator=(const OutputAssembly &) = delete;

    // Reads the file at `path` as qpdf does, or `bytes` when there are any
    // (kept by the caller while this lives); false with the reason when
    // qpdf cannot.
    bool read(const std::string &path, const std::string &bytes, std::string *why);

    // Why the pages the library found (their object numbers, in order) are
    // not those of qpdf's reading; empty when they are.
    std::string pageDisagreement(const std::vector<int> &pages);

    // Carries the library's edits over and writes the result into `file`,
    // created here. Throws MupdfError for what the library cannot read,
    // ReadingFault for what qpdf cannot read or where the readings differ
    // on an object, and std::runtime_error naming the output when it
    // cannot be written.
    void write(TemporaryOutput *file);

    // Whether qpdf met damage reading the input so far (it warned), where
    // the library may have read past it otherwise.
    bool mended() const { return qpdf_ && qpdf_->anyWarnings(); }

    class ReadingFault : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

private:
    void takeLibraryGenerations();
    std::vector<int> editedNumbers() const;
    void carryOver();
    void makeNew(const std::vector<int> &numbers);
    void mergeChanged(int num);
    void mergeStream(pdf_obj *changed, int num, QPDFObjectHandle stream);
    QPDFObjectHandle converted(pdf_obj *o, int depth, bool streamDict = false);
    QPDFObjectHandle merged(pdf_obj *o, QPDFObjectHandle was);
    void mergeDict(pdf_obj *o, QPDFObjectHandle was, bool streamDict);
    void mergeArray(pdf_obj *o, QPDFObjectHandle was);
    QPDFObjectHandle referenced(pdf_obj *ref);
    bool sameScalar(pdf_obj *o, QPDFObjectHandle was) const;
    // Deflated when `mayPack`, if large or `anySize`.
    std::string streamData(int num, bool mayPack, bool anySize, bool *packed);
    void carryData(pdf_obj *changed, int num, QPDFObjectHandle stream);

    fz_context *ctx_;
    pdf_document *doc_;
    int length_ = 0;   // the input's object count in the library
    std::string held_;   // the input's bytes qpdf reads, when it reads them from memory
    std::unique_ptr<QPDF> qpdf_;
    std::map<int, QPDFObjectHandle> made_;   // the library's new objects in qpdf, by their number there
};

#endif
