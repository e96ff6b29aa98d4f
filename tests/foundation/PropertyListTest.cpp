#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "common/MutationRun.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/PropertyList.h"

using namespace qv;

namespace {

std::uint32_t bitsOf(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float floatFromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

Value sampleDocument() {
    Value root;
    root["3.Lens Name"] = "Zoom 18-55mm f/3.5-5.6 <kit> & more";
    root["Objektiv Ø"] = "Brennweite 55 mm";
    root["日本語のキー"] = "値";
    root["Save As\u2026"] = "";
    root["count"] = Value(std::numeric_limits<long long>::min());
    root["big"] = Value(std::numeric_limits<long long>::max());
    root["negative"] = -42;
    root["ratio"] = 0.1;
    root["flag"] = true;
    root["off"] = false;
    root["when"] = Date{300000000};
    Data bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(std::uint8_t(i));
    root["blob"] = bytes;
    root["empty dict"] = Dictionary{};
    root["empty list"] = Array{};
    Value lens;
    lens["Red A"] = 0.25f;
    lens["Models"] = Array{"D70", "D80", Value(Array{1, 2.5, "three"})};
    root["Lens Array"].append(lens);
    root["Lens Array"].append(Value(Dictionary{{"nested", Value(Dictionary{{"deeper", 7}})}}));
    return root;
}

std::string nested(int depth) {
    std::string text = "<plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) text += "<array>";
    for (int i = 0; i < depth; ++i) text += "</array>";
    return text + "</plist>";
}

}  // namespace

TEST(PropertyList, NestedDocumentSurvivesAFileRoundTrip) {
    qvtest::TempDir dir;
    Value root = sampleDocument();
    ASSERT_TRUE(writePropertyList(root, dir.file("doc.plist")));
    Value back = readPropertyList(dir.file("doc.plist"));
    EXPECT_EQ(back, root);
    EXPECT_EQ(back.get("日本語のキー").stringOr(""), "値");
    EXPECT_EQ(back.get("Lens Array").at(0).get("Models").at(2).at(2).stringOr(""), "three");
    EXPECT_EQ(back.get("count").integerOr(0), std::numeric_limits<long long>::min());
    EXPECT_EQ(back.get("blob").data()->size(), 256u);
}

TEST(PropertyList, ByteBufferRoundTripAndNullsLeftOut) {
    Value root;
    root["kept"] = 1;
    root["dropped"] = Value();
    root["list"] = Array{Value(), "x"};
    auto xml = formatPropertyList(root);
    ASSERT_TRUE(xml);
    EXPECT_EQ(xml->find("dropped"), std::string::npos);
    Value back = parsePropertyList(*xml);
    EXPECT_EQ(back.size(), 2u);
    EXPECT_EQ(back.get("list").size(), 1u);
    EXPECT_EQ(back.get("list").at(0).stringOr(""), "x");

    EXPECT_FALSE(formatPropertyList(Value()));
    qvtest::TempDir dir;
    EXPECT_FALSE(writePropertyList(Value(), dir.file("null.plist")));
    EXPECT_FALSE(files::exists(dir.file("null.plist")));
}

TEST(PropertyList, SinglePrecisionBitPatternsSurviveIncludingNaNAndInfinities) {
    const std::uint32_t patterns[] = {
        0x7fc00000u, 0x7fc00001u, 0x7f800001u /* signalling */, 0xffbadbadu, 0x7fffffffu, 0xff800001u,
        0x7f800000u, 0xff800000u, 0x80000000u, 0x00000000u, 0x00000001u, 0x80000001u, 0x7f7fffffu,
        0x3f800000u, 0xbe4ccccdu, 0x4a3e0d3fu};
    Value root;
    for (std::uint32_t bits : patterns) root.append(Value(floatFromBits(bits)));

    qvtest::TempDir dir;
    ASSERT_TRUE(writePropertyList(root, dir.file("floats.plist")));
    Value back = readPropertyList(dir.file("floats.plist"));
    ASSERT_EQ(back.size(), std::size(patterns));
    for (std::size_t i = 0; i < std::size(patterns); ++i) {
        auto f = back.at(i).asFloat();
        ASSERT_TRUE(f) << i;
        EXPECT_EQ(bitsOf(*f), patterns[i]) << std::hex << patterns[i];
    }
}

TEST(PropertyList, FiniteRealsStayOrdinaryNumbersAndOldFilesReadAsBefore) {
    Value root;
    root["half"] = 0.5f;
    root["up"] = std::numeric_limits<float>::infinity();
    auto xml = formatPropertyList(root);
    ASSERT_TRUE(xml);
    EXPECT_NE(xml->find("<real>0.5</real>"), std::string::npos);
    EXPECT_NE(xml->find("<real>+infinity</real>"), std::string::npos);

    // What an older version wrote: plain reals, a float widened with all its digits, and "nan".
    Value old = parsePropertyList(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>aValue</key><real>0.10000000149011612</real>"
        "<key>FOV</key><real>63.5</real><key>odd</key><real>nan</real></dict></plist>");
    ASSERT_TRUE(old.isDictionary());
    EXPECT_EQ(bitsOf(old.get("aValue").floatOr(0)), bitsOf(0.1f));
    EXPECT_DOUBLE_EQ(old.get("FOV").doubleOr(0), 63.5);
    EXPECT_TRUE(std::isnan(old.get("odd").doubleOr(0)));
}

TEST(PropertyList, DoublesAndNegativeZeroComeBackExactly) {
    std::mt19937_64 random(7);
    Value root;
    std::vector<double> values = {-0.0, 1e-310, -1e300, 0.1, 1.0 / 3};
    for (int i = 0; i < 200; ++i) {
        std::uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) values.push_back(d);
    }
    for (double d : values) root.append(Value(d));
    Value back = parsePropertyList(*formatPropertyList(root));
    ASSERT_EQ(back.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        double d = back.at(i).doubleOr(1);
        EXPECT_EQ(std::memcmp(&d, &values[i], sizeof d), 0) << values[i];
    }
}

