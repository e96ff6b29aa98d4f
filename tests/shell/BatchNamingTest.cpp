#include <gtest/gtest.h>

#include "shell/batch/BatchNaming.h"

using namespace batch;

namespace {

// 2026-03-04 23:30 UTC: seen one hour east it is already 5 March.
constexpr std::time_t kInstant = 1772667000;

NameParts parts(NamePart first, NamePart second = NamePart::token(NameToken::Nothing),
                NamePart third = NamePart::token(NameToken::Nothing),
                NamePart fourth = NamePart::token(NameToken::Nothing)) {
    return {first, second, third, fourth};
}

std::string outputPath(const std::string& field, const NameParts& p, NamingCounters& counters,
                       const std::string& source, QVOutputType::Type chosenType, const NamingClock& clock) {
    return destinationFolder(field) + destinationName(p, counters, source, clock) + "." +
           extensionForType(destinationTypeFor(source, chosenType));
}

}  // namespace

TEST(BatchNaming, NameAndTwoDigitCounterGiveTheThreeOutputsOfAMixedRun) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    NamingCounters counters;
    const NameParts p = parts(NamePart::token(NameToken::FileName), NamePart::token(NameToken::Counter2));
    const QVOutputType::Type psd = QVOutputType::Type::PSD;
    EXPECT_EQ(outputPath("/out", p, counters, "/in/a.jpg", psd, clock), "/out/a00.jpeg");
    EXPECT_EQ(outputPath("/out", p, counters, "/in/b.tif", psd, clock), "/out/b01.tiff");
    EXPECT_EQ(outputPath("/out", p, counters, "/in/c.nef", psd, clock), "/out/c02.psd");
    // The same with the folder typed with its trailing slash.
    counters.reset();
    EXPECT_EQ(outputPath("/out/", p, counters, "/in/a.jpg", psd, clock), "/out/a00.jpeg");
}

TEST(BatchNaming, CountersPadToTheirWidthAndNeverWrap) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    const std::vector<std::pair<int, std::vector<std::pair<int, std::string>>>> cases = {
        {2, {{0, "0"}, {9, "9"}, {10, "10"}}},
        {3, {{0, "00"}, {9, "09"}, {10, "10"}, {99, "99"}, {100, "100"}}},
        {4, {{0, "000"}, {9, "009"}, {99, "099"}, {100, "100"}, {999, "999"}, {1000, "1000"}}},
        {5, {{0, "0000"}, {1, "0001"}, {999, "0999"}, {9999, "9999"}, {10000, "10000"}}},
    };
    for (const auto& [token, expected] : cases) {
        ComboCounters counters;
        int value = -1;
        for (const auto& [at, text] : expected) {
            std::optional<std::string> got;
            while (value < at) {
                got = textForIndex(token, counters, "/x.jpg", clock);
                ++value;
            }
            ASSERT_TRUE(got) << token;
            EXPECT_EQ(*got, text) << "token " << token << " value " << at;
        }
    }
}

TEST(BatchNaming, LettersRunThroughTheAlphabetAndStartAgain) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    ComboCounters counters;
    std::string small, caps;
    for (int i = 0; i < 27; ++i) {
        small += *textForIndex(int(NameToken::SmallLetter), counters, "/x.jpg", clock);
        caps += *textForIndex(int(NameToken::CapsLetter), counters, "/x.jpg", clock);
    }
    EXPECT_EQ(small, "abcdefghijklmnopqrstuvwxyza");
    EXPECT_EQ(caps, "ABCDEFGHIJKLMNOPQRSTUVWXYZA");
}

TEST(BatchNaming, DatesFollowTheGivenTimeZone) {
    ComboCounters counters;
    const NamingClock utc = NamingClock::fixed(kInstant, 0);
    const NamingClock east = NamingClock::fixed(kInstant, 3600);
    EXPECT_EQ(*textForIndex(int(NameToken::DateMDY), counters, "", utc), "030426");
    EXPECT_EQ(*textForIndex(int(NameToken::DateMD), counters, "", utc), "0304");
    EXPECT_EQ(*textForIndex(int(NameToken::DateYYYYMD), counters, "", utc), "20260304");
    EXPECT_EQ(*textForIndex(int(NameToken::DateYYMD), counters, "", utc), "260304");
    EXPECT_EQ(*textForIndex(int(NameToken::DateYYYYMD), counters, "", east), "20260305");
    // The date is taken anew at every call.
    std::time_t now = kInstant;
    NamingClock moving{[&now] { return now; }, utc.calendar};
    EXPECT_EQ(*textForIndex(int(NameToken::DateMD), counters, "", moving), "0304");
    now += 24 * 3600;
    EXPECT_EQ(*textForIndex(int(NameToken::DateMD), counters, "", moving), "0305");
}

