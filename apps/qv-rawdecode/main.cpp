// qv-rawdecode: the raw helper. Reads a camera raw file from its standard input and answers on its
// standard output (the exchange is told in imageio/codecs/RawHelper.h):
//   qv-rawdecode sniff                 whether the raw library recognises the file
//   qv-rawdecode header                its size, orientation and properties
//   qv-rawdecode decode MAXPIXELS      the developed picture, refused above MAXPIXELS
// The application starts it for every camera raw file, so that a crash in the raw library on a
// damaged file ends this process only.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imageio/codecs/RawDevelop.h"
#include "imageio/codecs/RawHelper.h"

namespace rawhelper = qv::io::codec::rawhelper;

namespace {

constexpr const char* kUsage = "usage: qv-rawdecode sniff|header|decode MAXPIXELS < FILE\n";

// The file's bytes: standard input mapped when it is a file (the application hands a memory file
// over), else read to its end.
struct Input {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    qv::Data read;
};

bool takeInput(int fd, Input& in) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            in.bytes = static_cast<const std::uint8_t*>(p);
            in.size = std::size_t(st.st_size);
            return true;
        }
    }
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        in.read.insert(in.read.end(), buffer, buffer + n);
    }
    in.bytes = in.read.data();
    in.size = in.read.size();
    return true;
}

qv::Value failure(const std::string& why) {
    qv::Value summary;
    summary["error"] = why;
    return summary;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc >= 2 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!(command == rawhelper::kSniff || command == rawhelper::kHeader || (command == rawhelper::kDecode && argc == 3))) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The answer goes where standard output was; whatever the library prints goes nowhere.
    const int answer = ::dup(STDOUT_FILENO);
    const int nowhere = ::open("/dev/null", O_WRONLY);
    if (answer < 0 || nowhere < 0 || ::dup2(nowhere, STDOUT_FILENO) < 0) return 1;

    Input file;
    if (!takeInput(STDIN_FILENO, file)) return rawhelper::writeAnswer(answer, failure("cannot read the file")) ? 0 : 1;

    bool written = false;
    if (command == rawhelper::kSniff) {
        qv::Value summary;
        summary["recognised"] = qv::io::codec::raw::recognised(file.bytes, file.size);
        written = rawhelper::writeAnswer(answer, summary);
    } else if (command == rawhelper::kHeader) {
        qv::io::codec::Header header;
        std::string error;
        if (!qv::io::codec::raw::readHeader(file.bytes, file.size, header, error)) {
            written = rawhelper::writeAnswer(answer, failure(error));
        } else {
            qv::Value summary;
            summary["width"] = header.width;
            summary["height"] = header.height;
            summary["orientation"] = header.orientation;
            summary["properties"] = header.properties;
            written = rawhelper::writeAnswer(answer, summary);
        }
    } else {
        char* end = nullptr;
        const unsigned long long maxPixels = std::strtoull(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || maxPixels == 0) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        qv::io::codec::Limits limits;
        limits.maxPixels = maxPixels;
        std::string error;
        const auto pixels = qv::io::codec::raw::develop(file.bytes, file.size, limits, error);
        if (!pixels) {
            written = rawhelper::writeAnswer(answer, failure(error));
        } else {
            qv::Value summary;
            summary["width"] = pixels->width;
            summary["height"] = pixels->height;
            written = rawhelper::writeAnswer(answer, summary, &*pixels);
        }
    }
    return written && ::close(answer) == 0 ? 0 : 1;
}
