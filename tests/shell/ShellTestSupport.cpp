#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>

#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/Process.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "foundation/PropertyList.h"
#include "lens/DatText.h"
#include "lens/DatWriter.h"
#include "shell/controller/QVApplicationMain.h"

namespace shelltest {

const char* const kDatabaseText = R"(
group "Canon APS-C"
group "Canon full frame"
group "Nikon DX"

camera "Canon" "EOS 400D"
    exif "Canon" "Canon EOS 400D DIGITAL"
    group "Canon APS-C"
    multiplier 1.6
    standard 0

camera "Canon" "EOS 5D"
    exif "Canon" "Canon EOS 5D"
    group "Canon full frame"
    multiplier 1
    standard 0

camera "Nikon" "D80"
    exif "NIKON CORPORATION" "NIKON D80"
    group "Nikon DX"
    multiplier 1.5
    standard 0

lens "EF-S 18-55"
    group "Canon APS-C"
    multiplier 1.6
    max aperture 3.61
    focal range 18 55
    calibration 18 0.01 -0.02 0.005
    calibration 35 0.002 -0.004 0.001
    calibration 55 0 0.003 0

lens "Sigma 10-20"
    group "Canon APS-C"
    multiplier 1.6
    max aperture 4
    focal range 10 20
    calibration 10 0.02 -0.03 0.01
    calibration 20 0.01 -0.01 0

lens "Sigma 10-20"
    group "Canon APS-C"
    multiplier 1.6
    max aperture 4
    focal range 10 20
    calibration 10 0.5 0.5 0.5

lens "EF 50"
    group "Canon full frame"
    multiplier 1
    max aperture 1.7
    focal range 50 50
    calibration 50 0.001 -0.002 0

lens "Sigma 10-20"
    group "Canon full frame"
    multiplier 1
    max aperture 4
    focal range 10 20
    calibration 10 0.03 -0.04 0.01

lens "Sigma 10-20"
    group "Nikon DX"
    multiplier 1.5
    max aperture 4
    focal range 10 20
    calibration 10 0.03 -0.03 0.01
    calibration 20 0.02 -0.01 0

lens "AF-S 18-70"
    group "Nikon DX"
    multiplier 1.5
    max aperture 3.61
    focal range 18 70
    calibration 18 0.012 -0.03 0
    calibration 70 0 0.004 0
)";

const char* const kNewerDatabaseText = R"(
group "Canon APS-C"
group "Pentax APS-C"

camera "Canon" "EOS 400D"
    exif "Canon" "Canon EOS 400D DIGITAL"
    group "Canon APS-C"
    multiplier 1.6
    standard 0

camera "Pentax" "K10D"
    exif "PENTAX Corporation" "PENTAX K10D"
    group "Pentax APS-C"
    multiplier 1.5
    standard 0

lens "EF-S 18-55"
    group "Canon APS-C"
    multiplier 1.6
    max aperture 3.61
    focal range 18 55
    calibration 18 0.01 -0.02 0.005

lens "DA 18-55"
    group "Pentax APS-C"
    multiplier 1.5
    max aperture 3.61
    focal range 18 55
    calibration 18 0.011 -0.025 0
)";

void writeResourceDatabase(const std::string& path, const std::string& text) {
    DATDatabase db;
    std::string error;
    ASSERT_TRUE(lensdb::parseDatabaseText(text, db, error)) << error;
    ASSERT_TRUE(lensdb::writeDatabaseFile(db, path, error)) << error;
}

qv::Value userLensRecord(const std::string& name, float a, float b, float c, float d) {
    qv::Value record{qv::Dictionary()};
    record["3.Lens Name"] = name;
    record["4.Lens Focal Length"] = "24";
    record["5.Lens FOV"] = "73.7";
    record["6.Lens Radial Shift Mode"] = 0x1000000;
    record["7.Lens Type"] = 2;
    record["Red A"] = a;
    record["Red B"] = b;
    record["Red C"] = c;
    record["Red D"] = d;
    return record;
}

