#include "foundation/PropertyList.h"

#include "foundation/BitCast.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "foundation/BinaryPropertyListShape.h"
#include "foundation/Files.h"

namespace qv {

// How reals are written.
//
// A real that came from single precision must come back with its exact 32-bit pattern: presets
// store scrambled floats whose byte-reversed patterns can be NaNs or infinities. libplist writes
// reals with 17 significant digits, which brings every finite double back exactly, and so a finite
// float widened to double narrows back to the same float. That leaves three cases:
//  - Infinities are written as "+infinity" and "-infinity", which every reader understands.
//  - Negative zero: libplist writes every zero as "0.0". We write the smallest negative subnormal
//    double instead; a reader that narrows it to single precision gets -0.0 exactly, one that reads
//    a double gets a value no different from zero in practice, and we read it back as -0.0.
//  - NaN: libplist writes "nan" and drops the payload. A single-precision NaN is written as a
//    finite double far outside the float range that carries the pattern: the float's sign, the
//    binary exponent kNaNExponent, a fixed 20-bit tag at the top of the fraction and the float's
//    32-bit pattern at the bottom. A reader that does not know the tag narrows it to an infinity of
//    the same sign; we recognise the tag and restore the exact pattern. (Double-precision NaNs have
//    no pattern to keep and are written as "nan".)
// All finite values stay ordinary <real> numbers, so files from older versions, which hold plain
// reals, read as before.
namespace {

constexpr std::uint64_t kNaNExponentField = 0x7E0;  // 2^993: no float comes near it
constexpr std::uint64_t kNaNTag = 0x5EA1F;

std::uint64_t bitsOf(double d) { return bitCast<std::uint64_t>(d); }
double doubleFromBits(std::uint64_t bits) { return bitCast<double>(bits); }

bool isFloatNaNPattern(std::uint32_t bits) { return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0; }

double encodeFloatNaN(std::uint32_t pattern) {
    std::uint64_t sign = std::uint64_t(pattern >> 31) << 63;
    return doubleFromBits(sign | (kNaNExponentField << 52) | (kNaNTag << 32) | pattern);
}

std::optional<std::uint32_t> decodeFloatNaN(double d) {
    std::uint64_t bits = bitsOf(d);
    auto pattern = std::uint32_t(bits & 0xFFFFFFFFu);
    bool matches = ((bits >> 52) & 0x7FF) == kNaNExponentField && ((bits >> 32) & 0xFFFFF) == kNaNTag &&
                   isFloatNaNPattern(pattern) && (bits >> 63) == (pattern >> 31);
    if (!matches) return std::nullopt;
    return pattern;
}

const double kNegativeZeroStandIn = -std::numeric_limits<double>::denorm_min();

double realToWrite(const Real& r) {
    double d = r.value;
    if (r.singleBits) {
        if (isFloatNaNPattern(*r.singleBits)) return encodeFloatNaN(*r.singleBits);
        d = double(r.asFloat());
    }
    if (d == 0 && std::signbit(d)) return kNegativeZeroStandIn;
    return d;
}

Real realFromFile(double d) {
    if (auto pattern = decodeFloatNaN(d)) return Real::fromFloat(bitCast<float>(*pattern));
    if (bitsOf(d) == bitsOf(kNegativeZeroStandIn)) return Real{-0.0, std::nullopt};
    return Real{d, std::nullopt};
}

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// --- Value -> libplist -------------------------------------------------------------------------

plist_t toPlist(const Value& value, int depth);

plist_t dictionaryToPlist(const Dictionary& dictionary, int depth) {
    PlistPtr node(plist_new_dict());
    for (const auto& [key, child] : dictionary) {
        if (child.isNull()) continue;
        plist_t item = toPlist(child, depth + 1);
        if (!item) return nullptr;
        plist_dict_set_item(node.get(), key.c_str(), item);
    }
    return node.release();
}

plist_t arrayToPlist(const Array& array, int depth) {
    PlistPtr node(plist_new_array());
    for (const Value& child : array) {
        if (child.isNull()) continue;
        plist_t item = toPlist(child, depth + 1);
        if (!item) return nullptr;
        plist_array_append_item(node.get(), item);
    }
    return node.release();
}

plist_t dateToPlist(const Date& date) {
    double seconds = std::floor(date.secondsSinceReferenceDate);
    if (!(seconds >= std::numeric_limits<std::int32_t>::min())) seconds = std::numeric_limits<std::int32_t>::min();
    if (seconds > std::numeric_limits<std::int32_t>::max()) seconds = std::numeric_limits<std::int32_t>::max();
    return plist_new_date(std::int32_t(seconds), 0);
}

plist_t toPlist(const Value& value, int depth) {
    if (depth > kMaxPropertyListDepth) return nullptr;
    switch (value.type()) {
    case Value::Type::Null: return nullptr;
    case Value::Type::Dictionary: return dictionaryToPlist(*value.dictionary(), depth);
    case Value::Type::Array: return arrayToPlist(*value.array(), depth);
    case Value::Type::String: return plist_new_string(value.string()->c_str());
    case Value::Type::Integer: return plist_new_uint(std::uint64_t(*value.asInteger()));
    case Value::Type::Real: return plist_new_real(realToWrite(*value.real()));
    case Value::Type::Bool: return plist_new_bool(*value.asBool() ? 1 : 0);
    case Value::Type::Date: return dateToPlist(*value.date());
    case Value::Type::Data: {
        const Data& data = *value.data();
        return plist_new_data(reinterpret_cast<const char*>(data.data()), data.size());
    }
    }
    return nullptr;
}

// --- libplist -> Value -------------------------------------------------------------------------

Value fromPlist(plist_t node, int depth);

std::string takeString(char* text) {
    std::string result = text ? text : "";
    std::free(text);
    return result;
}

Value dictionaryFromPlist(plist_t node, int depth) {
    Dictionary result;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (!iter) return Value(result);
    for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, iter, &key, &child);
        if (!child) {
            std::free(key);
            break;
        }
        std::string name = takeString(key);
        Value converted = fromPlist(child, depth + 1);
        if (converted.isNull()) {
            std::free(iter);
            return Value();
        }
        result[name] = std::move(converted);
    }
    std::free(iter);
    return Value(std::move(result));
}

