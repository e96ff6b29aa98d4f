#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "common/BinaryPropertyList.h"
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

// A binary property list put together object by object: four-byte offsets and references.
class BinaryBuilder {
public:
    int add(std::string object) {
        m_objects.push_back(std::move(object));
        return int(m_objects.size()) - 1;
    }
    int ascii(const std::string& text) { return add(char(0x50 | text.size()) + text); }
    int integer(int value) { return add(std::string{char(0x10), char(value)}); }
    int array(const std::vector<int>& members) { return add(container(0xA0, members.size()) + references(members)); }
    int dictionary(const std::vector<int>& keys, const std::vector<int>& values) {
        return add(container(0xD0, keys.size()) + references(keys) + references(values));
    }
    std::string bytes(int top, const std::string& magic = "bplist00") const {
        std::string out = magic, table;
        for (const std::string& object : m_objects) {
            table += bigEndian(out.size(), 4);
            out += object;
        }
        const std::size_t tableOffset = out.size();
        out += table;
        std::string trailer(6, '\0');
        trailer += char(4);  // offset size
        trailer += char(4);  // reference size
        trailer += bigEndian(m_objects.size(), 8) + bigEndian(std::size_t(top), 8) + bigEndian(tableOffset, 8);
        return out + trailer;
    }

private:
    static std::string bigEndian(std::size_t n, int size) {
        std::string out;
        for (int i = size - 1; i >= 0; --i) out += char((n >> (8 * i)) & 0xFF);
        return out;
    }
    static std::string container(int marker, std::size_t count) {
        if (count < 15) return std::string(1, char(marker | int(count)));
        return std::string{char(marker | 0xF), char(0x11)} + bigEndian(count, 2);
    }
    static std::string references(const std::vector<int>& members) {
        std::string out;
        for (int member : members) out += bigEndian(std::size_t(member), 4);
        return out;
    }
    std::vector<std::string> m_objects;
};

// Arrays nested `depth` deep around one integer, as a binary property list.
std::string binaryNested(int depth) {
    BinaryBuilder b;
    int inner = b.integer(1);
    for (int i = 1; i < depth; ++i) inner = b.array({inner});
    return b.bytes(inner);
}

}  // namespace

TEST(PropertyList, BinaryFormReadsAsTheXmlFormDoes) {
    const std::string xml = *formatPropertyList(sampleDocument());
    const std::string binary = qvtest::binaryPropertyList(sampleDocument());
    ASSERT_EQ(binary.substr(0, 8), "bplist00");
    const Value fromBinary = parsePropertyList(binary);
    ASSERT_TRUE(fromBinary.isDictionary());
    EXPECT_EQ(fromBinary, parsePropertyList(xml));
    // Read from a file, and written back in the XML form.
    qvtest::TempDir dir;
    ASSERT_TRUE(files::writeWhole(dir.file("binary.plist"), std::string_view(binary)));
    EXPECT_EQ(readPropertyList(dir.file("binary.plist")), fromBinary);
    ASSERT_TRUE(writePropertyList(fromBinary, dir.file("binary.plist")));
    const auto written = files::readWhole(dir.file("binary.plist"));
    ASSERT_TRUE(written);
    EXPECT_EQ(std::string(written->begin(), written->end()), xml);

    // Shared objects (the platform writes an equal string once) and the deepest nesting allowed.
    BinaryBuilder shared;
    const int key = shared.ascii("3.Lens Name"), name = shared.ascii("Zoom");
    const int lens = shared.dictionary({key}, {name});
    EXPECT_EQ(parsePropertyList(shared.bytes(shared.array({lens, lens, name}))),
              Value(Array{Value(Dictionary{{"3.Lens Name", "Zoom"}}), Value(Dictionary{{"3.Lens Name", "Zoom"}}),
                          "Zoom"}));
    EXPECT_FALSE(parsePropertyList(binaryNested(kMaxPropertyListDepth)).isNull());
}

TEST(PropertyList, DamagedBinaryFormReadsAsNothing) {
    const std::string good = qvtest::binaryPropertyList(sampleDocument());
    std::vector<std::pair<std::string, std::string>> damaged;
    for (std::size_t cut : {std::size_t(0), std::size_t(8), std::size_t(40), good.size() / 2, good.size() - 1})
        damaged.push_back({"cut at " + std::to_string(cut), good.substr(0, cut)});
    {
        BinaryBuilder b;
        b.array({0});
        damaged.push_back({"an array that holds itself", b.bytes(0)});
    }
    {
        // Each array refers twice to the next: a few hundred bytes that would build 2^60 nodes.
        BinaryBuilder b;
        int inner = b.integer(1);
        for (int i = 0; i < 60; ++i) inner = b.array({inner, inner});
        damaged.push_back({"a chain of shared arrays", b.bytes(inner)});
    }
    damaged.push_back({"nested one level too deep", binaryNested(kMaxPropertyListDepth + 1)});
    damaged.push_back({"nested 100000 deep", binaryNested(100000)});
    {
        BinaryBuilder b;
        damaged.push_back({"a NUL in a string", b.bytes(b.array({b.ascii(std::string("a\0b", 3))}))});
    }
    {
        BinaryBuilder b;
        const int value = b.integer(1);
        damaged.push_back({"a NUL in a key", b.bytes(b.dictionary({b.ascii(std::string("k\0", 2))}, {value}))});
    }
    {
        BinaryBuilder b;
        const int value = b.integer(1);
        damaged.push_back({"a number as a key", b.bytes(b.dictionary({value}, {value}))});
    }
    {
        BinaryBuilder b;
        damaged.push_back({"a reference past the objects", b.bytes(b.array({7}))});
    }
    {
        BinaryBuilder b;
        b.ascii("abc");
        damaged.push_back({"a string longer than the file", b.bytes(b.add(std::string(1, char(0x5E)) + "abc"))});
        damaged.push_back({"another version", b.bytes(0, "bplist01")});
    }
    for (const auto& [what, bytes] : damaged) EXPECT_TRUE(parsePropertyList(bytes).isNull()) << what;
}

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

TEST(PropertyList, MutatedBinaryFilesNeverCrashAndWhatParsesCanBeWrittenAgain) {
    const std::string seed = qvtest::binaryPropertyList(sampleDocument());
    std::mt19937 random(4321);
    int parsed = 0;
    qvtest::MutationRun run("mutated binary property lists", 3000);
    while (run.next()) {
        std::string bytes = seed;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 3) {
            case 0: bytes[at] = char(random()); break;                 // a changed byte
            case 1: bytes[at] = char(bytes[at] ^ (1 << (random() % 8))); break;  // a flipped bit
            default: bytes[at] = char(bytes[at] + 1); break;           // a count or reference one off
            }
        }
        const Value value = parsePropertyList(bytes);
        if (value.isNull()) continue;
        ++parsed;
        // Written as XML it reads back to the same text (dates keep whole seconds there, so the
        // binary form's fractions are not compared).
        if (auto again = formatPropertyList(value)) {
            EXPECT_EQ(formatPropertyList(parsePropertyList(*again)), again);
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
