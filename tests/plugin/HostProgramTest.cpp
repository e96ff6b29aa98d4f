// quorvelci-host over a folder of photos: it loads the plug-in library at run time and drives one
// session. The corrected photo replaces the editable copy in its own format, with its metadata as
// the metadata tool reads it back; the original stays as it was; Cancel leaves the copy byte for
// byte; and neither the application nor the host program links the plug-in's code.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "ExternalTool.h"
#include "TestImages.h"
#include "common/TempDir.h"
#include "common/OrdinaryUser.h"
#include "appkit/Image.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/Process.h"
#include "foundation/PropertyList.h"
#include "imageio/ImageTypes.h"

namespace {

std::string binary(const std::string& name) { return qvtest::binaryDir() + "/bin/" + name; }

qv::ProcessResult host(const std::vector<std::string>& arguments) {
    const auto result = qv::runProcess(binary("quorvelci-host"), arguments, 300);
    EXPECT_TRUE(result);
    return result ? *result : qv::ProcessResult{};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> found;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        found.push_back(text.substr(start, end - start));
    return found;
}

std::string tag(const std::string& file, const std::string& name) {
    const qvtest::ToolResult result = qvtest::runTool({"exiftool", "-s3", "-" + name, file});
    EXPECT_EQ(result.exitCode, 0);
    return result.output.substr(0, result.output.find('\n'));
}

// The host loads the plug-in with dlopen, and the libraries the plug-in brings load more the same
// way (oneTBB its allocator). At the host's exit LeakSanitizer, in a sanitizer build, then at times
// reads a dynamically loaded library's thread-local block with bounds that lie nowhere and its
// tracer crashes ("Tracer caught signal 11"), failing a run that did nothing wrong. The plug-in's
// code is checked for leaks in-process by the plug-in's own tests; the host programs started here
// run without the leak check. (Sanitizer options are read when a process starts, so this process
// keeps its own check.)
const bool kHostChildrenSkipTheLeakCheck = [] {
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string joined = std::string(options ? options : "") + (options && *options ? ":" : "") + "detect_leaks=0";
    return ::setenv("ASAN_OPTIONS", joined.c_str(), 1) == 0;
}();

class HostProgramTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qvtest::toolAvailable("exiftool"));
        unsetenv("QV_RESOURCE_DIR");  // the plug-in's own bundle
        qvtest::writeFile(library.file("beach.jpg"),
                          qvtest::encodeWithLayer(qv::io::ImageType::JPEG, 320, 240, false, qvtest::sampleMetadata(1)));
        qvtest::writeFile(library.file("deep.tif"),
                          qvtest::encodeWithLayer(qv::io::ImageType::TIFF, 320, 240, true, qvtest::sampleMetadata(1)));
    }
    qvtest::TempDir library;
};

