#include "outputassembly.h"

#include "inputfile.h"
#include "mupdfguard.h"
#include "mupdfheld.h"
#include "temporaryoutput.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>

// The library's objects are read below outside guarded(): on an object
// already loaded, telling its kind and reading its parts neither allocates
// nor follows a reference, so it cannot jump.

namespace
{
// Deeper than qpdf itself reads an object.
const int kMaxDepth = 500;

// The input is read into memory up to this size.
const long long kMaxHeldBytes = 64LL << 20;

// New streams below this size (the few operators a replacement draws) stand
// uncompressed, as they gain little and each compression has its own setup.
const size_t kPlainBytes = 4096;

// qpdf's output into our temporary file, gathered into large writes (qpdf
// hands it on token by token). qpdf finishes its pipeline after every
// stream, so what is held at the end is written by flushed(), once qpdf is
// done. A failed write ends qpdf's work, its reason kept by the file.
class OutputPipe : public Pipeline
{
public:
    explicit OutputPipe(TemporaryOutput *file) : Pipeline("output", nullptr), file_(file) { held_.reserve(kHeld); }
    void write(unsigned char const *data, size_t size) override
    {
        if (held_.size() + size > kHeld && !flushed())
            throw std::runtime_error("write failed");
        if (size < kHeld)
            held_.append(reinterpret_cast<const char *>(data), size);
        else if (!file_->write(data, size))
            throw std::runtime_error("write failed");
    }
    void finish() override {}
    bool flushed()
    {
        const bool written = file_->write(held_.data(), held_.size());
        held_.clear();
        return written;
    }

private:
    static const size_t kHeld = 1 << 16;

    TemporaryOutput *file_;
    std::string held_;
};

// The library's reason without the file name it puts first: ours names the input.
std::string reasonOf(const std::exception &e)
{
    const QPDFExc *fault = dynamic_cast<const QPDFExc *>(&e);
    return fault ? fault->getMessageDetail() : e.what();
}

// The fewest decimals that read back as the library's number (it holds
// them at single precision), never an exponent, which PDF does not know.
std::string realText(float value)
{
    if (!std::isfinite(value))
        return "0";
    char text[96];
    for (int decimals = 0; decimals <= 12; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, double(value));
        if (float(std::strtod(text, nullptr)) == value)
            break;
    }
    return text;
}
}

OutputAssembly::OutputAssembly(fz_context *ctx, pdf_document *doc)
    : ctx_(ctx), doc_(doc)
{
    guarded(ctx, [&] { length_ = pdf_xref_len(ctx, doc); });
}

OutputAssembly::~OutputAssembly() = default;

bool OutputAssembly::read(const std::string &path, const std::string &bytes, std::string *why)
{
    std::unique_ptr<QPDF> pdf(new QPDF);
    try {
        pdf->setSuppressWarnings(true);
        // From memory qpdf's many small reads and seeks cost nothing; a
        // larger input is read from its file.
        std::string tooLarge;
        if (bytes.empty() && InputFile::read(path, kMaxHeldBytes, &held_, &tooLarge))
            pdf->processMemoryFile(path.c_str(), held_.data(), held_.size());
        else if (bytes.empty())
            pdf->processFile(path.c_str());
        else
            pdf->processMemoryFile(path.c_str(), bytes.data(), bytes.size());
        pdf->getRoot();
        qpdf_ = std::move(pdf);
        takeLibraryGenerations();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        qpdf_.reset();
        *why = reasonOf(e);
        return false;
    }
    return true;
}

void OutputAssembly::takeLibraryGenerations()
{
    // The generation the library holds for each object it read from the
    // file itself; -1 for the others.
    std::vector<int> generations(size_t(std::max(length_, 0)), -1);
    int *slot = generations.data();
    guarded(ctx_, [&] {
        for (int num = 1; num < length_; ++num) {
            const pdf_xref_entry *entry = pdf_get_xref_entry_no_null(ctx_, doc_, num);
            if (entry->type == 'n')
                slot[num] = entry->gen;
        }
    });
    // qpdf resolves a reference naming another generation than the object
    // bears to null, where the library found the object: the object takes
    // the place its references name, which nothing else holds.
    const std::map<QPDFObjGen, QPDFXRefEntry> table = qpdf_->getXRefTable();
    for (const auto &entry : table) {
        const QPDFObjGen bears = entry.first;
        if (entry.second.getType() != 1 || bears.getObj() <= 0 || bears.getObj() >= length_)
            continue;
        const QPDFObjGen named(bears.getObj(), generations[size_t(bears.getObj())]);
        if (named.getGen() >= 0 && named != bears && !table.count(named))
            qpdf_->swapObjects(named, bears);
    }
}

