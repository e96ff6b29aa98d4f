#pragma once
// The output file types and the TIFF compressions of a save, each with its one table of names and
// codes: the save panel's pop-up titles, the extensions, the words the front end takes and what
// the image writer needs.
#include <array>
#include <optional>
#include <string>

namespace QVOutputType {

// The code is the format pop-up's index.
enum class Type : int { JPEG = 0, TIFF = 1, PSD = 2, OpenEXR = 3 };

struct TypeInfo {
    Type type;
    const char* title;                 // the format pop-up's item
    std::array<const char*, 2> names;  // the extensions it is written under, the usual one first
    const char* identifier;            // the image writer's type identifier
};

const std::array<TypeInfo, 4>& types();
const TypeInfo& info(Type type);

// The type of a pop-up index; JPEG for an index outside the table.
Type typeOfCode(int code);
// The type an extension names: one of its names, in lower or in upper case ("tif", "TIFF").
std::optional<Type> typeOfExtension(const std::string& extension);
// The type a word names: one of its names in lower case ("jpeg", "tif").
std::optional<Type> typeNamed(const std::string& name);
const char* typeIdentifier(Type type);

// The code is the compression pop-up's index.
enum class TiffCompression : int { None = 0, LZW = 1, PackBits = 2 };

struct CompressionInfo {
    TiffCompression compression;
    const char* title;  // the compression pop-up's item
    const char* name;   // the front end's word
    int tag;            // the TIFF tag value; 0 leaves the encoded file as it is
};

const std::array<CompressionInfo, 3>& compressions();
// The compression of a pop-up index; none for an index outside the table.
TiffCompression compressionOfCode(int code);
std::optional<TiffCompression> compressionNamed(const std::string& name);
int tiffCompressionTag(TiffCompression compression);

}  // namespace QVOutputType
