#include "unwrap/Image.h"

#include <boost/variant2/variant.hpp>

#include <cstdint>
#include <new>

namespace unwrap {

std::size_t checkedImageBytes(std::ptrdiff_t width, std::ptrdiff_t height, int bytesPerChannel) {
    // Far below what 64-bit pointer arithmetic can address, far above any photograph.
    constexpr unsigned __int128 kLimit = std::uint64_t(1) << 44;
    if (width < 0 || height < 0 || bytesPerChannel <= 0) throw std::bad_alloc();
    const unsigned __int128 bytes =
        (unsigned __int128)width * (unsigned __int128)height * 3u * (unsigned __int128)bytesPerChannel;
    if (bytes > kLimit) throw std::bad_alloc();
    return std::size_t(bytes);
}

void construct_image(const ConstImageView& like, int width, int height, Image& out) {
    boost::variant2::visit(
        [&](const auto& view) {
            using View = std::decay_t<decltype(view)>;
            using Channel = typename gil::channel_type<View>::type;
            checkedImageBytes(width, height, int(sizeof(Channel)));
            using Pixel = gil::pixel<std::remove_const_t<Channel>, gil::rgb_layout_t>;
            // emplace: assigning an image to an any_image would copy every pixel once more. An empty
            // image is made without an allocation (one of no bytes would never be given back).
            if (width == 0 || height == 0)
                out.emplace<gil::image<Pixel, false>>();
            else
                out.emplace<gil::image<Pixel, false>>(width, height);
        },
        like);
}

}  // namespace unwrap
