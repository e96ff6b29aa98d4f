#include "imageio/support/SrgbCurve.h"

#include <Imath/half.h>

#include <cmath>
#include <vector>

namespace qv::io::support {

namespace {

double encode(double linear) {
    if (!(linear > 0.0)) return 0.0;  // also NaN
    if (linear >= 1.0) return 1.0;
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

double decode(double encoded) {
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

std::uint16_t to16(double unit) {
    if (!(unit > 0.0)) return 0;
    if (unit >= 1.0) return 65535;
    return std::uint16_t(unit * 65535.0 + 0.5);
}

std::uint16_t bitsOf(float value) {
    Imath::half h(value);
    return h.bits();
}

float valueOf(std::uint16_t bits) {
    Imath::half h;
    h.setBits(bits);
    return float(h);
}

template <typename Fill>
const std::vector<std::uint16_t>& table(Fill fill) {
    static const std::vector<std::uint16_t> values = [&] {
        std::vector<std::uint16_t> t(65536);
        for (unsigned i = 0; i < 65536; ++i) t[i] = fill(std::uint16_t(i));
        return t;
    }();
    return values;
}

}  // namespace

std::uint16_t halfLinearToEncoded16(std::uint16_t halfBits) {
    static const auto& t = table([](std::uint16_t b) { return to16(encode(valueOf(b))); });
    return t[halfBits];
}

std::uint16_t encoded16ToHalfLinear(std::uint16_t sample) {
    static const auto& t = table([](std::uint16_t s) { return bitsOf(float(decode(s / 65535.0))); });
    return t[sample];
}

std::uint16_t halfToUnit16(std::uint16_t halfBits) {
    static const auto& t = table([](std::uint16_t b) { return to16(valueOf(b)); });
    return t[halfBits];
}

std::uint16_t unit16ToHalf(std::uint16_t sample) {
    static const auto& t = table([](std::uint16_t s) { return bitsOf(float(s / 65535.0)); });
    return t[sample];
}

}  // namespace qv::io::support
