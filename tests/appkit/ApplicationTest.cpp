#include <gtest/gtest.h>

#include "appkit/Application.h"
#include "appkit/Button.h"
#include "appkit/NibBuilder.h"
#include "appkit/Window.h"
#include "foundation/RunLoop.h"

using namespace qv;
using namespace qv::ui;

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override { Application::shared().reset(); }
    void TearDown() override { Application::shared().reset(); }
    Application& app = Application::shared();
};

struct Delegate : ApplicationDelegate, WindowDelegate {
    std::vector<std::string> log;
    TerminateReply reply = TerminateReply::Now;
    bool allowClose = true;
    void applicationDidFinishLaunching(Application&) override { log.push_back("launched"); }
    void applicationOpenFiles(Application&, const std::vector<std::string>& files) override {
        log.push_back("open " + files.front() + " of " + std::to_string(files.size()));
    }
    TerminateReply applicationShouldTerminate(Application&) override {
        log.push_back("should terminate");
        return reply;
    }
    bool applicationShouldTerminateAfterLastWindowClosed(Application&) override { return true; }
    void applicationWillTerminate(Application&) override { log.push_back("will terminate"); }
    bool windowShouldClose(Window&) override {
        log.push_back("should close");
        return allowClose;
    }
    void windowWillClose(Window&) override { log.push_back("will close"); }
    void windowDidResize(Window& w) override { log.push_back("resized to " + std::to_string(int(w.frame().width()))); }
};

}  // namespace

TEST_F(ApplicationTest, SheetsEndWithTheirReturnCodes) {
    Window main(Rect(100, 100, 800, 600));
    Panel sheet(Rect(0, 0, 300, 200));
    std::vector<int> codes;
    ASSERT_TRUE(app.beginSheet(sheet, main, [&](Window& s, int code) {
        EXPECT_EQ(&s, &sheet);
        codes.push_back(code);
    }));
    EXPECT_EQ(main.attachedSheet(), &sheet);
    EXPECT_TRUE(sheet.isVisible());
    Panel second(Rect(0, 0, 10, 10));
    EXPECT_FALSE(app.beginSheet(second, main));  // one sheet at a time
    app.endSheet(sheet, kOKButton);
    EXPECT_EQ(main.attachedSheet(), nullptr);
    app.endSheet(sheet, 5);  // already ended: nothing
    ASSERT_TRUE(app.beginSheet(sheet, main, [&](Window&, int code) { codes.push_back(code); }));
    app.endSheet(sheet);
    EXPECT_EQ(codes, (std::vector<int>{kOKButton, kModalResponseStop}));
}

TEST_F(ApplicationTest, ModalRunsEndWithTheCodeTheirActionsGive) {
    Panel lensWindow(Rect(0, 0, 400, 300));
    auto save = std::make_shared<Button>(Rect(10, 10, 80, 20), "Save");
    lensWindow.contentView()->addSubview(save);
    save->setAction([&](Control&) { app.stopModalWithCode(7); });

    app.responder().queueModal([&](Window& w) {
        EXPECT_EQ(&w, &lensWindow);
        EXPECT_EQ(app.modalWindow(), &lensWindow);
        save->performClick();
    });
    EXPECT_EQ(app.runModalForWindow(lensWindow), 7);
    EXPECT_EQ(app.modalWindow(), nullptr);

    // A task queued for the main thread may end the run too.
    app.responder().queueModal([&](Window&) { qv::performOnMainThread([&] { app.stopModal(); }, false); });
    EXPECT_EQ(app.runModalForWindow(lensWindow), kModalResponseStop);

    // Nothing ends it: the run is aborted instead of hanging.
    EXPECT_EQ(app.runModalForWindow(lensWindow), kModalResponseAbort);
    app.stopModal();  // no run: nothing happens
}

