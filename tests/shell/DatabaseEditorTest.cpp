// The user lens database editor: a new database made in the edit sheet and saved through the
// panel, a loaded database edited and rewritten, and the faults the writers must not have (a new
// database emptying the loaded one, rows out of range, writing over the resource database,
// failed writes passing silently).
#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "common/FileSizeLimit.h"
#include "common/TempDir.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "lens/UserLensRecord.h"

using namespace shelltest;

namespace {

class DatabaseEditorTest : public LaunchedTest {
protected:
    DatabaseEditSheet& sheet() { return c().editSheet(); }
    // Adds a user database through the database sheet's Browse button; its row is selected.
    void browse(const std::string& path) {
        responder().queuePanel({true, {path}});
        ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onDatabase:"));
        c().onBrowseDatabase(nullptr);
    }
    void type(qv::ui::TextField* field, const std::string& text) { ASSERT_TRUE(field->userType(text)); }
    void fillLensFields(const std::string& name) {
        type(sheet().m_pESLensNameText, name);
        type(sheet().m_pESFocalLengthText, "28");
        type(sheet().m_pESFieldOfViewText, "65.5");
        type(sheet().m_pESVigAmountText, "-20");
        type(sheet().m_pESVigMidpointText, "10");
        ASSERT_TRUE(sheet().m_pESTypePopUp->selectItemAtIndex(5));
        ASSERT_TRUE(sheet().m_pESShiftModePopUP->selectItemAtIndex(1));
        const float red[8] = {0.02f, -0.03f, 0.004f, 1.006f, 0.5f, -0.5f, 0.125f, -0.25f};
        for (int row = 0; row < 8; ++row) sheet().m_pESMatrix->cellAtRow(row, 0)->setFloatValue(red[row]);
    }
    void saveAnswering(const qv::ui::PanelAnswer& answer) {
        responder().queuePanel(answer);
        ASSERT_TRUE(sheet().m_pESSaveDatabaseButton->performClick());
    }
    std::string alertMessage() {
        return responder().alerts().empty() ? std::string() : responder().alerts().back().request.message;
    }
    qvtest::TempDir m_files{"qveditor"};
};

TEST_F(DatabaseEditorTest, NewDatabaseIsMadeInTheSheetAndWrittenWithItsValueKinds) {
    const std::string loaded = m_files.file("Mine.dtl");
    writeUserDatabase(loaded, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    browse(loaded);
    const qv::Value heldBefore = c().state().m_pDatabaseDict;
    const auto loadedBytes = fileBytes(loaded);

    c().onCreateNewDatabase(nullptr);
    EXPECT_TRUE(sheet().m_pEditDatabaseSheet->isVisible());
    EXPECT_FALSE(c().databaseSheet().m_pDatabaseSheet->isVisible());
    EXPECT_EQ(sheet().m_pESSaveDatabaseButton->title(), qv::localizedString("SaveAs"));
    EXPECT_EQ(c().numberOfRowsInTableView(*sheet().m_pESLensNameTable), 0);
    EXPECT_EQ(c().state().m_pDatabaseDict, heldBefore) << "New leaves the loaded database as it is";

    // Adding to an empty list gives the default record, adding again a copy named "Untitled".
    c().onAddLens(nullptr);
    c().onAddLens(nullptr);
    EXPECT_EQ(rowTexts(sheet().m_pESLensNameTable), (std::vector<std::string>{"untitled", "Untitled"}));
    EXPECT_EQ((*c().state().m_pLensArray)[0], lens::userdb::newLensParametersDictionary());
    EXPECT_EQ(sheet().m_pESLensNameTable->selectedRow(), -1) << "the new row is not selected";
    EXPECT_FALSE(sheet().m_pESSaveDatabaseButton->isEnabled());

    ASSERT_TRUE(sheet().m_pESLensNameTable->userClickRow(1));
    EXPECT_TRUE(sheet().m_pESSaveDatabaseButton->isEnabled());
    EXPECT_EQ(sheet().m_pESLensNameText->stringValue(), "Untitled");
    EXPECT_EQ(sheet().m_pESFieldOfViewText->stringValue(), "37.2");
    EXPECT_EQ(sheet().m_pESMatrix->cellAtRow(3, 0)->floatValue(), 1.011937f);
    type(sheet().m_pESManufacturerText, "Lomo");
    type(sheet().m_pESModelText, "LC-A");
    fillLensFields("Minitar 32");

    // No "UserDatabaseDirectory" yet: the panel starts on the Desktop and proposes "lensdb".
    const std::string target = m_files.file("made.dtl");
    saveAnswering({true, {target}});
    const auto request = responder().panels().back().request;
    EXPECT_EQ(request.directory, qv::paths::homeFolder() + "/Desktop/");
    EXPECT_EQ(request.suggestedName, "lensdb");
    EXPECT_EQ(request.requiredType, "dtl");
    EXPECT_FALSE(sheet().m_pEditDatabaseSheet->isVisible());
    EXPECT_TRUE(c().databaseSheet().m_pDatabaseSheet->isVisible()) << "the save returns to the database sheet";
    EXPECT_EQ(qv::PreferencesFile::read().get("UserDatabaseDirectory").stringOr(""), m_files.path());

    const qv::Value written = qv::readPropertyList(target);
    ASSERT_TRUE(written.isDictionary());
    const qv::Value* makers = &written.get("Camera Manufacturers");
    ASSERT_EQ(makers->size(), 1u);
    EXPECT_EQ(makers->at(0).get("Manufacturer Name").stringOr(""), "Lomo");
    EXPECT_EQ(makers->at(0).get("Models"), qv::Value(qv::Array{qv::Value("LC-A")}));
    const qv::Value& lenses = written.get("Lens Array");
    ASSERT_EQ(lenses.size(), 2u);
    EXPECT_EQ(lenses.at(0), lens::userdb::newLensParametersDictionary()) << "only the selected record takes the fields";
    const qv::Value& saved = lenses.at(1);
    EXPECT_EQ(saved.get("3.Lens Name").stringOr(""), "Minitar 32");
    for (const char* key : {"3.Lens Name", "4.Lens Focal Length", "5.Lens FOV", "8.Vignetting amount", "9.Vignetting midpoint"})
        EXPECT_TRUE(saved.get(key).isString()) << key;
    EXPECT_EQ(saved.get("7.Lens Type"), qv::Value(8));
    EXPECT_EQ(saved.get("6.Lens Radial Shift Mode"), qv::Value(16777216));
    for (const char* key : {"Red A", "Red B", "Red C", "Red D", "Red Horizontal Shift", "Red Vertical Shift",
                            "Red Horizontal Shear", "Red Vertical Shear"})
        EXPECT_EQ(saved.get(key).type(), qv::Value::Type::Real) << key;
    EXPECT_EQ(saved.get("Red D").floatOr(0), 1.006f);
    // In the XML itself: integers for the codes, reals for the coefficients.
    const auto bytes = fileBytes(target);
    const std::string xml(bytes.begin(), bytes.end());
    EXPECT_NE(xml.find("<key>7.Lens Type</key>\n\t\t\t<integer>8</integer>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<key>4.Lens Focal Length</key>\n\t\t\t<string>28</string>"), std::string::npos);

    EXPECT_EQ(c().state().m_pDatabaseDict, heldBefore);
    EXPECT_EQ(fileBytes(loaded), loadedBytes);
    EXPECT_EQ(*c().state().m_pLensArray, *heldBefore.get("Lens Array").array())
        << "the working list is the loaded one's again";
    EXPECT_EQ(databaseRowNames(c()).back(), "Mine") << "the new file is added by browsing, not by saving";
}

TEST_F(DatabaseEditorTest, CancelledOrFailedSaveOfANewDatabaseKeepsTheSheetOpen) {
    ASSERT_TRUE(qv::PreferencesFile::update([](qv::Value& root) { root["UserDatabaseDirectory"] = "/srv/lenses"; }));
    c().onCreateNewDatabase(nullptr);
    c().onAddLens(nullptr);
    ASSERT_TRUE(sheet().m_pESLensNameTable->userClickRow(0));
    saveAnswering({false, {}});
    EXPECT_EQ(responder().panels().back().request.directory, "/srv/lenses");
    EXPECT_TRUE(sheet().m_pEditDatabaseSheet->isVisible());
    EXPECT_FALSE(c().databaseSheet().m_pDatabaseSheet->isVisible());

    const std::string target = m_files.file("big.dtl");
    {
        qvtest::FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        saveAnswering({true, {target}});
    }
    EXPECT_EQ(alertMessage(), qv::localizedString("Could not write database to file"));
    EXPECT_EQ(responder().alerts().back().request.title, "big.dtl");
    EXPECT_FALSE(qv::files::exists(target));
    EXPECT_TRUE(sheet().m_pEditDatabaseSheet->isVisible());
    EXPECT_EQ(qv::PreferencesFile::read().get("UserDatabaseDirectory").stringOr(""), "/srv/lenses");

    saveAnswering({true, {target}});
    EXPECT_TRUE(qv::files::exists(target)) << "the sheet's database can still be saved";
    EXPECT_EQ(qv::readPropertyList(target).get("Lens Array").size(), 1u) << "the failed try added no record";
}

TEST_F(DatabaseEditorTest, EditingALoadedDatabaseRewritesItsFileAndKeepsOtherKeys) {
    const std::string path = m_files.file("Wide.dtl");
    writeUserDatabase(path, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f), userLensRecord("Diana", 0.2f, 0, 0, 0.8f)});
    qv::Value root = qv::readPropertyList(path);
    root["Owner"] = "me";
    ASSERT_TRUE(qv::writePropertyList(root, path));
    browse(path);
    c().onEditDatabase(nullptr);
    EXPECT_EQ(sheet().m_pESSaveDatabaseButton->title(), qv::localizedString("Save"));
    EXPECT_EQ(sheet().m_pESDatabaseText->stringValue(), "Wide");
    EXPECT_EQ(rowTexts(sheet().m_pESLensNameTable), (std::vector<std::string>{"Holga", "Diana"}));
    EXPECT_EQ(sheet().m_pESLensNameTable->selectedRow(), 0);
    EXPECT_EQ(sheet().m_pESManufacturerPopUp->itemTitles(), (std::vector<std::string>{"Lomo"}));
    EXPECT_EQ(sheet().m_pESModelPopUp->itemTitles(), (std::vector<std::string>{"LC-A", "LC-W"}));
    EXPECT_EQ(sheet().m_pESModelText->stringValue(), "LC-A");
    EXPECT_EQ(sheet().m_pESFocalLengthText->stringValue(), "24");
    EXPECT_EQ(sheet().m_pESVigAmountText->stringValue(), "0") << "a missing amount shows 0";
    // The record's codes are shown, so that saving other fields keeps them.
    EXPECT_EQ(sheet().m_pESTypePopUp->indexOfSelectedItem(), 2);
    EXPECT_EQ(sheet().m_pESShiftModePopUP->indexOfSelectedItem(), 1);
    EXPECT_EQ(sheet().m_pESMatrix->cellAtRow(0, 0)->floatValue(), 0.1f);

