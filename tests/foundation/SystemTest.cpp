#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/Assert.h"
#include "foundation/SystemSleep.h"
#include "foundation/SystemVersion.h"
#include "foundation/TextEncoding.h"

using namespace qv;

TEST(SystemVersion, AnswersTrueUntilATestSwitchesItOff) {
    EXPECT_TRUE(IsMacOSSnowLeopardRunning());
    setSnowLeopardRunning(false);
    EXPECT_FALSE(IsMacOSSnowLeopardRunning());
    setSnowLeopardRunning(true);
    EXPECT_TRUE(IsMacOSSnowLeopardRunning());
}

TEST(Assert, AFailedCheckIsLoggedCountedAndTheProgramGoesOn) {
    std::size_t before = assertionFailureCount();
    QVAssert(1 + 1 == 2, "arithmetic");
    EXPECT_EQ(assertionFailureCount(), before);
    testing::internal::CaptureStderr();
    const char* input = nullptr;
    QVAssert(input != nullptr, "Unwrap:Input file cannot be nil");
    std::string logged = testing::internal::GetCapturedStderr();
    EXPECT_EQ(assertionFailureCount(), before + 1);
    EXPECT_EQ(lastAssertionMessage(), "Unwrap:Input file cannot be nil");
    EXPECT_NE(logged.find("Unwrap:Input file cannot be nil"), std::string::npos);
}

TEST(SystemSleep, RequestsAreRecordedAndSleepHappensOnlyWhenAllowed) {
    setSystemSleepCommand({"/bin/true"});  // never the real thing in a test
    unsetenv("QV_ALLOW_SYSTEM_SLEEP");
    std::size_t before = systemSleepRequestCount();
    EXPECT_FALSE(requestSystemSleep());
    setenv("QV_ALLOW_SYSTEM_SLEEP", "1", 1);
    EXPECT_TRUE(requestSystemSleep());
    setSystemSleepAllowed(false);
    EXPECT_FALSE(requestSystemSleep());
    EXPECT_EQ(systemSleepRequestCount(), before + 3);
    unsetenv("QV_ALLOW_SYSTEM_SLEEP");
}

TEST(TextEncoding, MacRomanUpperHalfBecomesItsLettersAndSigns) {
    EXPECT_EQ(macRomanToUtf8("Lens Info : 18/1 55/1"), "Lens Info : 18/1 55/1");
    EXPECT_EQ(macRomanToUtf8("\x80\x8A\xA5\xDB\xF0\xCA\xFF\xC9"),
              "\u00C4\u00E4\u2022\u20AC\uF8FF\u00A0\u02C7\u2026");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    std::string utf8 = macRomanToUtf8(all);
    std::size_t characters = 0;
    for (unsigned char c : utf8) characters += (c & 0xC0) != 0x80;
    EXPECT_EQ(characters, 256u);
}