TEST_F(ApplicationTest, ClosingAsksTheDelegateAndTheLastWindowEndsTheApplication) {
    Delegate delegate;
    app.setDelegate(&delegate);
    app.finishLaunching();
    app.finishLaunching();
    app.openFiles({"/photos/a.jpg", "/photos/b.jpg"});
    Window main(Rect(0, 0, 800, 600));
    main.setDelegate(&delegate);
    main.makeKeyAndOrderFront();
    EXPECT_TRUE(main.isKeyWindow());

    delegate.allowClose = false;
    EXPECT_FALSE(main.performClose());
    EXPECT_TRUE(main.isVisible());
    delegate.allowClose = true;
    EXPECT_TRUE(main.performClose());
    EXPECT_TRUE(app.isTerminated());
    EXPECT_EQ(delegate.log, (std::vector<std::string>{"launched", "open /photos/a.jpg of 2", "should close",
                                                      "should close", "will close", "should terminate",
                                                      "will terminate"}));
}

TEST_F(ApplicationTest, TerminationCanBeCancelledOrAnsweredLater) {
    Delegate delegate;
    app.setDelegate(&delegate);
    delegate.reply = TerminateReply::Cancel;
    app.terminate();
    EXPECT_FALSE(app.isTerminated());
    delegate.reply = TerminateReply::Later;
    app.terminate();
    EXPECT_FALSE(app.isTerminated());
    app.replyToApplicationShouldTerminate(true);
    EXPECT_TRUE(app.isTerminated());
}

TEST_F(ApplicationTest, ResizingMovesTheContentViewAndTellsTheDelegate) {
    Delegate delegate;
    Window main(Rect(0, 0, 800, 600));
    main.setDelegate(&delegate);
    main.setFrame(Rect(10, 10, 800, 600));  // moved only
    main.setFrame(Rect(10, 10, 1024, 700), true);
    EXPECT_EQ(main.contentView()->frame(), Rect(0, 0, 1024, 700));
    EXPECT_EQ(main.canvas().width(), 1024);
    EXPECT_EQ(delegate.log, std::vector<std::string>{"resized to 1024"});
    main.setDocumentEdited(true);
    EXPECT_TRUE(main.isDocumentEdited());
}

TEST_F(ApplicationTest, MenuItemsAreValidatedByTheirTarget) {
    struct Controller : MenuValidator {
        bool imageLoaded = false;
        int saves = 0;
        bool validateMenuItem(const MenuItem& item) override { return item.action() != "onSave:" || imageLoaded; }
    } controller;
    auto menu = std::make_shared<Menu>("Main");
    auto file = menu->addItem("File", "", {});
    file->setSubmenu(std::make_shared<Menu>("File"));
    auto save = file->submenu()->addItem("Save", "onSave:", [&](MenuItem&) { ++controller.saves; });
    save->setTarget(&controller);
    file->submenu()->addItem("Open", "onLoadImage:", [](MenuItem&) {})->setTarget(&controller);
    app.setMainMenu(menu);

    menu->update();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(app.performMenuAction("onSave:"));
    controller.imageLoaded = true;
    EXPECT_TRUE(app.performMenuAction("onSave:"));
    EXPECT_EQ(controller.saves, 1);
    EXPECT_FALSE(app.performMenuAction("onNothing:"));
    menu->removeItemAtIndex(menu->numberOfItems() - 1);
    EXPECT_EQ(menu->numberOfItems(), 0);
}

TEST_F(ApplicationTest, NibBuilderWakesObjectsInCreationOrderAfterOutletsAreSet) {
    static std::vector<std::string> woken;
    woken.clear();
    struct Controller : NibObject {
        std::shared_ptr<Button> okButton;
        void awakeFromNib() override { woken.push_back(okButton ? "controller with outlet" : "controller alone"); }
    };
    struct Field : Button {
        using Button::Button;
        void awakeFromNib() override { woken.push_back("button " + title()); }
    };
    NibBuilder builder;
    auto window = builder.make<Window>(Rect(0, 0, 300, 200), "Preferences");
    auto controller = builder.make<Controller>();
    auto ok = builder.makeIn<Field>(*window, Rect(10, 10, 80, 20), "OK");
    controller->okButton = ok;
    Nib nib = builder.finish();
    EXPECT_EQ(woken, (std::vector<std::string>{"controller with outlet", "button OK"}));
    EXPECT_EQ(ok->window(), window.get());
    EXPECT_EQ(nib.objects().size(), 3u);
    EXPECT_EQ(nib.first<Controller>(), controller);
}
