// User lens database records: the default record, how the edit sheet's fields are stored with the
// value kinds the file keeps, the code tables, and the manufacturer list with and without a
// usable pop-up position.
#include <gtest/gtest.h>

#include <cmath>

#include <iterator>

#include "lens/UserLensRecord.h"

using namespace lens::userdb;
using namespace lens::keys;
namespace keys = lens::keys;

namespace {

LensFields typedFields() {
    LensFields fields;
    fields.name = "Holga 60";
    fields.focalLength = "60";
    fields.fieldOfView = "45.5";
    fields.vignettingAmount = "-30";
    fields.vignettingMidpoint = "12";
    fields.typePosition = 5;
    fields.modePosition = 2;
    fields.red = {0.01f, -0.02f, 0.005f, 1.005f, 1.5f, -2.5f, 0.25f, -0.125f};
    return fields;
}

TEST(UserLensRecord, NewRecordHoldsTheDefaultsAsSinglePrecisionReals) {
    const qv::Value record = newLensParametersDictionary();
    EXPECT_EQ(record.get(kLensName).stringOr(""), "untitled");
    for (const char* key : {keys::kLensFocalLength, keys::kLensFOV, keys::kLensRadialShiftMode, kLensType, kVignettingAmount,
                            kVignettingMidpoint, "Red A", "Red B", "Red C", "Red D"}) {
        ASSERT_TRUE(record.get(key).real()) << key;
        EXPECT_TRUE(record.get(key).real()->singleBits) << key;
    }
    EXPECT_EQ(record.get(keys::kLensFOV).floatOr(0), 37.2f);
    EXPECT_EQ(record.get("Red D").floatOr(0), 1.011937f);
    EXPECT_EQ(record.get("Red B").floatOr(0), -0.008754f);
    for (const char* key : {"Red Horizontal Shift", "Red Vertical Shift", "Red Horizontal Shear", "Red Vertical Shear"})
        EXPECT_FALSE(record.contains(key)) << key;
}

TEST(UserLensRecord, StoredFieldsTakeTheFileKinds) {
    qv::Value record = newLensParametersDictionary();
    record["Extra"] = "kept";
    const qv::Value stored = storedRecord(record, typedFields());
    for (const char* key : {kLensName, keys::kLensFocalLength, keys::kLensFOV, kVignettingAmount, kVignettingMidpoint})
        EXPECT_TRUE(stored.get(key).isString()) << key;
    EXPECT_EQ(stored.get(keys::kLensFocalLength).stringOr(""), "60");
    EXPECT_EQ(stored.get(kLensType).type(), qv::Value::Type::Integer);
    EXPECT_EQ(stored.get(kLensType).integerOr(-1), 8) << "position 5 is the orthographic code";
    EXPECT_EQ(stored.get(keys::kLensRadialShiftMode).type(), qv::Value::Type::Integer);
    EXPECT_EQ(stored.get(keys::kLensRadialShiftMode).integerOr(-1), 33554432);
    const auto fields = typedFields();
    for (std::size_t row = 0; row < std::size(keys::kRedValues); ++row) {
        ASSERT_TRUE(stored.get(keys::kRedValues[row]).real()) << keys::kRedValues[row];
        EXPECT_TRUE(stored.get(keys::kRedValues[row]).real()->singleBits);
        EXPECT_EQ(stored.get(keys::kRedValues[row]).floatOr(0), fields.red[row]);
    }
    EXPECT_EQ(stored.get("Extra").stringOr(""), "kept");
    EXPECT_EQ(record.get(kLensName).stringOr(""), "untitled") << "the record given is not changed";
}

TEST(UserLensRecord, PositionsOutsideTheTablesKeepTheRecordsCodes) {
    qv::Value record = newLensParametersDictionary();
    record[kLensType] = 3;
    record[keys::kLensRadialShiftMode] = 0x1000000;
    LensFields fields = typedFields();
    for (int position : {-1, 6, 100}) {
        fields.typePosition = position;
        fields.modePosition = position < 0 ? -1 : 3;
        const qv::Value stored = storedRecord(record, fields);
        EXPECT_EQ(stored.get(kLensType), qv::Value(3)) << position;
        EXPECT_EQ(stored.get(keys::kLensRadialShiftMode), qv::Value(0x1000000)) << position;
    }
    fields.typePosition = 0;
    fields.modePosition = 1;
    EXPECT_EQ(storedRecord(record, fields).get(kLensType), qv::Value(0));
    EXPECT_EQ(storedRecord(record, fields).get(keys::kLensRadialShiftMode), qv::Value(16777216));
}

TEST(UserLensRecord, CodeTablesNameEveryCodeAndPlaceItInItsPopUp) {
    EXPECT_STREQ(labelKeyOf(kLensTypes, 8), "kOrthographic");
    EXPECT_STREQ(labelKeyOf(kLensTypes, 5), "kRectilinear") << "codes 5 to 7 are never written";
    EXPECT_STREQ(labelKeyOf(kRadialShiftModes, 0x2000000), "kHorizontal");
    EXPECT_STREQ(labelKeyOf(kRadialShiftModes, 7), "kRadial");
    for (std::size_t position = 0; position < kLensTypes.size(); ++position)
        EXPECT_EQ(positionOfCode(kLensTypes, *codeAtPosition(kLensTypes, int(position))), int(position));
    EXPECT_EQ(positionOfCode(kLensTypes, 6), -1);
    EXPECT_FALSE(codeAtPosition(kRadialShiftModes, -1));
    EXPECT_FALSE(codeAtPosition(kRadialShiftModes, 3));
}

qv::Value maker(const std::string& name, std::vector<std::string> models) {
    qv::Value entry{qv::Dictionary()};
    entry[kManufacturerName] = name;
    qv::Array list;
    for (auto& model : models) list.push_back(model);
    entry[kModels] = list;
    return entry;
}

TEST(UserLensRecord, OnlyValuesTheRecordHoldsAndCoefficientsALensCouldHaveAreUsable) {
    using lens::userdb::isUsableRedValue;
    for (std::size_t row = 0; row < 8; ++row) {
        SCOPED_TRACE(row);
        for (double value : {0.0, -0.0315, 1.0273, 100.0, -100.0}) EXPECT_TRUE(isUsableRedValue(row, value)) << value;
        for (double value : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e39, -3.5e38}) EXPECT_FALSE(isUsableRedValue(row, value)) << value;
    }
    // The four coefficients of the polynomial stay within ±100; the shifts and shears need only fit.
    for (std::size_t row = 0; row < 4; ++row)
        for (double value : {100.5, -1e30}) EXPECT_FALSE(isUsableRedValue(row, value)) << row << " " << value;
    for (std::size_t row = 4; row < 8; ++row) EXPECT_TRUE(isUsableRedValue(row, 1e30)) << row;

