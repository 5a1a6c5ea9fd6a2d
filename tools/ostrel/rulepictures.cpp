#include "rulepictures.h"

#include "inputfile.h"
#include "mupdfguard.h"
#include "picturecheck.h"

#include <stdexcept>

namespace
{
// Pictures are read whole and decoded whole; beyond these they are refused
// before either (a 20,000 x 20,000 picture is 1.6 GB decoded).
const long long kMaxPictureBytes = 64LL << 20;
const long long kMaxPicturePixels = 40LL * 1000 * 1000;
}

RulePictures::RulePictures(fz_context *ctx, const RuleLines &rules)
{
    for (const ImageRule &rule : rules.imageRules()) {
        std::unique_ptr<HeldImage> &picture = pictures_[rule.path];
        if (picture)
            continue;
        picture.reset(new HeldImage(ctx));
        try {
            load(ctx, rule.path, picture->slot());
        } catch (const std::runtime_error &e) {
            throw std::runtime_error("cannot read the picture \"" + rule.path + "\" (line " + std::to_string(rule.line)
                                     + "): " + e.what());
        }
    }
}

fz_image *RulePictures::at(const std::string &path) const
{
    const auto found = pictures_.find(path);
    return found == pictures_.end() ? nullptr : found->second->get();
}

// Reads a picture file whole (a regular file, within the size limit) and
// checks its size in pixels before anything decodes it.
void RulePictures::load(fz_context *ctx, const std::string &path, fz_image **slot)
{
    std::string bytes, error;
    if (!InputFile::read(path, kMaxPictureBytes, &bytes, &error))
        throw std::runtime_error(error);
    HeldBuffer buffer(ctx);
    fz_buffer **bufferSlot = buffer.slot();
    try {
        guarded(ctx, [&] {
            *bufferSlot = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char *>(bytes.data()),
                                                         bytes.size());
            *slot = fz_new_image_from_buffer(ctx, *bufferSlot);
        });
    } catch (const MupdfError &e) {
        throw std::runtime_error(std::string("it is damaged or not a picture (") + e.what() + ")");
    }
    const long long pixels = (long long)(*slot)->w * (*slot)->h;
    if (pixels > kMaxPicturePixels)
        throw std::runtime_error("it is " + std::to_string((*slot)->w) + " x " + std::to_string((*slot)->h)
                                 + " pixels, more than the " + std::to_string(kMaxPicturePixels / 1000000)
                                 + " million a picture may have");
    error = PictureCheck::damage(bytes);
    if (!error.empty())
        throw std::runtime_error("it is damaged (" + error + ")");
    // Decoding the whole picture now finds damaged data.
    guarded(ctx, [&] {
        fz_drop_pixmap(ctx, fz_get_pixmap_from_image(ctx, *slot, nullptr, nullptr, nullptr, nullptr));
    });
}