std::string OutputAssembly::pageDisagreement(const std::vector<int> &pages)
{
    std::vector<int> found;
    try {
        std::set<QPDFObjGen> seen;
        std::vector<QPDFObjectHandle> nodes{qpdf_->getRoot().getKey("/Pages")};
        while (!nodes.empty() && found.size() <= pages.size()) {
            QPDFObjectHandle node = nodes.back();
            nodes.pop_back();
            if (!node.isDictionary() || (node.isIndirect() && !seen.insert(node.getObjGen()).second))
                continue;
            QPDFObjectHandle kids = node.getKey("/Kids");
            if (!kids.isArray()) {
                found.push_back(node.isIndirect() ? node.getObjectID() : 0);
                continue;
            }
            for (int i = kids.getArrayNItems(); i-- > 0;)
                nodes.push_back(kids.getArrayItem(i));
        }
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        return "its page tree is read otherwise by qpdf (" + reasonOf(e) + ")";
    }
    return found == pages ? std::string() : "its page tree is read otherwise by qpdf";
}

std::vector<int> OutputAssembly::editedNumbers() const
{
    // The library keeps what it changed or made in a section of its own,
    // the first, once there is anything.
    std::vector<int> numbers;
    if (doc_->num_incremental_sections <= 0 || doc_->num_xref_sections <= 0)
        return numbers;
    for (const pdf_xref_subsec *s = doc_->xref_sections[0].subsec; s; s = s->next) {
        for (int i = 0; i < s->len; ++i) {
            // An object first read from an object stream keeps that kind there.
            const char kind = s->table[i].type;
            if ((kind == 'n' || kind == 'o') && s->table[i].obj)
                numbers.push_back(s->start + i);
        }
    }
    return numbers;
}

void OutputAssembly::write(TemporaryOutput *file)
{
    try {
        carryOver();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const MupdfError &) {
        throw;
    } catch (const ReadingFault &) {
        throw;
    } catch (const std::exception &e) {
        throw ReadingFault("qpdf cannot take what the rules changed (" + reasonOf(e) + ")");
    }
    std::string why;
    if (!file->create(&why))
        throw std::runtime_error("cannot write \"" + file->target() + "\": " + why);
    OutputPipe pipe(file);
    try {
        // The writer gives the table's size only in place of a /Size the
        // trailer has; a damaged trailer may have none.
        qpdf_->getTrailer().replaceKey("/Size", QPDFObjectHandle::newInteger(0));
        QPDFWriter writer(*qpdf_);
        writer.setOutputPipeline(&pipe);
        // Stream data as it stands: neither decoded nor compressed anew.
        writer.setCompressStreams(false);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.write();
        if (!pipe.flushed())
            throw std::runtime_error("write failed");
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        why = file->writeFailure();
        // qpdf reads every object again as it writes: one it cannot read is the input's fault.
        if (why.empty())
            throw ReadingFault("it is damaged (" + reasonOf(e) + ")");
        throw std::runtime_error("cannot write \"" + file->target() + "\": " + why);
    }
}

void OutputAssembly::carryOver()
{
    const std::vector<int> numbers = editedNumbers();
    std::vector<int> made, changed;
    for (const int num : numbers)
        (num >= length_ ? made : changed).push_back(num);
    makeNew(made);
    for (const int num : changed)
        mergeChanged(num);
}

void OutputAssembly::makeNew(const std::vector<int> &numbers)
{
    // Every new object first has its place, so they may refer to each other.
    for (const int num : numbers) {
        int stream = 0;
        guarded(ctx_, [&] { stream = pdf_obj_num_is_stream(ctx_, doc_, num); });
        made_[num] = stream ? qpdf_->newStream() : QPDFObjectHandle::newReserved(qpdf_.get());
    }
    for (const int num : numbers) {
        HeldObject object(ctx_);
        pdf_obj **slot = object.slot();
        guarded(ctx_, [&] { *slot = pdf_load_object(ctx_, doc_, num); });
        QPDFObjectHandle &handle = made_[num];
        if (handle.isStream()) {
            handle.replaceDict(converted(object.get(), 0, true));
            carryData(object.get(), num, handle);
        } else {
            qpdf_->replaceReserved(handle, converted(object.get(), 0));
        }
    }
}

