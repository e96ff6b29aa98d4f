#include <gtest/gtest.h>

#include <thread>

#include "appkit/Application.h"
#include "appkit/Window.h"

using namespace qv;
using namespace qv::ui;

namespace {

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override { app.reset(); }
    void TearDown() override { app.reset(); }
    Application& app = Application::shared();
};

// A view that follows the mouse in a loop of its own until the button comes up, as a magnifier
// lens does.
struct LensView : View {
    using View::View;
    std::vector<Point> centres;
    bool loopEnded = false;
    void mouseDown(const Event& down) override {
        centres.push_back(convertPointFromWindow(down.locationInWindow));
        while (auto event = window()->nextEventMatchingMask(kLeftMouseUpMask | kLeftMouseDraggedMask)) {
            if (event->type == EventType::LeftMouseUp) {
                loopEnded = true;
                break;
            }
            centres.push_back(convertPointFromWindow(event->locationInWindow));
        }
    }
};

// A drop target for photo files, as the preview is.
struct PhotoDropView : View {
    using View::View;
    bool allowDrops = true;
    std::vector<std::string> received;
    int concluded = 0, exited = 0;

    DragOperation answer(const DraggingInfo& info, DragOperation generic) const {
        if (!allowDrops) return kDragOperationNone;
        if (info.source == this) return kDragOperationEvery;
        return (info.sourceOperationMask & kDragOperationGeneric) ? generic : kDragOperationNone;
    }
    DragOperation draggingEntered(const DraggingInfo& info) override { return answer(info, kDragOperationGeneric); }
    DragOperation draggingUpdated(const DraggingInfo& info) override { return answer(info, kDragOperationCopy); }
    void draggingExited(const DraggingInfo&) override { ++exited; }
    bool performDragOperation(const DraggingInfo& info) override {
        auto files = info.pasteboard->filenames();
        if (!files || files->empty()) return false;
        received = *files;
        return true;
    }
    void concludeDragOperation(const DraggingInfo&) override { ++concluded; }
};

std::shared_ptr<Pasteboard> filesOnDragBoard(const std::vector<std::string>& paths) {
    auto board = Pasteboard::withName(kDragPboard);
    board->setFilenames(paths);
    return board;
}

}  // namespace

TEST_F(EventsTest, NestedDragLoopFollowsTheMouseAndEndsOnMouseUp) {
    Window window(Rect(0, 0, 600, 400));
    auto lens = std::make_shared<LensView>(Rect(50, 20, 500, 360));
    window.contentView()->addSubview(lens);
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {110, 70}, &window));
    app.postEvent(Event::mouse(EventType::KeyDown, {0, 0}, &window));  // not in the mask: left queued
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {160, 120}, &window));
    app.postEvent(Event::mouse(EventType::LeftMouseUp, {160, 120}, &window));
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {999, 999}, &window));  // after the loop

    app.sendEvent(Event::mouse(EventType::LeftMouseDown, {100, 60}, &window));
    EXPECT_TRUE(lens->loopEnded);
    EXPECT_EQ(lens->centres, (std::vector<Point>{{50, 40}, {60, 50}, {110, 100}}));
    auto rest = app.nextEventMatchingMask(kAnyEventMask, 0.0);
    ASSERT_TRUE(rest.has_value());
    EXPECT_EQ(rest->type, EventType::KeyDown);
    EXPECT_TRUE(app.nextEventMatchingMask(kAnyEventMask, 0.0).has_value());
    EXPECT_FALSE(app.nextEventMatchingMask(kAnyEventMask, 0.0).has_value());
}

TEST_F(EventsTest, DragLoopWithoutAMouseUpEndsWhenScriptedInputRunsOut) {
    Window window(Rect(0, 0, 600, 400));
    auto lens = std::make_shared<LensView>(Rect(0, 0, 600, 400));
    window.contentView()->addSubview(lens);
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {10, 10}, &window));
    app.sendEvent(Event::mouse(EventType::LeftMouseDown, {5, 5}, &window));
    EXPECT_FALSE(lens->loopEnded);
    EXPECT_EQ(lens->centres.size(), 2u);
}

TEST_F(EventsTest, LiveInputWaitsForEventsFromAnotherThread) {
    Window window(Rect(0, 0, 600, 400));
    auto lens = std::make_shared<LensView>(Rect(0, 0, 600, 400));
    window.contentView()->addSubview(lens);
    app.setLiveInput(true);
    std::thread mouse([&] {
        app.postEvent(Event::mouse(EventType::LeftMouseDragged, {30, 30}, &window));
        app.postEvent(Event::mouse(EventType::LeftMouseUp, {30, 30}, &window));
    });
    app.sendEvent(Event::mouse(EventType::LeftMouseDown, {5, 5}, &window));
    mouse.join();
    EXPECT_TRUE(lens->loopEnded);
    EXPECT_EQ(lens->centres.back(), (Point{30, 30}));
}

