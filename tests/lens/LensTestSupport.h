#pragma once
// Databases for the lens tests, made with the same text parser and writer the qv-lensdb tool uses.
#include <cstdint>
#include <string>
#include <vector>

#include "lens/DatFormat.h"
#include "lens/QVDatabaseLoader.h"

namespace lenstest {

// Three groups, three cameras and six lenses:
//   lens 0 "Zoom 10-20" (G1, x1.5): calibrations at 10, 15, 20 mm
//   lens 1 "Prime 30"   (G1, x1.5): one calibration at 30 mm
//   lens 2 "Zoom 10-20" (G1, x1.6): a namesake above the first's multiplier
//   lens 3 "Zoom 10-20" (G1, x1.4): a namesake below it
//   lens 4 "Wide 12"    (G2, x1.0): one calibration at 12 mm
//   lens 5 "Tele 100"   (G3, x2.0): calibrations at 100 and 200 mm
extern const char* const kFixtureText;

DATDatabase parse(const std::string& text);  // fails the test on a parse error
DATDatabase fixtureDatabase();
std::vector<std::uint8_t> encode(const DATDatabase& db);  // fails the test on an encode error

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readBytes(const std::string& path);
std::string readText(const std::string& path);

// Writes the database to path and answers the path.
std::string writeDatabase(const std::string& path, const DATDatabase& db);

// The owner a loader asks for the focal length and the matching-lenses option.
class FakeController : public QVDatabaseLoaderClient {
public:
    double focal = 0;
    bool onlyMatching = false;
    double focalLength() const override { return focal; }
    bool showsOnlyMatchingLenses() const override { return onlyMatching; }
};

}  // namespace lenstest
