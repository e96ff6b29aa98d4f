// Presets and user lens databases from the command line: "correct --save-preset/--preset", and a
// database made with the editor's script lines in one run, used in the next to correct a photo.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "Actions.h"
#include "E2ESupport.h"
#include "foundation/Files.h"
#include "foundation/PropertyList.h"

using namespace e2e;

namespace {

TEST(PresetCommand, SavedPresetGivesTheSamePhotoInALaterRun) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string preset = dir.file("wide.dtl2");
    const auto first = quorvelci({"correct", photo, "-o", dir.file("first.tif"), "--scale", "90", "--yaw", "3",
                                  "--vignetting-amount", "-40", "--save-preset", preset});
    ASSERT_EQ(first.exitStatus, 0) << first.output;
    const qv::Value saved = qv::readPropertyList(preset);
    ASSERT_EQ(saved.size(), 14u);
    EXPECT_EQ(saved.get("ScaleValue").floatOr(0), 90.0f);
    EXPECT_EQ(saved.get("Yaw").floatOr(0), 3.0f);

    // The lens chosen for the photo first, then the preset's coefficients and controls.
    const auto second = quorvelci({"correct", photo, "-o", dir.file("second.tif"), "--preset", preset});
    ASSERT_EQ(second.exitStatus, 0) << second.output;
    // The coefficients come back within one single-precision step of their scrambled form.
    std::istringstream firstValues(coefficientsLine(first.output).substr(13));
    std::istringstream secondValues(coefficientsLine(second.output).substr(13));
    for (int i = 0; i < 4; ++i) {
        double a = 0, b = 1;
        ASSERT_TRUE(firstValues >> a);
        ASSERT_TRUE(secondValues >> b);
        EXPECT_NEAR(a, b, 1e-7) << i;
    }
    for (const auto& [x, y] : {std::pair{100, 100}, std::pair{600, 400}, std::pair{1050, 650}})
        EXPECT_NEAR(meanRed(dir.file("second.tif"), x, y, 40), meanRed(dir.file("first.tif"), x, y, 40), 0.5);
    EXPECT_NEAR(lineWander(dir.file("second.tif"), 160, 80, 1120), lineWander(dir.file("first.tif"), 160, 80, 1120),
                0.2);

    const auto overridden =
        quorvelci({"correct", photo, "-o", dir.file("third.tif"), "--preset", preset, "--scale", "100"});
    ASSERT_EQ(overridden.exitStatus, 0) << overridden.output;
    EXPECT_GT(std::fabs(meanRed(dir.file("third.tif"), 100, 100, 40) - meanRed(dir.file("first.tif"), 100, 100, 40)),
              2.0)
        << "a control given beside the preset wins";
}

TEST(PresetCommand, FileThatIsNoPresetFailsTheRunAndWritesNothing) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string bad = dir.file("bad.dtl2");
    ASSERT_TRUE(qv::files::writeWhole(bad, std::string_view("<plist><array/></plist>")));
    expectFailure(quorvelci({"correct", photo, "-o", dir.file("out.jpg"), "--preset", bad}), 1,
                  "could not be read as a preset", dir.file("out.jpg"));
    expectFailure(quorvelci({"correct", photo, "-o", dir.file("out.jpg"), "--preset", dir.file("wide.plist")}), 2,
                  "ends in .dtl2", dir.file("out.jpg"));
    expectFailure(quorvelci({"correct", photo, "-o", dir.file("out.jpg"), "--preset", dir.file("missing.dtl2")}), 1,
                  "panel refused", dir.file("out.jpg"));
}

