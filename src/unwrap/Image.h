#pragma once
// The engine's images: interleaved RGB with 8 or 16 bits per channel, the type chosen at run time
// from the file that was read. The output of an unwrap always has its input's pixel type.
#include <boost/gil/extension/dynamic_image/any_image.hpp>
#include <boost/gil/typedefs.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "unwrap/Sampler.h"

namespace unwrap {

namespace gil = boost::gil;

using Image = gil::any_image<gil::rgb8_image_t, gil::rgb16_image_t>;
using ImageView = Image::view_t;
using ConstImageView = Image::const_view_t;

// The sampler codes as the engine's loops and its C entry take them (see Sampler.h).
enum SamplerType : int {
    bilinear = samplerCode(Sampler::Bilinear),
    gaussian = samplerCode(Sampler::Gaussian),
    mitchell = samplerCode(Sampler::Mitchell),
    lanczos2 = samplerCode(Sampler::Lanczos2),
    lanczos3 = samplerCode(Sampler::Lanczos3),
    bspline = samplerCode(Sampler::BSpline),
};
constexpr int kSamplerTypeCount = int(kSamplers.size());

// The most pixels an image read or made by the engine may have: the image layer's own limit (a
// 16384 x 16384 picture). A file's header may claim any size; a claim above this is refused before
// anything is allocated for it.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t(1) << 28;

// Why a file's picture of the given size is not read (empty when it is read).
std::string imageSizeRefusal(std::uint64_t width, std::uint64_t height);

// Bytes that an RGB image of the given size takes. Throws std::bad_alloc for a negative size or one
// whose byte count an allocation cannot address, so that no size computation can overflow.
std::size_t checkedImageBytes(std::ptrdiff_t width, std::ptrdiff_t height, int bytesPerChannel);

// An image whose pixels are left unset when it is made, for an output that is written whole: its
// memory and the view on it. (GIL's own images set every pixel first, which for a photo-sized
// output takes longer than the unwrap that then writes them all.)
struct OutputImage {
    std::unique_ptr<unsigned char[]> memory;
    ImageView view;

    ConstImageView constView() const;
};

// Makes into out an image of like's pixel type with the given size (throws std::bad_alloc as above).
void construct_image(const ConstImageView& like, int width, int height, OutputImage& out);

}  // namespace unwrap