void OutputAssembly::mergeChanged(int num)
{
    HeldObject object(ctx_);
    pdf_obj **slot = object.slot();
    int stream = 0, gen = 0;
    guarded(ctx_, [&] {
        *slot = pdf_load_object(ctx_, doc_, num);
        stream = pdf_obj_num_is_stream(ctx_, doc_, num);
        // Of an object read from an object stream the library keeps its
        // place there instead; such objects are all of generation 0.
        const pdf_xref_entry *entry = pdf_get_xref_entry_no_null(ctx_, doc_, num);
        gen = entry->type == 'o' ? 0 : entry->gen;
    });
    pdf_obj *o = object.get();
    QPDFObjectHandle was = qpdf_->getObject(num, gen);
    const bool dict = !stream && pdf_is_dict(ctx_, o), array = pdf_is_array(ctx_, o);
    if ((stream && !was.isStream()) || (dict && (!was.isDictionary() || was.isStream())) || (array && !was.isArray()))
        throw ReadingFault("its object " + std::to_string(num) + " is read otherwise by qpdf");
    if (stream)
        mergeStream(o, num, was);
    else if (dict)
        mergeDict(o, was, false);
    else if (array)
        mergeArray(o, was);
    else if (!sameScalar(o, was))
        qpdf_->replaceObject(was.getObjGen(), converted(o, 0));
}

void OutputAssembly::mergeStream(pdf_obj *changed, int num, QPDFObjectHandle stream)
{
    int replaced = 0;
    guarded(ctx_, [&] { replaced = pdf_get_xref_entry_no_null(ctx_, doc_, num)->stm_buf != nullptr; });
    mergeDict(changed, stream.getDict(), true);
    // Data the library did not replace is the input's, kept as qpdf reads it.
    if (replaced)
        carryData(changed, num, stream);
}

