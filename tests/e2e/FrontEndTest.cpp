// The front end in-process: each control it sets moves the window's control and sends its
// action, so the user defaults and the controller change as they do from the window.
#include <gtest/gtest.h>

#include "Actions.h"
#include "E2ESupport.h"
#include "FrontEnd.h"
#include "appkit/Application.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "imageio/ImageProperties.h"
#include "shell/controller/QVController.h"

using namespace e2e;

namespace {

frontend::Action line(const std::string& text) {
    std::string error;
    auto action = frontend::parseLine(text, 1, &error);
    EXPECT_TRUE(action) << text << ": " << error;
    return action ? *action : frontend::Action{};
}

// Runs a script line; a failure carries the line and its reason into the test's report.
testing::AssertionResult runs(frontend::FrontEnd& frontEnd, const std::string& text) {
    const qv::Outcome done = frontEnd.run(line(text));
    if (done) return testing::AssertionSuccess();
    return testing::AssertionFailure() << text << ": " << done.reason();
}

class FrontEndTest : public testing::Test {
protected:
    void SetUp() override { qv::ui::Application::shared().reset(); }
    void TearDown() override { qv::ui::Application::shared().reset(); }
};

TEST_F(FrontEndTest, SettingAControlMovesItAndItsUserDefaultsKey) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    frontend::FrontEnd frontEnd;
    QVController& c = frontEnd.controller();
    ASSERT_TRUE(runs(frontEnd, "open " + photo));
    c.mainWindow().m_pWindow->setDocumentEdited(false);
    auto& defaults = qv::UserDefaults::standard();

    ASSERT_TRUE(runs(frontEnd, "set scale 120"));
    EXPECT_DOUBLE_EQ(c.correctionParameters().scale, 120);
    EXPECT_DOUBLE_EQ(defaults.object("scaleValue").doubleOr(0), 120);
    EXPECT_TRUE(c.mainWindow().m_pWindow->isDocumentEdited());

    ASSERT_TRUE(runs(frontEnd, "set red 0.01"));
    EXPECT_NEAR(c.correctionParameters().red, 1.01, 1e-6);
    EXPECT_NEAR(defaults.object("redValue").doubleOr(0), 0.01, 1e-6);

    ASSERT_TRUE(runs(frontEnd, "set rotation -4"));
    EXPECT_DOUBLE_EQ(c.correctionParameters().rotation, 4) << "the rotation accessor has the slider's opposite sign";
    ASSERT_TRUE(runs(frontEnd, "set crop outside"));
    EXPECT_TRUE(c.correctionParameters().cropOutside);
    EXPECT_FALSE(runs(frontEnd, "set crop inside")) << "a rotated photo cannot be cropped inside";
    EXPECT_TRUE(c.correctionParameters().cropOutside);

    ASSERT_TRUE(runs(frontEnd, "set distortion off"));
    EXPECT_EQ(c.correctionType(), CorrectionType::None);
    ASSERT_TRUE(runs(frontEnd, "set depth 16"));
    EXPECT_EQ(c.mainWindow().m_pDisplayView->imageMetadata().get(qv::io::kCGImagePropertyDepth).integerOr(0), 16);
}

