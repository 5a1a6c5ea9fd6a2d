#include "imagepixels.h"
#include "contenttokens.h"
#include "contentwork.h"
#include "formnesting.h"
#include "pagerefusal.h"
#include "pageparts.h"


#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <set>

namespace
{
// Sums and products stop here, far above the limit and far below overflow.
const long long kCap = 1000000000000000000LL;
const long long kMillion = 1000000;
// Placing one tile of a pattern, in units of work: a renderer places a cell
// smaller than a pixel some ten million times a second, and keeps a few
// dozen bytes for each until the fill is done, so twenty million tiles are
// half a gigabyte.
const long long kTileWork = 50;

long long add(long long a, long long b)
{
    return std::min(kCap, a + b);
}

long long multiply(long long a, long long b)
{
    return a > 0 && b > kCap / a ? kCap : a * b;
}

// A declared size as the renderers read it: a number, a fraction cut off;
// anything else, or not above 0, declares nothing to draw.
long long sizeFromText(const std::string &text)
{
    size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    if (i == 1 && text[0] == '-')
        return 0;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = add(multiply(value, 10), text[i] - '0');
    return value;
}

long long sizeOf(QPDFObjectHandle number)
{
    if (number.isInteger())
        return std::max(0LL, std::min(kCap, number.getIntValue()));
    return number.isReal() ? sizeFromText(number.getRealValue()) : 0;
}

long long declaredPixels(QPDFObjectHandle image)
{
    QPDFObjectHandle dict = image.getDict();
    return multiply(sizeOf(dict.getKey("/Width")), sizeOf(dict.getKey("/Height")));
}

bool isStreamOf(QPDFObjectHandle object, const char *subtype)
{
    return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals(subtype);
}

// What a renderer reads and does for a pixel's colour: its components,
// and a factor for the colours it converts by arithmetic pixel by pixel,
// which cost it twice (four inks) to six times (Lab) what gray or RGB do.
struct Colours
{
    int components;
    int factor;
};

// A colour space named `name`, in full or as an inline image abbreviates it;
// four inks for one the renderer decides (a resource's name, an image's own).
Colours coloursOfName(const std::string &name)
{
    static const std::map<std::string, Colours> known{
        {"/DeviceGray", {1, 1}}, {"/G", {1, 1}}, {"/CalGray", {1, 1}}, {"/Indexed", {1, 1}}, {"/I", {1, 1}},
        {"/Separation", {1, 1}}, {"/DeviceRGB", {3, 1}}, {"/RGB", {3, 1}}, {"/CalRGB", {3, 1}}, {"/Lab", {3, 6}}};
    const auto found = known.find(name);
    return found == known.end() ? Colours{4, 2} : found->second;
}

Colours coloursOf(QPDFObjectHandle space)
{
    if (space.isName())
        return coloursOfName(space.getName());
    if (!space.isArray() || space.getArrayNItems() < 1 || !space.getArrayItem(0).isName())
        return coloursOfName(std::string());
    const std::string family = space.getArrayItem(0).getName();
    QPDFObjectHandle second = space.getArrayNItems() > 1 ? space.getArrayItem(1) : QPDFObjectHandle();
    if (family == "/ICCBased" && second.isStream() && second.getDict().getKey("/N").isInteger()) {
        const int components = int(std::max(1LL, std::min(4LL, second.getDict().getKey("/N").getIntValue())));
        return Colours{components, components == 4 ? 2 : 1};
    }
    if (family == "/DeviceN" && second.isArray()) {
        const int components = std::max(1, std::min(32, second.getArrayNItems()));
        return Colours{components, components > 1 ? 2 : 1};
    }
    return coloursOfName(family);
}

// Work: a unit a pixel, and one for each byte of its data, times the
// colours' factor.
long long pixelWork(long long pixels, int bitsPerPixel, int factor)
{
    return multiply(multiply(pixels, 8 + bitsPerPixel), factor) / 8;
}

// The work of drawing `pixels` of the image of `dict` once: a mask has one
// bit a pixel; a depth not given (a JPEG 2000 image's own) is taken as 8 bits.
long long imageWork(QPDFObjectHandle dict, long long pixels)
{
    QPDFObjectHandle imageMask = dict.getKey("/ImageMask");
    if (imageMask.isBool() && imageMask.getBoolValue())
        return pixelWork(pixels, 1, 1);
    QPDFObjectHandle bits = dict.getKey("/BitsPerComponent");
    const long long depth = bits.isInteger() && bits.getIntValue() >= 1 && bits.getIntValue() <= 16 ? bits.getIntValue() : 8;
    const Colours colours = coloursOf(dict.getKey("/ColorSpace"));
    return pixelWork(pixels, int(depth) * colours.components, colours.factor);
}

// What an inline image's dictionary declares, read a token at a time from
// "BI" on; `key` is the name before the token.
struct InlineImage
{
    bool open = false;   // within the dictionary
    long long width = 0, height = 0;
    int bits = 8;
    Colours colours = coloursOfName(std::string());
    bool mask = false;
    bool spaceArray = false;   // within "/CS [", before its family

