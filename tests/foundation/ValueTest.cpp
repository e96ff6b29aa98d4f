#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "foundation/Value.h"

using namespace qv;

TEST(Value, TypedAccessAnswersNothingOnAWrongType) {
    Value s("12.5 apples");
    EXPECT_FALSE(s.asDouble());
    EXPECT_EQ(s.dictionary(), nullptr);
    EXPECT_EQ(s.stringOr("x"), "12.5 apples");
    Value n(3.75);
    EXPECT_FALSE(n.asString());
    EXPECT_EQ(n.integerOr(-1), 3);
    EXPECT_DOUBLE_EQ(Value(true).doubleOr(0), 1.0);
    EXPECT_FALSE(Value(std::nan("")).asInteger());
    EXPECT_TRUE(Value().get("missing").isNull());
    EXPECT_TRUE(Value(Array{1, 2}).at(2).isNull());
}

TEST(Value, CopiesAreDeep) {
    Value root;
    root["lens"]["name"] = "18-55";
    root["list"].append(Value(1));
    Value copy = root;
    copy["lens"]["name"] = "50";
    copy["list"].append(Value(2));
    EXPECT_EQ(root.get("lens").get("name").stringOr(""), "18-55");
    EXPECT_EQ(root.get("list").size(), 1u);
    EXPECT_NE(root, copy);
}

TEST(Value, RealFromFloatKeepsItsBitPattern) {
    const std::uint32_t patterns[] = {0x7fc00001u, 0x7f800001u, 0xffbadbadu, 0x7f800000u, 0x80000000u};
    for (std::uint32_t bits : patterns) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        Value v(f);
        float back = v.floatOr(0);
        std::uint32_t backBits;
        std::memcpy(&backBits, &back, sizeof backBits);
        EXPECT_EQ(backBits, bits);
    }
}
