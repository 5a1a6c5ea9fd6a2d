#include "backdrop.h"

#include "mupdfguard.h"

#include <algorithm>
#include <cmath>

namespace
{
// The page is drawn at up to twice 72 dpi, and at most this many pixels.
constexpr float kMostScale = 2;
constexpr double kMostPixels = 8e6;
// The cover reaches this share of the em past the glyphs, and below the
// baseline at least this far (the glyphs of a recognised text often end at
// the baseline, the scan's descenders do not).
constexpr float kMargin = 0.12f;
constexpr float kDescent = 0.3f;
// A ring this share of the em wide (two pixels at least) about the cover
// tells its ground: a colour prevails when this share of the ring lies
// within kNear of it in every channel.
constexpr float kRing = 0.15f;
constexpr double kPrevailing = 0.6;
constexpr int kNear = 40;

int channelOf(int c, int shift)
{
    return (c >> shift) & 0xFF;
}

int distance(int a, int b)
{
    int most = 0;
    for (const int shift : {16, 8, 0})
        most = std::max(most, std::abs(channelOf(a, shift) - channelOf(b, shift)));
    return most;
}

// The middle value of each channel.
int medianOf(std::vector<int> colours)
{
    int median = 0;
    for (const int shift : {16, 8, 0}) {
        std::vector<int> channel;
        channel.reserve(colours.size());
        for (const int c : colours)
            channel.push_back(channelOf(c, shift));
        std::nth_element(channel.begin(), channel.begin() + std::ptrdiff_t(channel.size() / 2), channel.end());
        median |= channel[channel.size() / 2] << shift;
    }
    return median;
}

// The mean of the colours for which `take` holds; -1 for none.
template <typename Take>
int meanOf(const std::vector<int> &colours, Take take)
{
    long long sum[3] = {0, 0, 0}, n = 0;
    for (const int c : colours) {
        if (!take(c))
            continue;
        ++n;
        sum[0] += channelOf(c, 16);
        sum[1] += channelOf(c, 8);
        sum[2] += channelOf(c, 0);
    }
    if (n == 0)
        return -1;
    return int((sum[0] + n / 2) / n) << 16 | int((sum[1] + n / 2) / n) << 8 | int((sum[2] + n / 2) / n);
}
}

Backdrop::Backdrop(fz_context *ctx, pdf_page *page) : ctx_(ctx), page_(page)
{
}

Backdrop::~Backdrop()
{
    fz_drop_pixmap(ctx_, drawing_);
}

bool Backdrop::draw(std::string *why)
{
    if (drawing_)
        return true;
    if (!failure_.empty()) {
        *why = failure_;
        return false;
    }
    fz_pixmap *pixmap = nullptr;
    float scale = kMostScale;
    try {
        guarded(ctx_, [&] {
            const fz_rect bounds = pdf_bound_page(ctx_, page_);
            const double area = double(bounds.x1 - bounds.x0) * double(bounds.y1 - bounds.y0);
            if (area * scale * scale > kMostPixels)
                scale = float(std::sqrt(kMostPixels / std::max(area, 1.0)));
            const fz_matrix ctm = fz_scale(scale, scale);
            fz_device *device = nullptr;
            fz_var(device);
            fz_try(ctx_) {
                pixmap = fz_new_pixmap_with_bbox(ctx_, fz_device_rgb(ctx_), fz_round_rect(fz_transform_rect(bounds, ctm)),
                                                 nullptr, 0);
                fz_clear_pixmap_with_value(ctx_, pixmap, 255);
                device = fz_new_draw_device(ctx_, fz_identity, pixmap);
                pdf_run_page(ctx_, page_, device, ctm, nullptr);
                fz_close_device(ctx_, device);
            }
            fz_always(ctx_)
                fz_drop_device(ctx_, device);
            fz_catch(ctx_) {
                fz_drop_pixmap(ctx_, pixmap);
                pixmap = nullptr;
                fz_rethrow(ctx_);
            }
        });
    } catch (const MupdfError &e) {
        failure_ = std::string("the page around its words, drawn invisibly, cannot be drawn to cover them (")
            + e.what() + ")";
        *why = failure_;
        return false;
    }
    drawing_ = pixmap;
    scale_ = scale;
    return true;
}

int Backdrop::pixel(int x, int y) const
{
    const unsigned char *p = drawing_->samples + size_t(y - drawing_->y) * size_t(drawing_->stride)
        + size_t(x - drawing_->x) * size_t(drawing_->n);
    return p[0] << 16 | p[1] << 8 | p[2];
}

bool Backdrop::cover(const fz_rect &ink, const fz_point &origin, const fz_point &direction, float size, Cover *out,
                     std::string *why)
{
    if (!draw(why))
        return false;
    // Below the baseline, across the writing direction, as shown (y down).
    const fz_point down = fz_make_point(-direction.y, direction.x);
    fz_rect box = fz_include_point_in_rect(ink, fz_make_point(origin.x + down.x * size * kDescent,
                                                             origin.y + down.y * size * kDescent));
    box = fz_expand_rect(box, size * kMargin);
    const fz_irect inner = fz_round_rect(fz_transform_rect(box, fz_scale(scale_, scale_)));
    const int ring = std::max(2, int(std::lround(size * kRing * scale_)));
    const fz_irect outer = fz_expand_irect(inner, ring);
    const fz_irect drawn = fz_pixmap_bbox(ctx_, drawing_);
    std::vector<int> around, within;
    for (int y = std::max(outer.y0, drawn.y0); y < std::min(outer.y1, drawn.y1); ++y) {
        for (int x = std::max(outer.x0, drawn.x0); x < std::min(outer.x1, drawn.x1); ++x) {
            const bool inside = x >= inner.x0 && x < inner.x1 && y >= inner.y0 && y < inner.y1;
            (inside ? within : around).push_back(pixel(x, y));
        }
    }
    if (around.empty() || within.empty()) {
        *why = "its words, drawn invisibly, lie off the page";
        return false;
    }
    const int median = medianOf(around);
    const auto near = [median](int c) { return distance(c, median) <= kNear; };
    if (double(std::count_if(around.begin(), around.end(), near)) < kPrevailing * double(around.size())) {
        *why = "its words are drawn invisibly over a picture, and no one colour prevails around them to cover them "
               "with";
        return false;
    }
    out->box = box;
    out->ground = meanOf(around, near);
    // What shows in the box: its pixels farthest from the ground.
    int farthest = 0;
    for (const int c : within)
        farthest = std::max(farthest, distance(c, out->ground));
    const int ground = out->ground;
    out->ink = farthest > kNear ? meanOf(within, [&](int c) { return distance(c, ground) * 4 >= farthest * 3; }) : -1;
    return true;
}