Value arrayFromPlist(plist_t node, int depth) {
    Array result;
    std::uint32_t count = plist_array_get_size(node);
    result.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Value converted = fromPlist(plist_array_get_item(node, i), depth + 1);
        if (converted.isNull()) return Value();
        result.push_back(std::move(converted));
    }
    return Value(std::move(result));
}

Value fromPlist(plist_t node, int depth) {
    if (!node || depth > kMaxPropertyListDepth) return Value();
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: return dictionaryFromPlist(node, depth);
    case PLIST_ARRAY: return arrayFromPlist(node, depth);
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        return Value(takeString(text));
    }
    case PLIST_UINT: {
        std::uint64_t n = 0;
        plist_get_uint_val(node, &n);
        return Value(static_cast<long long>(n));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(realFromFile(d));
    }
    case PLIST_BOOLEAN: {
        std::uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return Value(Date{seconds + microseconds / 1e6});
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Data data(reinterpret_cast<std::uint8_t*>(bytes), reinterpret_cast<std::uint8_t*>(bytes) + length);
        std::free(bytes);
        return Value(std::move(data));
    }
    case PLIST_UID: {
        // Keyed archives reference objects this way; keep the number where the XML form puts it.
        std::uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        Dictionary reference;
        reference["CF$UID"] = Value(static_cast<long long>(uid));
        return Value(std::move(reference));
    }
    default: return Value();
    }
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool isNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// libplist's XML parser and its tree are recursive; a file nested thousands of levels deep would
// exhaust the stack. Counting the container tags first keeps such a file out. Comments and CDATA
// sections are skipped; anything else odd is left for the parser to refuse.
bool nestingWithinLimit(std::string_view xml) {
    int depth = 0;
    std::size_t i = 0;
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        std::string_view rest = xml.substr(i);
        if (startsWith(rest, "<!--") || startsWith(rest, "<![CDATA[")) {
            std::string_view terminator = rest[2] == '-' ? "-->" : "]]>";
            std::size_t end = xml.find(terminator, i + 4);
            if (end == std::string_view::npos) return true;
            i = end + terminator.size();
            continue;
        }
        std::size_t close = xml.find('>', i);
        if (close == std::string_view::npos) return true;
        bool closing = rest.size() > 1 && rest[1] == '/';
        std::size_t nameStart = i + 1 + (closing ? 1 : 0);
        std::size_t nameEnd = nameStart;
        while (nameEnd < close && isNameChar(xml[nameEnd])) ++nameEnd;
        std::string_view name = xml.substr(nameStart, nameEnd - nameStart);
        if (name == "dict" || name == "array") {
            if (closing) {
                --depth;
            } else if (xml[close - 1] != '/' && ++depth > kMaxPropertyListDepth) {
                return false;
            }
        }
        i = close + 1;
    }
    return true;
}

}  // namespace

Value parsePropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() >= std::numeric_limits<std::uint32_t>::max()) return Value();
    if (looksLikeBinaryPropertyList(bytes)) {
        if (!binaryPropertyListIsSound(bytes, kMaxPropertyListDepth)) return Value();
        plist_t root = nullptr;
        plist_from_bin(bytes.data(), std::uint32_t(bytes.size()), &root);
        PlistPtr owner(root);
        return fromPlist(root, 1);
    }
    // XML has no NUL character. libplist takes one inside a <string> or <key> and then aborts the
    // process when the text is asked for, so such a file is refused as damaged here.
    if (bytes.find('\0') != std::string_view::npos) return Value();
    if (!nestingWithinLimit(bytes)) return Value();
    // The parser scans with C string functions: hand it a terminated copy.
    std::string text(bytes);
    plist_t root = nullptr;
    plist_from_xml(text.c_str(), std::uint32_t(text.size()), &root);
    PlistPtr owner(root);
    return fromPlist(root, 1);
}

Value readPropertyList(const std::string& path) {
    auto bytes = files::readWhole(path);
    if (!bytes) return Value();
    return parsePropertyList(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::optional<std::string> formatPropertyList(const Value& root) {
    PlistPtr node(toPlist(root, 1));
    if (!node) return std::nullopt;
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) return std::nullopt;
    std::string result(xml, length);
    plist_to_xml_free(xml);
    return result;
}

bool writePropertyList(const Value& root, const std::string& path) {
    auto xml = formatPropertyList(root);
    return xml && files::writeWhole(path, *xml);
}

}  // namespace qv