TEST(PropertyList, MalformedInputReadsAsNothing) {
    const char* broken[] = {
        "",
        "not a property list",
        "<plist version=\"1.0\"><dict><key>a</key><string>x</string>",
        "<plist version=\"1.0\"><dict><string>no key</string></dict></plist>",
        "<plist version=\"1.0\"><array></dict></plist>",
        "<plist version=\"1.0\"><unknown/></plist>",
        "bplist00\xd1\x01\x02",
        "<plist version=\"1.0\"><string>&#xFFFFFFFF;</string></plist>",
        "<<<<>>>>",
    };
    for (const char* text : broken) EXPECT_TRUE(parsePropertyList(text).isNull()) << text;

    EXPECT_TRUE(parsePropertyList(nested(100000)).isNull());
    EXPECT_TRUE(parsePropertyList(nested(kMaxPropertyListDepth + 1)).isNull());
    EXPECT_FALSE(parsePropertyList(nested(kMaxPropertyListDepth)).isNull());

    // A NUL byte anywhere (libplist would abort on one inside a string or a key).
    const std::string good = "<plist version=\"1.0\"><dict><key>k</key><string>text</string></dict></plist>";
    ASSERT_FALSE(parsePropertyList(good).isNull());
    for (const std::string& target : {std::string("text"), std::string("<key>k") }) {
        std::string damaged = good;
        damaged.insert(damaged.find(target) + target.size() - 1, std::string("\0", 1));
        EXPECT_TRUE(parsePropertyList(damaged).isNull()) << target;
    }

    qvtest::TempDir dir;
    EXPECT_TRUE(readPropertyList(dir.file("missing.plist")).isNull());
    EXPECT_TRUE(readPropertyList(dir.path()).isNull());
}

TEST(PropertyList, MutatedFilesNeverCrashAndWhatParsesCanBeWrittenAgain) {
    std::string seed = *formatPropertyList(sampleDocument());
    std::mt19937 random(1234);
    const char* tokens[] = {"<", ">", "</", "<dict>", "</dict>", "<array>", "</array>", "<key>", "&", "&#x", ";",
                            "<![CDATA[", "]]>", "<!--", "-->", "<data>", "<real>", "<date>", "\xff", "\xc3"};
    int parsed = 0;
    qvtest::MutationRun run("mutated property lists", 3000);
    while (run.next()) {
        std::string text = seed;
        int edits = 1 + int(random() % 5);
        for (int e = 0; e < edits; ++e) {
            std::size_t at = random() % (text.size() + 1);
            switch (random() % 4) {
            case 0: if (at < text.size()) text[at] = char(random()); break;
            case 1: text.resize(at); break;
            case 2: text.insert(at, tokens[random() % std::size(tokens)]); break;
            default: text.erase(at, random() % 16); break;
            }
        }
        Value value = parsePropertyList(text);
        if (value.isNull()) continue;
        ++parsed;
        // Anything that parses is a proper tree that can be written and read again.
        auto again = formatPropertyList(value);
        if (again) {
            EXPECT_EQ(parsePropertyList(*again), value);
        }
    }
    if (run.ranAll()) {
        EXPECT_GT(parsed, 0);
    }
}

TEST(PropertyList, WritingRefusesTooDeepNesting) {
    Value deep = 1;
    for (int i = 0; i < kMaxPropertyListDepth; ++i) deep = Value(Array{deep});
    EXPECT_FALSE(formatPropertyList(deep));
    Value fine = 1;
    for (int i = 0; i < kMaxPropertyListDepth - 1; ++i) fine = Value(Array{fine});
    EXPECT_TRUE(formatPropertyList(fine));
}

TEST(PropertyList, DatesKeepWholeSeconds) {
    Value root = Array{Date{-300000000}, Date{300000000.75}};
    Value back = parsePropertyList(*formatPropertyList(root));
    EXPECT_EQ(back.at(0).date()->secondsSinceReferenceDate, -300000000);
    EXPECT_EQ(back.at(1).date()->secondsSinceReferenceDate, 300000000);
}
