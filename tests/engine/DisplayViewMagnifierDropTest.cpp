// The magnifier's zoom levels and dragging, and dropping files on the view.
#include <gtest/gtest.h>

#include "DisplayViewFixtures.h"
#include "EngineImages.h"
#include "appkit/Application.h"
#include "common/TempDir.h"
#include "coreimage/CIImageUnit.h"
#include "foundation/Assert.h"

using qv::ci::Image;
using qv::ui::Application;
using qv::ui::Event;
using qv::ui::EventType;
using viewtest::ViewSetup;

namespace {

// A lazy photo of the given size (a small gradient enlarged), so large sizes cost nothing.
Image photoOfSize(double width, double height) {
    const Image small = enginetest::drawImage(60, 40, [](int x, int y) {
        return enginetest::Rgba{x / 60.f, y / 40.f, ((x + y) % 2) ? 0.8f : 0.2f, 1};
    });
    return small.imageByApplyingTransform(qv::AffineTransform::scale(width / 60, height / 40));
}

void drag(QVDisplayView& view, qv::Point to) {
    Application::shared().postEvent(Event::mouse(EventType::LeftMouseDragged, to));
    Application::shared().postEvent(Event::mouse(EventType::LeftMouseUp, to));
    view.mouseDown(Event::mouse(EventType::LeftMouseDown, to));
}

int differingPixels(const qv::ui::Canvas& a, const qv::ui::Canvas& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

qv::Vec2 lensCentreOf(QVDisplayView& view) {
    const qv::ci::FilterValue centre = view.magnifier()->valueForKey("inputCenter");
    return centre.vec2() ? *centre.vec2() : qv::Vec2{-1, -1};
}

struct Magnified : ViewSetup {
    Magnified() : ViewSetup(600, 400) {
        Application::shared().reset();
        qv::ci::loadPlugIn("LensFilter");
        view->setCIImage(photoOfSize(1200, 800));
        view->applyCorrection();
    }
};

std::shared_ptr<qv::ui::Pasteboard> filesPasteboard(const std::vector<std::string>& paths) {
    auto pasteboard = std::make_shared<qv::ui::Pasteboard>(qv::ui::kDragPboard);
    pasteboard->setFilenames(paths);
    return pasteboard;
}

qv::ui::DraggingInfo dragOf(std::shared_ptr<qv::ui::Pasteboard> pasteboard,
                            qv::ui::DragOperation offered = qv::ui::kDragOperationEvery) {
    qv::ui::DraggingInfo info;
    info.pasteboard = std::move(pasteboard);
    info.sourceOperationMask = offered;
    return info;
}

}  // namespace

TEST(DisplayViewMagnifier, TheBaseUndoesTheReductionOfTheFittedPicture) {
    ViewSetup s(600, 400);
    s.view->setCIImage(photoOfSize(6000, 4000));
    s.view->setMagnification(100);
    EXPECT_DOUBLE_EQ(s.view->magnificationValue(), 10);
    s.view->setMagnification(400);
    EXPECT_DOUBLE_EQ(s.view->magnificationValue(), 40);
    const std::pair<int, double> levels[] = {{200, 20}, {600, 60}, {800, 80}, {300, 10}, {0, 10}, {-100, 10}};
    for (auto [percent, expected] : levels) {
        s.view->setMagnification(percent);
        EXPECT_DOUBLE_EQ(s.view->magnificationValue(), expected) << percent;
    }
    s.view->setCIImage(photoOfSize(800, 400));
    s.view->setMagnification(100);
    EXPECT_DOUBLE_EQ(s.view->magnificationValue(), 800.0 / 600.0);
    // No photo yet: the lens does not magnify.
    ViewSetup empty(600, 400);
    empty.view->setMagnification(200);
    EXPECT_DOUBLE_EQ(empty.view->magnificationValue(), 2);
}

TEST(DisplayViewMagnifier, DraggingMovesTheLensUntilTheButtonIsReleased) {
    Magnified s;
    s.view->setMagnification(200);
    s.view->showMagnifier(true);
    ASSERT_TRUE(s.view->m_bMagnifierFlag);
    // The press lies outside the lens (centred at 300, 200): the lens still follows the drag.
    Application& app = Application::shared();
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {60, 50}));
    app.postEvent(Event::mouse(EventType::MouseMoved, {500, 10}));
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {80, 70}));
    app.postEvent(Event::mouse(EventType::LeftMouseUp, {400, 300}));
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {10, 10}));
    s.view->mouseDown(Event::mouse(EventType::LeftMouseDown, {20, 380}));
    ASSERT_TRUE(s.view->lensCentre().has_value());
    EXPECT_EQ(s.view->lensCentre()->x, 80);
    EXPECT_EQ(s.view->lensCentre()->y, 70);
    EXPECT_EQ(lensCentreOf(*s.view).x, 80);
    // The mouse-up ended the loop: the later drag is still queued; the moved event was ignored
    // and stays in the queue too.
    EXPECT_TRUE(app.nextEventMatchingMask(qv::ui::eventMask(EventType::LeftMouseDragged)).has_value());
    // What is drawn is the lens at its new place; the chain was not run again.
    const qv::Rect extent = s.view->imageToDraw().extent();
    EXPECT_LE(extent.minX(), 80 - 135);

    // The lens reappears where it was left.
    s.view->showMagnifier(false);
    s.view->showMagnifier(true);
    EXPECT_EQ(lensCentreOf(*s.view).x, 80);
    EXPECT_EQ(lensCentreOf(*s.view).y, 70);
}

