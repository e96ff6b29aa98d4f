#include "unwrap/ImageFile.h"

#include "unwrap/ImageEncoders.h"
#include "unwrap/ReplacementFile.h"

#include <boost/gil/extension/io/jpeg.hpp>
#include <boost/gil/extension/io/tiff.hpp>
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

// The header is read first so that a file that claims an absurd size is refused before anything is
// allocated for it.
template <typename Tag>
void readChecked(const std::string& name, Image& image, const Tag& tag) {
    const auto header = gil::read_image_info(name, tag);
    checkedImageBytes(std::ptrdiff_t(header._info._width), std::ptrdiff_t(header._info._height), 1);
    if constexpr (std::is_same_v<Tag, gil::tiff_tag>) {
        // The reader matches channels and bits only; YCbCr, CIELab and the like would be taken as RGB.
        if (header._info._photometric_interpretation != PHOTOMETRIC_RGB)
            throw std::ios_base::failure("not an RGB TIFF file: " + name);
    }
    gil::read_image(name, image, tag);
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
            case kJpegFile: readChecked(name, image, gil::jpeg_tag()); return;
            case kTiffFile: readChecked(name, image, gil::tiff_tag()); return;
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

void writeImage(const std::string& name, const Image& image) {
    const ConstImageView view = gil::const_view(image);
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
