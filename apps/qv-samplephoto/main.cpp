// qv-samplephoto: writes a sample photo for the demonstration and the end-to-end tests: a grid of
// straight lines bent by barrel distortion, with EXIF naming a camera and its lens (by default the
// Canon EOS 400D and its 18-55 zoom at 18 mm), so that correcting it with that lens's coefficients
// straightens the lines again. The coefficients are given, or read from a resource lens database:
// that lens on that camera at that focal length, as the application would take them.
//   qv-samplephoto [options] [--] OUT.jpg [a b c]
// The grid has lines every 80 pixels through the centre of a 1200 x 800 picture.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Outcome.h"
#include "foundation/Process.h"
#include "imageio/ImageDestination.h"
#include "lens/LensKeys.h"
#include "lens/QVDatabaseLoader.h"

namespace {

constexpr int kWidth = 1200, kHeight = 800, kSpacing = 80;
constexpr double kLineHalfWidth = 1.5;

// Without a database: the coefficients the tests' hand-made database gives that lens at 18 mm.
constexpr double kDefaultA = 0.0042, kDefaultB = -0.0315, kDefaultC = 0;

// Darkness of the straight grid at a point: 1 on a line, 0 between lines, smooth at the edges.
double gridInk(double x, double y) {
    auto ink = [](double v) {
        const double d = std::fabs(v - kSpacing * std::round(v / kSpacing));
        return std::clamp(kLineHalfWidth + 0.5 - d, 0.0, 1.0);
    };
    return std::max(ink(x - kWidth / 2.0), ink(y - kHeight / 2.0));
}

constexpr const char* kUsage =
    "usage: qv-samplephoto [options] [--] OUT.jpg [a b c]\n"
    "  writes a 1200 x 800 grid bent by the radial polynomial a, b, c\n"
    "  --make TEXT, --model TEXT     the camera's EXIF make and model (Canon, Canon EOS 400D DIGITAL)\n"
    "  --focal-length MM             the EXIF focal length (18)\n"
    "  --max-aperture APEX           the EXIF maximum aperture value (3.61)\n"
    "  --lens-info \"MIN MAX F F\"     the lens information written with exiftool (18 55 3.5 5.6)\n"
    "  --no-lens-info                write none\n"
    "  --database PTLens.dat --lens NAME\n"
    "                                bend with that lens's coefficients on the camera at the focal length\n";

// What the photo's EXIF says, and where its coefficients come from.
struct SampleSettings {
    std::string make = "Canon", model = "Canon EOS 400D DIGITAL";
    double focalLength = 18, maxAperture = 3.61;
    std::string lensInfo = "18 55 3.5 5.6";  // empty: none
    std::string database, lens;
};

struct FocalLengthOf : QVDatabaseLoaderClient {
    double focal = 0;
    double focalLength() const override { return focal; }
    bool showsOnlyMatchingLenses() const override { return false; }
};

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The lens's a, b, c on the camera at the focal length, from the database; a failure, with the
// reason, when the database, the camera or the lens is not there.
qv::Outcome coefficientsFromDatabase(const SampleSettings& s, double (&abc)[3]) {
    QVDatabaseLoader loader;
    FocalLengthOf client;
    client.focal = s.focalLength;
    loader.setController(&client);
    if (!loader.loadPTLensDatabase(s.database))
        return qv::Outcome::failure("cannot read the lens database " + s.database);
    for (const qv::Value& camera : loader.camInfoForLoadedDatabase()) {
        if (!equalsIgnoringCase(camera.get(lens::keys::kExifMake).stringOr(""), s.make) ||
            !equalsIgnoringCase(camera.get(lens::keys::kExifModel).stringOr(""), s.model))
            continue;
        loader.setMultiplier(camera.get(lens::keys::kMultiplier).doubleOr(1));
        for (const qv::Value& record : loader.lensArrayForCamGroup({camera.get(lens::keys::kCamGroup).stringOr("")})) {
            if (record.get(lens::keys::kLensName).stringOr("") != s.lens) continue;
            abc[0] = record.get(lens::keys::kAValue).doubleOr(0);
            abc[1] = record.get(lens::keys::kBValue).doubleOr(0);
            abc[2] = record.get(lens::keys::kCValue).doubleOr(0);
            return qv::Outcome::success();
        }
        return qv::Outcome::failure("the database has no lens \"" + s.lens + "\" for the " + s.model);
    }
    return qv::Outcome::failure("the database has no camera \"" + s.make + "\" \"" + s.model + "\"");
}

bool readNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    double coefficients[3] = {kDefaultA, kDefaultB, kDefaultC};
    SampleSettings settings;
    bool optionsEnded = false;  // after "--" every argument is the output or a number
    int numbers = 0;
    auto fail = [](const std::string& message) {
        std::fprintf(stderr, "qv-samplephoto: %s\n%s", message.c_str(), kUsage);
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool option = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        // Options with a value: the value is the next argument.
        std::string* text = nullptr;
        double* number = nullptr;
        if (option && argument == "--make") text = &settings.make;
        else if (option && argument == "--model") text = &settings.model;
        else if (option && argument == "--lens-info") text = &settings.lensInfo;
        else if (option && argument == "--database") text = &settings.database;
        else if (option && argument == "--lens") text = &settings.lens;
        else if (option && argument == "--focal-length") number = &settings.focalLength;
        else if (option && argument == "--max-aperture") number = &settings.maxAperture;
        if (text || number) {
            if (++i >= argc) return fail(argument + " needs a value");
            if (text) *text = argv[i];
            else if (!readNumber(argv[i], *number)) return fail(std::string(argv[i]) + " is not a number");
        } else if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (option && (argument == "--help" || argument == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (option && argument == "--no-lens-info") {
            settings.lensInfo.clear();
        } else if (option && out.empty()) {
            return fail("unknown option " + argument);
        } else if (out.empty()) {
            out = argument;
        } else if (numbers < 3) {
            if (!readNumber(argument, coefficients[numbers++])) return fail(argument + " is not a number");
        } else {
            return fail("too many arguments");
        }
    }
    if (out.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (settings.database.empty() != settings.lens.empty()) return fail("--database and --lens go together");
    if (!settings.database.empty()) {
        if (numbers > 0) return fail("coefficients come from the database or the command line, not both");
        if (const qv::Outcome found = coefficientsFromDatabase(settings, coefficients); !found) {
            std::fprintf(stderr, "qv-samplephoto: %s\n", found.reason().c_str());
            return 1;
        }
    }
    const double a = coefficients[0], b = coefficients[1], c = coefficients[2];
    const double d = 1 - (a + b + c);
    const double radius = std::min(kWidth, kHeight) / 2.0;
    // The correction takes a point at radius r from the photo at r * poly(r): the photo's pixel at
    // radius q shows the straight grid at the r with r * poly(r) = q (found by Newton's method).
    auto poly = [&](double r) { return ((a * r + b) * r + c) * r + d; };
    auto inverse = [&](double q) {
        double r = q;
        for (int n = 0; n < 20; ++n) {
            const double f = r * poly(r) - q;
            const double df = ((4 * a * r + 3 * b) * r + 2 * c) * r + d;
            r -= f / df;
        }
        return r;
    };
    qv::Bitmap bitmap = qv::Bitmap::make(kWidth, kHeight, qv::PixelFormat::RGB8);
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            // Pixel centres; rows run top-down in the file, the grid is symmetric so it does not matter.
            const double dx = x + 0.5 - kWidth / 2.0, dy = row + 0.5 - kHeight / 2.0;
            const double q = std::hypot(dx, dy) / radius;
            const double s = q > 0 ? inverse(q) / q : 1;
            // Four samples per pixel keep the lines' edges smooth.
            double ink = 0;
            for (double oy : {-0.25, 0.25})
                for (double ox : {-0.25, 0.25})
                    ink += gridInk(kWidth / 2.0 + (dx + ox) * s, kHeight / 2.0 + (dy + oy) * s);
            const auto v = std::uint8_t(std::lround(255 * (1 - ink / 4)));
            std::uint8_t* p = bitmap.row(row) + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    qv::Value properties;
    properties["{TIFF}"]["Make"] = settings.make;
    properties["{TIFF}"]["Model"] = settings.model;
    properties["{TIFF}"]["Orientation"] = 1;
    properties["{Exif}"]["FocalLength"] = settings.focalLength;
    properties["{Exif}"]["MaxApertureValue"] = settings.maxAperture;
    properties["kCGImageDestinationLossyCompressionQuality"] = 0.95;
    auto destination = qv::io::ImageDestination::createWithPath(out, "public.jpeg");
    if (!destination) return 1;
    destination->addImage(std::move(bitmap), *properties.dictionary());
    if (!destination->finalize()) {
        std::fprintf(stderr, "qv-samplephoto: cannot write %s: %s\n", out.c_str(), destination->error().c_str());
        return 1;
    }
    if (!settings.lensInfo.empty()) {
        const auto r =
            qv::runProcess("exiftool", {"-q", "-overwrite_original", "-LensInfo=" + settings.lensInfo, out}, 60);
        if (!r || r->exitStatus != 0) return 1;
    }
    return 0;
}
