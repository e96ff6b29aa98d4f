#include "output/QVOutputType.h"

#include <algorithm>
#include <cctype>

#include "imageio/ImageProperties.h"

namespace QVOutputType {
namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

template <class Matches>
std::optional<Type> typeWhere(Matches matches) {
    for (const TypeInfo& entry : types())
        if (matches(entry)) return entry.type;
    return std::nullopt;
}

}  // namespace

const std::array<TypeInfo, 4>& types() {
    static const std::array<TypeInfo, 4> table = {{
        {Type::JPEG, "JPEG", {"jpg", "jpeg"}, "public.jpeg"},
        {Type::TIFF, "TIF", {"tif", "tiff"}, "public.tiff"},
        {Type::PSD, "PSD", {"psd", nullptr}, "com.adobe.photoshop-image"},
        {Type::OpenEXR, "EXR", {"exr", nullptr}, "com.ilm.openexr-image"},
    }};
    return table;
}

const TypeInfo& info(Type type) {
    for (const TypeInfo& entry : types())
        if (entry.type == type) return entry;
    return types().front();
}

Type typeOfCode(int code) {
    for (const TypeInfo& entry : types())
        if (int(entry.type) == code) return entry.type;
    return Type::JPEG;
}

std::optional<Type> typeOfExtension(const std::string& extension) {
    return typeWhere([&](const TypeInfo& entry) {
        return std::any_of(entry.names.begin(), entry.names.end(), [&](const char* name) {
            return name && (extension == name || extension == upper(name));
        });
    });
}

std::optional<Type> typeNamed(const std::string& name) {
    return typeWhere([&](const TypeInfo& entry) {
        return std::any_of(entry.names.begin(), entry.names.end(),
                           [&](const char* known) { return known && name == known; });
    });
}

const char* typeIdentifier(Type type) { return info(type).identifier; }

const std::array<CompressionInfo, 3>& compressions() {
    static const std::array<CompressionInfo, 3> table = {{
        {TiffCompression::None, "None", "none", 0},
        {TiffCompression::LZW, "LZW", "lzw", qv::io::kTIFFCompressionLZW},
        {TiffCompression::PackBits, "PackBits", "packbits", qv::io::kTIFFCompressionPackBits},
    }};
    return table;
}

TiffCompression compressionOfCode(int code) {
    for (const CompressionInfo& entry : compressions())
        if (int(entry.compression) == code) return entry.compression;
    return TiffCompression::None;
}

std::optional<TiffCompression> compressionNamed(const std::string& name) {
    for (const CompressionInfo& entry : compressions())
        if (name == entry.name) return entry.compression;
    return std::nullopt;
}

int tiffCompressionTag(TiffCompression compression) {
    for (const CompressionInfo& entry : compressions())
        if (entry.compression == compression) return entry.tag;
    return 0;
}

}  // namespace QVOutputType
