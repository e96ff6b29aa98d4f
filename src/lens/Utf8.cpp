#include "lens/Utf8.h"

namespace lensdb {

std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const std::size_t left = text.size() - pos;
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length;
    // Bounds of the second byte exclude overlong forms, surrogates and code points above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left < length) return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    return length;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = utf8SequenceLength(text, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

}  // namespace lensdb

