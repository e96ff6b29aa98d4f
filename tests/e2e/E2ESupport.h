#pragma once
// What the end-to-end tests share: the built programs, the generated sample photo (a grid bent by
// the barrel distortion of the 18-55 zoom at 18 mm, with the camera's and lens's EXIF) and ways to
// look at what came out.
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "foundation/Process.h"

namespace e2e {

// The programs the tests start find their resources in a bundle of the tests' own: the build's
// resources with the hand-made fixture database (tests/fixtures/PTLens.txt), whose cameras and
// lenses the tests know, in place of the shipped one. A test of the shipped database asks for the
// build's own bundle instead while it runs.
void useShippedBundle(bool shipped);

std::string binary(const std::string& name);
qv::ProcessResult run(const std::string& program, const std::vector<std::string>& arguments);
// Runs quorvelci with the arguments.
qv::ProcessResult quorvelci(const std::vector<std::string>& arguments);
// Runs "quorvelci script FILE" on a script written into dir.
qv::ProcessResult script(const qvtest::TempDir& dir, const std::string& text);
// As quorvelci() and script(), run by an ordinary user (common/OrdinaryUser.h): the test gives its
// home folder to that user first, with qvtest::giveToOrdinaryUser.
qv::ProcessResult quorvelciAsOrdinaryUser(const std::vector<std::string>& arguments);
qv::ProcessResult scriptAsOrdinaryUser(const qvtest::TempDir& dir, const std::string& text);
// Writes the sample photo into dir; extra arguments go to its generator.
std::string samplePhoto(const qvtest::TempDir& dir, const std::vector<std::string>& extra = {});
bool contains(const std::string& text, const std::string& part);
// The "coefficients:" line of a run's output (empty when there is none).
std::string coefficientsLine(const std::string& output);
// The metadata tool's values of the tags, one a line ("-" for a missing one).
std::string tags(const std::string& file, const std::vector<std::string>& names);
// Writes an RGB profile plainly not sRGB (the primaries of the usual wide working space, the
// gamma given) under the description given, so that it can be recognised in an output.
bool writeRgbProfile(const std::string& path, const std::string& description, double gamma);
// Expects a run to have ended with the status, said the message, and written nothing at `output`.
void expectFailure(const qv::ProcessResult& result, int status, const std::string& message,
                   const std::string& output);

// How far the dark line nearest row y0 (of the 80-pixel grid centred in the picture) wanders up
// and down across the picture (pixels): the spread of its per-column centre between the columns.
double lineWander(const std::string& path, int y0, int fromX, int toX);
// The mean of the first sample (red) over a square of the picture, 0 to 255.
double meanRed(const std::string& path, int x, int y, int size);
// The largest difference between two pictures of one size, in levels of their samples; -1 when
// either cannot be read or their sizes differ.
int largestDifference(const std::string& a, const std::string& b);

}  // namespace e2e
