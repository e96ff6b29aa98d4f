#include "TestImages.h"

#include <lcms2.h>
#include <tiffio.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "foundation/Process.h"

namespace psdtest {

qv::Bitmap makeBitmap(int width, int height, qv::PixelFormat format, const SampleFormula& formula) {
    qv::Bitmap b = qv::Bitmap::make(width, height, format);
    const int channels = qv::channelCount(format);
    const int bytes = qv::bytesPerSample(format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                std::uint8_t* p = b.row(y) + (std::size_t(x) * channels + c) * bytes;
                const std::uint32_t v = formula(x, y, c);
                if (bytes == 1) {
                    *p = static_cast<std::uint8_t>(v);
                } else {
                    const std::uint16_t v16 = static_cast<std::uint16_t>(v);
                    std::memcpy(p, &v16, 2);
                }
            }
    return b;
}

std::uint32_t sampleAt(const qv::Bitmap& b, int x, int y, int c) {
    const int channels = qv::channelCount(b.format);
    const int bytes = qv::bytesPerSample(b.format);
    const std::uint8_t* p = b.row(y) + (std::size_t(x) * channels + c) * bytes;
    if (bytes == 1) return *p;
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void writeTiff(const std::string& path, const qv::Bitmap& b, const std::vector<std::uint8_t>& profile) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) throw std::runtime_error("cannot create " + path);
    const int channels = qv::channelCount(b.format);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, b.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, b.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, qv::bitsPerComponent(b.format));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    if (qv::hasAlpha(b.format)) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (!profile.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, std::uint32_t(profile.size()), profile.data());
    for (int y = 0; y < b.height; ++y)
        if (TIFFWriteScanline(tif, const_cast<std::uint8_t*>(b.row(y)), std::uint32_t(y), 0) < 0)
            throw std::runtime_error("cannot write " + path);
    TIFFClose(tif);
}

std::vector<std::uint8_t> makeProfile(const char* cmm) {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    std::memcpy(bytes.data() + 4, cmm, 4);
    std::memset(bytes.data() + 84, 0, 16);  // the profile ID no longer matches; zero means "not computed"
    return bytes;
}

std::optional<Netpbm> readNetpbm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    Netpbm img;
    if (magic == "P6") {
        img.depth = 3;
        in >> img.width >> img.height >> img.maxval;
    } else if (magic == "P7") {
        for (std::string key; in >> key && key != "ENDHDR";) {
            if (key == "WIDTH") in >> img.width;
            else if (key == "HEIGHT") in >> img.height;
            else if (key == "DEPTH") in >> img.depth;
            else if (key == "MAXVAL") in >> img.maxval;
            else if (key == "TUPLTYPE") in >> key;
        }
    } else {
        return std::nullopt;
    }
    in.get();  // the single white-space byte before the samples
    if (!in || img.width <= 0 || img.height <= 0 || img.depth <= 0) return std::nullopt;
    const std::size_t count = std::size_t(img.width) * img.height * img.depth;
    const int bytes = img.maxval > 255 ? 2 : 1;
    std::vector<std::uint8_t> raw(count * bytes);
    if (!in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()))) return std::nullopt;
    img.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        img.samples[i] = bytes == 2 ? std::uint16_t(raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i];
    return img;
}

std::optional<Netpbm> magickImage(const std::string& psd, int index, const std::string& output, int depth) {
    const auto result = qv::runProcess(
        "convert", {psd + "[" + std::to_string(index) + "]", "-depth", std::to_string(depth), output}, 60);
    if (!result || result->exitStatus != 0) return std::nullopt;
    return readNetpbm(output);
}

}  // namespace psdtest
