#include "shell/unwrap/UnwrapPhoto.h"

#include <tbb/parallel_for.h>

#include <cstring>
#include <iostream>

#include "engine/PhotoReadAhead.h"
#include "imageio/ImageSource.h"
#include "imageio/Orientation.h"
#include "unwrap/Unwrap.h"

namespace shell {

namespace {

namespace gil = boost::gil;

// The bitmap's pixels as interleaved RGB of its depth: grey is spread over the three channels and
// alpha dropped (a premultiplied pixel is composited over black, which is what the engine's black
// surround is). Rows are converted on every core: a photo is tens of megabytes.
template <class Sample>
qv::Bitmap rgbOf(const qv::Bitmap& in) {
    const int channels = qv::channelCount(in.format);
    qv::Bitmap out = qv::Bitmap::makeUninitialized(in.width, in.height,
                                                   sizeof(Sample) == 1 ? qv::PixelFormat::RGB8 : qv::PixelFormat::RGB16);
    if (!out.isValid()) return out;
    tbb::parallel_for(tbb::blocked_range<int>(0, in.height, 16), [&](const tbb::blocked_range<int>& rows) {
        for (int y = rows.begin(); y < rows.end(); ++y) {
            const Sample* from = reinterpret_cast<const Sample*>(in.row(y));
            Sample* to = reinterpret_cast<Sample*>(out.row(y));
            for (int x = 0; x < in.width; ++x, from += channels, to += 3) {
                if (channels <= 2) to[0] = to[1] = to[2] = from[0];
                else std::memcpy(to, from, 3 * sizeof(Sample));
            }
        }
    });
    return out;
}

qv::Bitmap rgbCopyOf(const qv::Bitmap& in) {
    return qv::bytesPerSample(in.format) == 2 ? rgbOf<std::uint16_t>(in) : rgbOf<std::uint8_t>(in);
}

qv::Bitmap rgbOf(qv::Bitmap&& in) {
    if (in.format == qv::PixelFormat::RGB8 || in.format == qv::PixelFormat::RGB16) return std::move(in);
    return rgbCopyOf(in);
}

// The photo's pixels as stored, as interleaved RGB. The reading ahead that the open started holds
// them turned upright and in the renderer's layout, so it is taken only for a photo that no turn
// changes, that has no alpha (premultiplied is then the same as straight) and whose reading has
// the photo's size and depth; the file is decoded otherwise, or when the photo changed since.
std::optional<qv::Bitmap> storedPixels(const std::string& path, const qv::io::ImageSource& source,
                                       std::string& reason) {
    const long orientation = source.orientation();
    const bool aheadIsAsStored = (orientation < 2 || orientation > 8) && !source.hasAlpha() &&
                                 (source.imageType() == qv::io::ImageType::JPEG ||
                                  source.imageType() == qv::io::ImageType::TIFF);
    if (aheadIsAsStored) {
        const std::shared_ptr<const qv::Bitmap> ahead = QVPhotoReadAhead::take(path).pixels();
        const qv::PixelFormat expected = source.bitsPerComponent() == 16 ? qv::PixelFormat::RGBA16 : qv::PixelFormat::RGBA8;
        if (ahead && ahead->format == expected && ahead->width == source.pixelWidth() &&
            ahead->height == source.pixelHeight())
            return rgbCopyOf(*ahead);
    }
    std::optional<qv::Bitmap> decoded = source.createImage(0, {}, reason);
    if (!decoded) return std::nullopt;
    return rgbOf(std::move(*decoded));
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
    auto source = qv::io::ImageSource::createWithPath(path, error);
    // The pixels as stored: the preview unwrapped the working copy as stored and turned the result
    // upright, so the save does the same, and the field of view spans the same side.
    std::optional<qv::Bitmap> stored = source ? storedPixels(path, *source, error) : std::nullopt;
    if (!stored) {
        std::cerr << "Unwrap: " << path << ": " << error << std::endl;
        return {};
    }
    qv::Bitmap input = std::move(*stored);
    const bool sixteen = qv::bytesPerSample(input.format) == 2;
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
