#include "pageparts.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>

#include <new>

namespace
{
// Keeps what is piped into it up to the bound and stops the decoding at the
// first byte past it: nothing past the bound is inflated or held.
class BoundedBytes : public Pipeline
{
public:
    explicit BoundedBytes(std::string *bytes) : Pipeline("bounded content", nullptr), bytes_(bytes) {}

    void write(unsigned char const *data, size_t length) override
    {
        if (over_ || (long long)(bytes_->size() + length) > ContentBound::kMaxBytes) {
            over_ = true;
            throw ContentBound();
        }
        bytes_->append(reinterpret_cast<const char *>(data), length);
    }
    void finish() override {}
    bool over() const { return over_; }

private:
    std::string *bytes_;
    bool over_ = false;
};

// What `pipe` sends into a BoundedBytes. qpdf turns some failures inside a
// pipeline into a warning or an error of its own: the bound is told by the
// pipeline's state, not by what reaches here.
template <class Pipe>
std::string boundedRead(Pipe pipe)
{
    std::string bytes;
    BoundedBytes sink(&bytes);
    try {
        pipe(&sink);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        if (!sink.over())
            throw;
    }
    if (sink.over())
        throw ContentBound();
    return bytes;
}
}

ContentBound::ContentBound() : std::runtime_error("its content decodes to more than 256 MB")
{
}

std::string pageContent(QPDFPageObjectHelper &page)
{
    // Stream by stream: qpdf's own joining holds all of them in a buffer,
    // and then a copy of it, before the first byte is passed on.
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    const std::vector<QPDFObjectHandle> streams =
        contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
    return boundedRead([&streams](Pipeline *sink) {
        for (QPDFObjectHandle stream : streams) {
            // What is no stream the renderers pass over; the others are drawn.
            if (!stream.isStream())
                continue;
            if (!stream.pipeStreamData(sink, 0, qpdf_dl_specialized, true))
                throw std::runtime_error("the page's content cannot be decoded");
            // Readers part the streams by a white-space byte.
            sink->write(reinterpret_cast<const unsigned char *>("\n"), 1);
        }
    });
}

std::string decodedStream(QPDFObjectHandle stream)
{
    return boundedRead([&stream](Pipeline *sink) {
        if (!stream.pipeStreamData(sink, 0, qpdf_dl_generalized, true))
            throw std::runtime_error("the stream cannot be decoded");
    });
}

std::vector<QPDFObjectHandle> appearanceForms(QPDFPageObjectHelper &page)
{
    std::vector<QPDFAnnotationObjectHelper> annotations;
    try {
        annotations = page.getAnnotations();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return {};
    }
    std::vector<QPDFObjectHandle> forms;
    for (QPDFAnnotationObjectHelper &annotation : annotations) {
        try {
            QPDFObjectHandle appearance = annotation.getAppearanceStream("/N");
            if (appearance.isStream() && appearance.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
                forms.push_back(appearance);
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const std::exception &) {
            // An appearance that cannot be read is not drawn.
        }
    }
    return forms;
}