TEST(DatabaseEditorCommand, DatabaseMadeByScriptCorrectsAPhotoInTheNextRun) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string database = dir.file("mine.dtl");
    // The sample is bent as the 18-55 zoom bends at 18 mm; the user's record carries its coefficients.
    // The sheet stores its fields into the selected lens when the database is saved: the spare
    // lens is named first (a rename changes it at once), the lens with the fields is saved last.
    const auto made = script(dir, "new-database\n"
                                  "add-lens\n"
                                  "add-lens\n"
                                  "rename-lens \"Spare\"\n"
                                  "select-lens untitled\n"
                                  "set-lens-field manufacturer Canon\n"
                                  "set-lens-field model \"EOS 400D\"\n"
                                  "set-lens-field name \"My zoom\"\n"
                                  "set-lens-field focal-length 18\n"
                                  "set-lens-field type rectilinear\n"
                                  "set-lens-field red-a 0.0042\n"
                                  "set-lens-field red-b -0.0315\n"
                                  "set-lens-field red-c 0\n"
                                  "set-lens-field red-d 1.0273\n"
                                  "save-database " + database + "\n");
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    const qv::Value written = qv::readPropertyList(database);
    ASSERT_EQ(written.get("Lens Array").size(), 2u);
    const qv::Value& record = written.get("Lens Array").at(0);
    EXPECT_EQ(record.get("4.Lens Focal Length"), qv::Value("18"));
    EXPECT_EQ(record.get("7.Lens Type"), qv::Value(0));
    EXPECT_EQ(record.get("Red B").floatOr(0), -0.0315f);
    EXPECT_EQ(written.get("Lens Array").at(1).get("3.Lens Name"), qv::Value("Spare"));

    const std::string out = dir.file("fixed.jpg");
    const auto used = script(dir, "open " + photo + "\n"
                                  "browse-database " + database + "\n"
                                  "lens \"My zoom\"\n"
                                  "print\n"
                                  "save-as " + out + "\n");
    ASSERT_EQ(used.exitStatus, 0) << used.output;
    EXPECT_TRUE(contains(used.output, "lens: My zoom")) << used.output;
    EXPECT_EQ(coefficientsLine(used.output), "coefficients: 0.0042 -0.0315 0 1.0273");
    EXPECT_GT(lineWander(photo, 160, 80, 1120), 4.0);
    EXPECT_LT(lineWander(out, 160, 80, 1120), 1.0) << "the user's lens straightens the lines";

    // Edited in a third run: the spare lens goes, and the file is rewritten in place.
    const auto edited = script(dir, "browse-database " + database + "\n"
                                    "edit-database mine\n"
                                    "select-lens Spare\n"
                                    "delete-lens\n"
                                    "select-lens \"My zoom\"\n"
                                    "set-lens-field type orthographic\n"
                                    "choose-manufacturer Canon\n"
                                    "choose-model \"EOS 400D\"\n"
                                    "set-lens-field model \"EOS 400D DIGITAL\"\n"
                                    "save-database\n");
    ASSERT_EQ(edited.exitStatus, 0) << edited.output;
    const qv::Value rewritten = qv::readPropertyList(database);
    ASSERT_EQ(rewritten.get("Lens Array").size(), 1u);
    EXPECT_EQ(rewritten.get("Lens Array").at(0).get("7.Lens Type"), qv::Value(8));
    EXPECT_EQ(rewritten.get("Camera Manufacturers").at(0).get("Models"),
              qv::Value(qv::Array{qv::Value("EOS 400D DIGITAL")}))
        << "the chosen model is replaced by the typed one";
}

// The lines of the output that start with the text.
std::vector<std::string> linesStartingWith(const std::string& output, const std::string& start) {
    std::vector<std::string> found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(start, 0) == 0) found.push_back(line);
    return found;
}

// Loading a database changes the current database only: the lens the lens text names stays in
// use with its coefficients, for a resource lens and for a user database's lens.
TEST(DatabaseEditorCommand, LoadingADatabaseKeepsTheLensInUseAndItsCoefficients) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string database = dir.file("mine.dtl");
    qv::Value lens;
    lens["3.Lens Name"] = "My zoom";
    lens["4.Lens Focal Length"] = "18";
    lens["Red A"] = 0.002f;
    lens["Red B"] = -0.01f;
    lens["Red C"] = 0.0f;
    lens["Red D"] = 1.008f;
    qv::Value root;
    root["Camera Manufacturers"].append(qv::Value(qv::Dictionary{{"Manufacturer Name", "Canon"},
                                                                 {"Models", qv::Array{"EOS 400D"}}}));
    root["Lens Array"].append(lens);
    ASSERT_TRUE(qv::writePropertyList(root, database));

    const auto alone = quorvelci({"correct", photo, "-o", dir.file("alone.tif")});
    ASSERT_EQ(alone.exitStatus, 0) << alone.output;
    const std::string resourceLens = coefficientsLine(alone.output);
    ASSERT_FALSE(resourceLens.empty());
    const auto kept = script(dir, "open " + photo + "\nprint\nbrowse-database " + database +
                                      "\nprint\nuse-database Canon\nprint\nsave-as " + dir.file("kept.tif") + "\n");
    ASSERT_EQ(kept.exitStatus, 0) << kept.output;
    EXPECT_EQ(linesStartingWith(kept.output, "lens:"),
              std::vector<std::string>(3, "lens: Canon EF-S 18-55mm f/3.5-5.6"))
        << kept.output;
    EXPECT_EQ(linesStartingWith(kept.output, "coefficients:"), std::vector<std::string>(3, resourceLens))
        << kept.output;
    EXPECT_LT(lineWander(dir.file("kept.tif"), 160, 80, 1120), 1.0) << "the saved photo is corrected";
    const int difference = largestDifference(dir.file("kept.tif"), dir.file("alone.tif"));
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 1) << "the saved photo is the one \"correct\" makes";

    const auto user = script(dir, "open " + photo + "\nbrowse-database " + database +
                                      "\nlens \"My zoom\"\nprint\nuse-database Canon\nprint\n");
    ASSERT_EQ(user.exitStatus, 0) << user.output;
    EXPECT_EQ(linesStartingWith(user.output, "lens:"), std::vector<std::string>(2, "lens: My zoom")) << user.output;
    EXPECT_EQ(linesStartingWith(user.output, "coefficients:"),
              std::vector<std::string>(2, "coefficients: 0.002 -0.01 0 1.008"))
        << user.output;
}