    void read(const ContentTokens::Token &token, const std::string &value, const std::string &key)
    {
        const ContentTokens::Kind type = token.kind;
        if (type == ContentTokens::Kind::Keyword && value == "BI") {
            *this = InlineImage();
            open = true;
            return;
        }
        const bool number = type == ContentTokens::Kind::Number;
        if (!open) {
            return;
        } else if (spaceArray && type == ContentTokens::Kind::Name) {
            colours = coloursOfName(value);
            spaceArray = false;
        } else if (key == "/CS" || key == "/ColorSpace") {
            colours = type == ContentTokens::Kind::Name ? coloursOfName(value) : colours;
            spaceArray = type == ContentTokens::Kind::OpenArray;
        } else if (number && (key == "/W" || key == "/Width")) {
            width = sizeFromText(value);
        } else if (number && (key == "/H" || key == "/Height")) {
            height = sizeFromText(value);
        } else if (number && (key == "/BPC" || key == "/BitsPerComponent")) {
            const long long depth = sizeFromText(value);
            bits = int(depth >= 1 && depth <= 16 ? depth : 8);
        } else if (type == ContentTokens::Kind::Keyword && (key == "/IM" || key == "/ImageMask")) {
            mask = value == "true";
        }
    }
    long long pixels() const { return multiply(width, height); }
    long long work() const
    {
        return mask ? pixelWork(pixels(), 1, 1) : pixelWork(pixels(), bits * colours.components, colours.factor);
    }
};

bool fills(const std::string &op)
{
    static const std::set<std::string> ops{"f", "F", "f*", "B", "B*", "b", "b*", "Tj", "TJ", "'", "\""};
    return ops.count(op) > 0;
}

bool strokes(const std::string &op)
{
    static const std::set<std::string> ops{"S", "s", "B", "B*", "b", "b*"};
    return ops.count(op) > 0;
}

// Follows operator `op` in the patterns a content stream paints with:
// "scn" and "SCN" with a name choose one, other colours end it, "q" and
// "Q" save and restore it. True when `op` paints.
bool paints(const std::string &op, std::pair<std::string, std::string> *paint,
            std::vector<std::pair<std::string, std::string>> *saved, const std::string &name)
{
    static const std::set<std::string> fillColours{"g", "rg", "k", "cs", "sc", "scn"};
    static const std::set<std::string> strokeColours{"G", "RG", "K", "CS", "SC", "SCN"};
    if (op == "q") {
        saved->push_back(*paint);
    } else if (op == "Q" && !saved->empty()) {
        *paint = saved->back();
        saved->pop_back();
    } else if (fillColours.count(op)) {
        paint->first = op == "scn" ? name : std::string();
    } else if (strokeColours.count(op)) {
        paint->second = op == "SCN" ? name : std::string();
    }
    return fills(op) || strokes(op);
}

}