void writeUserDatabase(const std::string& path, const qv::Array& lenses) {
    qv::Value maker{qv::Dictionary()};
    maker["Manufacturer Name"] = "Lomo";
    maker["Models"] = qv::Array{qv::Value("LC-A"), qv::Value("LC-W")};
    qv::Value root{qv::Dictionary()};
    root["Camera Manufacturers"] = qv::Array{maker};
    root["Lens Array"] = lenses;
    ASSERT_TRUE(qv::writePropertyList(root, path));
}

void setModificationTime(const std::string& path, long secondsSinceEpoch) {
    struct utimbuf times {};
    times.actime = secondsSinceEpoch;
    times.modtime = secondsSinceEpoch;
    ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) { return qv::files::readWhole(path).value_or(qv::Data()); }

FixtureBundle::FixtureBundle(const std::string& databaseText) : m_folder("qvbundle") {
    const std::string strings = qvtest::binaryDir() + "/Resources/Localizable.strings";
    EXPECT_TRUE(qv::files::copyItem(strings, m_folder.file("Localizable.strings"))) << strings;
    writeResourceDatabase(databasePath(), databaseText);
    setModificationTime(databasePath(), 1600000000);
    setenv("QV_RESOURCE_DIR", m_folder.path().c_str(), 1);
}

bool FixtureBundle::installResource(const std::string& file) {
    return qv::files::copyItem(qvtest::sourceDir() + "/resources/" + file, m_folder.file(file));
}

FixtureBundle::~FixtureBundle() { unsetenv("QV_RESOURCE_DIR"); }

std::string FixtureBundle::databasePath() const { return m_folder.file("PTLens.dat"); }

void FixtureBundle::replaceDatabase(const std::string& text, long modificationTime) {
    writeResourceDatabase(databasePath(), text);
    setModificationTime(databasePath(), modificationTime);
}

std::size_t FakeDisplayView::count(const std::string& call) const {
    return std::size_t(std::count(calls.begin(), calls.end(), call));
}

qv::ci::Image FakeDisplayView::scaleToFixedSize(const qv::ci::Image&) {
    if (proxy.width <= 0 || proxy.height <= 0) return {};
    return qv::ci::Image::fromBitmap(qv::Bitmap::make(int(proxy.width), int(proxy.height), qv::PixelFormat::Gray8));
}

bool LoadingView::setCIImageFromFile(const std::string& path) {
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return false;
    auto pixels = source->createImage();
    if (!pixels) return false;
    image = qv::ci::Image::fromBitmap(std::move(*pixels));
    metadata = qv::Value(source->properties());
    loadedPath = path;
    ++loads;
    return true;
}

void resetApplication() { qv::ui::Application::shared().reset(); }

qv::ui::Responder& responder() { return qv::ui::Application::shared().responder(); }

std::vector<std::string> alertTitles() {
    std::vector<std::string> titles;
    for (const auto& record : responder().alerts()) titles.push_back(record.request.title);
    return titles;
}

bool wasAsked(const std::string& localizedKey) {
    const auto titles = alertTitles();
    return std::find(titles.begin(), titles.end(), qv::localizedString(localizedKey)) != titles.end();
}

