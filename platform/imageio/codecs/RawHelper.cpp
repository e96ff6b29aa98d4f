#include "imageio/codecs/RawHelper.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/Bundle.h"
#include "foundation/Process.h"
#include "foundation/PropertyList.h"

namespace qv::io::codec::rawhelper {

namespace {

constexpr char kMagic[] = "QVRAW1\n";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kLengthSize = 8;
constexpr std::uint64_t kLargestSummary = std::uint64_t(64) << 20;

bool writeAll(int fd, const void* bytes, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// An anonymous memory file, closed with the object.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : m_fd(::memfd_create(name, MFD_CLOEXEC)) {}
    ~MemoryFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// The answer's bytes, mapped rather than copied: a developed picture is large.
class MappedAnswer {
public:
    explicit MappedAnswer(int fd) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || st.st_size <= 0) return;
        void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) return;
        m_bytes = static_cast<const std::uint8_t*>(p);
        m_size = std::size_t(st.st_size);
    }
    ~MappedAnswer() {
        if (m_bytes) ::munmap(const_cast<std::uint8_t*>(m_bytes), m_size);
    }
    MappedAnswer(const MappedAnswer&) = delete;
    MappedAnswer& operator=(const MappedAnswer&) = delete;
    const std::uint8_t* data() const { return m_bytes; }
    std::size_t size() const { return m_size; }

private:
    const std::uint8_t* m_bytes = nullptr;
    std::size_t m_size = 0;
};

struct Answer {
    Value summary;
    std::unique_ptr<MappedAnswer> bytes;
    const std::uint8_t* pixels = nullptr;  // inside `bytes`
    std::size_t pixelBytes = 0;
};

std::uint64_t loadLength(const std::uint8_t* p) {
    std::uint64_t n = 0;
    for (int i = 7; i >= 0; --i) n = (n << 8) | p[i];
    return n;
}

// Runs the helper on the file's bytes; its answer, or nothing and the reason.
std::optional<Answer> ask(const std::vector<std::string>& arguments, const std::uint8_t* bytes, std::size_t size,
                          std::string& error) {
    const auto program = Bundle::main().pathForResource(kProgramName);
    if (!program) {
        error = "the camera raw reader is not installed";
        return std::nullopt;
    }
    MemoryFile input("qv-raw-file"), output("qv-raw-answer");
    if (!input.valid() || !output.valid() || !writeAll(input.fd(), bytes, size) || ::lseek(input.fd(), 0, SEEK_SET) != 0) {
        error = "cannot hand the file to the camera raw reader";
        return std::nullopt;
    }
    const auto run = runProcessWithFiles(*program, arguments, input.fd(), output.fd(), kTimeoutSeconds);
    if (!run) {
        error = "cannot start the camera raw reader";
        return std::nullopt;
    }
    if (run->timedOut || run->exitStatus != 0) {
        error = run->timedOut ? "the camera raw reader took too long on this file"
                              : "the camera raw reader failed on this file (status " + std::to_string(run->exitStatus) + ")";
        return std::nullopt;
    }
    Answer answer;
    answer.bytes = std::make_unique<MappedAnswer>(output.fd());
    const MappedAnswer& b = *answer.bytes;
    if (!b.data() || b.size() < kMagicSize + kLengthSize || std::memcmp(b.data(), kMagic, kMagicSize) != 0) {
        error = "the camera raw reader gave no answer";
        return std::nullopt;
    }
    const std::uint64_t length = loadLength(b.data() + kMagicSize);
    const std::size_t start = kMagicSize + kLengthSize;
    if (length > kLargestSummary || length > b.size() - start) {
        error = "the camera raw reader's answer is damaged";
        return std::nullopt;
    }
    answer.summary = parsePropertyList(std::string_view(reinterpret_cast<const char*>(b.data() + start), length));
    if (!answer.summary.isDictionary()) {
        error = "the camera raw reader's answer is damaged";
        return std::nullopt;
    }
    if (const std::string* failed = answer.summary.get("error").string()) {
        error = *failed;
        return std::nullopt;
    }
    answer.pixels = b.data() + start + length;
    answer.pixelBytes = b.size() - start - std::size_t(length);
    return answer;
}

int positiveInt(const Value& value) {
    const auto n = value.integerOr(0);
    return n > 0 && n <= INT32_MAX ? int(n) : 0;
}

}  // namespace

bool writeAnswer(int fd, const Value& summary, const Bitmap* pixels) {
    const auto xml = formatPropertyList(summary);
    if (!xml) return false;
    std::uint8_t length[kLengthSize];
    std::uint64_t n = xml->size();
    for (std::size_t i = 0; i < kLengthSize; ++i, n >>= 8) length[i] = std::uint8_t(n & 0xFF);
    if (!writeAll(fd, kMagic, kMagicSize) || !writeAll(fd, length, sizeof length) || !writeAll(fd, xml->data(), xml->size()))
        return false;
    if (!pixels) return true;
    const std::size_t rowBytes = std::size_t(pixels->width) * 6;
    for (int y = 0; y < pixels->height; ++y)
        if (!writeAll(fd, pixels->row(y), rowBytes)) return false;
    return true;
}

bool recognised(const std::uint8_t* bytes, std::size_t size) {
    std::string ignored;
    const auto answer = ask({kSniff}, bytes, size, ignored);
    return answer && answer->summary.get("recognised").boolOr(false);
}

bool readHeader(const std::uint8_t* bytes, std::size_t size, Header& header, std::string& error) {
    const auto answer = ask({kHeader}, bytes, size, error);
    if (!answer) return false;
    const Value& s = answer->summary;
    header.width = positiveInt(s.get("width"));
    header.height = positiveInt(s.get("height"));
    if (header.width == 0 || header.height == 0) {
        error = "the raw file has no picture";
        return false;
    }
    header.bitsPerComponent = 16;
    header.decodedAsSRGB = true;
    header.orientation = long(s.get("orientation").integerOr(0));
    if (header.orientation < 0 || header.orientation > 8) header.orientation = 0;
    if (const Dictionary* properties = s.get("properties").dictionary()) header.properties = *properties;
    return true;
}

std::optional<Bitmap> decode(const std::uint8_t* bytes, std::size_t size, const Limits& limits, std::string& error) {
    const auto answer = ask({kDecode, std::to_string(limits.maxPixels)}, bytes, size, error);
    if (!answer) return std::nullopt;
    const int width = positiveInt(answer->summary.get("width")), height = positiveInt(answer->summary.get("height"));
    if (width == 0 || height == 0 || std::uint64_t(width) * std::uint64_t(height) > limits.maxPixels ||
        answer->pixelBytes != std::size_t(width) * std::size_t(height) * 6) {
        error = "the camera raw reader's picture is damaged";
        return std::nullopt;
    }
    Bitmap out = Bitmap::makeUninitialized(width, height, PixelFormat::RGB16);
    if (!out.isValid()) {
        error = "out of memory";
        return std::nullopt;
    }
    const std::size_t rowBytes = std::size_t(width) * 6;
    for (int y = 0; y < height; ++y) std::memcpy(out.row(y), answer->pixels + std::size_t(y) * rowBytes, rowBytes);
    return out;
}

}  // namespace qv::io::codec::rawhelper