std::string ImagePixels::refusal(const std::string &path, const std::vector<int> &pages)
{
    ImagePixels counter;
    return firstRefusedPage(path, pages, counter);
}

std::string ImagePixels::refusal(QPDFPageObjectHelper &page)
{
    Cost drawn;
    try {
        drawn = cost(page);
    } catch (const ContentBound &e) {
        return e.what();
    }
    if (drawn.work <= FormNesting::kMaxWork)
        return std::string();
    if (drawn.pixels == 0)
        return "drawing its forms and patterns takes more work than a page may";
    const std::string pixels = drawn.pixels < kMillion
        ? std::to_string(drawn.pixels) + " pixels"
        : std::to_string((drawn.pixels + kMillion - 1) / kMillion) + " million pixels";
    return "its images (" + pixels + ") and forms take more work to draw than a page may";
}

ImagePixels::Cost ImagePixels::imageCost(QPDFObjectHandle image)
{
    const long long pixels = declaredPixels(image);
    Cost cost{pixels, imageWork(image.getDict(), pixels)};
    // Masks drawn with it, each read whole: a soft mask of gray levels, a mask of one bit.
    for (const char *mask : {"/SMask", "/Mask"}) {
        QPDFObjectHandle drawn = image.getDict().getKey(mask);
        if (!drawn.isStream())
            continue;
        const long long maskPixels = declaredPixels(drawn);
        const long long work = std::string(mask) == "/Mask" ? pixelWork(maskPixels, 1, 1) : imageWork(drawn.getDict(), maskPixels);
        cost = plus(cost, Cost{maskPixels, work});
    }
    return cost;
}

ImagePixels::Cost ImagePixels::plus(const Cost &a, const Cost &b)
{
    return Cost{add(a.pixels, b.pixels), add(a.work, b.work)};
}

ImagePixels::Cost ImagePixels::times(const Cost &a, long long count)
{
    return Cost{multiply(a.pixels, count), multiply(a.work, count)};
}

ImagePixels::Cost ImagePixels::cost(QPDFPageObjectHelper &page)
{
    path_.clear();
    pageArea_ = 0;
    Cost total;
    try {
        const QPDFObjectHandle::Rectangle box = page.getMediaBox(false).getArrayAsRectangle();
        pageArea_ = std::fabs((box.urx - box.llx) * (box.ury - box.lly));
        const Resources resources{page.getAttribute("/Resources", false), page.getObjectHandle().getObjGen()};
        // Colours are often set with "scn" too: only a page with patterns paints with one.
        QPDFObjectHandle dictionary = resources.dictionary;
        const bool patterns = dictionary.isDictionary() && dictionary.getKey("/Pattern").isDictionary()
            && !dictionary.getKey("/Pattern").getKeys().empty();
        total = drawingCost(drawingOf(pageContent(page), patterns), resources, 0);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const ContentBound &) {
        throw;
    } catch (const std::exception &) {
        // Content that cannot be read draws nothing.
    }
    for (QPDFObjectHandle &appearance : appearanceForms(page)) {
        try {
            total = plus(total, formCost(appearance, Resources{QPDFObjectHandle(), appearance.getObjGen()}, 0));
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const ContentBound &) {
            throw;
        } catch (const std::exception &) {
            // An appearance that cannot be read is not drawn.
        }
    }
    return total;
}