TEST(BatchNaming, NameAndExtensionTokensAndTheNothingToken) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    ComboCounters counters;
    EXPECT_EQ(*textForIndex(0, counters, "/photos/trip.day1.NEF", clock), "trip.day1");
    EXPECT_EQ(*textForIndex(1, counters, "/photos/trip.day1.NEF", clock), "NEF");
    EXPECT_EQ(*textForIndex(1, counters, "/photos/README", clock), "");
    EXPECT_FALSE(textForIndex(12, counters, "/x.jpg", clock));
    EXPECT_FALSE(textForIndex(13, counters, "/x.jpg", clock));
    EXPECT_FALSE(textForIndex(-1, counters, "/x.jpg", clock));
}

TEST(BatchNaming, EveryComboCountsOnItsOwnAndTypedTextIsCopied) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    NamingCounters counters;
    const NameParts p = parts(NamePart::token(NameToken::Counter2), NamePart::typed("-set-"),
                              NamePart::token(NameToken::Counter2), NamePart::token(NameToken::SmallLetter));
    EXPECT_EQ(destinationName(p, counters, "/a.jpg", clock), "00-set-00a");
    EXPECT_EQ(destinationName(p, counters, "/b.jpg", clock), "01-set-01b");
    EXPECT_FALSE(stringFromCombo(0, p, counters, "/a.jpg", clock));
    EXPECT_FALSE(stringFromCombo(5, p, counters, "/a.jpg", clock));
    counters.reset();
    EXPECT_EQ(destinationName(p, counters, "/c.jpg", clock), "00-set-00a");
}

TEST(BatchNaming, OnlyTheExtensionTokenOnAFileWithoutExtensionGivesAnEmptyName) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    NamingCounters counters;
    EXPECT_EQ(destinationName(parts(NamePart::token(NameToken::Extension)), counters, "/in/README", clock), "");
}

TEST(BatchNaming, OutputTypeFollowsTheExtensionInAnyCaseElseTheChosenType) {
    using QVOutputType::Type;
    EXPECT_EQ(destinationTypeFor("/x.JPG", Type::OpenEXR), Type::JPEG);
    EXPECT_EQ(destinationTypeFor("/x.jpeg", Type::OpenEXR), Type::JPEG);
    EXPECT_EQ(destinationTypeFor("/x.Tif", Type::JPEG), Type::TIFF);
    EXPECT_EQ(destinationTypeFor("/x.TIFF", Type::JPEG), Type::TIFF);
    EXPECT_EQ(destinationTypeFor("/x.psd", Type::JPEG), Type::PSD);
    EXPECT_EQ(destinationTypeFor("/x.EXR", Type::JPEG), Type::OpenEXR);
    EXPECT_EQ(destinationTypeFor("/x.dng", Type::PSD), Type::PSD);
    EXPECT_EQ(destinationTypeFor("/x.png", Type::TIFF), Type::TIFF);
    EXPECT_EQ(destinationTypeFor("/x", Type::OpenEXR), Type::OpenEXR);
    EXPECT_TRUE(isWrittenFormatExtension("Jpeg"));
    EXPECT_FALSE(isWrittenFormatExtension("nef"));
    EXPECT_FALSE(isWrittenFormatExtension(""));
    EXPECT_STREQ(extensionForType(Type::JPEG), "jpeg");
    EXPECT_STREQ(extensionForType(Type::TIFF), "tiff");
    EXPECT_STREQ(extensionForType(Type::PSD), "psd");
    EXPECT_STREQ(extensionForType(Type::OpenEXR), "exr");
}

TEST(BatchNaming, SampleShowsPlaceholdersAndAdvancesTheCountersItShows) {
    const NamingClock clock = NamingClock::fixed(kInstant, 0);
    NamingCounters counters;
    EXPECT_EQ(sampleName(parts(NamePart::token(NameToken::FileName)), counters, clock), "MyFile.jpg");
    const NameParts p = parts(NamePart::token(NameToken::FileName), NamePart::token(NameToken::Extension),
                              NamePart::token(NameToken::Counter3), NamePart::token(NameToken::CapsLetter));
    EXPECT_EQ(sampleName(p, counters, clock), "MyFilejpg000A.jpg");
    EXPECT_EQ(sampleName(p, counters, clock), "MyFilejpg001B.jpg");
}