TEST_F(EventsTest, QueuedEventsAreDispatchedToTheViewUnderTheMouse) {
    struct Clicks : View {
        using View::View;
        std::vector<EventType> seen;
        void mouseDown(const Event& e) override { seen.push_back(e.type); }
        void mouseDragged(const Event& e) override { seen.push_back(e.type); }
        void mouseUp(const Event& e) override { seen.push_back(e.type); }
    };
    Window window(Rect(0, 0, 300, 300));
    auto left = std::make_shared<Clicks>(Rect(0, 0, 100, 300));
    auto right = std::make_shared<Clicks>(Rect(100, 0, 200, 300));
    window.contentView()->addSubview(left);
    window.contentView()->addSubview(right);
    app.postEvent(Event::mouse(EventType::LeftMouseDown, {150, 10}, &window));
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {50, 10}, &window));  // still the right view's drag
    app.postEvent(Event::mouse(EventType::LeftMouseUp, {50, 10}, &window));
    EXPECT_EQ(app.dispatchQueuedEvents(), 3u);
    EXPECT_TRUE(left->seen.empty());
    EXPECT_EQ(right->seen, (std::vector<EventType>{EventType::LeftMouseDown, EventType::LeftMouseDragged,
                                                   EventType::LeftMouseUp}));
}

TEST_F(EventsTest, DropOfThreeFilesHandsTheWholeListToTheView) {
    Window window(Rect(0, 0, 600, 400));
    auto preview = std::make_shared<PhotoDropView>(Rect(0, 0, 600, 400));
    preview->registerForDraggedTypes({kFilenamesPboardType});
    window.contentView()->addSubview(preview);

    DraggingInfo info{filesOnDragBoard({"/p/a.jpg", "/p/b.tif", "/p/c.nef"}), kDragOperationEvery};
    DropOutcome outcome = dropOnWindow(window, {300, 200}, info);
    EXPECT_TRUE(outcome.delivered);
    EXPECT_EQ(outcome.entered, kDragOperationGeneric);
    EXPECT_EQ(outcome.updated, kDragOperationCopy);
    EXPECT_TRUE(outcome.prepared);
    EXPECT_TRUE(outcome.performed);
    EXPECT_TRUE(outcome.concluded);
    EXPECT_EQ(preview->received, (std::vector<std::string>{"/p/a.jpg", "/p/b.tif", "/p/c.nef"}));
    EXPECT_EQ(preview->concluded, 1);
}

TEST_F(EventsTest, DropOperationsFollowTheSourceAndTheDestination) {
    Window window(Rect(0, 0, 600, 400));
    auto preview = std::make_shared<PhotoDropView>(Rect(0, 0, 600, 400));
    preview->registerForDraggedTypes({kFilenamesPboardType});
    window.contentView()->addSubview(preview);

    // A source that offers only copying is refused by entered and updated alike.
    DropOutcome copyOnly = dropOnView(*preview, {filesOnDragBoard({"/p/a.jpg"}), kDragOperationCopy});
    EXPECT_EQ(copyOnly.entered, kDragOperationNone);
    EXPECT_EQ(copyOnly.updated, kDragOperationNone);
    EXPECT_TRUE(copyOnly.exited);
    EXPECT_FALSE(copyOnly.performed);
    EXPECT_EQ(preview->exited, 1);

    // From the view itself: every operation.
    DropOutcome self = dropOnView(*preview, {filesOnDragBoard({"/p/a.jpg"}), kDragOperationCopy, preview.get()});
    EXPECT_EQ(self.entered, kDragOperationEvery);

    // Drops turned off: none.
    preview->allowDrops = false;
    EXPECT_EQ(dropOnView(*preview, {filesOnDragBoard({"/p/a.jpg"})}).updated, kDragOperationNone);
    preview->allowDrops = true;

    // A pasteboard without file names reaches no view registered only for them.
    auto text = Pasteboard::withName(kDragPboard);
    text->declareTypes({kStringPboardType}, nullptr);
    text->setString("hello", kStringPboardType);
    EXPECT_FALSE(dropOnWindow(window, {10, 10}, {text}).delivered);

    // A file-names entry that is not a list of paths is refused by the view.
    auto broken = Pasteboard::withName(kDragPboard);
    broken->declareTypes({kFilenamesPboardType}, nullptr);
    broken->setPropertyList(Value("not a list"), kFilenamesPboardType);
    DropOutcome refused = dropOnView(*preview, {broken});
    EXPECT_TRUE(refused.prepared);
    EXPECT_FALSE(refused.performed);
    EXPECT_FALSE(refused.concluded);
}

TEST(Pasteboard, EntriesNeedDeclaredTypes) {
    Pasteboard board("test");
    EXPECT_FALSE(board.setString("x", kStringPboardType));
    int change = board.declareTypes({"QVTableViewDataType", kStringPboardType}, &board);
    EXPECT_EQ(board.owner(), &board);
    EXPECT_TRUE(board.setData(Data{1, 2}, "QVTableViewDataType"));
    EXPECT_EQ(board.availableTypeFromArray({"other", kStringPboardType, "QVTableViewDataType"}), kStringPboardType);
    EXPECT_EQ(board.dataForType("QVTableViewDataType"), (Data{1, 2}));
    EXPECT_FALSE(board.dataForType(kStringPboardType).has_value());
    EXPECT_GT(board.declareTypes({}, nullptr), change);
    EXPECT_FALSE(board.dataForType("QVTableViewDataType").has_value());
    EXPECT_EQ(Pasteboard::withName("general"), Pasteboard::withName("general"));
}
