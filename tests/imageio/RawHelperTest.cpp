// Camera raw files are read by the raw helper, a process of its own: whatever the raw library does
// with a damaged file (a crash, a hang), the application only sees a file it cannot read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "TestImages.h"
#include "common/TempDir.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "imageio/ImageSource.h"
#include "imageio/codecs/RawHelper.h"

using namespace qv;
using namespace qv::io;

namespace {

// The bundle's resources point at a folder of the test's own while the object lives, with a raw
// helper there that is a shell script: one that crashes, or none at all.
class StandInHelper {
public:
    explicit StandInHelper(const std::string& script) {
        if (!script.empty()) {
            const std::string path = m_folder.file("qv-rawdecode");
            EXPECT_TRUE(files::writeWhole(path, "#!/bin/sh\n" + script + "\n"));
            EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
        }
        setenv("QV_RESOURCE_DIR", m_folder.path().c_str(), 1);
    }
    ~StandInHelper() { unsetenv("QV_RESOURCE_DIR"); }

private:
    qvtest::TempDir m_folder;
};

bool opensWithPicture(const Data& bytes, std::string& error) {
    auto source = ImageSource::createWithData(bytes, error);
    return source && source->createImage(0, {}, error);
}

}  // namespace

TEST(RawHelper, TheHelperIsAResourceOfTheBundle) {
    const auto helper = Bundle::main().pathForResource("qv-rawdecode");
    ASSERT_TRUE(helper) << "the build puts the raw helper among the resources";
    EXPECT_EQ(::access(helper->c_str(), X_OK), 0);
}

TEST(RawHelper, TheDamagedDngIsRefusedAndNothingElseHappens) {
    const Data damaged = qvtest::makeDamagedDng();
    ASSERT_EQ(damaged.size(), 202u);
    std::string error;
    EXPECT_FALSE(opensWithPicture(damaged, error));
    EXPECT_FALSE(error.empty());
    // A sound DNG still decodes afterwards, through the same helper.
    EXPECT_TRUE(opensWithPicture(qvtest::makeDng(40, 24, "Testmaker", "Rawcam", 1), error)) << error;
}

TEST(RawHelper, AHelperThatCrashesOrIsMissingIsAFileThatCannotBeRead) {
    const Data dng = qvtest::makeDng(40, 24, "Testmaker", "Rawcam", 1);
    for (const char* script : {"kill -SEGV $$", "kill -ABRT $$", "echo garbage", "head -c 100 /dev/zero", ""}) {
        SCOPED_TRACE(*script ? script : "no helper");
        StandInHelper helper(script);
        std::string error;
        auto source = ImageSource::createWithData(dng, error);
        if (source) {
            EXPECT_NE(source->type(), "public.camera-raw-image") << "not recognised as raw without a working helper";
            EXPECT_FALSE(source->createImage(0, {}, error));
        }
        EXPECT_FALSE(error.empty());
    }
}

TEST(RawHelper, AnAnswerThatClaimsMorePixelsThanItHoldsIsRefused) {
    // A helper whose every answer says: recognised, 1000 x 1000, and sends no pixels.
    qvtest::TempDir dir;
    const std::string answer = dir.file("answer");
    {
        const int fd = ::open(answer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        Value summary;
        summary["recognised"] = true;
        summary["width"] = 1000;
        summary["height"] = 1000;
        ASSERT_TRUE(codec::rawhelper::writeAnswer(fd, summary));
        ::close(fd);
    }
    StandInHelper helper("cat '" + answer + "'");
    std::string error;
    auto source = ImageSource::createWithData(qvtest::makeDng(40, 24, "Testmaker", "Rawcam", 1), error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->type(), "public.camera-raw-image");
    EXPECT_FALSE(source->createImage(0, {}, error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
}