TEST_F(HostProgramTest, DoneOnAJpegReplacesTheEditableCopyKeepingItsMetadataAndTheOriginal) {
    const qv::Data original = qvtest::readFile(library.file("beach.jpg"));
    const auto result = host({library.path(), "--select", "beach.jpg", "--rotation", "6", "--done"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const auto calls = lines(result.output);
    const std::vector<std::string> expected = {"apiForProtocol ApertureEditManager", "selectedVersionIds",
                                               "editableVersionsOfVersions [beach.jpg] stacked",
                                               "pathOfEditableFileForVersion beach (editable).jpg", "apertureWindow",
                                               "selectedVersionIds", "endEditSession"};
    std::vector<std::string> hostCalls;
    for (const std::string& line : calls)
        if (line.rfind("quorvelci-host:", 0) != 0) hostCalls.push_back(line);
    EXPECT_EQ(hostCalls, expected) << result.output;

    const std::string edited = library.file("beach (editable).jpg");
    EXPECT_EQ(qvtest::readFile(library.file("beach.jpg")), original);
    EXPECT_NE(qvtest::readFile(edited), original);
    EXPECT_EQ(tag(edited, "FileType"), "JPEG");
    EXPECT_EQ(tag(edited, "Artist"), "Ann Example");
    EXPECT_EQ(tag(edited, "Model"), "Testcam X100");
    EXPECT_EQ(tag(edited, "City"), "Paris");
    EXPECT_EQ(tag(edited, "GPSLatitudeRef"), "North");
}

TEST_F(HostProgramTest, DoneOnASixteenBitTiffKeepsItSixteenBitWithItsMetadata) {
    const auto result = host({library.path(), "--select", "deep.tif", "--rotation", "-3"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const std::string edited = library.file("deep (editable).tif");
    EXPECT_EQ(tag(edited, "FileType"), "TIFF");
    EXPECT_EQ(tag(edited, "BitsPerSample").rfind("16 16 16", 0), 0u);  // an alpha channel may follow
    EXPECT_EQ(tag(edited, "Artist"), "Ann Example");
    EXPECT_NE(qvtest::readFile(edited), qvtest::readFile(library.file("deep.tif")));
}

TEST_F(HostProgramTest, CancelLeavesTheEditableCopyByteForByte) {
    const auto result = host({library.path(), "--select", "beach.jpg", "--scale", "130", "--cancel"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(lines(result.output).back(), "cancelEditSession");
    EXPECT_EQ(qvtest::readFile(library.file("beach (editable).jpg")), qvtest::readFile(library.file("beach.jpg")));
}

TEST_F(HostProgramTest, BadRequestsFailWithoutWriting) {
    auto result = host({library.path(), "--select", "missing.jpg"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.output.find("no photo missing.jpg"), std::string::npos) << result.output;
    result = host({library.path(), "--select", "beach.jpg", "--no-such-control", "1"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(lines(result.output).back(), "cancelEditSession");
    EXPECT_EQ(qvtest::readFile(library.file("beach (editable).jpg")), qvtest::readFile(library.file("beach.jpg")));
    result = host({library.path(), "--plugin", library.file("beach.jpg")});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.output.find("cannot load the plug-in"), std::string::npos) << result.output;
    EXPECT_EQ(host({}).exitStatus, 2);
}

TEST_F(HostProgramTest, DoneOnAPngWritesAPngOfTheSameDepthWithItsMetadataAndProfile) {
    for (const bool deep : {false, true}) {
        SCOPED_TRACE(deep ? "16 bits" : "8 bits");
        const std::string name = deep ? "deep.png" : "flat.png";
        qvtest::writeFile(library.file(name), qvtest::encodeWithLayer(qv::io::ImageType::PNG, 320, 240, deep,
                                                                      qvtest::sampleMetadata(1), qvtest::makeSRGBProfile()));
        const qv::Data original = qvtest::readFile(library.file(name));
        const auto result = host({library.path(), "--select", name, "--rotation", "4", "--done"});
        ASSERT_EQ(result.exitStatus, 0) << result.output;
        const std::string edited = library.file(deep ? "deep (editable).png" : "flat (editable).png");
        EXPECT_EQ(qvtest::readFile(library.file(name)), original);
        EXPECT_NE(qvtest::readFile(edited), original);
        EXPECT_EQ(tag(edited, "FileType"), "PNG");
        EXPECT_EQ(tag(edited, "BitDepth"), deep ? "16" : "8");
        EXPECT_EQ(tag(edited, "Artist"), "Ann Example");
        EXPECT_EQ(tag(edited, "Model"), "Testcam X100");
        EXPECT_EQ(tag(edited, "ProfileDescription"), tag(library.file(name), "ProfileDescription"));
        EXPECT_FALSE(tag(edited, "ProfileDescription").empty());
    }
}

TEST_F(HostProgramTest, NoEditableFileThatCouldNotBeMadeOrIsALinkIsWrittenAndDoneSaysSo) {
    const std::string saveError = qv::readPropertyList(qvtest::sourceDir() + "/resources/Localizable.strings")
                                      .get("SaveErrorMessage")
                                      .stringOr("?");
    const qv::Data original = qvtest::readFile(library.file("beach.jpg"));
    auto expectRefusedDone = [&](const qv::ProcessResult& result) {
        EXPECT_EQ(result.exitStatus, 1) << result.output;
        EXPECT_NE(result.output.find("the plug-in showed: " + saveError), std::string::npos) << result.output;
        EXPECT_EQ(lines(result.output).back(), "cancelEditSession") << result.output;
        EXPECT_EQ(qvtest::readFile(library.file("beach.jpg")), original);
    };

    // A link where the editable copy would be, to the original: never written through.
    const std::string link = library.file("beach (editable).jpg");
    ASSERT_EQ(::symlink("beach.jpg", link.c_str()), 0);
    expectRefusedDone(host({library.path(), "--select", "beach.jpg", "--done"}));
    struct stat status {};
    ASSERT_EQ(::lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(::unlink(link.c_str()), 0);

    // An ordinary user whose library folder is read-only: no copy can be made, nothing is written
    // anywhere, and no temporary file is left in the support folder or the temporary folder.
    qvtest::TempDir user;
    // The test's own temporary folders lie in its HOME, which the user must pass through.
    for (const std::string& folder : {std::string(std::getenv("HOME")), user.path()})
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(library.path().c_str(), 0555), 0);
    for (const char* folder : {"home", "tmp"}) {
        ASSERT_TRUE(qv::files::createFolder(user.file(folder)));
        ASSERT_TRUE(qvtest::giveToOrdinaryUser(user.file(folder)));
    }
    const auto listed = qv::files::listFolder(library.path());
    const auto asUser = qvtest::runProgramAsOrdinaryUser(
        "/usr/bin/env", {"HOME=" + user.file("home"), "TMPDIR=" + user.file("tmp"), binary("quorvelci-host"),
                         library.path(), "--select", "beach.jpg"});
    ::chmod(library.path().c_str(), 0755);
    expectRefusedDone(asUser);
    EXPECT_EQ(qv::files::listFolder(library.path()), listed);
    EXPECT_EQ(qv::files::listFolder(user.file("home") + "/Library/Application Support/Zentu/QuorvelCI"),
              std::vector<std::string>{"PTLens.dat"});
    EXPECT_EQ(qv::files::listFolder(user.file("tmp")), std::vector<std::string>{});
}

TEST_F(HostProgramTest, PastTheFileSizeLimitTheHostIsNotKilledAndLeavesNoPartialFile) {
    // The editable copy from an earlier session, as the host keeps it.
    const std::string editable = library.file("beach (editable).jpg");
    ASSERT_TRUE(qv::files::copyItem(library.file("beach.jpg"), editable));
    const qv::Data before = qvtest::readFile(editable);
    qvtest::TempDir temporary;
    // 8 blocks of 512 bytes: the support folder's database and the written photo both pass it.
    const auto result = qv::runProcess(
        "/bin/sh", {"-c", "ulimit -f 8 && exec env TMPDIR=\"$1\" \"$0\" \"$2\" --select beach.jpg --rotation 6",
                    binary("quorvelci-host"), temporary.path(), library.path()},
        300);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 1) << "SIGXFSZ would end it with 153: " << result->output;
    EXPECT_EQ(qvtest::readFile(editable), before);
    auto hidden = [](const std::string& folder) {
        std::vector<std::string> found;
        for (const std::string& name : qv::files::listFolder(folder).value_or(std::vector<std::string>{}))
            if (name[0] == '.') found.push_back(name);
        return found;
    };
    EXPECT_EQ(hidden(library.path()), std::vector<std::string>{});
    EXPECT_EQ(hidden(qv::paths::supportFolder()), std::vector<std::string>{});
    EXPECT_EQ(qv::files::listFolder(temporary.path()), std::vector<std::string>{});
}

TEST(PlugInLinkingTest, NeitherTheApplicationNorTheHostLinksThePlugIn) {
    const std::string plugIn = qvtest::binaryDir() + "/plugins/QuorvelCI_Plugin/QuorvelCI_Plugin.so";
    const qvtest::ToolResult exported = qvtest::runTool({"nm", "-D", "--defined-only", plugIn});
    ASSERT_EQ(exported.exitCode, 0);
    EXPECT_NE(exported.output.find("QVCreateEditPlugIn"), std::string::npos);
    for (const char* program : {"quorvelci", "quorvelci-host"}) {
        SCOPED_TRACE(program);
        const qvtest::ToolResult needed = qvtest::runTool({"readelf", "-d", binary(program)});
        ASSERT_EQ(needed.exitCode, 0);
        EXPECT_EQ(needed.output.find("QuorvelCI_Plugin"), std::string::npos);
        const qvtest::ToolResult symbols = qvtest::runTool({"nm", "-C", binary(program)});
        ASSERT_EQ(symbols.exitCode, 0);
        EXPECT_EQ(symbols.output.find("QVEditPlugIn"), std::string::npos);
        EXPECT_EQ(symbols.output.find("QVCreateEditPlugIn"), std::string::npos);
    }
}

TEST(PlugInLinkingTest, ThePlugInBuildLeavesOutBatchProcessing) {
    const std::string plugIn = qvtest::binaryDir() + "/plugins/QuorvelCI_Plugin/QuorvelCI_Plugin.so";
    const qvtest::ToolResult inPlugIn = qvtest::runTool({"nm", "-C", plugIn});
    const qvtest::ToolResult inApplication = qvtest::runTool({"nm", "-C", binary("quorvelci")});
    ASSERT_EQ(inPlugIn.exitCode, 0);
    ASSERT_EQ(inApplication.exitCode, 0);
    EXPECT_NE(inPlugIn.output.find("QVEditPlugIn::doneEditing"), std::string::npos);
    for (const char* symbol : {"QVBatchController::", "ImageAndTextCell::"}) {
        SCOPED_TRACE(symbol);
        EXPECT_EQ(inPlugIn.output.find(symbol), std::string::npos);
        EXPECT_NE(inApplication.output.find(symbol), std::string::npos);
    }
}

TEST(PlugInLinkingTest, ThePlugInBuildLeavesOutTheSaveCommandsAndTheSavesThatEmbedAndCompress) {
    const std::string plugIn = qvtest::binaryDir() + "/plugins/QuorvelCI_Plugin/QuorvelCI_Plugin.so";
    const qvtest::ToolResult inPlugIn = qvtest::runTool({"nm", "-C", plugIn});
    const qvtest::ToolResult inApplication = qvtest::runTool({"nm", "-C", binary("quorvelci")});
    ASSERT_EQ(inPlugIn.exitCode, 0);
    ASSERT_EQ(inApplication.exitCode, 0);
    // The encoder stays: Done encodes with it.
    EXPECT_NE(inPlugIn.output.find("QVImageEncoder::dataFromImage"), std::string::npos);
    for (const char* symbol : {"QVImageEncoder::writeEncodedFile", "QVController::onSaveAs", "QVController::onSave(",
                               "QVController::saveImage(", "QVController::resetAccessoryView"}) {
        SCOPED_TRACE(symbol);
        EXPECT_EQ(inPlugIn.output.find(symbol), std::string::npos);
        EXPECT_NE(inApplication.output.find(symbol), std::string::npos);
    }
}

TEST(PlugInBundleTest, TheBundleCarriesItsIconAndItsImageUnits) {
    const std::string resources = qvtest::binaryDir() + "/plugins/QuorvelCI_Plugin/Resources";
    const qv::ui::Image icon = qv::ui::Image::initByReferencingFile(resources + "/lens.png");
    ASSERT_TRUE(icon.isValid());
    EXPECT_EQ(icon.bitmap().width, 128);
    EXPECT_EQ(icon.bitmap().height, 128);
    EXPECT_EQ(icon.bitmap().row(0)[3], 0);      // a round picture: the corners are clear
    EXPECT_EQ(icon.bitmap().row(64)[64 * 4 + 3], 255);  // and the glass is opaque
    for (const auto& [unit, filter] : std::vector<std::pair<std::string, std::string>>{
             {"LensFilter", "LensFilter"}, {"Vignette", "Vignette"}, {"RadialDistortion", "RadialDistortion"}}) {
        SCOPED_TRACE(unit);
        const qv::Value description =
            qv::readPropertyList(resources + "/PlugIns/" + unit + ".plugin/Contents/Info.plist");
        EXPECT_EQ(description.get("CFBundleName").stringOr(""), unit);
        EXPECT_TRUE(description.get("Filters").contains(filter));
    }
    for (const char* resource : {"PTLens.dat", "exiftool", "Localizable.strings", "MyVignetting.cikernel"})
        EXPECT_TRUE(qv::files::exists(resources + "/" + resource)) << resource;
}

}  // namespace