    ASSERT_TRUE(sheet().m_pESLensNameTable->userClickRow(1));
    ASSERT_TRUE(sheet().m_pESModelPopUp->selectItemAtIndex(1));
    c().onModelsPopup(sheet().m_pESModelPopUp);
    type(sheet().m_pESModelText, "LC-Wide");
    type(sheet().m_pESLensNameText, "Diana F+");
    c().onUpdateLensName(nullptr);
    EXPECT_EQ(c().state().m_pDatabaseDict.get("Lens Array").at(1).get("3.Lens Name").stringOr(""), "Diana F+")
        << "renaming changes the held database at once";
    EXPECT_EQ(qv::readPropertyList(path), root) << "and the file only when it is written";
    saveAnswering({true, {}});
    EXPECT_TRUE(c().databaseSheet().m_pDatabaseSheet->isVisible());

    const qv::Value rewritten = qv::readPropertyList(path);
    EXPECT_EQ(rewritten.get("Owner").stringOr(""), "me");
    EXPECT_EQ(rewritten.get("Camera Manufacturers").at(0).get("Models"),
              qv::Value(qv::Array{qv::Value("LC-A"), qv::Value("LC-Wide")}));
    const qv::Value& record = rewritten.get("Lens Array").at(1);
    EXPECT_EQ(record.get("3.Lens Name").stringOr(""), "Diana F+");
    EXPECT_EQ(record.get("7.Lens Type"), qv::Value(2));
    EXPECT_EQ(record.get("Red A").floatOr(0), 0.2f);
    EXPECT_EQ(rewritten.get("Lens Array").at(0), root.get("Lens Array").at(0));
}

