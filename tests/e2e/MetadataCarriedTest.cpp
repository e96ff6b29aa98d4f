// A photo's metadata and colour profile reach every output: GPS, IPTC and XMP beside the EXIF,
// the embedded profile at both depths, and sizes and orientations that describe the picture as
// written (upright, full size), read back by the metadata tool.
#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"

using namespace e2e;

namespace {

TEST(MetadataCarried, EveryOutputTypeAndDepthKeepsTheTagsAndTheProfile) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string profile = dir.file("wide.icc");
    ASSERT_TRUE(writeRgbProfile(profile, "QuorvelCI Test Wide RGB", 2.19921875));
    // Turned by its orientation tag (in EXIF and in XMP), so the upright output is 800 x 1200.
    const auto tagged = run("exiftool", {"-q", "-overwrite_original", "-ICC_Profile<=" + profile, "-GPSLatitude=48.8583",
                                         "-GPSLatitudeRef=N", "-GPSLongitude=2.2945", "-GPSLongitudeRef=E",
                                         "-IPTC:City=Paris", "-IPTC:Keywords=tower", "-XMP-dc:Creator=Ann Example",
                                         "-XMP-tiff:Orientation#=6", "-Orientation#=6", photo});
    ASSERT_EQ(tagged.exitStatus, 0) << tagged.output;
    ASSERT_EQ(tags(photo, {"ProfileDescription", "Orientation#"}), "QuorvelCI Test Wide RGB\n6\n");

    for (const std::string type : {"jpg", "tif", "psd", "exr"})
        for (const std::string depth : {"8", "16"}) {
            SCOPED_TRACE(type + " at " + depth + " bits");
            const std::string out = dir.file("out" + depth + "." + type);
            const auto result = quorvelci({"correct", photo, "-o", out, "--depth", depth});
            ASSERT_EQ(result.exitStatus, 0) << result.output;
            EXPECT_EQ(tags(out, {"ImageWidth", "ImageHeight"}), "800\n1200\n");
            if (type == "exr") {
                // No profile or EXIF block in OpenEXR: the entries travel as header attributes.
                EXPECT_EQ(tags(out, {"GPSLatitude", "IPTCCity", "ExifPixelXDimension", "ExifPixelYDimension"}),
                          "48.8583\nParis\n800\n1200\n");
                EXPECT_TRUE(contains(tags(out, {"XMP"}), "Ann Example"));
                continue;
            }
            EXPECT_EQ(tags(out, {"ProfileDescription", "GPSLatitude#", "GPSLongitude#", "IPTC:City", "IPTC:Keywords",
                                 "XMP-dc:Creator", "Orientation#", "XMP-tiff:Orientation#", "ExifImageWidth",
                                 "ExifImageHeight"}),
                      "QuorvelCI Test Wide RGB\n48.8583\n2.2945\nParis\ntower\nAnn Example\n1\n1\n800\n1200\n");
        }
    // Each run ended as the window's close does: the profile extracted from the photo is swept
    // from the support folder, after a script as after the correct command.
    EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), std::vector<std::string>{"PTLens.dat"});
    const auto scripted = script(dir, "open " + photo + "\nsave-as " + dir.file("scripted.tif") + "\n");
    ASSERT_EQ(scripted.exitStatus, 0) << scripted.output;
    EXPECT_EQ(tags(dir.file("scripted.tif"), {"ProfileDescription"}), "QuorvelCI Test Wide RGB\n");
    EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), std::vector<std::string>{"PTLens.dat"});
}

}  // namespace
