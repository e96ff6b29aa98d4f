#pragma once
// Camera raw files are read in a child process of our own, the raw helper ("qv-rawdecode" among the
// bundle's resources): LibRaw has crashed on damaged files, and a crash there must end nothing but
// the helper. The application hands the file's bytes to the helper and gets back a summary and the
// developed pixels; a helper that crashes, hangs or is missing is a file that cannot be read.
//
// The exchange, both ways through anonymous memory files: the helper reads the whole file from its
// standard input and writes to its standard output the magic "QVRAW1\n", the length of a property
// list as 8 little-endian bytes, the property list (XML), then for a developed picture its RGB16
// samples, rows top-down. The property list holds "error" (a text) on failure, else what was asked:
// "recognised" (a boolean), or "width", "height", "orientation" and "properties" (a dictionary).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Value.h"
#include "imageio/codecs/Codec.h"

namespace qv::io::codec::rawhelper {

inline constexpr const char* kProgramName = "qv-rawdecode";  // found among the bundle's resources

// The helper's commands (its one argument, the decode command's pixel limit a second one).
inline constexpr const char* kSniff = "sniff";
inline constexpr const char* kHeader = "header";
inline constexpr const char* kDecode = "decode";

// The helper's side: writes one answer to `fd`. False when it could not be written whole.
bool writeAnswer(int fd, const Value& summary, const Bitmap* pixels = nullptr);

// The application's side.
bool recognised(const std::uint8_t* bytes, std::size_t size);
bool readHeader(const std::uint8_t* bytes, std::size_t size, Header& header, std::string& error);
std::optional<Bitmap> decode(const std::uint8_t* bytes, std::size_t size, const Limits& limits, std::string& error);

// The longest a helper may take for one answer before it is stopped.
inline constexpr double kTimeoutSeconds = 300;

}  // namespace qv::io::codec::rawhelper
