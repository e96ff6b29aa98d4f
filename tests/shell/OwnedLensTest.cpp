// The owned-lens list: the lens-selection window offered at the first start, its three tables,
// reordering by drag, the preferences window, and the list kept across a restart.
#include <gtest/gtest.h>

#include <functional>

#include "ShellTestSupport.h"
#include "appkit/Dragging.h"
#include "foundation/Bundle.h"
#include "foundation/PreferencesFile.h"
#include "lens/OwnedLensDrag.h"
#include "lens/QVPreferences.h"

using namespace shelltest;
using qv::ui::IndexSet;

namespace {

std::vector<std::string> namesOf(const qv::Array& entries) {
    std::vector<std::string> names;
    for (const qv::Value& entry : entries) names.push_back(entry.get("3.Lens Name").stringOr(""));
    return names;
}

std::vector<std::string> storedNames() {
    const qv::Value list = qv::PreferencesFile::read().get("recentLenses");
    return list.array() ? namesOf(*list.array()) : std::vector<std::string>{};
}

// The user drags rows of a table and lets go above a row of the same table.
qv::ui::DropOutcome dragRows(qv::ui::TableView& table, const IndexSet& rows, int aboveRow) {
    auto pasteboard = table.userDragRows(rows);
    EXPECT_TRUE(pasteboard) << "the table refused the drag";
    if (!pasteboard) return {};
    qv::ui::DraggingInfo info;
    info.pasteboard = pasteboard;
    info.source = &table;
    return qv::ui::dropOnWindow(*table.window(), table.locationForDrop(aboveRow, qv::ui::DropPosition::Above), info);
}

qv::Value owned(const std::string& name, const std::string& make, const std::string& model) {
    qv::Value entry{qv::Dictionary()};
    entry["3.Lens Name"] = name;
    entry["menuMake"] = make;
    entry["menuModel"] = model;
    entry["lensGroup"] = "kept as it is";
    return entry;
}

class OwnedLensStartTest : public testing::Test {
protected:
    void SetUp() override { resetApplication(); }
    void TearDown() override { resetApplication(); }
    FixtureBundle m_bundle;
};

TEST_F(OwnedLensStartTest, LensesAddedReorderedAndRemovedAreKeptAcrossARestart) {
    QVController* controller = nullptr;
    std::vector<std::string> duringTheRun;
    responder().queueAlert({0, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
    responder().queueModal([&](qv::ui::Window& window) {
        QVController& c = *controller;
        ASSERT_EQ(&window, c.lensSelection().mLensSelectionWindow);
        ASSERT_EQ(c.lensSelection().mManufacturerList->selectedRow(), 0) << "the first make is chosen for the user";
        ASSERT_EQ(rowTexts(c.lensSelection().mAvailableLensList),
                  (std::vector<std::string>{"EF-S 18-55", "Sigma 10-20 (EOS 400D)", "EF 50", "Sigma 10-20 (EOS 5D)"}));
        EXPECT_EQ(c.lensSelection().mLensSelectionModelPopUp->itemTitles(),
                  (std::vector<std::string>{"EOS 400D", "EOS 5D", "", "Show All"}));
        // EF-S 18-55 and EF 50 together, then the APS-C Sigma.
        ASSERT_TRUE(c.lensSelection().mAvailableLensList->userClickRow(0));
        ASSERT_TRUE(c.lensSelection().mAvailableLensList->userClickRow(2, true));
        c.onAddLensToMyLensList(nullptr);
        ASSERT_TRUE(c.lensSelection().mAvailableLensList->userClickRow(1));
        c.onAddLensToMyLensList(nullptr);
        // A Nikon lens.
        ASSERT_TRUE(c.lensSelection().mManufacturerList->userClickRow(1));
        ASSERT_EQ(rowTexts(c.lensSelection().mAvailableLensList),
                  (std::vector<std::string>{"Sigma 10-20", "AF-S 18-70"}));
        ASSERT_TRUE(c.lensSelection().mAvailableLensList->userClickRow(1));
        c.onAddLensToMyLensList(nullptr);
        ASSERT_EQ(rowTexts(c.lensSelection().mMyLensList),
                  (std::vector<std::string>{"EF-S 18-55", "EF 50", "Sigma 10-20", "AF-S 18-70"}));
        // The first lens dragged below the last, then the new first removed.
        EXPECT_TRUE(dragRows(*c.lensSelection().mMyLensList, IndexSet{0}, 4).performed);
        EXPECT_EQ(c.lensSelection().mMyLensList->selectedRow(), 3);
        ASSERT_TRUE(c.lensSelection().mMyLensList->userClickRow(0));
        c.onRemoveLensFromMyLensList(nullptr);
        duringTheRun = rowTexts(c.lensSelection().mMyLensList);
        ASSERT_TRUE(c.lensSelection().mSelectLensSaveButton->performClick());
    });
    {
        QVMainNib nib = loadMainNib();
        controller = nib.controller.get();
        qv::ui::Application::shared().finishLaunching();
        EXPECT_TRUE(wasAsked("Please tell Quorvel which lenses you own."));
        EXPECT_EQ(duringTheRun, (std::vector<std::string>{"Sigma 10-20", "AF-S 18-70", "EF-S 18-55"}));
        EXPECT_FALSE(nib.controller->lensSelection().mLensSelectionWindow->isVisible());
        EXPECT_FALSE(nib.controller->state().mLensSelectionInProgress);
        EXPECT_TRUE(responder().scriptErrors().empty()) << responder().scriptErrors().front();
        // The save button of the window as the nib makes it stores the list at once.
        EXPECT_EQ(storedNames(), duringTheRun);
        EXPECT_EQ(nib.preferences->lensNames(), duringTheRun);
        EXPECT_TRUE(nib.controller->mainWindow().m_pWindow->performClose());
    }
    const qv::Array stored = *qv::PreferencesFile::read().get("recentLenses").array();
    EXPECT_EQ(namesOf(stored), duringTheRun);
    EXPECT_EQ(stored[0].get("lensGroup").stringOr(""), "Canon APS-C") << "entries are the listed records, unchanged";
    EXPECT_EQ(stored[1].get("lensGroup").stringOr(""), "Nikon DX");

    resetApplication();
    QVMainNib again = launch();
    EXPECT_FALSE(wasAsked("Please tell Quorvel which lenses you own."));
    EXPECT_EQ(again.preferences->lensNames(), duringTheRun);
    EXPECT_EQ(again.preferences->recentSettings(), stored[0]);
}

class OwnedLensTest : public LaunchedTest {
protected:
    // Opens the lens-selection window through the menu; the script acts in it.
    void inLensSelectionWindow(const std::function<void(QVController&)>& script) {
        responder().queueModal([&](qv::ui::Window&) { script(c()); });
        ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onPreferencesAddLenses:"));
        EXPECT_FALSE(c().state().mLensSelectionInProgress);
    }
};

TEST_F(OwnedLensTest, TheCommandHandsTheListOverAndClosingTheWindowWritesIt) {
    ASSERT_TRUE(qv::PreferencesFile::update(
        [](qv::Value& root) { root["recentLenses"] = qv::Array{owned("Old", "Canon", "EOS 5D")}; }));
    inLensSelectionWindow([](QVController& c) {
        EXPECT_EQ(rowTexts(c.lensSelection().mMyLensList), (std::vector<std::string>{"Old"}));
        EXPECT_EQ(c.lensSelection().mSelectLensSaveButton->title(), qv::localizedString("OKButton"));
        ASSERT_TRUE(c.lensSelection().mAvailableLensList->userClickRow(2));
        c.onAddLensToMyLensList(nullptr);
        c.onAddLensToMyLensList(nullptr);  // the same lens twice is listed twice
        ASSERT_TRUE(c.lensSelection().mSelectLensSaveButton->performClick());
    });
    EXPECT_EQ(nib().preferences->lensNames(), (std::vector<std::string>{"Old", "EF 50", "EF 50"}));
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Old"})) << "handed over, not yet written";
    ASSERT_TRUE(c().mainWindow().m_pWindow->performClose());
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Old", "EF 50", "EF 50"}));
}

TEST_F(OwnedLensTest, CancelWritesNothing) {
    inLensSelectionWindow([](QVController& c) {
        ASSERT_TRUE(c.lensSelection().mAvailableLensList->userClickRow(0));
        c.onAddLensToMyLensList(nullptr);
        c.onCancelSelectedLenses(nullptr);
    });
    EXPECT_FALSE(c().lensSelection().mLensSelectionWindow->isVisible());
    EXPECT_TRUE(storedNames().empty());
    EXPECT_TRUE(nib().preferences->lensNames().empty());
}

TEST_F(OwnedLensTest, ModelPopUpNarrowsTheLensesAndShowAllBringsThemBack) {
    inLensSelectionWindow([](QVController& c) {
        qv::ui::PopUpButton& models = *c.lensSelection().mLensSelectionModelPopUp;
        ASSERT_TRUE(models.userChooseItem(models.indexOfItemWithTitle("EOS 5D")));
        EXPECT_EQ(rowTexts(c.lensSelection().mAvailableLensList), (std::vector<std::string>{"EF 50", "Sigma 10-20"}))
            << "one group: no name repeats";
        ASSERT_TRUE(models.userChooseItem(models.indexOfItemWithTitle("Show All")));
        EXPECT_EQ(rowTexts(c.lensSelection().mAvailableLensList).size(), 4u);
        EXPECT_EQ(models.titleOfSelectedItem(), std::optional<std::string>("Show All"));
        c.onCancelSelectedLenses(nullptr);
    });
}

TEST_F(OwnedLensTest, TheWindowListsTheLensesOfItsMakeAfterAUserDatabaseWasLoaded) {
    auto lensesListed = [&] {
        std::vector<std::string> listed;
        inLensSelectionWindow([&](QVController& c) {
            listed = rowTexts(c.lensSelection().mAvailableLensList);
            c.onCancelSelectedLenses(nullptr);
        });
        return listed;
    };
    const auto canon = lensesListed();
    ASSERT_EQ(canon.size(), 4u);
    qvtest::TempDir folder("qvdb");
    writeUserDatabase(folder.file("Wide.dtl"), {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    responder().queuePanel({true, {folder.file("Wide.dtl")}});
    c().onBrowseDatabase(nullptr);
    ASSERT_EQ(c().lensSelection().mManufacturerList->selectedRow(), 0) << "the window's make is still Canon";
    EXPECT_EQ(lensesListed(), canon);
}

TEST_F(OwnedLensTest, DropsFromElsewhereOrWithForeignDataAreRefused) {
    c().state().mMyLensArray = qv::Array{owned("A", "m", "x"), owned("B", "m", "x"), owned("C", "m", "x")};
    c().lensSelection().mMyLensList->reloadData();
    qv::ui::TableView& mine = *c().lensSelection().mMyLensList;
    auto drop = [&](const qv::Data& data, const void* source) {
        auto pasteboard = std::make_shared<qv::ui::Pasteboard>("test");
        pasteboard->declareTypes({ownedlens::kTableViewDataType}, nullptr);
        pasteboard->setData(data, ownedlens::kTableViewDataType);
        qv::ui::DraggingInfo info;
        info.pasteboard = pasteboard;
        info.source = source;
        return qv::ui::dropOnWindow(*mine.window(), mine.locationForDrop(0, qv::ui::DropPosition::Above), info);
    };
    // Rows of the lens table, dragged onto the owned lenses.
    EXPECT_FALSE(drop(IndexSet{2}.archived(), c().lensSelection().mAvailableLensList).performed);
    // Another program, data that is no row archive, and a row the list does not have.
    EXPECT_FALSE(drop(IndexSet{2}.archived(), nullptr).performed);
    EXPECT_FALSE(drop(qv::Data{1, 2, 3}, &mine).performed);
    EXPECT_FALSE(drop(IndexSet{7}.archived(), &mine).performed);
    EXPECT_EQ(rowTexts(&mine), (std::vector<std::string>{"A", "B", "C"}));
    // The other tables neither start row drags nor take drops.
    EXPECT_EQ(c().lensSelection().mAvailableLensList->userDragRows(IndexSet{0}), nullptr);
    EXPECT_TRUE(drop(IndexSet{2}.archived(), &mine).performed) << "our own drag still works";
    EXPECT_EQ(rowTexts(&mine), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(OwnedLensTest, DragMovesTheFirstDraggedRowAboveTheTarget) {
    qv::ui::TableView& mine = *c().lensSelection().mMyLensList;
    auto reset = [&] {
        c().state().mMyLensArray = qv::Array{owned("A", "m", "x"), owned("B", "m", "x"), owned("C", "m", "x")};
        mine.reloadData();
    };
    const struct {
        IndexSet rows;
        int above;
        std::vector<std::string> expected;
    } cases[] = {
        {IndexSet{0}, 3, {"B", "C", "A"}}, {IndexSet{2}, 0, {"C", "A", "B"}}, {IndexSet{1}, 1, {"A", "B", "C"}},
        {IndexSet{1}, 2, {"A", "B", "C"}}, {IndexSet{0, 1}, 3, {"B", "C", "A"}},
    };
    mine.setAllowsMultipleSelection(true);
    for (const auto& drag : cases) {
        reset();
        dragRows(mine, drag.rows, drag.above);
        EXPECT_EQ(rowTexts(&mine), drag.expected) << "above row " << drag.above;
    }
}

// ---- The preferences window ----

TEST_F(OwnedLensTest, PreferencesWindowRemovesAndReordersAndWritesOnOK) {
    ASSERT_TRUE(qv::PreferencesFile::update([](qv::Value& root) {
        root["recentLenses"] = qv::Array{owned("A", "m", "x"), owned("B", "m", "y"), owned("C", "m", "z")};
    }));
    ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onPreferences:"));
    QVPreferences& preferences = *nib().preferences;
    qv::ui::TableView& table = *preferences.mLensTable;
    EXPECT_TRUE(preferences.mWindow->isVisible());
    EXPECT_EQ(rowTexts(&table), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_TRUE(dragRows(table, IndexSet{0}, 3).performed);
    EXPECT_EQ(preferences.lensNames(), (std::vector<std::string>{"B", "C", "A"}));
    EXPECT_EQ(namesOf(preferences.preferences()), preferences.lensNames()) << "names and entries stay parallel";
    ASSERT_TRUE(table.userClickRow(1));
    preferences.mRemoveButton->performClick();
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"A", "B", "C"})) << "nothing written before OK";
    preferences.onOKPreferences(nullptr);
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"B", "A"}));
    EXPECT_FALSE(preferences.mWindow->isVisible());
}

TEST_F(OwnedLensTest, RemovingTheOnlyEntryDisablesRemove) {
    QVPreferences& preferences = *nib().preferences;
    preferences.setRecentLenses({owned("A", "m", "x")});
    EXPECT_TRUE(preferences.mRemoveButton->isEnabled());
    preferences.onRemoveEntry(nullptr);
    EXPECT_EQ(preferences.lensNames().size(), 1u) << "nothing selected, nothing removed";
    ASSERT_TRUE(preferences.mLensTable->userClickRow(0));
    preferences.onRemoveEntry(nullptr);
    EXPECT_EQ(preferences.mLensTable->numberOfRows(), 0);
    EXPECT_FALSE(preferences.mRemoveButton->isEnabled());
    EXPECT_FALSE(preferences.recentSettings());
}

TEST_F(OwnedLensTest, LensForACameraPrefersTheModelThenTheLastOfTheMake) {
    QVPreferences& preferences = *nib().preferences;
    preferences.setRecentLenses({owned("A", "M", "X"), owned("B", "M", "Y"), owned("C", "M", "Z")});
    EXPECT_EQ(preferences.lensForCam("M", "Y"), std::optional<std::string>("B"));
    EXPECT_EQ(preferences.lensForCam("M", "W"), std::optional<std::string>("C"));
    EXPECT_EQ(preferences.lensForCam("N", "X"), std::nullopt);
    EXPECT_EQ(preferences.recentSettings().get("3.Lens Name").stringOr(""), "A");
}

TEST_F(OwnedLensTest, EntryWithoutANameKeepsItsPlace) {
    QVPreferences& preferences = *nib().preferences;
    qv::Value nameless{qv::Dictionary()};
    nameless["menuMake"] = "M";
    preferences.setRecentLenses({owned("A", "M", "X"), nameless, owned("C", "M", "Z")});
    EXPECT_EQ(preferences.lensNames(), (std::vector<std::string>{"A", "", "C"}));
    preferences.moveRow(2, 1);
    EXPECT_EQ(preferences.lensNames(), (std::vector<std::string>{"A", "C", ""}));
    EXPECT_EQ(preferences.preferences()[2], nameless);
}

TEST(OwnedLensFileTest, MissingFileOrKeyReadsAsAnEmptyList) {
    EXPECT_TRUE(QVPreferences::readRecentLenses().empty());
    EXPECT_FALSE(QVPreferences::storeRecentLenses({owned("A", "m", "x")})) << "no file: nothing written";
    QVPreferences preferences;
    EXPECT_TRUE(preferences.readPreferences());
    EXPECT_TRUE(preferences.preferences().empty());
}

}  // namespace
