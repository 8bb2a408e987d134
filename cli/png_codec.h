// PNG files through libpng: every colour type and bit depth read as 8 or 16-bit gray, gray and
// alpha, RGB or RGBA; written fast and lossless, with the file's colour and text chunks kept.
#pragma once

#include "image_codec.h"

// Whether the file starts with the PNG signature.
bool isPngFile(const std::string& path);

// Whether a file of this name is written as PNG.
bool hasPngExtension(const std::string& path);

// Whether the PNG at path is whole as far as its ends tell: the signature, a header of
// width x height pixels (any size when both are 0) and, at the very end, the final chunk (IEND).
// False with the reason in why.
bool isWholePng(const std::string& path, int32_t width, int32_t height, std::string& why);

const ImageCodec& pngCodec();