    qv::Value record = lens::userdb::newLensParametersDictionary();
    EXPECT_TRUE(lens::userdb::hasUsableCoefficients(record));
    EXPECT_TRUE(lens::userdb::hasUsableCoefficients(qv::Value(qv::Dictionary()))) << "missing values read as 0";
    record["Red Vertical Shear"] = 1e30;
    EXPECT_TRUE(lens::userdb::hasUsableCoefficients(record)) << "only the four coefficients correct a photo";
    for (const double bad : {std::nan(""), HUGE_VAL, 1e30, 1e39}) {
        qv::Value broken = record;
        broken["Red C"] = bad;
        EXPECT_FALSE(lens::userdb::hasUsableCoefficients(broken)) << bad;
    }
}

TEST(UserLensManufacturers, AnEmptyListGetsOneEntryFromTheFields) {
    qv::Array list;
    storeManufacturer(list, {"Lomo", "LC-A", -1, -1});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], maker("Lomo", {"LC-A"}));
    storeManufacturer(list, {"Lomo", "LC-A", -1, -1});
    EXPECT_EQ(list.size(), 1u) << "the same fields again add nothing";
    storeManufacturer(list, {"Lomo", "LC-W", -1, -1});
    EXPECT_EQ(list[0], maker("Lomo", {"LC-A", "LC-W"}));
    storeManufacturer(list, {"", "", -1, -1});
    EXPECT_EQ(list.size(), 1u) << "empty fields add no nameless entry";
}

TEST(UserLensManufacturers, TheChosenPositionsAreReplacedAndOthersChecked) {
    qv::Array list = {maker("Lomo", {"LC-A", "LC-W"}), maker("Holga", {"120N"})};
    storeManufacturer(list, {"Lomography", "LC-A+", 0, 0});
    EXPECT_EQ(list[0], maker("Lomography", {"LC-A+", "LC-W"}));
    storeManufacturer(list, {"Holga", "135", 1, 4});
    EXPECT_EQ(list[1], maker("Holga", {"120N", "135"})) << "a model position past the list adds the model";
    storeManufacturer(list, {"Diana", "F+", 7, 0});
    ASSERT_EQ(list.size(), 3u) << "a manufacturer position past the list adds an entry";
    EXPECT_EQ(list[2], maker("Diana", {"F+"}));
    EXPECT_EQ(modelsOf(list, 1), (std::vector<std::string>{"120N", "135"}));
    EXPECT_TRUE(modelsOf(list, 3).empty());
    EXPECT_TRUE(modelsOf(list, -1).empty());
    EXPECT_EQ(manufacturerNames(list), (std::vector<std::string>{"Lomography", "Holga", "Diana"}));
}

TEST(UserLensManufacturers, DamagedEntriesAreMendedNotIndexed) {
    qv::Array list = {qv::Value("not an entry"), maker("Lomo", {})};
    list[1].erase(kModels);
    storeManufacturer(list, {"Lomo", "LC-A", 0, 0});
    EXPECT_EQ(list[0], maker("Lomo", {"LC-A"}));
    storeManufacturer(list, {"Lomo2", "X", 1, 0});
    EXPECT_EQ(list[1], maker("Lomo2", {"X"}));
}

}  // namespace
