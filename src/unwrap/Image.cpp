#include "unwrap/Image.h"

#include <boost/variant2/variant.hpp>

#include <cstdint>
#include <new>

namespace unwrap {

std::string imageSizeRefusal(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return "the image is empty";
    if (width > kMaxImagePixels || height > kMaxImagePixels || width * height > kMaxImagePixels)
        return "the image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is above the limit of " +
               std::to_string(kMaxImagePixels) + " pixels";
    return std::string();
}

std::size_t checkedImageBytes(std::ptrdiff_t width, std::ptrdiff_t height, int bytesPerChannel) {
    // Far below what 64-bit pointer arithmetic can address, far above any photograph.
    constexpr unsigned __int128 kLimit = std::uint64_t(1) << 44;
    if (width < 0 || height < 0 || bytesPerChannel <= 0) throw std::bad_alloc();
    const unsigned __int128 bytes =
        (unsigned __int128)width * (unsigned __int128)height * 3u * (unsigned __int128)bytesPerChannel;
    if (bytes > kLimit) throw std::bad_alloc();
    return std::size_t(bytes);
}

void construct_image(const ConstImageView& like, int width, int height, OutputImage& out) {
    boost::variant2::visit(
        [&](const auto& view) {
            using View = std::decay_t<decltype(view)>;
            using Channel = std::remove_const_t<typename gil::channel_type<View>::type>;
            using Pixel = gil::pixel<Channel, gil::rgb_layout_t>;
            const std::size_t bytes = checkedImageBytes(width, height, int(sizeof(Channel)));
            // An empty image is made without an allocation (one of no bytes would never be given back).
            out.memory.reset(bytes == 0 ? nullptr : new unsigned char[bytes]);
            out.view = gil::interleaved_view(std::size_t(width), std::size_t(height),
                                             reinterpret_cast<Pixel*>(out.memory.get()),
                                             std::ptrdiff_t(width) * std::ptrdiff_t(sizeof(Pixel)));
        },
        like);
}

ConstImageView OutputImage::constView() const {
    return boost::variant2::visit(
        [](const auto& v) { return ConstImageView(typename std::decay_t<decltype(v)>::const_t(v)); }, view);
}

}  // namespace unwrap
