#include "LensTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "lens/DatText.h"
#include "lens/DatWriter.h"

namespace lenstest {

const char* const kFixtureText = R"(
group "G1"
group "G2"
group "G3"

camera "MakeA" "Model A1"
    exif "MAKE A" "A1 EXIF"
    group "G1"
    multiplier 1.5
    standard 7

camera "MakeA" "Model A2"
    exif "MAKE A" "A2 EXIF"
    group "G2"
    multiplier 1
    standard 0

camera "MakeB" "Model B1"
    exif "MAKE B" "B1 EXIF"
    group "G3"
    multiplier 2
    standard 0

lens "Zoom 10-20"
    group "G1"
    multiplier 1.5
    max aperture 3.61
    focal range 10 20.7
    calibration 10 0.01 -0.02 0.005
    calibration 15 0.02 -0.04 0
    calibration 20 0 0.01 0

lens "Prime 30"
    group "G1"
    multiplier 1.5
    max aperture 1.7
    focal range 30 30
    calibration 30 0.001 -0.002 0

lens "Zoom 10-20"
    group "G1"
    multiplier 1.6
    max aperture 3.61
    focal range 10 20
    calibration 10 0.5 0.5 0.5

lens "Zoom 10-20"
    group "G1"
    multiplier 1.4
    max aperture 3.61
    focal range 10 20
    calibration 10 0.03 0 0

lens "Wide 12"
    group "G2"
    multiplier 1
    max aperture 2.97
    focal range 12.9 12.9
    calibration 12 0 -0.01 0

lens "Tele 100"
    group "G3"
    multiplier 2
    max aperture 4
    focal range 100 200
    calibration 100 0.001 0.002 0.003
    calibration 200 0.004 0.005 0.006
)";

DATDatabase parse(const std::string& text) {
    DATDatabase db;
    std::string error;
    EXPECT_TRUE(lensdb::parseDatabaseText(text, db, error)) << error;
    return db;
}

DATDatabase fixtureDatabase() { return parse(kFixtureText); }

std::vector<std::uint8_t> encode(const DATDatabase& db) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(lensdb::encodeDatabase(db, bytes, error)) << error;
    return bytes;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string writeDatabase(const std::string& path, const DATDatabase& db) {
    writeBytes(path, encode(db));
    return path;
}

}  // namespace lenstest
