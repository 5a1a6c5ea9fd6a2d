#include "picturecheck.h"

#include <png.h>

#include <cstdio>
#include <csetjmp>
#include <cstring>
#include <jpeglib.h>
#include <vector>

namespace
{
// The JPEG library ends a failed decode by calling error_exit, which must
// not return: it jumps back to jpegDamage. Its warnings are about damaged
// data (a premature end, bytes where a marker belongs), so the first one
// fails the check too.
struct JpegErrors
{
    jpeg_error_mgr manager;
    std::jmp_buf failed;
    bool warned = false;
    char message[JMSG_LENGTH_MAX] = {};
};

void jpegFail(j_common_ptr info)
{
    JpegErrors *errors = reinterpret_cast<JpegErrors *>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->failed, 1);
}

void jpegNote(j_common_ptr info, int level)
{
    JpegErrors *errors = reinterpret_cast<JpegErrors *>(info->err);
    if (level < 0 && !errors->warned) {
        errors->warned = true;
        info->err->format_message(info, errors->message);
    }
}

// Decodes the whole JPEG, one row at a time into the library's own memory;
// no object here has a destructor, as the library's failure jumps over this
// frame. Returns false with the library's words in errors->message.
bool jpegWhole(const unsigned char *data, unsigned long size, JpegErrors *errors)
{
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors->manager);
    errors->manager.error_exit = jpegFail;
    errors->manager.emit_message = jpegNote;
    if (setjmp(errors->failed)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * JDIMENSION(info.output_components), 1);
    while (info.output_scanline < info.output_height && !errors->warned)
        jpeg_read_scanlines(&info, row, 1);
    if (!errors->warned)
        jpeg_finish_decompress(&info);   // reads on to the end marker
    jpeg_destroy_decompress(&info);
    return !errors->warned;
}

std::string pngDamage(const std::string &bytes)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::string why;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        // One grey byte a pixel is enough to decode every byte of the data.
        image.format = PNG_FORMAT_GRAY;
        std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
        const png_color white = {255, 255, 255};
        if (png_image_finish_read(&image, &white, pixels.data(), 0, nullptr))
            return std::string();
    }
    why = image.message;
    png_image_free(&image);
    return why.empty() ? "it cannot be read" : why;
}
}

std::string PictureCheck::damage(const std::string &bytes)
{
    if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0)
        return pngDamage(bytes);
    if (bytes.compare(0, 2, "\xFF\xD8") == 0) {
        JpegErrors errors;
        if (!jpegWhole(reinterpret_cast<const unsigned char *>(bytes.data()), static_cast<unsigned long>(bytes.size()),
                       &errors))
            return errors.message;
    }
    return std::string();
}