// The library's bytes of stream `num` as they stand, with their filters.
// An embedded font or a picture standing without one is compressed, as the
// library itself writes them, and so is any other large stream.
void OutputAssembly::carryData(pdf_obj *changed, int num, QPDFObjectHandle stream)
{
    pdf_obj *filter = pdf_dict_get(ctx_, changed, PDF_NAME(Filter));
    const bool fontOrPicture = pdf_dict_get(ctx_, changed, PDF_NAME(Length1))
        || pdf_dict_get(ctx_, changed, PDF_NAME(Length2)) || pdf_dict_get(ctx_, changed, PDF_NAME(Subtype));
    bool packed = false;
    const std::string data = streamData(num, !filter, fontOrPicture, &packed);
    if (packed)
        stream.replaceStreamData(data, QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
    else
        stream.replaceStreamData(data, converted(filter, 0),
                                 converted(pdf_dict_get(ctx_, changed, PDF_NAME(DecodeParms)), 0));
}

std::string OutputAssembly::streamData(int num, bool mayPack, bool anySize, bool *packed)
{
    HeldBuffer raw(ctx_), deflated(ctx_);
    fz_buffer **rawSlot = raw.slot(), **deflatedSlot = deflated.slot();
    guarded(ctx_, [&] {
        *rawSlot = pdf_load_raw_stream_number(ctx_, doc_, num);
        if (!mayPack || (!anySize && fz_buffer_storage(ctx_, *rawSlot, nullptr) < kPlainBytes))
            return;
        size_t size = 0;
        unsigned char *data = fz_new_deflated_data_from_buffer(ctx_, &size, *rawSlot, FZ_DEFLATE_DEFAULT);
        *deflatedSlot = fz_new_buffer_from_data(ctx_, data, size);
    });
    *packed = deflated.get() != nullptr;
    unsigned char *data = nullptr;
    const size_t size = fz_buffer_storage(ctx_, *packed ? deflated.get() : raw.get(), &data);
    return std::string(reinterpret_cast<const char *>(data), size);
}

QPDFObjectHandle OutputAssembly::referenced(pdf_obj *ref)
{
    const int num = pdf_to_num(ctx_, ref);
    if (num < length_)
        return qpdf_->getObject(num, pdf_to_gen(ctx_, ref));
    const auto found = made_.find(num);
    return found == made_.end() ? QPDFObjectHandle::newNull() : found->second;
}

QPDFObjectHandle OutputAssembly::converted(pdf_obj *o, int depth, bool streamDict)
{
    if (depth > kMaxDepth)
        throw ReadingFault("an object the rules changed nests more than " + std::to_string(kMaxDepth) + " deep");
    if (pdf_is_indirect(ctx_, o))
        return referenced(o);
    if (pdf_is_bool(ctx_, o))
        return QPDFObjectHandle::newBool(pdf_to_bool(ctx_, o));
    if (pdf_is_int(ctx_, o))
        return QPDFObjectHandle::newInteger(pdf_to_int64(ctx_, o));
    if (pdf_is_real(ctx_, o))
        return QPDFObjectHandle::newReal(realText(pdf_to_real(ctx_, o)));
    if (pdf_is_name(ctx_, o))
        return QPDFObjectHandle::newName(std::string("/") + pdf_to_name(ctx_, o));
    if (pdf_is_string(ctx_, o))
        return QPDFObjectHandle::newString(std::string(pdf_to_str_buf(ctx_, o), pdf_to_str_len(ctx_, o)));
    if (pdf_is_array(ctx_, o)) {
        QPDFObjectHandle array = QPDFObjectHandle::newArray();
        for (int i = 0, n = pdf_array_len(ctx_, o); i < n; ++i)
            array.appendItem(converted(pdf_array_get(ctx_, o, i), depth + 1));
        return array;
    }
    if (pdf_is_dict(ctx_, o)) {
        QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
        for (int i = 0, n = pdf_dict_len(ctx_, o); i < n; ++i) {
            const std::string key = std::string("/") + pdf_to_name(ctx_, pdf_dict_get_key(ctx_, o, i));
            // qpdf sets the length of the data it writes.
            if (!(streamDict && key == "/Length"))
                dict.replaceKey(key, converted(pdf_dict_get_val(ctx_, o, i), depth + 1));
        }
        return dict;
    }
    return QPDFObjectHandle::newNull();
}

bool OutputAssembly::sameScalar(pdf_obj *o, QPDFObjectHandle was) const
{
    if (pdf_is_null(ctx_, o))
        return was.isNull();
    if (pdf_is_bool(ctx_, o))
        return was.isBool() && was.getBoolValue() == bool(pdf_to_bool(ctx_, o));
    if (pdf_is_int(ctx_, o) && was.isInteger())
        return pdf_to_int64(ctx_, o) == was.getIntValue();
    if (pdf_is_number(ctx_, o) && was.isNumber()) {
        // The library reads a number at single precision, a few units of
        // its last place off at most.
        const double mine = pdf_is_int(ctx_, o) ? double(pdf_to_int64(ctx_, o)) : double(pdf_to_real(ctx_, o));
        const double input = was.getNumericValue();
        return std::fabs(mine - input) <= std::fabs(input) * 1e-6;
    }
    if (pdf_is_name(ctx_, o))
        return was.isName() && was.getName() == std::string("/") + pdf_to_name(ctx_, o);
    if (pdf_is_string(ctx_, o))
        return was.isString()
            && was.getStringValue() == std::string(pdf_to_str_buf(ctx_, o), pdf_to_str_len(ctx_, o));
    return false;
}

QPDFObjectHandle OutputAssembly::merged(pdf_obj *o, QPDFObjectHandle was)
{
    if (pdf_is_indirect(ctx_, o)) {
        const int num = pdf_to_num(ctx_, o);
        return num < length_ && was.isIndirect() && was.getObjectID() == num ? was : referenced(o);
    }
    if (was.isIndirect())
        return converted(o, 0);
    if (pdf_is_dict(ctx_, o) && was.isDictionary() && !was.isStream()) {
        mergeDict(o, was, false);
        return was;
    }
    if (pdf_is_array(ctx_, o) && was.isArray()) {
        mergeArray(o, was);
        return was;
    }
    return sameScalar(o, was) ? was : converted(o, 0);
}

void OutputAssembly::mergeDict(pdf_obj *o, QPDFObjectHandle was, bool streamDict)
{
    std::set<std::string> keys;
    for (int i = 0, n = pdf_dict_len(ctx_, o); i < n; ++i) {
        const std::string key = std::string("/") + pdf_to_name(ctx_, pdf_dict_get_key(ctx_, o, i));
        if (streamDict && key == "/Length")
            continue;
        keys.insert(key);
        pdf_obj *value = pdf_dict_get_val(ctx_, o, i);
        was.replaceKey(key, was.hasKey(key) ? merged(value, was.getKey(key)) : converted(value, 0));
    }
    for (const std::string &key : was.getKeys()) {
        if (!keys.count(key) && !(streamDict && key == "/Length"))
            was.removeKey(key);
    }
}

void OutputAssembly::mergeArray(pdf_obj *o, QPDFObjectHandle was)
{
    const int n = pdf_array_len(ctx_, o), had = was.getArrayNItems();
    for (int i = 0; i < n && i < had; ++i)
        was.setArrayItem(i, merged(pdf_array_get(ctx_, o, i), was.getArrayItem(i)));
    for (int i = had; i < n; ++i)
        was.appendItem(converted(pdf_array_get(ctx_, o, i), 0));
    for (int i = had; i-- > n;)
        was.eraseItem(i);
}
