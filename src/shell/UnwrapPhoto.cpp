#include "shell/UnwrapPhoto.h"

#include <cstring>
#include <iostream>

#include "imageio/ImageSource.h"
#include "imageio/Orientation.h"
#include "unwrap/Unwrap.h"

namespace shell {

namespace {

namespace gil = boost::gil;

// The bitmap's pixels as interleaved RGB of its depth: RGB stays as it is, grey is spread over the
// three channels and alpha dropped (a premultiplied pixel is composited over black, which is what
// the engine's black surround is).
template <class Sample>
qv::Bitmap rgbOf(const qv::Bitmap& in) {
    const int channels = qv::channelCount(in.format);
    qv::Bitmap out = qv::Bitmap::makeUninitialized(in.width, in.height,
                                                   sizeof(Sample) == 1 ? qv::PixelFormat::RGB8 : qv::PixelFormat::RGB16);
    if (!out.isValid()) return out;
    for (int y = 0; y < in.height; ++y) {
        const Sample* from = reinterpret_cast<const Sample*>(in.row(y));
        Sample* to = reinterpret_cast<Sample*>(out.row(y));
        for (int x = 0; x < in.width; ++x, from += channels, to += 3) {
            if (channels <= 2) to[0] = to[1] = to[2] = from[0];
            else std::memcpy(to, from, 3 * sizeof(Sample));
        }
    }
    return out;
}

template <class Pixel>
auto viewOf(qv::Bitmap& bitmap) {
    return gil::interleaved_view(std::size_t(bitmap.width), std::size_t(bitmap.height),
                                 reinterpret_cast<Pixel*>(bitmap.pixels.data()), std::ptrdiff_t(bitmap.bytesPerRow));
}

}  // namespace

qv::ci::Image unwrapPhoto(const std::string& path, const UnwrapSettings& settings, unsigned long threads) {
    if (const std::string refusal = unwrapRefusal(settings); !refusal.empty()) {
        std::cerr << refusal << std::endl;
        return {};
    }
    std::string error;
    auto source = qv::io::ImageSource::createWithPath(path, &error);
    // The pixels as stored: the preview unwrapped the working copy as stored and turned the result
    // upright, so the save does the same, and the field of view spans the same side.
    std::optional<qv::Bitmap> decoded = source ? source->createImage(0, {}, &error) : std::nullopt;
    if (!decoded) {
        std::cerr << "Unwrap: " << path << ": " << error << std::endl;
        return {};
    }
    const bool sixteen = qv::bytesPerSample(decoded->format) == 2;
    qv::Bitmap input = decoded->format == qv::PixelFormat::RGB8 || decoded->format == qv::PixelFormat::RGB16
                           ? std::move(*decoded)
                           : (sixteen ? rgbOf<std::uint16_t>(*decoded) : rgbOf<std::uint8_t>(*decoded));
    decoded.reset();
    const bool photoSize = settings.width == 0 || settings.height == 0;
    const int width = photoSize ? input.width : int(settings.width);
    const int height = photoSize ? input.height : int(settings.height);
    qv::Bitmap output = qv::Bitmap::makeUninitialized(width, height, input.format);
    if (!input.isValid() || !output.isValid()) {
        std::cerr << "Unwrap: not enough memory for the images" << std::endl;
        return {};
    }
    int result = -1;
    if (sixteen) {
        const unwrap::ConstImageView from(gil::rgb16c_view_t(viewOf<gil::rgb16_pixel_t>(input)));
        result = unwrap::unwrapImage(from, unwrap::ImageView(viewOf<gil::rgb16_pixel_t>(output)), settings.wholeInputFOV(),
                                     settings.wholeOutputFOV(), settings.sampler, threads);
    } else {
        const unwrap::ConstImageView from(gil::rgb8c_view_t(viewOf<gil::rgb8_pixel_t>(input)));
        result = unwrap::unwrapImage(from, unwrap::ImageView(viewOf<gil::rgb8_pixel_t>(output)), settings.wholeInputFOV(),
                                     settings.wholeOutputFOV(), settings.sampler, threads);
    }
    if (result != 0) return {};
    const long orientation = source->orientation();
    if (orientation >= 2 && orientation <= 8) output = qv::io::applyOrientation(output, orientation);
    return qv::ci::Image::fromBitmap(std::move(output));
}

}  // namespace shell
