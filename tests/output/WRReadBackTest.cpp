// Documents read back by the image layer's reader (the merged image and its profile) and by
// ImageMagick (its verbose description, the merged image and every layer), compared pixel by pixel
// with the inputs.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "WriterFixture.h"
#include "foundation/Process.h"
#include "imageio/ImageSource.h"

namespace {

using psdtest::makeBitmap;
using qv::PixelFormat;

struct Input {
    std::string name;
    qv::Bitmap bitmap;
    bool withProfile = false;
};

struct Case {
    std::string label;
    int depth;
    std::vector<Input> inputs;
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.label; }

// Transparent black around an opaque area (or a soft edge), colour only where alpha is set.
qv::Bitmap framed(int w, int h, PixelFormat format, bool soft) {
    const std::uint32_t top = qv::bytesPerSample(format) == 2 ? 65535u : 255u;
    return makeBitmap(w, h, format, [=](int x, int y, int c) -> std::uint32_t {
        const bool inside = x >= w / 4 && x < w - 2 && y >= 2 && y < h - h / 3;
        if (!inside) return 0;
        if (c == 3) return soft ? top / std::uint32_t(2 + x % 3) : top;
        return std::uint32_t((x * 37 + y * 11 + c * 80 + 3) * (top / 255)) & top;
    });
}

qv::Bitmap gradient(int w, int h, PixelFormat format) {
    const std::uint32_t scale = qv::bytesPerSample(format) == 2 ? 251u : 1u;
    return makeBitmap(w, h, format, [=](int x, int y, int c) { return std::uint32_t((x * 5 + y * 3 + c * 70) % 256) * scale; });
}

std::vector<Case> cases() {
    return {
        {"Rgb8OneLayer", 1, {{"plain", gradient(33, 21, PixelFormat::RGB8)}}},
        {"Rgba8OneLayerWithProfile", 1, {{"cut", framed(40, 24, PixelFormat::RGBA8, false), true}}},
        {"Rgb16OneLayerWithProfileAt16", 2, {{"deep", gradient(31, 17, PixelFormat::RGB16), true}}},
        {"Rgba8SoftEdgeAt16", 2, {{"soft", framed(28, 19, PixelFormat::RGBA8, true)}}},
        {"SeveralLayersWithProfile", 1,
         {{"base", gradient(30, 20, PixelFormat::RGB8), true},
          {"cutout", framed(44, 26, PixelFormat::RGBA16, false)},
          {"grey", gradient(12, 30, PixelFormat::Gray8)}}},
        {"SeveralLayersAt16", 2,
         {{"cutout", framed(26, 18, PixelFormat::RGBA8, true)},
          {"base", gradient(35, 22, PixelFormat::RGB16)},
          {"edge", framed(20, 25, PixelFormat::RGBA8, false)}}},
    };
}

// A sample of `bitmap` as a document of `depth` bytes holds it (grey read as all three colours).
std::uint32_t documentSample(const qv::Bitmap& bitmap, int x, int y, int c, int depth) {
    const int channels = qv::channelCount(bitmap.format);
    const std::uint32_t v = psdtest::sampleAt(bitmap, x, y, channels == 1 && c < 3 ? 0 : c);
    if (qv::bytesPerSample(bitmap.format) == 1) return depth == 2 ? v * 257 : v;
    return depth == 2 ? v : (v + 128) / 257;
}

class ReadBack : public psdtest::WriterFixture, public testing::WithParamInterface<Case> {};

TEST_P(ReadBack, ImageMagickSeesTheLayersAndTheMergedImage) {
    const Case& c = GetParam();
    const auto profile = psdtest::makeProfile("Lino");
    std::vector<std::string> files;
    int docWidth = 0, docHeight = 0;
    for (const Input& in : c.inputs) {
        files.push_back(input(in.name + ".tif", in.bitmap, in.withProfile ? profile : std::vector<std::uint8_t>{}));
        docWidth = std::max(docWidth, in.bitmap.width);
        docHeight = std::max(docHeight, in.bitmap.height);
    }
    const std::string psd = file(c.label + ".psd");
    ASSERT_TRUE(write(files, psd, c.depth));
    const auto doc = read(psd);

    const auto identified = qv::runProcess("identify", {"-verbose", psd}, 60);
    ASSERT_TRUE(identified);
    ASSERT_EQ(identified->exitStatus, 0) << identified->output;
    const std::string& verbose = identified->output;
    std::vector<std::string> geometries, depths, labels;
    int profiles = 0;
    std::istringstream lines(verbose);
    const std::regex geometry(R"(^  Geometry: (\S+))"), depth(R"(^  Depth: (\S+))"), label(R"(^\s+label: (.*)$)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, geometry)) geometries.push_back(m[1]);
        if (std::regex_search(line, m, depth)) depths.push_back(m[1]);
        if (std::regex_search(line, m, label)) labels.push_back(m[1]);
        if (line.find("Profile-icc:") != std::string::npos) ++profiles;
    }
    ASSERT_EQ(geometries.size(), c.inputs.size() + 1) << verbose;
    EXPECT_EQ(geometries[0], std::to_string(docWidth) + "x" + std::to_string(docHeight) + "+0+0");
    for (const std::string& d : depths) EXPECT_EQ(d.substr(0, 2), c.depth == 2 ? "16" : "8-") << d;
    EXPECT_EQ(profiles > 0, c.inputs[0].withProfile) << verbose;
    std::vector<std::string> names;
    for (const Input& in : c.inputs) names.push_back(in.name);
    EXPECT_EQ(labels, names);

    // The merged image: the first input at the top left, black where a larger layer reaches beyond it.
    const qv::Bitmap& first = c.inputs[0].bitmap;
    auto expectedMerged = [&](int x, int y, int ch) -> std::uint32_t {
        return x < first.width && y < first.height ? documentSample(first, x, y, ch, c.depth) : 0;
    };
    auto compareMerged = [&](const char* reader, auto sampleAt) {
        int mismatches = 0;
        for (int y = 0; y < docHeight; ++y)
            for (int x = 0; x < docWidth; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    if (sampleAt(x, y, ch) != expectedMerged(x, y, ch) && ++mismatches < 5)
                        ADD_FAILURE() << reader << " merged (" << x << "," << y << ") channel " << ch << ": "
                                      << sampleAt(x, y, ch) << " != " << expectedMerged(x, y, ch);
        EXPECT_EQ(mismatches, 0) << reader;
    };

    std::string error;
    const auto source = qv::io::ImageSource::createWithPath(psd, error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->type(), "com.adobe.photoshop-image");
    EXPECT_EQ(source->bitsPerComponent(), 8 * c.depth);
    EXPECT_EQ(source->embeddedProfile() == profile, c.inputs[0].withProfile);
    const auto decoded = source->createImage(0, {}, error);
    ASSERT_TRUE(decoded) << error;
    ASSERT_EQ(decoded->width, docWidth);
    ASSERT_EQ(decoded->height, docHeight);
    ASSERT_EQ(qv::channelCount(decoded->format), 3);
    compareMerged("image layer", [&](int x, int y, int ch) { return psdtest::sampleAt(*decoded, x, y, ch); });

    const int bits = 8 * c.depth;
    const auto merged = psdtest::magickImage(psd, 0, file("merged.ppm"), bits);
    ASSERT_TRUE(merged);
    ASSERT_EQ(merged->width, docWidth);
    ASSERT_EQ(merged->height, docHeight);
    compareMerged("ImageMagick", [&](int x, int y, int ch) { return merged->at(x, y, ch); });

    for (std::size_t i = 0; i < c.inputs.size(); ++i) {
        const qv::Bitmap& bitmap = c.inputs[i].bitmap;
        const auto& record = doc.layers[i];
        const auto layer = psdtest::magickImage(psd, int(i) + 1, file("layer.pam"), bits);
        ASSERT_TRUE(layer);
        ASSERT_EQ(layer->width, record.right - record.left);
        ASSERT_EQ(layer->height, record.bottom - record.top);
        const bool alpha = qv::hasAlpha(bitmap.format);
        const std::uint32_t opaque = c.depth == 2 ? 65535u : 255u;
        int mismatches = 0;
        for (int y = 0; y < layer->height; ++y)
            for (int x = 0; x < layer->width; ++x)
                for (int ch = 0; ch < 4; ++ch) {
                    const int sx = x + record.left, sy = y + record.top;
                    const std::uint32_t expected = ch < 3 || alpha ? documentSample(bitmap, sx, sy, ch, c.depth) : opaque;
                    // Colour under full transparency is not kept by every reader; compare it where visible.
                    if (ch < 3 && alpha && documentSample(bitmap, sx, sy, 3, c.depth) == 0) continue;
                    if (layer->at(x, y, ch) != expected && ++mismatches < 5)
                        ADD_FAILURE() << c.inputs[i].name << " (" << sx << "," << sy << ") channel " << ch << ": "
                                      << layer->at(x, y, ch) << " != " << expected;
                }
        EXPECT_EQ(mismatches, 0) << c.inputs[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, ReadBack, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.label; });

}  // namespace