void writeScriptedLensInfoTool(const std::string& path, const std::string& logPath) {
    const std::string script = "#!/bin/sh\n"
                               "log='" + logPath + "'\n"
                               "echo start >> \"$log\"\n"
                               "while IFS= read -r line; do\n"
                               "  case \"$line\" in\n"
                               "    -lensinfo) ;;\n"
                               "    -execute*) n=${line#-execute}; echo \"$photo\" >> \"$log\"\n"
                               "      case \"${photo##*/}\" in\n"
                               "        *exits*) exit 1 ;;\n"
                               "        *hangs*) exec sleep 30 ;;\n"
                               "        *floods*) exec yes 'Lens Info flood' ;;\n"
                               "        *garbage*) printf 'Lens Info                       : \\377\\376ab/cd 55/0\\n{ready%s}\\n' \"$n\" ;;\n"
                               "        *late*) printf '{ready%s}\\n' $((n - 1)); exec sleep 30 ;;\n"
                               "        *) printf 'Lens Info                       : 24/1 105/1 4/1 4/1\\n{ready%s}\\n' \"$n\" ;;\n"
                               "      esac ;;\n"
                               "    *) photo=$line ;;\n"
                               "  esac\n"
                               "done\n";
    ASSERT_TRUE(qv::files::writeWhole(path, std::string_view(script)));
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

void writeCountingLensInfoTool(const std::string& path, const std::string& logPath) {
    const std::string script = "#!/bin/sh\necho start >> '" + logPath + "'\nexec /usr/bin/exiftool \"$@\"\n";
    ASSERT_TRUE(qv::files::writeWhole(path, std::string_view(script)));
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

std::vector<std::string> linesOf(const std::string& path) {
    const qv::Data bytes = qv::files::readWhole(path).value_or(qv::Data());
    std::vector<std::string> lines;
    std::string line;
    for (const std::uint8_t byte : bytes) {
        if (byte == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(char(byte));
        }
    }
    return lines;
}

std::string tool(const std::vector<std::string>& arguments) {
    const auto result = qv::runProcess("exiftool", arguments, 60);
    EXPECT_TRUE(result && result->exitStatus == 0) << (result ? result->output : "exiftool did not start");
    return result ? result->output : "";
}

// A photo of the Canon EOS 400D with the 18-55 zoom at 18 mm, turned by its orientation tag.
void writePhoto(const std::string& path, int width, int height, bool withLensInfo) {
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, qv::PixelFormat::RGBA8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.row(y) + 4 * x;
            p[0] = std::uint8_t(x);
            p[1] = std::uint8_t(y);
            p[2] = 90;
            p[3] = 255;
        }
    qv::Value properties;
    properties["{TIFF}"]["Make"] = "Canon";
    properties["{TIFF}"]["Model"] = "Canon EOS 400D DIGITAL";
    properties["{TIFF}"]["Orientation"] = 6;
    properties["{Exif}"]["FocalLength"] = 18.0;
    properties["{Exif}"]["MaxApertureValue"] = 3.61;
    auto destination = qv::io::ImageDestination::createWithPath(path, "public.jpeg");
    ASSERT_TRUE(destination);
    destination->addImage(std::move(bitmap), *properties.dictionary());
    ASSERT_TRUE(destination->finalize());
    if (withLensInfo) tool({"-q", "-overwrite_original", "-LensInfo=18 55 3.5 5.6", path});
}

QVMainNib launch(QVDisplayViewLink* view) { return QVLaunchApplication(view); }

std::string installedDatabase() { return qv::paths::supportFolder() + "PTLens.dat"; }

qv::ui::AlertAnswer declineOwnedLenses() {
    return {1, {}, qv::localizedString("Please tell Quorvel which lenses you own.")};
}

std::vector<std::string> databaseRowNames(const QVController& controller) {
    std::vector<std::string> names;
    for (const shell::DatabaseRow& row : controller.state().mDatabaseRows) names.push_back(row.name);
    return names;
}

std::vector<std::string> databaseRowFiles(const QVController& controller) {
    std::vector<std::string> files;
    for (const shell::DatabaseRow& row : controller.state().mDatabaseRows) files.push_back(row.path);
    return files;
}

void LaunchedTest::SetUp() {
    resetApplication();
    m_bundle = std::make_unique<FixtureBundle>();
    responder().queueAlert(declineOwnedLenses());
    m_nib = std::make_unique<QVMainNib>(launch(&m_view));
}

void LaunchedTest::TearDown() {
    m_nib.reset();
    resetApplication();
    m_bundle.reset();
}

void LaunchedTest::loadDatabaseRow(int row) {
    ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onDatabase:"));
    ASSERT_TRUE(c().databaseSheet().m_pCamNameTable->userClickRow(row));
    ASSERT_TRUE(c().databaseSheet().m_pLoadDatabaseButton->performClick());
}

void LaunchedTest::openParametersSheet() {
    ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onParameters:"));
    ASSERT_TRUE(c().parametersSheet().m_pParametersSheet->isVisible());
}

std::string cellText(qv::ui::TableView& table, int row) {
    return table.objectValueAt(nullptr, row).value.stringOr("");
}

std::vector<std::string> rowTexts(qv::ui::TableView* table) {
    std::vector<std::string> texts;
    for (int row = 0; row < table->numberOfRows(); ++row) texts.push_back(cellText(*table, row));
    return texts;
}

}  // namespace shelltest