ImagePixels::Drawing ImagePixels::drawingOf(const std::string &content, bool patterns)
{
    Drawing drawing;
    drawing.bytes = (long long)content.size();
    unsigned char last = 0;
    drawing.shows = ContentWork::shows(reinterpret_cast<const unsigned char *>(content.data()), content.size(), &last);
    // Most content holds neither an inline image nor a drawn object, and
    // reading it token by token takes longer than finding that out.
    if (content.find("Do") == std::string::npos && content.find("BI") == std::string::npos
        && (!patterns || (content.find("scn") == std::string::npos && content.find("SCN") == std::string::npos)))
        return drawing;
    ContentTokens tokens(content);
    std::string lastName;
    InlineImage image;
    // The patterns filling and stroking now (empty for a colour), and
    // those of the graphics states saved.
    std::pair<std::string, std::string> paint;
    std::vector<std::pair<std::string, std::string>> saved;
    for (ContentTokens::Token token = tokens.next(); token.kind != ContentTokens::Kind::End; token = tokens.next()) {
        const ContentTokens::Kind type = token.kind;
        // Names with their "/", numbers as written, as the dictionaries name them.
        const std::string value = type == ContentTokens::Kind::Name ? '/' + token.text
            : type == ContentTokens::Kind::Keyword                  ? token.text
                                                                    : content.substr(token.start, token.end - token.start);
        image.read(token, value, lastName);
        if (type == ContentTokens::Kind::Name) {
            lastName = value;
            continue;
        }
        const std::string word = type == ContentTokens::Kind::Keyword ? value : std::string();
        if (word == "Do" && !lastName.empty()) {
            long long &count = drawing.calls[lastName];
            count = add(count, 1);
        } else if (!word.empty() && paints(word, &paint, &saved, lastName)) {
            // A tiling pattern's cell is drawn again for every area it paints.
            for (const std::string &pattern : {fills(word) ? paint.first : "", strokes(word) ? paint.second : ""}) {
                if (!pattern.empty())
                    drawing.patternPaints[pattern] = add(drawing.patternPaints[pattern], 1);
            }
        } else if (word == "ID") {
            if (image.open)
                drawing.inlineImages = plus(drawing.inlineImages, Cost{image.pixels(), image.work()});
            image.open = false;
            // Its data, up to "EI" between blanks, hold no operator.
            tokens.skipInlineImage(0);
        }
        lastName.clear();
    }
    return drawing;
}

ImagePixels::Cost ImagePixels::drawingCost(const Drawing &drawing, const Resources &resources, int depth)
{
    QPDFObjectHandle dictionary = resources.dictionary;
    QPDFObjectHandle xobjects = dictionary.isDictionary() ? dictionary.getKey("/XObject") : QPDFObjectHandle();
    QPDFObjectHandle patterns = dictionary.isDictionary() ? dictionary.getKey("/Pattern") : QPDFObjectHandle();
    Cost total = drawing.inlineImages;
    for (const auto &paint : drawing.patternPaints) {
        try {
            QPDFObjectHandle pattern = patterns.isDictionary() ? patterns.getKey(paint.first) : QPDFObjectHandle();
            if (pattern.isStream() && pattern.getDict().getKey("/PatternType").isInteger()
                && pattern.getDict().getKey("/PatternType").getIntValue() == 1)
                total = plus(total, patternCost(pattern, paint.second, resources, depth));
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const ContentBound &) {
            throw;
        } catch (const std::exception &) {
            // A pattern that cannot be read paints nothing.
        }
    }
    for (const auto &call : drawing.calls) {
        try {
            QPDFObjectHandle drawn = xobjects.isDictionary() ? xobjects.getKey(call.first) : QPDFObjectHandle();
            if (isStreamOf(drawn, "/Image"))
                total = plus(total, times(imageCost(drawn), call.second));
            else if (isStreamOf(drawn, "/Form"))
                total = plus(total, times(formCost(drawn, resources, depth + 1), call.second));
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const ContentBound &) {
            throw;
        } catch (const std::exception &) {
            // An object that cannot be read is not drawn; the others are.
        }
    }
    return total;
}

ImagePixels::Cost ImagePixels::patternCost(QPDFObjectHandle pattern, long long paints, const Resources &resources,
                                           int depth)
{
    const Cost cell = formCost(pattern, resources, depth + 1);
    // The tiles are counted as if each paint covered the page, far more than
    // the small areas hatches fill: beyond the first drawing of the cell a
    // paint counts only what the cell's images cost, as it did before its
    // drawing was weighed.
    const auto parsed = forms_.find(pattern.getObjGen());
    const long long setup = parsed == forms_.end() ? 0 : FormNesting::drawingWork(parsed->second.bytes);
    const Cost tile{cell.pixels, cell.work - std::min(setup, cell.work)};
    const long long tiles = tilesOf(pattern);
    // Cells that do not overlap are drawn once and copied; overlapping ones
    // are drawn for every tile.
    const long long redrawn = overlaps(pattern) ? std::max(0LL, tiles - 1) : 0;
    Cost total = plus(times(cell, paints), times(tile, multiply(paints, redrawn)));
    // Each tile is placed on its own, copied or drawn: a cell a hundredth of
    // a point wide is placed billions of times over a page.
    total.work = add(total.work, multiply(multiply(paints, tiles), kTileWork));
    return total;
}