TEST(DisplayViewMagnifier, ADraggedLensIsRedrawnAsAFreshViewWouldDrawIt) {
    // Between drags only the lens's old and new squares are rendered again.
    Magnified moved, fresh;
    for (Magnified* s : {&moved, &fresh}) {
        s->view->setMagnification(400);
        s->view->showMagnifier(true);
    }
    const qv::ui::Canvas before = moved.view->renderToCanvas();
    drag(*moved.view, {150, 120});
    drag(*moved.view, {170, 110});
    const qv::ui::Canvas after = moved.view->renderToCanvas();
    drag(*fresh.view, {170, 110});
    const qv::ui::Canvas reference = fresh.view->renderToCanvas();
    EXPECT_EQ(differingPixels(after, reference), 0);
    EXPECT_GT(differingPixels(before, after), 1000) << "the lens moved";
    // Far from both places of the lens nothing changed.
    EXPECT_EQ(after.pixel(560, 20), before.pixel(560, 20));
}

TEST(DisplayViewMagnifier, ADragWithoutTheMagnifierDoesNothing) {
    Magnified s;
    const Image drawn = s.view->imageToDraw();
    Application& app = Application::shared();
    app.postEvent(Event::mouse(EventType::LeftMouseDragged, {60, 50}));
    app.postEvent(Event::mouse(EventType::LeftMouseUp, {60, 50}));
    s.view->mouseDown(Event::mouse(EventType::LeftMouseDown, {300, 200}));
    EXPECT_FALSE(s.view->lensCentre().has_value());
    EXPECT_EQ(s.view->imageToDraw(), drawn);
    // The events were not taken.
    EXPECT_TRUE(app.nextEventMatchingMask(qv::ui::kLeftMouseDraggedMask).has_value());
}

TEST(DisplayViewMagnifier, WithoutItsImageUnitTheMagnifierStaysOff) {
    // A view whose lens filter name is unknown to the process cannot show a lens; here the unit
    // is installed but deliberately not loaded when the filter is looked up by another name.
    ViewSetup s(600, 400);
    if (qv::ci::Filter::isRegistered("LensFilter")) GTEST_SKIP() << "the unit was loaded earlier in this process";
    s.view->setCIImage(photoOfSize(1200, 800));
    const std::size_t failures = qv::assertionFailureCount();
    s.view->showMagnifier(true);
    EXPECT_FALSE(s.view->m_bMagnifierFlag);
    EXPECT_EQ(qv::assertionFailureCount(), failures + 1);
}

TEST(DisplayViewDrop, ADropOfThreeFilesOpensTheFirst) {
    ViewSetup s;
    s.view->setAllowDragAndDrop(true);
    const qv::ui::DropOutcome outcome =
        qv::ui::dropOnView(*s.view, dragOf(filesPasteboard({"/photos/a.jpg", "/photos/b.jpg", "/photos/c.jpg"})));
    EXPECT_EQ(outcome.entered, qv::ui::kDragOperationGeneric);
    EXPECT_EQ(outcome.updated, qv::ui::kDragOperationCopy);
    EXPECT_TRUE(outcome.performed);
    EXPECT_TRUE(outcome.concluded);
    EXPECT_EQ(s.controller.opened, std::vector<std::string>{"/photos/a.jpg"});
    EXPECT_TRUE(s.controller.errorDialogs.empty());
}

