#ifndef OSTREL_PICTURECHECK_H
#define OSTREL_PICTURECHECK_H

#include <string>

// Whether a picture file holds the whole of its picture. The PDF library
// places a cut or damaged PNG or JPEG from what it could decode, with a
// warning at most; a picture rule must never place half a picture, so the
// file is decoded once here, strictly, before the library takes it.
class PictureCheck
{
public:
    // Empty when `bytes` are a PNG or JPEG file that decodes whole without
    // a complaint, or another kind of file (the library's own decoding
    // judges those); else what is wrong, in a few words. Decodes one row
    // (JPEG) or one grey byte a pixel (PNG) at a time, so the caller
    // bounds the picture's pixels first.
    static std::string damage(const std::string &bytes);
};

#endif
