#pragma once
// Images made by the tests themselves: noise, ramps and flat fields in 8 or 16 bits, and comparisons.
#include "unwrap/Image.h"

#include <boost/gil/image_view_factory.hpp>
#include <boost/variant2/variant.hpp>

#include <cstdint>
#include <functional>
#include <random>

namespace unwraptest {

namespace gil = boost::gil;

// An 8- or 16-bit RGB image whose channel c of pixel (x, y) is value(x, y, c).
template <typename Channel>
unwrap::Image makeImage(int width, int height, const std::function<unsigned(int, int, int)>& value) {
    using Pixel = gil::pixel<Channel, gil::rgb_layout_t>;
    unwrap::Image image;
    auto& typed = image.emplace<gil::image<Pixel, false>>(width, height);
    auto view = gil::view(typed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) view(x, y)[c] = Channel(value(x, y, c));
    return image;
}

template <typename Channel>
unwrap::Image noiseImage(int width, int height, unsigned seed = 1) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<unsigned> channel(0, std::numeric_limits<Channel>::max());
    return makeImage<Channel>(width, height, [&](int, int, int) { return channel(generator); });
}

template <typename Channel>
unwrap::Image flatImage(int width, int height, unsigned r, unsigned g, unsigned b) {
    return makeImage<Channel>(width, height, [=](int, int, int c) { return c == 0 ? r : c == 1 ? g : b; });
}

// An empty image of the same pixel type as like.
inline unwrap::Image sameTypeImage(const unwrap::Image& like, int width, int height) {
    unwrap::Image image;
    // An image of no area is made empty: the imaging library keeps a one-byte block for a sized image
    // of no area and never frees it.
    boost::variant2::visit(
        [&](const auto& typed) {
            using Typed = std::decay_t<decltype(typed)>;
            if (width > 0 && height > 0)
                image.emplace<Typed>(width, height);
            else
                image.emplace<Typed>();
        },
        like);
    return image;
}

inline bool is16Bit(const unwrap::Image& image) {
    return boost::variant2::holds_alternative<gil::rgb16_image_t>(image);
}

// Channel c of pixel (x, y), whatever the depth.
inline unsigned channelAt(const unwrap::Image& image, int x, int y, int c) {
    return boost::variant2::visit([&](const auto& typed) { return unsigned(gil::const_view(typed)(x, y)[c]); },
                                  image);
}

// Whether two images have the same type, size and every channel.
inline bool sameImage(const unwrap::Image& a, const unwrap::Image& b) {
    if (a.index() != b.index() || a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < int(a.height()); ++y)
        for (int x = 0; x < int(a.width()); ++x)
            for (int c = 0; c < 3; ++c)
                if (channelAt(a, x, y, c) != channelAt(b, x, y, c)) return false;
    return true;
}

// The largest channel difference between two images of the same size.
inline unsigned maxDifference(const unwrap::Image& a, const unwrap::Image& b) {
    unsigned worst = 0;
    for (int y = 0; y < int(a.height()); ++y)
        for (int x = 0; x < int(a.width()); ++x)
            for (int c = 0; c < 3; ++c) {
                const unsigned p = channelAt(a, x, y, c), q = channelAt(b, x, y, c);
                worst = std::max(worst, p > q ? p - q : q - p);
            }
    return worst;
}

}  // namespace unwraptest
