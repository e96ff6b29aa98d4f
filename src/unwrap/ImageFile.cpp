#include "unwrap/ImageFile.h"

#include "unwrap/ImageCodecs.h"
#include "unwrap/ReplacementFile.h"

#include <boost/gil/image_view_factory.hpp>
#include <boost/variant2/variant.hpp>

#include <cctype>
#include <ios>
#include <new>
#include <type_traits>

namespace unwrap {

namespace {

constexpr int kJpegQuality = 50;

std::ios_base::failure unsupported(const std::string& name) {
    return std::ios_base::failure("Unsupported filetype for filename " + name);
}

}  // namespace

int formatFromString(const std::string& name) {
    const std::string::size_type dot = name.rfind('.');
    std::string suffix = dot == std::string::npos ? name : name.substr(dot + 1);
    for (char& c : suffix) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (suffix == "jpg" || suffix == "jpeg") return kJpegFile;
    if (suffix == "tif" || suffix == "tiff") return kTiffFile;
    return kUnsupportedFile;
}

void readImage(const std::string& name, Image& image) {
    try {
        switch (formatFromString(name)) {
            case kJpegFile: decodeJpeg(name, image); return;
            case kTiffFile: decodeTiff(name, image); return;
            default: throw unsupported(name);
        }
    } catch (const std::ios_base::failure&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw std::ios_base::failure(std::string(e.what()) + ": " + name);
    }
}

void checkWritable(const std::string& name, const ConstImageView& image) {
    const int type = formatFromString(name);
    if (type == kUnsupportedFile) throw unsupported(name);
    if (image.width() == 0 || image.height() == 0) throw std::ios_base::failure("an empty image: " + name);
    if (type == kJpegFile && !boost::variant2::holds_alternative<gil::rgb8c_view_t>(image))
        throw std::ios_base::failure("JPEG holds only 8 bits per channel, not this image: " + name);
}

void writeImage(const std::string& name, const Image& image) { writeImage(name, gil::const_view(image)); }

void writeImage(const std::string& name, const ConstImageView& view) {
    checkWritable(name, view);
    const int type = formatFromString(name);
    ReplacementFile file(name);
    boost::variant2::visit(
        [&](const auto& v) {
            using Channel = std::remove_const_t<typename gil::channel_type<std::decay_t<decltype(v)>>::type>;
            const auto* rows = gil::interleaved_view_get_raw_data(v);
            const std::ptrdiff_t rowBytes = v.pixels().row_size();
            const int width = int(v.width()), height = int(v.height());
            if constexpr (std::is_same_v<Channel, std::uint8_t>) {
                if (type == kJpegFile) {
                    encodeJpeg(file.takeDescriptor(), name, rows, rowBytes, width, height, kJpegQuality);
                    return;
                }
            }
            encodeTiff(file.takeDescriptor(), name, rows, rowBytes, width, height, int(sizeof(Channel)) * 8);
        },
        view);
    file.commit();
}

}  // namespace unwrap
