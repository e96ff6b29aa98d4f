#include "Mutator.h"

#include <cstring>

#include "TestImages.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/ImageTool.h"

namespace qvtest {

using namespace qv;

const std::vector<std::string>& mutationSeedNames() {
    static const std::vector<std::string> names = {"jpeg",         "tiff8",       "tiff16-lzw", "tiff-packbits", "tiff-tiled",
                                                   "tiff-planes",  "tiff-palette", "png",        "png16",         "psd8",
                                                   "psd16",        "exr",          "dng"};
    return names;
}

Data makeMutationSeed(const std::string& name) {
    using io::ImageType;
    const Dictionary metadata = sampleMetadata(6);
    const Data profile = makeSRGBProfile();
    auto compressed = [&](int compression) {
        Dictionary d = metadata;
        d[io::kCGImagePropertyTIFFDictionary][io::kCGImagePropertyTIFFCompression] = compression;
        return d;
    };
    if (name == "jpeg") return encodeWithLayer(ImageType::JPEG, 40, 24, false, metadata, profile);
    if (name == "tiff8") return encodeWithLayer(ImageType::TIFF, 40, 24, false, metadata, profile);
    if (name == "tiff16-lzw") return encodeWithLayer(ImageType::TIFF, 40, 24, true, compressed(io::kTIFFCompressionLZW));
    if (name == "tiff-packbits") return encodeWithLayer(ImageType::TIFF, 40, 24, false, compressed(io::kTIFFCompressionPackBits));
    if (name == "tiff-tiled") return makeTiff(TiffLayout::Tiled, 40, 24);
    if (name == "tiff-planes") return makeTiff(TiffLayout::SeparatePlanes, 40, 24);
    if (name == "tiff-palette") return makeTiff(TiffLayout::Palette, 40, 24);
    if (name == "png") return encodeWithLayer(ImageType::PNG, 40, 24, false, metadata, profile);
    if (name == "png16") return encodeWithLayer(ImageType::PNG, 40, 24, true, {});
    if (name == "psd8") return encodeWithLayer(ImageType::PSD, 40, 24, false, metadata, profile);
    if (name == "psd16") return encodeWithLayer(ImageType::PSD, 40, 24, true, {});
    if (name == "exr") return encodeWithLayer(ImageType::OpenEXR, 40, 24, true, metadata);
    if (name == "dng") return makeDng(40, 24, "Testmaker", "Rawcam", 6);
    return {};
}

Data Mutator::mutate(const Data& input) {
    Data out = input;
    const int steps = 1 + int(below(4));
    static const std::uint32_t interesting[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF,
                                                0x80000000u, 0xFFFFFFFFu, 65500, 30001, 1u << 20};
    for (int i = 0; i < steps && !out.empty(); ++i) {
        const std::size_t at = below(out.size());
        switch (below(7)) {
        case 0:  // flip a few bits
            for (int k = 0, n = 1 + int(below(8)); k < n; ++k) out[below(out.size())] ^= std::uint8_t(1u << below(8));
            break;
        case 1: {  // an interesting number over two or four bytes, either byte order
            const std::uint32_t v = interesting[below(std::size(interesting))];
            const std::size_t width = below(2) ? 4 : 2;
            const bool big = below(2);
            for (std::size_t k = 0; k < width && at + k < out.size(); ++k) {
                const std::size_t shift = big ? (width - 1 - k) * 8 : k * 8;
                out[at + k] = std::uint8_t(v >> shift);
            }
            break;
        }
        case 2:  // truncate
            out.resize(at);
            break;
        case 3: {  // remove a range
            const std::size_t n = std::min(out.size() - at, 1 + below(64));
            out.erase(out.begin() + long(at), out.begin() + long(at + n));
            break;
        }
        case 4: {  // repeat a range
            const std::size_t n = std::min(out.size() - at, 1 + below(64));
            Data copy(out.begin() + long(at), out.begin() + long(at + n));
            out.insert(out.begin() + long(below(out.size())), copy.begin(), copy.end());
            break;
        }
        case 5: {  // insert random bytes
            Data noise(1 + below(16));
            for (auto& b : noise) b = std::uint8_t(m_random());
            out.insert(out.begin() + long(at), noise.begin(), noise.end());
            break;
        }
        default:  // random bytes over a range
            for (std::size_t k = 0, n = 1 + below(16); k < n && at + k < out.size(); ++k) out[at + k] = std::uint8_t(m_random());
            break;
        }
    }
    return out;
}

std::string exerciseReader(const Data& input, const std::string& scratchFolder) {
    std::string error;
    auto source = io::ImageSource::createWithData(input, error);
    if (!source) return error.empty() ? "a failed open gave no reason" : "";
    const Dictionary properties = source->properties();
    if (properties.at(io::kCGImagePropertyPixelWidth).integerOr(-1) != source->pixelWidth())
        return "PixelWidth disagrees with the source";
    io::DecodeOptions options;
    options.maxPixels = std::uint64_t(1) << 24;
    auto stored = source->createImage(0, options, error);
    if (stored) {
        if (stored->width != source->pixelWidth() || stored->height != source->pixelHeight())
            return "decoded " + std::to_string(stored->width) + "x" + std::to_string(stored->height) + " but the header said " +
                   std::to_string(source->pixelWidth()) + "x" + std::to_string(source->pixelHeight());
        if (bitsPerComponent(stored->format) != source->bitsPerComponent()) return "decoded depth disagrees with the header";
        options.applyOrientation = true;
        auto upright = source->createImage(0, options, error);
        if (!upright) return "the upright decode failed after the stored one worked: " + error;
    } else if (error.empty()) {
        return "a failed decode gave no reason";
    }
    if (!scratchFolder.empty()) {
        const std::string imagePath = scratchFolder + "/image";
        const std::string profilePath = scratchFolder + "/profile";
        writeFile(imagePath, input);
        static const Data profile = makeSRGBProfile();
        writeFile(profilePath, profile);
        if (!io::embedProfile(profilePath, imagePath, error)) {
            if (readFile(imagePath) != input) return "a failed embedding changed the file";
        } else if (!io::ImageSource::createWithPath(imagePath)) {
            return "an embedding left an unreadable file";
        }
    }
    return "";
}

}  // namespace qvtest
