// The loaded-database list and the database sheet: browsing for a database file, loading a row,
// closing the sheet, and what the database table shows and does.
#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "common/TempDir.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"

using namespace shelltest;

namespace {

class DatabaseSheetTest : public LaunchedTest {
protected:
    void browse(const std::string& path) {
        responder().queuePanel({true, {path}});
        ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onDatabase:"));
        // The sheet's Browse button is the first of its row.
        c().onBrowseDatabase(nullptr);
    }
    qvtest::TempDir m_files{"qvdb"};
};

TEST_F(DatabaseSheetTest, BrowsingAUserDatabaseAddsItsRowAndRemembersIt) {
    const std::string path = m_files.file("Wide.dtl");
    writeUserDatabase(path, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    browse(path);

    qv::ui::TableView& table = *c().databaseSheet().m_pCamNameTable;
    EXPECT_EQ(rowTexts(&table), (std::vector<std::string>{"Canon", "Nikon", "Wide"}));
    EXPECT_EQ(table.selectedRow(), 2);
    EXPECT_EQ(table.objectValueAt(nullptr, 2).textColor, qv::ui::Color::blueColor()) << "user databases are blue";
    EXPECT_FALSE(table.objectValueAt(nullptr, 0).textColor);
    EXPECT_EQ(rowTexts(c().lensSelection().mManufacturerList), rowTexts(&table))
        << "both database tables list the same rows";
    EXPECT_TRUE(c().databaseSheet().m_pEditDatabaseButton->isEnabled());
    EXPECT_TRUE(c().databaseSheet().m_pLoadDatabaseButton->isEnabled());
    EXPECT_EQ(c().databaseSheet().m_pDatabasePathTextField->stringValue(), path);
    EXPECT_FALSE(c().isPTLensSelected());
    const qv::Value prefs = qv::PreferencesFile::read();
    EXPECT_EQ(prefs.get("DatabasePath").stringOr(""), path);
    EXPECT_EQ(prefs.get("LoadedDatabase").stringOr(""), path);
    EXPECT_EQ(prefs.get("LoadedCamera").stringOr(""), "Wide");

    // Selecting a make of the resource database again.
    ASSERT_TRUE(table.userClickRow(0));
    EXPECT_TRUE(c().isPTLensSelected());
    EXPECT_FALSE(c().databaseSheet().m_pEditDatabaseButton->isEnabled());
}

TEST_F(DatabaseSheetTest, BrowsingAResourceDatabaseAddsOneRowPerMake) {
    const std::string path = m_files.file("More.dat");
    writeResourceDatabase(path, kNewerDatabaseText);
    browse(path);
    EXPECT_EQ(databaseRowNames(c()), (std::vector<std::string>{"Canon", "Nikon", "Canon", "Pentax"}));
    EXPECT_EQ(databaseRowFiles(c()).back(), path);
    EXPECT_EQ(databaseRowFiles(c())[2], path);
    EXPECT_TRUE(c().isPTLensSelected());
    EXPECT_EQ(qv::PreferencesFile::read().get("LoadedCamera").stringOr(""), "Pentax");
}

TEST_F(DatabaseSheetTest, FileThatIsNoDatabaseAddsNothingAndChangesNoPreference) {
    const qv::Value before = qv::PreferencesFile::read();
    const auto rowsBefore = databaseRowNames(c());
    const std::string notUser = m_files.file("Broken.dtl");
    const std::string notResource = m_files.file("Broken.dat");
    ASSERT_TRUE(qv::files::writeWhole(notUser, std::string_view("<plist><array/></plist>")));
    ASSERT_TRUE(qv::files::writeWhole(notResource, std::string_view("PDAT and nothing after it")));
    for (const std::string& path : {notUser, notResource}) {
        browse(path);
        ASSERT_FALSE(responder().alerts().empty());
        const auto alert = responder().alerts().back().request;
        EXPECT_EQ(alert.title, "Broken." + qv::paths::pathExtension(path));
        EXPECT_EQ(alert.message, qv::localizedString("DatabaseOpenErrorMessage"));
    }
    EXPECT_EQ(databaseRowNames(c()), rowsBefore);
    EXPECT_EQ(qv::PreferencesFile::read(), before);
    EXPECT_EQ(c().databaseLoader().camInfoForLoadedDatabase().size(), 3u) << "the loaded database stays";
}

TEST_F(DatabaseSheetTest, CancelledBrowseChangesNothing) {
    const qv::Value before = qv::PreferencesFile::read();
    responder().queuePanel({false, {}});
    c().onBrowseDatabase(nullptr);
    EXPECT_EQ(databaseRowNames(c()).size(), 2u);
    EXPECT_EQ(qv::PreferencesFile::read(), before);
}

TEST_F(DatabaseSheetTest, LoadingARowShowsItAndStoresItAndNothingElse) {
    const qv::Value before = qv::PreferencesFile::read();
    loadDatabaseRow(0);
    EXPECT_FALSE(c().databaseSheet().m_pDatabaseSheet->isVisible());
    EXPECT_EQ(c().mainWindow().m_pDatabaseText->stringValue(), "Canon");
    qv::Value expected = before;
    expected["LoadedDatabase"] = installedDatabase();
    expected["LoadedCamera"] = "Canon";
    EXPECT_EQ(qv::PreferencesFile::read(), expected);
}

TEST_F(DatabaseSheetTest, ClosingTheSheetRestoresTheRowItOpenedWith) {
    ASSERT_EQ(c().databaseSheet().m_pCamNameTable->selectedRow(), 1);
    ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onDatabase:"));
    EXPECT_TRUE(c().databaseSheet().m_pDatabaseSheet->isVisible());
    EXPECT_EQ(c().mainWindow().m_pWindow->attachedSheet(), c().databaseSheet().m_pDatabaseSheet);
    ASSERT_TRUE(c().databaseSheet().m_pCamNameTable->userClickRow(0));
    c().onCloseDatabase(nullptr);
    EXPECT_EQ(c().databaseSheet().m_pCamNameTable->selectedRow(), 1);
    EXPECT_FALSE(c().databaseSheet().m_pDatabaseSheet->isVisible());
    EXPECT_EQ(c().mainWindow().m_pWindow->attachedSheet(), nullptr);
}

TEST_F(DatabaseSheetTest, NoSelectedRowClearsTheFieldsAndDisablesTheButtons) {
    c().databaseSheet().m_pCamNameTable->deselectAll();
    EXPECT_EQ(c().databaseSheet().m_pDatabasePathTextField->stringValue(), "");
    EXPECT_EQ(c().mainWindow().m_pDatabaseText->stringValue(), "");
    EXPECT_FALSE(c().databaseSheet().m_pLoadDatabaseButton->isEnabled());
    EXPECT_FALSE(c().databaseSheet().m_pEditDatabaseButton->isEnabled());
    c().onLoadDatabase(nullptr);  // nothing to load
    EXPECT_EQ(c().mainWindow().m_pDatabaseText->stringValue(), "");
}

// ---- The tables' rows ----

TEST_F(DatabaseSheetTest, TablesCountTheirListsAndShowNothingPastThem) {
    QVController& controller = c();
    EXPECT_EQ(controller.numberOfRowsInTableView(*controller.lensSelection().mMyLensList), 0)
        << "no owned-lens list yet";
    EXPECT_EQ(controller.numberOfRowsInTableView(*controller.editSheet().m_pESLensNameTable), 0);
    qv::ui::TableView stranger;
    EXPECT_EQ(controller.numberOfRowsInTableView(stranger), 0);
    EXPECT_TRUE(controller.objectValueForTableColumn(stranger, nullptr, 0).value.isNull());
    for (qv::ui::TableView* table :
         {controller.databaseSheet().m_pCamNameTable, controller.lensSelection().mManufacturerList,
          controller.lensSelection().mMyLensList, controller.parametersSheet().m_pParametersTable,
          controller.lensSelection().mAvailableLensList}) {
        const int rows = controller.numberOfRowsInTableView(*table);
        EXPECT_TRUE(controller.objectValueForTableColumn(*table, nullptr, rows).value.isNull());
        EXPECT_TRUE(controller.objectValueForTableColumn(*table, nullptr, -1).value.isNull());
    }
    // A table out of step with its list (rows counted before the list shrank) shows nothing
    // for the rows that went, and selecting one does nothing.
    controller.state().mMyLensArray = qv::Array{qv::Value(qv::Dictionary{{"3.Lens Name", qv::Value("A")}}),
                                                qv::Value(qv::Dictionary{{"3.Lens Name", qv::Value("B")}})};
    controller.lensSelection().mMyLensList->reloadData();
    controller.state().mMyLensArray->pop_back();
    EXPECT_TRUE(
        controller.objectValueForTableColumn(*controller.lensSelection().mMyLensList, nullptr, 1).value.isNull());
    controller.lensSelection().mMyLensList->selectRow(1);
    controller.onRemoveLensFromMyLensList(nullptr);
    EXPECT_EQ(controller.state().mMyLensArray->size(), 1u);
}

TEST_F(DatabaseSheetTest, EmptyListsSelectNothingAndRowsPastTheEndDoNothing) {
    QVController& controller = c();
    const std::string lensBefore = controller.mainWindow().m_pLensText->stringValue();
    const qv::Value prefsBefore = qv::PreferencesFile::read();
    controller.state().m_pLensArray = qv::Array();
    controller.parametersSheet().m_pParametersTable->reloadData();
    controller.updateUIWithLensInfo(0);
    controller.saveSelectedLens(0);
    EXPECT_EQ(controller.parametersSheet().m_pParametersTable->selectedRow(), -1);
    EXPECT_EQ(controller.mainWindow().m_pLensText->stringValue(), lensBefore);
    EXPECT_EQ(qv::PreferencesFile::read(), prefsBefore);

    controller.state().mMyLensArray = qv::Array();
    controller.moveRow(0, 1);
    controller.onRemoveLensFromMyLensList(nullptr);
    EXPECT_TRUE(controller.state().mMyLensArray->empty());

    // A database row that went (the table counted it before the list shrank) shows and reads nothing.
    controller.state().mDatabaseRows.pop_back();
    EXPECT_FALSE(controller.isDatabaseRow(1));
    EXPECT_TRUE(
        controller.objectValueForTableColumn(*controller.databaseSheet().m_pCamNameTable, nullptr, 1).value.isNull());
    controller.setParameters();  // the selected row is gone: nothing is read for it
    EXPECT_FALSE(controller.parametersSheet().m_pLoadParametersButton->isEnabled());
}

}  // namespace
