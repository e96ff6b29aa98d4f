#include <gtest/gtest.h>

#include "foundation/Outcome.h"

TEST(Outcome, WorkedOrFailedWithItsReasonAndAnEmptyReasonStillFails) {
    const qv::Outcome worked = qv::Outcome::success();
    EXPECT_TRUE(worked.ok());
    EXPECT_FALSE(worked.failed());
    EXPECT_TRUE(bool(worked));
    EXPECT_EQ(worked.reason(), "");

    const qv::Outcome refused = qv::Outcome::failure("a folder is in the way");
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.failed());
    EXPECT_FALSE(bool(refused));
    EXPECT_EQ(refused.reason(), "a folder is in the way");

    const qv::Outcome unexplained = qv::Outcome::failure("");
    EXPECT_TRUE(unexplained.failed());
    EXPECT_FALSE(bool(unexplained));
}
