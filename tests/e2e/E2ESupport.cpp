#include "E2ESupport.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include <cstdlib>
#include <memory>
#include <optional>

#include "common/OrdinaryUser.h"
#include "foundation/Files.h"
#include "imageio/ImageSource.h"
#include "lens/DatText.h"
#include "lens/DatWriter.h"

namespace e2e {

namespace {

std::optional<qv::Bitmap> pixelsOf(const std::string& path) {
    auto source = qv::io::ImageSource::createWithPath(path);
    EXPECT_TRUE(source) << path;
    if (!source) return std::nullopt;
    auto bitmap = source->createImage();
    EXPECT_TRUE(bitmap) << path;
    return bitmap;
}

// A sample's value on the 8-bit scale: the high byte of a native 16-bit sample.
double sampleAt(const qv::Bitmap& bitmap, int x, int y, int channel) {
    const int channels = qv::channelCount(bitmap.format);
    const int bytes = qv::bytesPerSample(bitmap.format);
    const std::uint8_t* p = bitmap.row(y) + (std::size_t(x) * channels + channel) * bytes;
    return bytes == 2 ? p[1] : p[0];
}

bool gShippedBundle = false;

// The build's resources with the hand-made fixture database in place of the shipped one. It lives
// in the temporary folder, which each test case has of its own, so it is made again when missing.
const std::string& fixtureBundle() {
    static std::unique_ptr<qvtest::TempDir> folder;
    if (folder && qv::files::exists(folder->file("PTLens.dat"))) return folder->path();
    folder = std::make_unique<qvtest::TempDir>("qve2ebundle");
    const std::string resources = qvtest::binaryDir() + "/Resources";
    for (const std::string& name : qv::files::listFolder(resources).value_or(std::vector<std::string>())) {
        if (name != "PTLens.dat") {
            EXPECT_TRUE(qv::files::copyItem(resources + "/" + name, folder->file(name))) << name;
        }
    }
    const auto text = qv::files::readWhole(qvtest::sourceDir() + "/tests/fixtures/PTLens.txt");
    EXPECT_TRUE(text);
    DATDatabase db;
    std::string error;
    const std::string_view source(text ? reinterpret_cast<const char*>(text->data()) : "", text ? text->size() : 0);
    EXPECT_TRUE(lensdb::parseDatabaseText(source, db, error)) << error;
    EXPECT_TRUE(lensdb::writeDatabaseFile(db, folder->file("PTLens.dat"), error)) << error;
    return folder->path();
}

}  // namespace

void useShippedBundle(bool shipped) { gShippedBundle = shipped; }

std::string binary(const std::string& name) { return qvtest::binaryDir() + "/bin/" + name; }

namespace {

// Points the programs started next at the bundle the test asked for.
void chooseBundle() {
    if (gShippedBundle) unsetenv("QV_RESOURCE_DIR");
    else setenv("QV_RESOURCE_DIR", fixtureBundle().c_str(), 1);
}

std::string writeScript(const qvtest::TempDir& dir, const std::string& text) {
    const std::string path = dir.path() + "/actions.txt";
    EXPECT_TRUE(qv::files::writeWhole(path, text));
    return path;
}

}  // namespace

qv::ProcessResult run(const std::string& program, const std::vector<std::string>& arguments) {
    chooseBundle();
    const auto result = qv::runProcess(program, arguments, 300);
    EXPECT_TRUE(result) << program << " did not start";
    return result ? *result : qv::ProcessResult{};
}

qv::ProcessResult quorvelci(const std::vector<std::string>& arguments) { return run(binary("quorvelci"), arguments); }

qv::ProcessResult script(const qvtest::TempDir& dir, const std::string& text) {
    return quorvelci({"script", writeScript(dir, text)});
}

qv::ProcessResult quorvelciAsOrdinaryUser(const std::vector<std::string>& arguments) {
    chooseBundle();
    if (!gShippedBundle) {
        EXPECT_TRUE(qvtest::giveToOrdinaryUser(fixtureBundle()));
    }
    return qvtest::runProgramAsOrdinaryUser(binary("quorvelci"), arguments);
}

qv::ProcessResult scriptAsOrdinaryUser(const qvtest::TempDir& dir, const std::string& text) {
    return quorvelciAsOrdinaryUser({"script", writeScript(dir, text)});
}

std::string samplePhoto(const qvtest::TempDir& dir, const std::vector<std::string>& extra) {
    const std::string path = dir.path() + "/IMG_0018.jpg";
    std::vector<std::string> arguments{path};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const auto made = run(binary("qv-samplephoto"), arguments);
    EXPECT_EQ(made.exitStatus, 0) << made.output;
    return path;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string coefficientsLine(const std::string& output) {
    const auto at = output.find("coefficients:");
    if (at == std::string::npos) return {};
    return output.substr(at, output.find('\n', at) - at);
}

std::string tags(const std::string& file, const std::vector<std::string>& names) {
    std::vector<std::string> arguments{"-s3", "-f"};  // -f: "-" for a tag that is missing
    for (const std::string& name : names) arguments.push_back("-" + name);
    arguments.push_back(file);
    return run("exiftool", arguments).output;
}

bool writeRgbProfile(const std::string& path, const std::string& description, double gamma) {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile) return false;
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description.c_str());
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    const bool saved = cmsSaveProfileToFile(profile, path.c_str());
    cmsCloseProfile(profile);
    return saved;
}

void expectFailure(const qv::ProcessResult& result, int status, const std::string& message,
                   const std::string& output) {
    EXPECT_EQ(result.exitStatus, status) << result.output;
    EXPECT_TRUE(contains(result.output, message)) << result.output;
    EXPECT_FALSE(qv::files::exists(output)) << output;
}

double lineWander(const std::string& path, int y0, int fromX, int toX) {
    const auto bitmap = pixelsOf(path);
    if (!bitmap) return 1e9;
    double low = 1e9, high = -1e9;
    for (int x = fromX; x < toX; ++x) {
        // Columns that cross a vertical line of the grid say nothing about the horizontal one.
        const int fromVertical = std::abs(((x - 600) % 80 + 80) % 80 - 40);
        if (fromVertical > 30) continue;
        double weight = 0, sum = 0;
        for (int y = y0 - 14; y <= y0 + 14; ++y) {
            const double ink = std::max(0.0, 200.0 - sampleAt(*bitmap, x, y, 0));
            weight += ink;
            sum += ink * y;
        }
        if (weight == 0) return 1e9;
        low = std::min(low, sum / weight);
        high = std::max(high, sum / weight);
    }
    return high - low;
}

int largestDifference(const std::string& a, const std::string& b) {
    auto pixelsOf = [](const std::string& path) -> std::optional<qv::Bitmap> {
        auto source = qv::io::ImageSource::createWithPath(path);
        if (!source) return std::nullopt;
        return source->createImage(0);
    };
    const auto first = pixelsOf(a), second = pixelsOf(b);
    if (!first || !second || first->width != second->width || first->height != second->height ||
        first->pixels.size() != second->pixels.size())
        return -1;
    int largest = 0;
    for (std::size_t i = 0; i < first->pixels.size(); ++i)
        largest = std::max(largest, std::abs(int(first->pixels[i]) - int(second->pixels[i])));
    return largest;
}

double meanRed(const std::string& path, int x0, int y0, int size) {
    const auto bitmap = pixelsOf(path);
    if (!bitmap) return -1;
    double sum = 0;
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x) sum += sampleAt(*bitmap, x, y, 0);
    return sum / (size * size);
}

}  // namespace e2e