TEST(DisplayViewDrop, DropsAreRefusedUntilAllowedDuringABatchOrWhenTheControllerSaysNo) {
    ViewSetup s;
    auto info = dragOf(filesPasteboard({"/photos/a.jpg"}));
    // Not allowed yet: no operation offered, nothing performed.
    qv::ui::DropOutcome outcome = qv::ui::dropOnView(*s.view, info);
    EXPECT_EQ(outcome.entered, qv::ui::kDragOperationNone);
    EXPECT_FALSE(outcome.performed);
    EXPECT_FALSE(s.view->performDragOperation(info));

    s.view->setAllowDragAndDrop(true);
    EXPECT_TRUE(s.view->allowDragAndDrop());
    s.view->setBatchFlagTo(true);
    EXPECT_FALSE(s.view->performDragOperation(info));
    s.view->setBatchFlagTo(false);
    s.controller.dropsAllowed = false;
    EXPECT_FALSE(s.view->performDragOperation(info));
    // Refused silently, and nothing opened.
    EXPECT_TRUE(s.controller.errorDialogs.empty());
    EXPECT_TRUE(s.controller.opened.empty());
}

TEST(DisplayViewDrop, TheOperationAnsweredFollowsWhatTheSourceOffers) {
    ViewSetup s;
    s.view->setAllowDragAndDrop(true);
    // A source that offers only copying is refused by both calls.
    const qv::ui::DropOutcome copyOnly =
        qv::ui::dropOnView(*s.view, dragOf(filesPasteboard({"/photos/a.jpg"}), qv::ui::kDragOperationCopy));
    EXPECT_EQ(copyOnly.entered, qv::ui::kDragOperationNone);
    EXPECT_EQ(copyOnly.updated, qv::ui::kDragOperationNone);
    EXPECT_FALSE(copyOnly.performed);
    EXPECT_TRUE(s.controller.opened.empty());
    // A drag from the view itself is offered everything.
    qv::ui::DraggingInfo own = dragOf(filesPasteboard({"/photos/a.jpg"}), qv::ui::kDragOperationNone);
    own.source = s.view.get();
    EXPECT_EQ(s.view->draggingEntered(own), qv::ui::kDragOperationEvery);
    EXPECT_EQ(s.view->draggingUpdated(own), qv::ui::kDragOperationEvery);
    EXPECT_TRUE(s.view->prepareForDragOperation(own));
}

TEST(DisplayViewDrop, ADropWithoutFileNamesShowsTheOpenErrorAndIsRefused) {
    ViewSetup s;
    s.view->setAllowDragAndDrop(true);
    // The file-name type declared but never set, set to an empty list, or set to something
    // that is not a list of paths.
    auto declared = std::make_shared<qv::ui::Pasteboard>(qv::ui::kDragPboard);
    declared->declareTypes({qv::ui::kFilenamesPboardType}, nullptr);
    auto empty = filesPasteboard({});
    auto wrong = std::make_shared<qv::ui::Pasteboard>(qv::ui::kDragPboard);
    wrong->declareTypes({qv::ui::kFilenamesPboardType}, nullptr);
    wrong->setPropertyList(qv::Value("/photos/a.jpg"), qv::ui::kFilenamesPboardType);
    for (const auto& pasteboard : {declared, empty, wrong}) {
        const qv::ui::DropOutcome outcome = qv::ui::dropOnView(*s.view, dragOf(pasteboard));
        EXPECT_TRUE(outcome.prepared);
        EXPECT_FALSE(outcome.performed);
    }
    EXPECT_EQ(s.controller.errorDialogs, (std::vector<std::string>{"Alert!", "Alert!", "Alert!"}));
    EXPECT_TRUE(s.controller.opened.empty());
    // No pasteboard at all.
    EXPECT_FALSE(s.view->performDragOperation(qv::ui::DraggingInfo{}));
    EXPECT_EQ(s.controller.errorDialogs.size(), 4u);
}

TEST(DisplayViewDrop, ATypeOtherThanFileNamesIsReportedAndRefused) {
    ViewSetup s;
    s.view->setAllowDragAndDrop(true);
    // Were the view ever registered for another type, a drop of that type reaches the check.
    s.view->registerForDraggedTypes({qv::ui::kStringPboardType});
    auto pasteboard = std::make_shared<qv::ui::Pasteboard>(qv::ui::kDragPboard);
    pasteboard->declareTypes({qv::ui::kStringPboardType}, nullptr);
    pasteboard->setString("/photos/a.jpg", qv::ui::kStringPboardType);
    const std::size_t failures = qv::assertionFailureCount();
    const qv::ui::DropOutcome outcome = qv::ui::dropOnView(*s.view, dragOf(pasteboard));
    EXPECT_FALSE(outcome.performed);
    EXPECT_EQ(qv::assertionFailureCount(), failures + 1);
    EXPECT_EQ(qv::lastAssertionMessage(), "This can't happen");
    EXPECT_TRUE(s.controller.opened.empty());
    EXPECT_TRUE(s.controller.errorDialogs.empty());
}
