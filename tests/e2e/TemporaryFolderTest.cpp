// The private temporary folder holds a copy of the user's photo: nothing of it may outlive a run.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "E2ESupport.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

// TMPDIR points at a folder of the test's own while the object lives.
class OwnTemporaryBase {
public:
    OwnTemporaryBase() : m_previous(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "") {
        setenv("TMPDIR", base.path().c_str(), 1);
    }
    ~OwnTemporaryBase() { setenv("TMPDIR", m_previous.c_str(), 1); }
    qvtest::TempDir base;

private:
    std::string m_previous;
};

TEST(TemporaryFolder, IsGoneAfterARunAndStaleOnesAreSweptAtStart) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    OwnTemporaryBase tmp;
    // A folder that a killed run of this user left, with its copy of a photo and an unheld lock.
    const std::string stale = tmp.base.file("QuorvelCI-" + std::to_string(::geteuid()) + "-Xy12Ab");
    ASSERT_EQ(::mkdir(stale.c_str(), 0700), 0);
    ASSERT_TRUE(qv::files::writeWhole(stale + "/QuorvelCI.jpg", std::string_view("someone's photo")));
    ASSERT_TRUE(qv::files::writeWhole(stale + "/.lock", std::string_view()));

    const std::string out = dir.file("out.jpg");
    const auto result = quorvelci({"correct", photo, "-o", out, "--depth", "16"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_TRUE(qv::files::exists(out));
    EXPECT_EQ(qv::files::listFolder(tmp.base.path()), std::vector<std::string>{})
        << "neither the run's own folder nor the stale one is left";
}

}  // namespace
