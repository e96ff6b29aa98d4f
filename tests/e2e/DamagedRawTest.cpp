// A damaged camera raw file, whichever name it has, gives the open error alert and nothing else:
// the program goes on with the photo it had.
#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "TestImages.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

TEST(DamagedRaw, TheOpenErrorAlertAndNothingElseUnderEitherName) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    for (const std::string name : {"broken.dng", "broken.tif"}) {
        SCOPED_TRACE(name);
        const std::string damaged = dir.file(name);
        ASSERT_TRUE(qv::files::writeWhole(damaged, qvtest::makeDamagedDng()));
        const std::string out = dir.file("out.jpg");
        const auto result = script(dir, "open " + photo + "\nexpect-alert OpenErrorMessage\nopen " + damaged +
                                            "\nsave-as " + out + "\nprint camera\n");
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_TRUE(contains(result.output, "alert: " + name)) << result.output;
        EXPECT_EQ(result.output.find("alert:"), result.output.rfind("alert:")) << "one alert only: " << result.output;
        EXPECT_TRUE(qv::files::exists(out)) << "the photo opened before is still the one saved";
        qv::files::removeItem(out);
    }
}

}  // namespace
