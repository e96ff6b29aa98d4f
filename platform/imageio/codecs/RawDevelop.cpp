// Camera raw files through LibRaw: developed with the camera's white balance into 16-bit sRGB.
// The pixels stay as the sensor stored them; the orientation goes into the properties like any
// other photo's, so that the caller turns them upright.
#include "imageio/codecs/RawDevelop.h"

#include <libraw/libraw.h>
#include <omp.h>

#include <cmath>
#include <cstring>

#include "imageio/ImageProperties.h"

namespace qv::io::codec::raw {

namespace {

// LibRaw's default handlers print; ours stay silent (the failure reaches the caller as a code).
void ignoreMemoryError(void*, const char*, const char*) {}
void ignoreDataError(void*, const char*, const int) {}

std::unique_ptr<LibRaw> openRaw(const std::uint8_t* bytes, std::size_t size, int& code) {
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->set_memerror_handler(ignoreMemoryError, nullptr);
    raw->set_dataerror_handler(ignoreDataError, nullptr);
    raw->imgdata.params.user_flip = 0;  // keep the stored orientation
    raw->imgdata.params.output_bps = 16;
    raw->imgdata.params.use_camera_wb = 1;
    raw->imgdata.params.output_color = 1;  // sRGB
    // LibRaw only reads the buffer, though its interface takes it as writable.
    code = raw->open_buffer(const_cast<std::uint8_t*>(bytes), size);
    return raw;
}

// LibRaw's flip code (bit 0 mirror x, bit 1 mirror y, bit 2 transpose) as an EXIF orientation.
long orientationOfFlip(int flip) {
    static const long table[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return table[flip & 7];
}

}  // namespace

bool readHeader(const std::uint8_t* bytes, std::size_t size, Header& header, std::string& error) {
    int code = 0;
    auto raw = openRaw(bytes, size, code);
    if (code != LIBRAW_SUCCESS) {
        error = libraw_strerror(code);
        return false;
    }
    const int flip = raw->imgdata.sizes.flip;
    raw->adjust_sizes_info_only();
    header.width = raw->imgdata.sizes.iwidth;
    header.height = raw->imgdata.sizes.iheight;
    header.bitsPerComponent = 16;
    header.decodedAsSRGB = true;
    header.orientation = orientationOfFlip(flip);
    // What LibRaw knows serves where Exiv2 finds nothing in the file.
    const auto& id = raw->imgdata.idata;
    const auto& other = raw->imgdata.other;
    Dictionary tiff, exif;
    if (id.make[0]) tiff[kCGImagePropertyTIFFMake] = std::string(id.make);
    if (id.model[0]) tiff[kCGImagePropertyTIFFModel] = std::string(id.model);
    if (other.focal_len > 0) exif[kCGImagePropertyExifFocalLength] = double(other.focal_len);
    if (other.aperture > 0) exif["FNumber"] = double(other.aperture);
    if (other.shutter > 0) exif["ExposureTime"] = double(other.shutter);
    if (other.iso_speed > 0) exif["ISOSpeedRatings"] = Array{Value(long(other.iso_speed + 0.5f))};
    const float maxAperture = raw->imgdata.lens.EXIF_MaxAp;
    if (maxAperture > 0) exif[kCGImagePropertyExifMaxApertureValue] = 2.0 * std::log2(double(maxAperture));
    if (!tiff.empty()) header.properties[kCGImagePropertyTIFFDictionary] = std::move(tiff);
    if (!exif.empty()) header.properties[kCGImagePropertyExifDictionary] = std::move(exif);
    return header.width > 0 && header.height > 0 ? true : (error = "the raw file has no picture", false);
}

std::optional<Bitmap> develop(const std::uint8_t* bytes, std::size_t size, const Limits& limits, std::string& error) {
    int code = 0;
    auto raw = openRaw(bytes, size, code);
    if (code != LIBRAW_SUCCESS) {
        error = libraw_strerror(code);
        return std::nullopt;
    }
    const auto& sizes = raw->imgdata.sizes;
    // Raw data is dense: a file smaller than its sensor claims is judged by the same rule.
    if (!plausibleSize(sizes.raw_width, sizes.raw_height, size, limits, error)) return std::nullopt;
    // LibRaw's OpenMP teams cost more than they save on small pictures; the setting is this
    // thread's own and goes back as it was.
    const int previousThreads = omp_get_max_threads();
    if (std::uint64_t(sizes.raw_width) * sizes.raw_height < (std::uint64_t(1) << 21)) omp_set_num_threads(1);
    code = raw->unpack();
    if (code == LIBRAW_SUCCESS) code = raw->dcraw_process();
    omp_set_num_threads(previousThreads);
    if (code != LIBRAW_SUCCESS) {
        error = libraw_strerror(code);
        return std::nullopt;
    }
    libraw_processed_image_t* image = raw->dcraw_make_mem_image(&code);
    if (!image) {
        error = libraw_strerror(code);
        return std::nullopt;
    }
    std::optional<Bitmap> result;
    if (image->type == LIBRAW_IMAGE_BITMAP && image->bits == 16 && (image->colors == 3 || image->colors == 1)) {
        Bitmap out = Bitmap::make(image->width, image->height, PixelFormat::RGB16);
        if (out.isValid()) {
            const auto* samples = reinterpret_cast<const std::uint16_t*>(image->data);
            for (int y = 0; y < out.height; ++y) {
                std::uint16_t* d = reinterpret_cast<std::uint16_t*>(out.row(y));
                const std::uint16_t* s = samples + std::size_t(y) * image->width * image->colors;
                if (image->colors == 3) {
                    std::memcpy(d, s, std::size_t(image->width) * 6);
                } else {
                    for (int x = 0; x < image->width; ++x) d[x * 3] = d[x * 3 + 1] = d[x * 3 + 2] = s[x];
                }
            }
            result = std::move(out);
        } else {
            error = "out of memory";
        }
    } else {
        error = "unexpected developed raw layout";
    }
    LibRaw::dcraw_clear_mem(image);
    return result;
}

bool recognised(const std::uint8_t* bytes, std::size_t size) {
    int code = 0;
    auto raw = openRaw(bytes, size, code);
    return code == LIBRAW_SUCCESS && raw->imgdata.sizes.raw_width > 0 && raw->imgdata.sizes.raw_height > 0;
}

}  // namespace qv::io::codec::raw
