#include "foundation/BinaryPropertyListShape.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::size_t kTrailerSize = 32;

// Object markers: the high four bits of an object's first byte.
enum Marker : unsigned {
    kSimple = 0x0, kInteger = 0x1, kReal = 0x2, kDate = 0x3, kData = 0x4, kAsciiString = 0x5,
    kUtf16String = 0x6, kUid = 0x8, kArray = 0xA, kSet = 0xC, kDictionary = 0xD
};

class Shape {
public:
    explicit Shape(std::string_view bytes) : m_bytes(bytes) {}

    bool readTrailer() {
        if (m_bytes.size() < kMagic.size() + kTrailerSize) return false;
        const std::size_t trailer = m_bytes.size() - kTrailerSize;
        m_offsetSize = byte(trailer + 6);
        m_refSize = byte(trailer + 7);
        const auto count = number(trailer + 8, 8), top = number(trailer + 16, 8), table = number(trailer + 24, 8);
        if (!count || !top || !table) return false;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8) return false;
        if (*count == 0 || *top >= *count || *table < kMagic.size() || *table > trailer) return false;
        if (*count > (trailer - *table) / m_offsetSize) return false;  // the offset table ends before the trailer
        m_objectCount = std::size_t(*count);
        m_top = std::size_t(*top);
        m_table = std::size_t(*table);
        return true;
    }

    // Walks every object reachable from the top without recursion: the height of each (1 for a
    // value, one more than its highest member for a container) is worked out once, after its
    // members', and an object met again while its own members are being walked is a cycle.
    //
    // libplist builds a node for every reference, so an object referred to twice is built twice:
    // the nodes the whole tree would take (counted the same way, once for each reference) are held
    // to a few times the file's size, which a file of shared leaves stays far below and a chain of
    // containers each referring twice to the next would pass at once.
    bool walk(int maxDepth) {
        enum class State : std::uint8_t { Unseen, Open, Done };
        const std::uint64_t nodeLimit = 4 * std::uint64_t(m_bytes.size()) + 1024;
        std::vector<State> state(m_objectCount, State::Unseen);
        std::vector<int> height(m_objectCount, 0);
        std::vector<std::uint64_t> nodes(m_objectCount, 0);
        struct Frame {
            std::size_t object;
            std::vector<std::size_t> members;
            std::size_t next = 0;
        };
        std::vector<Frame> stack;
        auto enter = [&](std::size_t object) -> bool {
            if (state[object] == State::Open) return false;
            if (state[object] == State::Done) return true;
            std::vector<std::size_t> members;
            if (!inspect(object, members)) return false;
            state[object] = State::Open;
            stack.push_back({object, std::move(members)});
            return stack.size() <= std::size_t(maxDepth);
        };
        if (!enter(m_top)) return false;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next < frame.members.size()) {
                if (!enter(frame.members[frame.next++])) return false;
                continue;
            }
            int highest = 0;
            std::uint64_t built = 1;
            for (std::size_t member : frame.members) {
                highest = std::max(highest, height[member]);
                built += nodes[member];
                if (built > nodeLimit) return false;
            }
            height[frame.object] = highest + 1;
            nodes[frame.object] = built;
            if (height[frame.object] > maxDepth) return false;
            state[frame.object] = State::Done;
            stack.pop_back();
        }
        return true;
    }

private:
    unsigned byte(std::size_t at) const { return static_cast<unsigned char>(m_bytes[at]); }

    std::optional<std::uint64_t> number(std::size_t at, std::size_t size) const {
        if (at > m_bytes.size() || size > m_bytes.size() - at) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value = (value << 8) | byte(at + i);
        return value;
    }

    std::optional<std::size_t> offsetOf(std::size_t object) const {
        const auto offset = number(m_table + object * m_offsetSize, m_offsetSize);
        if (!offset || *offset < kMagic.size() || *offset >= m_table) return std::nullopt;
        return std::size_t(*offset);
    }

    // Checks the object's bytes and lists the objects a container refers to.
    bool inspect(std::size_t object, std::vector<std::size_t>& members) const {
        const auto start = offsetOf(object);
        if (!start) return false;
        const unsigned marker = byte(*start) >> 4, info = byte(*start) & 0xF;
        std::size_t at = *start + 1;
        auto fits = [&](std::uint64_t length) { return length <= m_table - at; };  // objects lie before the table
        switch (marker) {
        case kSimple: return info == 0x0 || info == 0x8 || info == 0x9;
        case kInteger:
        case kReal: return info <= 4 && fits(std::uint64_t(1) << info);
        case kDate: return info == 3 && fits(8);
        case kUid: return fits(info + 1);
        case kData:
        case kAsciiString:
        case kUtf16String:
        case kArray:
        case kSet:
        case kDictionary: break;
        default: return false;
        }
        std::uint64_t count = info;
        if (info == 0xF) {
            if (at >= m_table || (byte(at) >> 4) != kInteger || (byte(at) & 0xF) > 3) return false;
            const std::size_t size = std::size_t(1) << (byte(at) & 0xF);
            const auto stored = number(at + 1, size);
            if (!stored || !fits(1 + size)) return false;
            count = *stored;
            at += 1 + size;
        }
        switch (marker) {
        case kData: return fits(count);
        case kAsciiString: {
            if (!fits(count)) return false;
            return m_bytes.substr(at, std::size_t(count)).find('\0') == std::string_view::npos;
        }
        case kUtf16String: {
            if (count > m_table / 2 || !fits(count * 2)) return false;
            for (std::size_t i = 0; i < count; ++i)
                if (byte(at + 2 * i) == 0 && byte(at + 2 * i + 1) == 0) return false;
            return true;
        }
        default: break;
        }
        const std::uint64_t references = marker == kDictionary ? count * 2 : count;
        if (count > m_table || references > (m_table - at) / m_refSize) return false;
        members.reserve(std::size_t(references));
        for (std::uint64_t i = 0; i < references; ++i) {
            const auto member = number(at + std::size_t(i) * m_refSize, m_refSize);
            if (!member || *member >= m_objectCount) return false;
            // A dictionary's first half of references are its keys, which are strings.
            if (marker == kDictionary && i < count && !isString(std::size_t(*member))) return false;
            members.push_back(std::size_t(*member));
        }
        return true;
    }

    bool isString(std::size_t object) const {
        const auto start = offsetOf(object);
        if (!start) return false;
        const unsigned marker = byte(*start) >> 4;
        return marker == kAsciiString || marker == kUtf16String;
    }

    std::string_view m_bytes;
    std::size_t m_offsetSize = 0, m_refSize = 0, m_objectCount = 0, m_top = 0, m_table = 0;
};

}  // namespace

bool looksLikeBinaryPropertyList(std::string_view bytes) { return bytes.substr(0, 6) == "bplist"; }

bool binaryPropertyListIsSound(std::string_view bytes, int maxDepth) {
    if (bytes.substr(0, kMagic.size()) != kMagic) return false;
    Shape shape(bytes);
    return shape.readTrailer() && shape.walk(maxDepth);
}

}  // namespace qv
