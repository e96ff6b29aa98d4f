// Closing the main window and quitting: the unsaved-changes question, what each answer writes, and
// the support-folder sweep.
#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"

using namespace shelltest;

namespace {

enum Button { kSaveAs = 0, kDontSave = 1, kCancel = 2 };

class ShutdownTest : public LaunchedTest {
protected:
    void SetUp() override {
        LaunchedTest::SetUp();
        c().mainWindow().m_pWindow->setFrame(qv::Rect(40, 60, 900, 700));
        c().fisheye().mFEOutputWidth->setFloatValue(1600);
        c().fisheye().mFEOutputHeight->setFloatValue(1200);
        c().fisheye().mFEInputFOV->setFloatValue(180);
        c().fisheye().mFEOutputFOV->setFloatValue(100);
        ASSERT_TRUE(qv::files::writeWhole(scratch(), std::string_view("unwrap leftovers")));
    }
    static std::string scratch() { return qv::paths::supportFolder() + "_QuorvelCI_twrite.JPG"; }
    static void answerSaveQuestion(Button button) {
        responder().queueAlert({int(button), {}, qv::localizedString("AlertTitle")});
    }
    static void expectStoredFrame() {
        const qv::Value prefs = qv::PreferencesFile::read();
        EXPECT_EQ(prefs.get("windowWidth").floatOr(0), 900.0f);
        EXPECT_EQ(prefs.get("windowHeight").floatOr(0), 700.0f);
        EXPECT_EQ(prefs.get("originX").floatOr(0), 40.0f);
        EXPECT_EQ(prefs.get("originY").floatOr(0), 60.0f);
    }
    void editWithOwnedLenses() {
        c().state().mMyLensArray = qv::Array{qv::Value(qv::Dictionary{{"3.Lens Name", qv::Value("EF 50")}})};
        c().mainWindow().m_pWindow->setDocumentEdited(true);
    }
};

TEST_F(ShutdownTest, CloseWithUnsavedChangesAsksAndCancelKeepsTheWindow) {
    editWithOwnedLenses();
    answerSaveQuestion(kCancel);
    EXPECT_FALSE(c().mainWindow().m_pWindow->performClose());
    ASSERT_TRUE(wasAsked("AlertTitle"));
    const auto asked = responder().alerts().back().request;
    EXPECT_EQ(asked.message, qv::localizedString("AlertMessage"));
    EXPECT_EQ(asked.buttons, (std::vector<std::string>{qv::localizedString("Save As\u2026"),
                                                       qv::localizedString("DontSave"), qv::localizedString("Cancel")}));
    EXPECT_FALSE(c().mainWindow().m_pWindow->isClosed());
    EXPECT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    EXPECT_FALSE(qv::ui::Application::shared().isTerminated());
    EXPECT_TRUE(qv::files::exists(scratch())) << "nothing swept";
    EXPECT_NE(qv::PreferencesFile::read().get("windowWidth").floatOr(0), 900.0f) << "nothing written";
}

TEST_F(ShutdownTest, SaveAsKeepsTheWindowAndAsksToQuitAfterTheSave) {
    c().mainWindow().m_pWindow->setDocumentEdited(true);
    answerSaveQuestion(kSaveAs);
    EXPECT_FALSE(c().mainWindow().m_pWindow->performClose());
    EXPECT_FALSE(c().mainWindow().m_pWindow->isClosed());
    EXPECT_TRUE(c().state().mWindowCloseRequest);
    EXPECT_FALSE(qv::ui::Application::shared().isTerminated());
}

TEST_F(ShutdownTest, DontSaveClosesWritesTheFrameAndQuits) {
    editWithOwnedLenses();
    answerSaveQuestion(kDontSave);
    EXPECT_TRUE(c().mainWindow().m_pWindow->performClose());
    EXPECT_TRUE(c().mainWindow().m_pWindow->isClosed());
    EXPECT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
    expectStoredFrame();
    auto& defaults = qv::UserDefaults::standard();
    EXPECT_EQ(defaults.floatForKey("feOutputWidth"), 1600.0f);
    EXPECT_EQ(defaults.floatForKey("feOutputHeight"), 1200.0f);
    EXPECT_EQ(defaults.floatForKey("feInputFOV"), 180.0f);
    EXPECT_EQ(defaults.floatForKey("feOutputFOV"), 100.0f);
    EXPECT_EQ(qv::PreferencesFile::read().get("recentLenses").size(), 0u) << "unsaved work: the list is not written";
    EXPECT_FALSE(qv::files::exists(scratch()));
    EXPECT_TRUE(qv::files::exists(installedDatabase()));
    // The last window closed: the application quits, and nothing is asked a second time.
    EXPECT_TRUE(qv::ui::Application::shared().isTerminated());
    EXPECT_EQ(responder().alerts().size(), 2u) << "the launch question and the one close question";
}

TEST_F(ShutdownTest, CloseWithoutChangesWritesTheOwnedLenses) {
    c().state().mMyLensArray = qv::Array{qv::Value(qv::Dictionary{{"3.Lens Name", qv::Value("EF 50")}})};
    EXPECT_TRUE(c().mainWindow().m_pWindow->performClose());
    EXPECT_FALSE(wasAsked("AlertTitle"));
    expectStoredFrame();
    EXPECT_EQ(qv::PreferencesFile::read().get("recentLenses").size(), 1u);
    EXPECT_FALSE(qv::files::exists(scratch()));
    EXPECT_TRUE(qv::ui::Application::shared().isTerminated());
}

TEST_F(ShutdownTest, QuitWithUnsavedChangesAndDontSaveWritesTheFrameButSweepsNothing) {
    editWithOwnedLenses();
    answerSaveQuestion(kDontSave);
    qv::ui::Application::shared().terminate();
    EXPECT_TRUE(qv::ui::Application::shared().isTerminated());
    expectStoredFrame();
    EXPECT_TRUE(qv::files::exists(scratch()));
    EXPECT_EQ(qv::PreferencesFile::read().get("recentLenses").size(), 0u);
    EXPECT_NE(qv::UserDefaults::standard().floatForKey("feOutputWidth"), 1600.0f) << "quitting keeps no fisheye values";
}

TEST_F(ShutdownTest, QuitWithUnsavedChangesAndCancelGoesOn) {
    c().mainWindow().m_pWindow->setDocumentEdited(true);
    answerSaveQuestion(kCancel);
    qv::ui::Application::shared().terminate();
    EXPECT_FALSE(qv::ui::Application::shared().isTerminated());
    EXPECT_TRUE(qv::files::exists(scratch()));
}

TEST_F(ShutdownTest, QuitWithoutChangesSweeps) {
    qv::ui::Application::shared().terminate();
    EXPECT_TRUE(qv::ui::Application::shared().isTerminated());
    EXPECT_FALSE(wasAsked("AlertTitle"));
    expectStoredFrame();
    EXPECT_FALSE(qv::files::exists(scratch()));
}

TEST_F(ShutdownTest, StoredFrameIsRestoredAtTheNextStartUnlessItHasNoSize) {
    EXPECT_TRUE(c().mainWindow().m_pWindow->performClose());
    m_nib.reset();
    resetApplication();
    responder().queueAlert(declineOwnedLenses());
    {
        QVMainNib again = launch();
        EXPECT_EQ(again.controller->mainWindow().m_pWindow->frame(), qv::Rect(40, 60, 900, 700));
    }
    ASSERT_TRUE(qv::PreferencesFile::update([](qv::Value& root) { root["windowHeight"] = 0.0f; }));
    resetApplication();
    responder().queueAlert(declineOwnedLenses());
    QVMainNib third = launch();
    EXPECT_EQ(third.controller->mainWindow().m_pWindow->frame(), qv::Rect(100, 100, 1100, 760))
        << "the nib's frame stays";
}

}  // namespace
