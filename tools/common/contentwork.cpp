#include "contentwork.h"

#include "formnesting.h"

#include <qpdf/Pipeline.hh>

#include <new>
#include <stdexcept>
#include <vector>

namespace
{
// Thrown by the count at the budget, to stop qpdf's decoding there.
struct PastBudget : std::runtime_error
{
    PastBudget() : std::runtime_error("past the budget") {}
};

struct Count
{
    long long bytes = 0;
    long long shows = 0;
    long long work() const { return bytes * ContentWork::kByteWork + shows * ContentWork::kShowWork; }
};

// Counts the bytes piped into it and the text shown by them, without keeping any.
class ShowCount : public Pipeline
{
public:
    ShowCount() : Pipeline("content work", nullptr) {}

    void write(unsigned char const *data, size_t length) override
    {
        count_.shows += ContentWork::shows(data, length, &last_);
        count_.bytes += (long long)length;
        if (count_.work() > FormNesting::kMaxWork)
            throw PastBudget();
    }
    void finish() override {}

    const Count &count() const { return count_; }

private:
    Count count_;
    unsigned char last_ = 0;
};

// Pipes the page's content streams, one by one, into `count`; false when
// one cannot be decoded. Past the budget the count throws.
bool pipeContent(QPDFPageObjectHelper &page, ShowCount *count)
{
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    const std::vector<QPDFObjectHandle> streams =
        contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
    for (QPDFObjectHandle stream : streams) {
        if (stream.isStream() && !stream.pipeStreamData(count, 0, qpdf_dl_specialized, true))
            return false;
    }
    return true;
}

// The count of `page`'s content, stopped at the budget; qpdf may turn the
// stop into an error of its own, so the count's own state tells it.
Count counted(QPDFPageObjectHelper &page)
{
    ShowCount count;
    try {
        pipeContent(page, &count);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        // Past the budget, or content that cannot be read: the count stands.
    }
    return count.count();
}
}

std::string ContentWork::refusal(QPDFPageObjectHelper &page)
{
    const Count count = counted(page);
    if (count.work() <= FormNesting::kMaxWork)
        return std::string();
    return "its content takes more work to draw than a page may (at least " + std::to_string(count.bytes >> 20)
        + " MB and " + std::to_string(count.shows) + " text shows)";
}

long long ContentWork::shows(const unsigned char *data, size_t length, unsigned char *last)
{
    long long count = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = data[i];
        if (c == '\'' || c == '"' || (*last == 'T' && (c == 'j' || c == 'J')))
            ++count;
        *last = c;
    }
    return count;
}

long long ContentWork::work(QPDFPageObjectHelper &page)
{
    return counted(page).work();
}