TEST_F(DatabaseEditorTest, ValuesTheRecordCannotHoldAreRefusedAtSaveAndTheSheetStaysOpen) {
    const std::string path = m_files.file("Wide.dtl");
    writeUserDatabase(path, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    const auto before = fileBytes(path);
    browse(path);
    c().onEditDatabase(nullptr);
    const std::pair<int, const char*> typed[] = {{0, "1e39"}, {3, "-1e30"}, {6, "1e39"}, {2, "1e999"}};
    for (const auto& [row, text] : typed) {
        SCOPED_TRACE(text);
        const std::string kept = sheet().m_pESMatrix->cellAtRow(row, 0)->stringValue();
        sheet().m_pESMatrix->cellAtRow(row, 0)->setStringValue(text);
        const std::size_t alerts = responder().alerts().size();
        ASSERT_TRUE(sheet().m_pESSaveDatabaseButton->performClick());
        ASSERT_EQ(responder().alerts().size(), alerts + 1);
        EXPECT_EQ(responder().alerts().back().request.title, lens::keys::kRedValues[row]);
        EXPECT_EQ(alertMessage(), qv::localizedString("LensValueOutOfRangeMessage"));
        EXPECT_TRUE(sheet().m_pEditDatabaseSheet->isVisible());
        EXPECT_EQ(fileBytes(path), before);
        EXPECT_EQ(c().state().m_pDatabaseDict.get("Lens Array").at(0).get("Red A").floatOr(0), 0.1f)
            << "nothing is stored in the held database either";
        sheet().m_pESMatrix->cellAtRow(row, 0)->setStringValue(kept);
    }
    sheet().m_pESMatrix->cellAtRow(0, 0)->setStringValue("100");
    ASSERT_TRUE(sheet().m_pESSaveDatabaseButton->performClick());
    EXPECT_EQ(qv::readPropertyList(path).get("Lens Array").at(0).get("Red A").floatOr(0), 100.0f);
}

TEST_F(DatabaseEditorTest, DeletingAndCancellingWorkOnTheHeldDatabase) {
    const std::string path = m_files.file("Three.dtl");
    writeUserDatabase(path, {userLensRecord("A", 0, 0, 0, 1), userLensRecord("B", 0, 0, 0, 1),
                             userLensRecord("C", 0, 0, 0, 1)});
    browse(path);
    c().onEditDatabase(nullptr);
    c().onDeleteLens(nullptr);  // row 0 is selected
    EXPECT_EQ(rowTexts(sheet().m_pESLensNameTable), (std::vector<std::string>{"B", "C"}));
    sheet().m_pESLensNameTable->deselectAll();
    c().onDeleteLens(nullptr);
    c().onUpdateLensName(nullptr);
    EXPECT_EQ(rowTexts(sheet().m_pESLensNameTable), (std::vector<std::string>{"B", "C"})) << "no row, no change";
    c().onCancelEditDatabase(nullptr);
    EXPECT_FALSE(sheet().m_pEditDatabaseSheet->isVisible());
    EXPECT_TRUE(c().databaseSheet().m_pDatabaseSheet->isVisible());
    EXPECT_EQ(c().state().m_pDatabaseDict.get("Lens Array").size(), 2u) << "edits stay in memory";
    EXPECT_EQ(c().state().m_pLensArray->size(), 2u);
    EXPECT_EQ(qv::readPropertyList(path).get("Lens Array").size(), 3u);
}

TEST_F(DatabaseEditorTest, StoringWithoutSelectionsOrListsAppendsFromTheTypedFields) {
    // A database without manufacturers and without records.
    const std::string path = m_files.file("Bare.dtl");
    qv::Value root{qv::Dictionary()};
    root["Camera Manufacturers"] = qv::Array();
    root["Lens Array"] = qv::Array();
    ASSERT_TRUE(qv::writePropertyList(root, path));
    browse(path);
    c().onEditDatabase(nullptr);
    EXPECT_EQ(sheet().m_pESLensNameTable->selectedRow(), -1);
    sheet().m_pESManufacturerPopUp->removeAllItems();
    type(sheet().m_pESManufacturerText, "Zenit");
    type(sheet().m_pESModelText, "E");
    fillLensFields("Helios 44");
    c().onSaveDatabase(nullptr);
    const qv::Value rewritten = qv::readPropertyList(path);
    ASSERT_EQ(rewritten.get("Camera Manufacturers").size(), 1u);
    EXPECT_EQ(rewritten.get("Camera Manufacturers").at(0).get("Manufacturer Name").stringOr(""), "Zenit");
    ASSERT_EQ(rewritten.get("Lens Array").size(), 1u);
    EXPECT_EQ(rewritten.get("Lens Array").at(0).get("3.Lens Name").stringOr(""), "Helios 44");
    EXPECT_EQ(rewritten.get("Lens Array").at(0).get("Red B").floatOr(0), -0.03f);
}

TEST_F(DatabaseEditorTest, TheResourceDatabaseIsNeverRewrittenAsAPropertyList) {
    const std::string path = m_files.file("Wide.dtl");
    writeUserDatabase(path, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    browse(path);
    c().onEditDatabase(nullptr);
    // The database table's selection moves to a make of the resource database meanwhile.
    ASSERT_TRUE(c().databaseSheet().m_pCamNameTable->userClickRow(0));
    const auto before = fileBytes(installedDatabase());
    ASSERT_FALSE(before.empty());
    c().onSaveDatabase(nullptr);
    EXPECT_EQ(fileBytes(installedDatabase()), before);
    EXPECT_EQ(alertMessage(), qv::localizedString("Could not write database to file"));
    EXPECT_EQ(responder().alerts().back().request.title, "PTLens.dat");
}

TEST_F(DatabaseEditorTest, FailedRewriteIsReportedAndLeavesTheFileWhole) {
    const std::string path = m_files.file("Wide.dtl");
    writeUserDatabase(path, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    browse(path);
    const auto before = fileBytes(path);
    c().onEditDatabase(nullptr);
    type(sheet().m_pESLensNameText, "Holga 120");
    {
        qvtest::FileSizeLimit limit(200);  // the database is longer: its write fails halfway
        ASSERT_TRUE(limit.active());
        c().onSaveDatabase(nullptr);
    }
    EXPECT_EQ(alertMessage(), qv::localizedString("Could not write database to file"));
    EXPECT_EQ(responder().alerts().back().request.title, "Wide.dtl");
    EXPECT_EQ(fileBytes(path), before) << "the old file stays whole";
    EXPECT_EQ(c().state().m_pDatabaseDict.get("Lens Array").at(0).get("3.Lens Name").stringOr(""), "Holga 120")
        << "the edits stay in memory";
    EXPECT_EQ(qv::files::listFolder(m_files.path()), (std::vector<std::string>{"Wide.dtl"}))
        << "no temporary file is left behind";
}

}  // namespace