TEST(DatabaseEditorCommand, MisusedLinesAreRefusedWithTheirReason) {
    qvtest::TempDir dir;
    auto failure = [&](const std::string& text, int status, const std::string& message) {
        const auto result = script(dir, text);
        EXPECT_EQ(result.exitStatus, status) << text << result.output;
        EXPECT_TRUE(contains(result.output, message)) << text << result.output;
    };
    failure("new-database\nset-lens-field colour red\n", 2, "set-lens-field knows manufacturer");
    failure("new-database\nset-lens-field red-a lots\n", 2, "red-a takes a number");
    failure("new-database\nset-lens-field type fisheye\n", 2, "type takes rectilinear|");
    // Values the record's single precision cannot hold, or coefficients far past any lens's.
    failure("new-database\nset-lens-field red-a 1e39\n", 2, "red-a takes a number from -100 to 100, not 1e39");
    failure("new-database\nset-lens-field red-d -1e30\n", 2, "red-d takes a number from -100 to 100");
    failure("new-database\nset-lens-field red-vertical-shear 1e39\n", 2,
            "red-vertical-shear takes a number single precision can hold");
    failure("save-database out.plist\n", 2, "ends in .dtl");
    failure("add-lens\n", 1, "no database is being edited");
    failure("new-database\nadd-lens\nsave-database\n", 1, "a new database needs a file");
    failure("new-database\nsave-database " + dir.file("x.dtl") + "\n", 1, "no lens is selected");
    failure("edit-database Canon\n", 1, "not a user database");
    failure("use-database Nowhere\n", 1, "no database named \"Nowhere\"");
    failure("new-database\nchoose-manufacturer Leica\n", 1, "the pop-up has no \"Leica\"");
    EXPECT_FALSE(qv::files::exists(dir.file("x.dtl")));
}

TEST(DatabaseEditorCommand, AStoredLensWhoseCoefficientsAreNoNumbersNeverCorrectsAPhoto) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string database = dir.file("broken.dtl");
    qv::Array lenses;
    const std::pair<const char*, double> broken[] = {
        {"Not a number", std::nan("")}, {"Infinite", HUGE_VAL}, {"Far out", 1e30}};
    for (const auto& [name, value] : broken) {
        qv::Value record{qv::Dictionary()};
        record["3.Lens Name"] = name;
        record["4.Lens Focal Length"] = "18";
        record["Red A"] = value;
        record["Red B"] = 0.0;
        record["Red C"] = 0.0;
        record["Red D"] = 1.0;
        lenses.push_back(record);
    }
    qv::Value root{qv::Dictionary()};
    root["Camera Manufacturers"] = qv::Value(qv::Array());
    root["Lens Array"] = qv::Value(lenses);
    ASSERT_TRUE(qv::writePropertyList(root, database));
    const qv::Value stored = qv::readPropertyList(database);
    ASSERT_TRUE(std::isnan(stored.get("Lens Array").at(0).get("Red A").doubleOr(0))) << "the fixture holds a nan";
    ASSERT_TRUE(std::isinf(stored.get("Lens Array").at(1).get("Red A").doubleOr(0))) << "the fixture holds an inf";

    const std::string out = dir.file("out.jpg");
    for (const auto& [name, value] : broken) {
        SCOPED_TRACE(name);
        const auto result = script(dir, "open " + photo + "\nbrowse-database " + database + "\nlens " + name +
                                            "\nsave-as " + out + "\n");
        expectFailure(result, 1, "actions.txt:3: " + std::string(name) + ": The correction values of this lens", out);
    }
}

TEST(DatabaseEditorCommand, CorrectTakesPresetOptionsInPlace) {
    std::vector<frontend::Action> actions;
    std::string error;
    ASSERT_TRUE(frontend::parseCorrect({"photo.jpg", "-o", "out.jpg", "--save-preset", "b.dtl2", "--scale", "110",
                                        "--preset", "a.dtl2"},
                                       {"scale"}, actions, &error))
        << error;
    std::vector<std::string> order;
    for (const auto& action : actions)
        order.push_back(action.verb == frontend::Action::Verb::Command ? action.subject + " " + action.words.at(0)
                                                                       : action.subject);
    EXPECT_EQ(order, (std::vector<std::string>{"photo.jpg", "load-preset a.dtl2", "scale", "save-preset b.dtl2", "all",
                                               "out.jpg"}));
}

}  // namespace