TEST(ScriptLines, ParseIntoActions) {
    std::string error;
    EXPECT_FALSE(frontend::parseLine("   # a comment", 1, &error));
    EXPECT_FALSE(frontend::parseLine("", 2, &error));
    EXPECT_TRUE(error.empty());

    const auto lens = line("lens Canon EF-S 18-55mm f/3.5-5.6");
    EXPECT_EQ(lens.verb, frontend::Action::Verb::Lens);
    EXPECT_EQ(lens.subject, "Canon EF-S 18-55mm f/3.5-5.6");
    EXPECT_EQ(line("open \"/photos/my trip/a.jpg\"").subject, "/photos/my trip/a.jpg");

    const auto save = line("save-as \"out dir/a.tif\" --compression packbits --depth 16");
    EXPECT_EQ(save.subject, "out dir/a.tif");
    EXPECT_EQ(save.save.compression.value_or(""), "packbits");
    EXPECT_EQ(save.save.depth.value_or(""), "16");
    EXPECT_FALSE(save.save.type);

    EXPECT_EQ(line("answer panel cancel").verb, frontend::Action::Verb::AnswerPanel);
    EXPECT_EQ(line("answer alert 1").subject, "1");
    EXPECT_EQ(line("print").subject, "all");

    for (const char* bad : {"set scale", "save-as a.jpg --sharpen 2", "open \"unclosed", "answer dialog 1", "zoom 2"}) {
        error.clear();
        EXPECT_FALSE(frontend::parseLine(bad, 7, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CorrectOptions, BecomeTheActionsOfAPerson) {
    std::vector<frontend::Action> actions;
    std::string error;
    ASSERT_TRUE(frontend::parseCorrect({"a.jpg", "--crop", "outside", "-o", "b.tif", "--rotation", "3", "--lens", "L",
                                        "--compression", "lzw"},
                                       frontend::FrontEnd::controlNames(), actions, &error))
        << error;
    std::vector<std::string> sequence;
    for (const auto& action : actions) sequence.push_back(action.subject + (action.value.empty() ? "" : "=" + action.value));
    // The rotation goes before the crop it limits, whatever the order given.
    EXPECT_EQ(sequence, (std::vector<std::string>{"a.jpg", "L", "rotation=3", "crop=outside", "all", "b.tif"}));
    EXPECT_EQ(actions.back().save.compression.value_or(""), "lzw");
    EXPECT_FALSE(frontend::parseCorrect({"a.jpg"}, frontend::FrontEnd::controlNames(), actions, &error));
    EXPECT_FALSE(frontend::parseCorrect({"a.jpg", "b.jpg", "-o", "c.jpg"}, frontend::FrontEnd::controlNames(), actions,
                                        &error));
}

TEST(CorrectOptions, DoubleDashEndsTheOptions) {
    std::vector<frontend::Action> actions;
    std::string error;
    ASSERT_TRUE(frontend::parseCorrect({"-o", "out.jpg", "--", "-x.jpg"}, frontend::FrontEnd::controlNames(), actions,
                                       &error))
        << error;
    EXPECT_EQ(actions.front().subject, "-x.jpg");
    EXPECT_EQ(actions.back().subject, "out.jpg");
    // After "--" an option's name is a second photo, not an option.
    EXPECT_FALSE(frontend::parseCorrect({"--", "a.jpg", "-o", "b.jpg"}, frontend::FrontEnd::controlNames(), actions,
                                        &error));
    // Without it, a name starting with a dash stays an option.
    EXPECT_FALSE(frontend::parseCorrect({"-x.jpg", "-o", "b.jpg"}, frontend::FrontEnd::controlNames(), actions, &error));
}

TEST_F(FrontEndTest, SliderRangesAreClosedAtBothEnds) {
    frontend::FrontEnd frontEnd;
    auto set = [&](const std::string& control, const std::string& value) {
        frontend::Action action;
        action.verb = frontend::Action::Verb::Set;
        action.subject = control;
        action.value = value;
        return frontEnd.check(action);
    };
    // The fringe range is kept in single precision; its ends as written in the help are in it.
    for (const char* value : {"0.02", "-0.02", "0"}) {
        EXPECT_TRUE(set("red", value)) << value;
        EXPECT_TRUE(set("blue", value)) << value;
    }
    EXPECT_TRUE(set("yaw", "45"));
    EXPECT_TRUE(set("yaw", "-45"));
    for (const char* value : {"0.0201", "-0.0201", "0.03"}) EXPECT_FALSE(set("red", value)) << value;
    EXPECT_FALSE(set("yaw", "45.001"));
}

TEST_F(FrontEndTest, ADroppedPhotoIsSavedWithItsOwnProfileNotTheOneExtractedBefore) {
    qvtest::TempDir dir;
    const std::string first = samplePhoto(dir);
    const std::string second = dir.file("dropped.jpg");
    ASSERT_TRUE(qv::files::copyItem(first, second));
    for (const auto& [photo, name] : {std::pair{first, "Profile of the first"}, std::pair{second, "Profile of the second"}}) {
        const std::string profile = dir.file(std::string(name) + ".icc");
        ASSERT_TRUE(writeRgbProfile(profile, name, 2.2));
        ASSERT_EQ(run("exiftool", {"-q", "-overwrite_original", "-ICC_Profile<=" + profile, photo}).exitStatus, 0);
    }
    frontend::FrontEnd frontEnd;
    QVController& c = frontEnd.controller();
    // Opened through the panel: its profile is extracted into the support folder.
    ASSERT_TRUE(runs(frontEnd, "open " + first));
    const std::string extracted = qv::paths::supportFolder() + "Profile";
    qv::RunLoop::main().runUntil([&] { return qv::files::exists(extracted); }, 60);
    ASSERT_TRUE(qv::files::exists(extracted));
    // Dropped on the view: straight to the open step, no new extraction.
    c.openImage(second);
    ASSERT_TRUE(c.state().m_bImageLoaded);
    const std::string out = dir.file("out.tif");
    ASSERT_TRUE(runs(frontEnd, "save-as " + out + " --depth 16"));
    EXPECT_TRUE(frontEnd.finish());
    EXPECT_EQ(tags(out, {"ProfileDescription"}), "Profile of the second\n");
}

}  // namespace