bool ImagePixels::overlaps(QPDFObjectHandle pattern)
{
    QPDFObjectHandle dict = pattern.getDict();
    const QPDFObjectHandle::Rectangle box = dict.getKey("/BBox").getArrayAsRectangle();
    return std::fabs(box.urx - box.llx) > std::fabs(dict.getKey("/XStep").getNumericValue())
        || std::fabs(box.ury - box.lly) > std::fabs(dict.getKey("/YStep").getNumericValue());
}

long long ImagePixels::tilesOf(QPDFObjectHandle pattern) const
{
    // As many as fit on the page, each a step by a step in the page's space.
    QPDFObjectHandle dict = pattern.getDict();
    const double xStep = std::fabs(dict.getKey("/XStep").getNumericValue());
    const double yStep = std::fabs(dict.getKey("/YStep").getNumericValue());
    QPDFObjectHandle matrix = dict.getKey("/Matrix");
    const QPDFObjectHandle::Matrix m = matrix.isArray() ? matrix.getArrayAsMatrix() : QPDFObjectHandle::Matrix(1, 0, 0, 1, 0, 0);
    const double tiles = pageArea_ / (xStep * yStep * std::fabs(m.a * m.d - m.b * m.c));
    // Steps or a matrix of 0 give no bound but the cap.
    if (!(tiles < double(kCap)))
        return kCap;
    return std::max(1LL, (long long)std::ceil(tiles));
}

ImagePixels::Cost ImagePixels::formCost(QPDFObjectHandle form, const Resources &caller, int depth)
{
    const QPDFObjGen og = form.getObjGen();
    // Renderers skip a form that draws itself, directly or not.
    if (depth > FormNesting::kMaxDepth || std::find(path_.begin(), path_.end(), og) != path_.end())
        return Cost();
    QPDFObjectHandle own = form.getDict().getKey("/Resources");
    const Resources resources = own.isDictionary() ? Resources{own, og} : caller;
    // Forms drawn with the same resources draw the same pixels: a shared
    // dictionary is counted once, whoever holds it.
    QPDFObjectHandle dictionary = resources.dictionary;
    const auto key = std::make_pair(og, dictionary.isIndirect() ? dictionary.getObjGen() : resources.holder);
    const auto known = costs_.find(key);
    if (known != costs_.end())
        return known->second;
    auto parsed = forms_.find(og);
    if (parsed == forms_.end()) {
        std::string content;
        try {
            content = decodedStream(form);
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const ContentBound &) {
            throw;
        } catch (const std::exception &) {
            // A stream that cannot be decoded draws nothing.
        }
        // Content whose one drawing takes more than the budget refuses the
        // page by its size alone: it is not read token by token.
        Drawing drawing;
        drawing.bytes = (long long)content.size();
        if (FormNesting::drawingWork(drawing.bytes) <= FormNesting::kMaxWork)
            drawing = drawingOf(content, true);
        parsed = forms_.emplace(og, drawing).first;
    }
    path_.push_back(og);
    Cost cost = drawingCost(parsed->second, resources, depth);
    path_.pop_back();
    // Each drawing reads the content anew, and the text layer keeps a word
    // for each text it shows.
    cost.work = add(cost.work, FormNesting::drawingWork(parsed->second.bytes));
    cost.work = add(cost.work, multiply(parsed->second.shows, ContentWork::kShowWork));
    return costs_[key] = cost;
}
