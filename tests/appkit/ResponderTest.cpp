#include <gtest/gtest.h>

#include <fstream>

#include "common/TempDir.h"
#include "appkit/Alert.h"
#include "appkit/Application.h"
#include "appkit/SavePanel.h"
#include "foundation/RunLoop.h"

using namespace qv;
using namespace qv::ui;

namespace {

class ResponderTest : public ::testing::Test {
protected:
    void SetUp() override { app.reset(); }
    void TearDown() override { app.reset(); }
    void touch(const std::string& name) { std::ofstream(dir.file(name)) << "x"; }
    Application& app = Application::shared();
    Responder& responder = app.responder();
    qvtest::TempDir dir;
};

}  // namespace

TEST_F(ResponderTest, AlertPanelsAnswerWithTheirCodesAndAreRecorded) {
    responder.queueAlert({1});
    responder.queueAlert({2});
    EXPECT_EQ(runAlertPanel("Unsaved", "Save first?", "Save As...", "Don't Save", "Cancel"), kAlertAlternateReturn);
    EXPECT_EQ(runAlertPanel("Unsaved", "Save first?", "Save As...", "Don't Save", "Cancel"), kAlertOtherReturn);
    EXPECT_EQ(runAlertPanel("photo.jpg", "Could not open"), kAlertDefaultReturn);  // the policy: default button
    EXPECT_EQ(runAlertPanel("Only other", "", "OK", "", "Cancel"), kAlertDefaultReturn);

    auto alerts = responder.alerts();
    ASSERT_EQ(alerts.size(), 4u);
    EXPECT_EQ(alerts[0].request.title, "Unsaved");
    EXPECT_EQ(alerts[0].request.message, "Save first?");
    EXPECT_EQ(alerts[0].request.buttons, (std::vector<std::string>{"Save As...", "Don't Save", "Cancel"}));
    EXPECT_TRUE(alerts[0].scripted);
    EXPECT_EQ(alerts[1].button, 2);
    EXPECT_FALSE(alerts[2].scripted);
    EXPECT_EQ(alerts[2].request.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(alerts[3].request.buttons, (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_TRUE(responder.scriptErrors().empty());
}

TEST_F(ResponderTest, AlertCheckBoxTakesTheAnsweredState) {
    auto ask = [] {
        auto alert = Alert::withButtons("Replace the database?", "Yes", "No", "", "A newer one came with the program.");
        auto box = Button::checkBox(Rect(20, 20, 135, 20), "Don't ask again");
        alert->window().contentView()->addSubview(box);
        int code = alert->runModal();
        return std::make_pair(code, box->state());
    };
    responder.queueAlert({1, {{"Don't ask again", true}}});
    EXPECT_EQ(ask(), std::make_pair(kAlertAlternateReturn, kOnState));
    EXPECT_EQ(ask(), std::make_pair(kAlertDefaultReturn, kOffState));  // the policy leaves the box alone
    auto alerts = responder.alerts();
    EXPECT_EQ(alerts[0].request.checkBoxes.size(), 1u);
    EXPECT_TRUE(alerts[0].checkBoxes.at("Don't ask again"));
    EXPECT_FALSE(alerts[1].checkBoxes.at("Don't ask again"));

    Alert modern;
    modern.setMessageText("Tell us your lenses");
    modern.addButtonWithTitle("OK");
    modern.addButtonWithTitle("Cancel");
    responder.queueAlert({1});
    EXPECT_EQ(modern.runModal(), kAlertSecondButtonReturn);
}

TEST_F(ResponderTest, ScriptMismatchesFallBackToThePolicyAndAreReported) {
    responder.queueAlert({0, {}, std::string("Expected title")});
    EXPECT_EQ(runAlertPanel("Other title", "m", "OK", "No"), kAlertDefaultReturn);
    EXPECT_EQ(responder.pendingAnswers(), 1u);  // still waiting for its alert
    EXPECT_EQ(responder.scriptErrors().size(), 1u);

    auto panel = OpenPanel::openPanel();
    EXPECT_EQ(panel->runModal(), kCancelButton);  // an alert answer is next, not a panel answer
    EXPECT_EQ(responder.scriptErrors().size(), 2u);
    EXPECT_EQ(runAlertPanel("Expected title", "m", "OK", "No"), kAlertDefaultReturn);
    EXPECT_EQ(responder.pendingAnswers(), 0u);

    responder.queueAlert({5});  // no such button
    EXPECT_EQ(runAlertPanel("t", "m", "OK", "No"), kAlertDefaultReturn);
    EXPECT_EQ(responder.scriptErrors().size(), 3u);

    responder.setAlertPolicy([](const AlertRequest& r) { return AlertAnswer{int(r.buttons.size()) - 1}; });
    EXPECT_EQ(runAlertPanel("t", "m", "OK", "No", "Cancel"), kAlertOtherReturn);
}

TEST_F(ResponderTest, OpenPanelsTakeOnlyWhatAPersonCouldChoose) {
    touch("a.JPG");
    touch("b.txt");
    touch("c.nef");
    auto panel = OpenPanel::openPanel();
    const std::vector<std::string> photos{"jpg", "nef"};

    responder.queuePanel({true, {dir.file("a.JPG")}});
    EXPECT_EQ(panel->runModalForDirectory(dir.path(), "", photos), kOKButton);
    EXPECT_EQ(panel->filenames(), std::vector<std::string>{dir.file("a.JPG")});

    responder.queuePanel({true, {dir.file("b.txt")}});                        // type not allowed
    responder.queuePanel({true, {dir.file("missing.jpg")}});                  // not there
    responder.queuePanel({true, {dir.file("a.JPG"), dir.file("c.nef")}});    // one only
    responder.queuePanel({true, {dir.path()}});                               // a folder
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(panel->runModalForTypes(photos), kCancelButton) << i;
        EXPECT_TRUE(panel->filenames().empty());
    }
    panel->setAllowsMultipleSelection(true);
    panel->setCanChooseDirectories(true);
    responder.queuePanel({true, {dir.file("a.JPG"), dir.path()}});
    EXPECT_EQ(panel->runModalForTypes(photos), kOKButton);
    EXPECT_EQ(panel->filenames().size(), 2u);

    auto panels = responder.panels();
    ASSERT_EQ(panels.size(), 6u);
    EXPECT_EQ(panels[0].request.directory, dir.path());
    EXPECT_EQ(panels[0].request.allowedTypes, photos);
    EXPECT_FALSE(panels[1].refusal.empty());
    EXPECT_FALSE(panels[1].answer.ok);
    EXPECT_EQ(responder.scriptErrors().size(), 4u);
}

TEST_F(ResponderTest, SaveSheetAnswersAfterTheSetUpAndAddsTheRequiredExtension) {
    Window main(Rect(0, 0, 800, 600));
    auto panel = SavePanel::savePanel();
    std::vector<std::string> saved;
    responder.queuePanel({true, {"photo"}});
    panel->beginSheetForDirectory(dir.path(), "photo.JPG", main, [&](SavePanel& p, int code) {
        if (code == kOKButton) saved.push_back(p.filename());
    });
    EXPECT_EQ(main.attachedSheet(), panel.get());
    panel->setRequiredFileType("JPG");  // set after the sheet began, as a program may
    EXPECT_TRUE(saved.empty());         // the person has not answered yet
    while (qv::RunLoop::main().runOnce(0)) {
    }
    EXPECT_EQ(saved, std::vector<std::string>{dir.file("photo.JPG")});
    EXPECT_EQ(main.attachedSheet(), nullptr);
    EXPECT_FALSE(panel->isVisible());

    auto record = responder.panels().back();
    EXPECT_EQ(record.request.kind, PanelKind::Save);
    EXPECT_EQ(record.request.suggestedName, "photo.JPG");
    EXPECT_EQ(record.request.requiredType, "JPG");
    EXPECT_TRUE(record.request.asSheet);

    responder.queuePanel({true, {dir.file("out.jpg")}});
    panel->setRequiredFileType("jpg");
    EXPECT_EQ(panel->runModal(), kOKButton);
    EXPECT_EQ(panel->filename(), dir.file("out.jpg"));  // already right: kept
    responder.queuePanel({true, {"/no/such/folder/out.jpg"}});
    EXPECT_EQ(panel->runModal(), kCancelButton);
    EXPECT_EQ(panel->runModal(), kCancelButton);  // the policy cancels
}
