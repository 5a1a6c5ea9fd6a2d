#include "backdrop.h"

#include "mupdfguard.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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
// Every word inks its line from the baseline up to this share of the em.
constexpr float kCore = 0.4f;
// A scan's letters are set apart by blanks narrower than kLetterGap of the
// em, and its parts across the line (an i's dot) by less than kLineGap.
constexpr float kLetterGap = 0.15f;
constexpr float kLineGap = 0.08f;
// Pixels the cover reaches past the scan's word, for the blur of its edge.
constexpr int kEdge = 2;

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

bool Backdrop::isInk(int x, int y, int ground) const
{
    return distance(pixel(x, y), ground) > kNear;
}

fz_irect Backdrop::shown(const fz_irect &core, const fz_irect &within, int ground, int columnGap, int rowGap) const
{
    // Rows, then columns, joined to the core while they hold ink, over
    // blanks of up to `rowGap` rows and `columnGap` columns (narrower than
    // those between lines and between words): the scan's word grows out of
    // it, and ends where the next word or line begins.
    fz_irect grown = core;
    const auto rowInk = [&](int y) {
        for (int x = grown.x0; x < grown.x1; ++x)
            if (isInk(x, y, ground))
                return true;
        return false;
    };
    const auto columnInk = [&](int x) {
        for (int y = grown.y0; y < grown.y1; ++y)
            if (isInk(x, y, ground))
                return true;
        return false;
    };
    // The farthest place holding ink from `first` on by `step`, before
    // `end`, over blanks of up to `gap` places; first - step for none.
    const auto extend = [](int first, int step, int end, int gap, const auto &inked) {
        int reached = first - step;
        for (int at = first, blank = 0; at != end && blank <= gap; at += step) {
            if (inked(at)) {
                reached = at;
                blank = 0;
            } else {
                ++blank;
            }
        }
        return reached;
    };
    // Twice: columns reached may reach further rows.
    for (int pass = 0; pass < 2; ++pass) {
        grown.y0 = extend(grown.y0 - 1, -1, within.y0 - 1, rowGap, rowInk);
        grown.y1 = extend(grown.y1, 1, within.y1, rowGap, rowInk) + 1;
        grown.x0 = extend(grown.x0 - 1, -1, within.x0 - 1, columnGap, columnInk);
        grown.x1 = extend(grown.x1, 1, within.x1, columnGap, columnInk) + 1;
    }
    // Of that, where ink is.
    fz_irect inked = {grown.x1, grown.y1, grown.x0, grown.y0};
    for (int y = grown.y0; y < grown.y1; ++y)
        for (int x = grown.x0; x < grown.x1; ++x)
            if (isInk(x, y, ground))
                inked = {std::min(inked.x0, x), std::min(inked.y0, y), std::max(inked.x1, x + 1), std::max(inked.y1, y + 1)};
    return fz_is_empty_irect(inked) ? core : inked;
}

bool Backdrop::cover(const Words &words, Cover *out, std::string *why)
{
    const float numbers[] = {words.room.x0, words.room.y0, words.room.x1, words.room.y1, words.origin.x, words.origin.y,
                             words.direction.x, words.direction.y, words.width, words.size};
    if (!std::all_of(std::begin(numbers), std::end(numbers), [](float v) { return std::isfinite(v) && std::fabs(v) < 1e6f; })) {
        *why = "its words, drawn invisibly, have no place on the page to be covered at";
        return false;
    }
    if (!draw(why))
        return false;
    // Where the scan's word may lie: the glyphs' box, and below the
    // baseline, across the writing direction, as shown (y down).
    const float size = words.size;
    const fz_point d = words.direction, down = fz_make_point(-d.y, d.x);
    const fz_point start = words.origin, end = fz_make_point(start.x + d.x * words.width, start.y + d.y * words.width);
    fz_rect area = fz_include_point_in_rect(words.room, fz_make_point(start.x + down.x * size * kDescent,
                                                                     start.y + down.y * size * kDescent));
    area = fz_expand_rect(area, size * kMargin);
    const fz_matrix toPixels = fz_scale(scale_, scale_);
    const fz_irect drawn = fz_pixmap_bbox(ctx_, drawing_);
    const fz_irect within = fz_intersect_irect(fz_round_rect(fz_transform_rect(area, toPixels)), drawn);
    const int ring = std::max(2, int(std::lround(size * kRing * scale_)));
    const fz_irect outer = fz_intersect_irect(fz_expand_irect(within, ring), drawn);
    std::vector<int> around;
    for (int y = outer.y0; y < outer.y1; ++y)
        for (int x = outer.x0; x < outer.x1; ++x)
            if (!(x >= within.x0 && x < within.x1 && y >= within.y0 && y < within.y1))
                around.push_back(pixel(x, y));
    if (around.empty() || fz_is_empty_irect(within)) {
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
    out->ground = meanOf(around, near);
    // The core every word inks: from the baseline up to about its letters' middle.
    const fz_point up = fz_make_point(-down.x * size * kCore, -down.y * size * kCore);
    fz_rect core = fz_include_point_in_rect(fz_make_rect(start.x, start.y, start.x, start.y), end);
    core = fz_include_point_in_rect(core, fz_make_point(start.x + up.x, start.y + up.y));
    core = fz_include_point_in_rect(core, fz_make_point(end.x + up.x, end.y + up.y));
    const fz_irect coreAt = fz_intersect_irect(fz_round_rect(fz_transform_rect(core, toPixels)), within);
    if (fz_is_empty_irect(coreAt)) {
        *why = "its words, drawn invisibly, lie off the page";
        return false;
    }
    // Along the line letters part, across it lines do: as shown, a line
    // may run down the page.
    const int letterGap = int(size * kLetterGap * scale_), lineGap = int(size * kLineGap * scale_);
    const bool upright = std::fabs(d.y) > std::fabs(d.x);
    const fz_irect covered = shown(coreAt, within, out->ground, upright ? lineGap : letterGap, upright ? letterGap : lineGap);
    out->box = fz_transform_rect(fz_rect_from_irect(covered), fz_scale(1 / scale_, 1 / scale_));
    out->edge = kEdge / scale_;
    // What shows in the box: its pixels farthest from the ground.
    std::vector<int> inside;
    for (int y = covered.y0; y < covered.y1; ++y)
        for (int x = covered.x0; x < covered.x1; ++x)
            inside.push_back(pixel(x, y));
    int farthest = 0;
    for (const int c : inside)
        farthest = std::max(farthest, distance(c, out->ground));
    const int ground = out->ground;
    out->ink = farthest > kNear ? meanOf(inside, [&](int c) { return distance(c, ground) * 4 >= farthest * 3; }) : -1;
    return true;
}
