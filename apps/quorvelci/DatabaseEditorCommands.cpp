// Script lines that make and edit user lens databases through the database and edit sheets, as a
// person would: so a database of one's own lenses can be made without a window.
//   browse-database PATH      add a database file to the list and make it the current database
//   use-database NAME         make a row of the list the current database
//   new-database | edit-database NAME
//   add-lens | select-lens NAME | delete-lens | rename-lens NAME
//   choose-manufacturer NAME | choose-model NAME
//   set-lens-field FIELD VALUE   (stored into the selected lens when the database is saved)
//   save-database [PATH]      (a new database is saved as PATH; an edited one rewrites its file)
//   cancel-database
#include "Actions.h"
#include "FrontEnd.h"
#include "ScriptCommands.h"
#include "appkit/NumberText.h"
#include "foundation/Paths.h"
#include "lens/LensKeys.h"
#include "lens/UserLensRecord.h"

namespace frontend {

namespace {

using qv::Outcome;
using Words = ScriptCommand::Words;
namespace userdb = lens::userdb;

// A field of the edit sheet that "set-lens-field" fills: a text field, a pop-up choice, or a row
// of the coefficient matrix.
struct LensField {
    enum class Kind { Text, Number, Choice, Coefficient };
    const char* name;
    Kind kind;
    qv::ui::TextField* DatabaseEditSheet::*text = nullptr;
    qv::ui::PopUpButton* DatabaseEditSheet::*popUp = nullptr;
    std::vector<const char*> choices{};  // the pop-up's positions, in order
    int row = -1;                        // the matrix row
};

const std::vector<LensField>& lensFields() {
    using K = LensField::Kind;
    using S = DatabaseEditSheet;
    static const std::vector<LensField> fields = {
        {"manufacturer", K::Text, &S::m_pESManufacturerText},
        {"model", K::Text, &S::m_pESModelText},
        {"name", K::Text, &S::m_pESLensNameText},
        {"focal-length", K::Number, &S::m_pESFocalLengthText},
        {"fov", K::Number, &S::m_pESFieldOfViewText},
        {"vignetting-amount", K::Number, &S::m_pESVigAmountText},
        {"vignetting-midpoint", K::Number, &S::m_pESVigMidpointText},
        {"type", K::Choice, nullptr, &S::m_pESTypePopUp,
         {"rectilinear", "scanning-camera", "circular-fisheye", "full-frame-fisheye", "equirectangular", "orthographic"}},
        {"shift-mode", K::Choice, nullptr, &S::m_pESShiftModePopUP, {"radial", "vertical", "horizontal"}},
        {"red-a", K::Coefficient, nullptr, nullptr, {}, 0},
        {"red-b", K::Coefficient, nullptr, nullptr, {}, 1},
        {"red-c", K::Coefficient, nullptr, nullptr, {}, 2},
        {"red-d", K::Coefficient, nullptr, nullptr, {}, 3},
        {"red-horizontal-shift", K::Coefficient, nullptr, nullptr, {}, 4},
        {"red-vertical-shift", K::Coefficient, nullptr, nullptr, {}, 5},
        {"red-horizontal-shear", K::Coefficient, nullptr, nullptr, {}, 6},
        {"red-vertical-shear", K::Coefficient, nullptr, nullptr, {}, 7},
    };
    return fields;
}

const LensField* lensFieldNamed(const std::string& name) {
    for (const LensField& field : lensFields())
        if (name == field.name) return &field;
    return nullptr;
}

int choicePosition(const LensField& field, const std::string& value) {
    for (std::size_t i = 0; i < field.choices.size(); ++i)
        if (value == field.choices[i]) return int(i);
    return -1;
}

Outcome checkLensField(const Words& words) {
    const LensField* field = lensFieldNamed(words[0]);
    if (!field) {
        std::string names;
        for (const LensField& known : lensFields()) names += (names.empty() ? "" : ", ") + std::string(known.name);
        return Outcome::failure("set-lens-field knows " + names + ", not \"" + words[0] + "\"");
    }
    const std::string& value = words[1];
    switch (field->kind) {
    case LensField::Kind::Text: return Outcome::success();
    case LensField::Kind::Number:
        if (numberOf(value)) return Outcome::success();
        return Outcome::failure(std::string(field->name) + " takes a number, not \"" + value + "\"");
    case LensField::Kind::Coefficient: {
        const auto number = numberOf(value);
        if (!number) return Outcome::failure(std::string(field->name) + " takes a number, not \"" + value + "\"");
        if (!userdb::isUsableRedValue(std::size_t(field->row), *number))
            return Outcome::failure(std::string(field->name) + " takes " +
                                    (std::size_t(field->row) < std::size(lens::keys::kCoefficients)
                                         ? "a number from -" + qv::ui::formatDouble(userdb::kLargestCoefficient) +
                                               " to " + qv::ui::formatDouble(userdb::kLargestCoefficient)
                                         : std::string("a number single precision can hold")) +
                                    ", not " + value);
        return Outcome::success();
    }
    case LensField::Kind::Choice: {
        if (choicePosition(*field, value) >= 0) return Outcome::success();
        std::string words;
        for (const char* choice : field->choices) words += (words.empty() ? "" : "|") + std::string(choice);
        return Outcome::failure(std::string(field->name) + " takes " + words + ", not \"" + value + "\"");
    }
    }
    return Outcome::success();
}

bool editSheetOpen(QVController& c) {
    return c.editSheet().m_pEditDatabaseSheet && c.editSheet().m_pEditDatabaseSheet->isVisible();
}

// Runs a step that needs the edit sheet open.
template <class Step>
Outcome inEditSheet(FrontEnd& frontEnd, Step step) {
    QVController& c = frontEnd.controller();
    if (!editSheetOpen(c)) return Outcome::failure("no database is being edited (new-database or edit-database first)");
    return step(c, c.editSheet());
}

// The database sheet, opened from the main window.
void openDatabaseSheet(QVController& c) {
    if (!c.databaseSheet().m_pDatabaseSheet || !c.databaseSheet().m_pDatabaseSheet->isVisible()) c.onDatabase(nullptr);
}

// The editor's Save and Cancel end in the database sheet; a person then closes it, which frees
// the main window for the panels and sheets of the script's next lines.
void closeDatabaseSheet(QVController& c) {
    if (c.databaseSheet().m_pDatabaseSheet && c.databaseSheet().m_pDatabaseSheet->isVisible()) c.onCloseDatabase(nullptr);
}

// The last row of the database list with the name (the one added last).
int databaseRowNamed(QVController& c, const std::string& name) {
    const auto& rows = c.state().mDatabaseRows;
    for (std::size_t i = rows.size(); i-- > 0;)
        if (rows[i].name == name) return int(i);
    return -1;
}

Outcome clickDatabaseRow(QVController& c, const std::string& name) {
    openDatabaseSheet(c);
    const int row = databaseRowNamed(c, name);
    if (row < 0 || !c.databaseSheet().m_pCamNameTable || !c.databaseSheet().m_pCamNameTable->userClickRow(row)) {
        c.onCloseDatabase(nullptr);
        std::string names;
        for (const shell::DatabaseRow& known : c.state().mDatabaseRows)
            names += (names.empty() ? "" : "; ") + known.name;
        return Outcome::failure("no database named \"" + name + "\" (the list holds: " + names + ")");
    }
    return Outcome::success();
}

Outcome useDatabase(FrontEnd& frontEnd, const Words& words) {
    QVController& c = frontEnd.controller();
    if (Outcome clicked = clickDatabaseRow(c, words[0]); !clicked) return clicked;
    if (!c.databaseSheet().m_pLoadDatabaseButton || !c.databaseSheet().m_pLoadDatabaseButton->performClick())
        return Outcome::failure("the database cannot be loaded now");
    return Outcome::success();
}

Outcome browseDatabase(FrontEnd& frontEnd, const Words& words) {
    QVController& c = frontEnd.controller();
    openDatabaseSheet(c);
    const std::size_t rows = c.state().mDatabaseRows.size();
    const Outcome asked = frontEnd.askThroughPanel("database panel", {true, {FrontEnd::absolutePath(words[0])}},
                                                   [&] { c.onBrowseDatabase(nullptr); });
    if (!asked) return asked;
    frontEnd.settle();
    if (frontEnd.wasCancelled() || c.state().mDatabaseRows.size() == rows) {
        c.onCloseDatabase(nullptr);
        return Outcome::failure("cannot add " + words[0] + " to the lens databases");
    }
    // The added row is selected: make it the current database.
    if (!c.databaseSheet().m_pLoadDatabaseButton || !c.databaseSheet().m_pLoadDatabaseButton->performClick())
        return Outcome::failure("the database cannot be loaded now");
    return Outcome::success();
}

Outcome newDatabase(FrontEnd& frontEnd, const Words&) {
    QVController& c = frontEnd.controller();
    openDatabaseSheet(c);
    c.onCreateNewDatabase(nullptr);
    return Outcome::success();
}

Outcome editDatabase(FrontEnd& frontEnd, const Words& words) {
    QVController& c = frontEnd.controller();
    if (Outcome clicked = clickDatabaseRow(c, words[0]); !clicked) return clicked;
    if (!c.databaseSheet().m_pEditDatabaseButton || !c.databaseSheet().m_pEditDatabaseButton->performClick()) {
        c.onCloseDatabase(nullptr);
        return Outcome::failure("\"" + words[0] + "\" is not a user database: only those can be edited");
    }
    return Outcome::success();
}

Outcome clickLensRow(DatabaseEditSheet& s, int row) {
    if (!s.m_pESLensNameTable || !s.m_pESLensNameTable->userClickRow(row))
        return Outcome::failure("the lens cannot be selected");
    return Outcome::success();
}

Outcome addLens(FrontEnd& frontEnd, const Words&) {
    return inEditSheet(frontEnd, [](QVController& c, DatabaseEditSheet& s) -> Outcome {
        c.onAddLens(nullptr);
        // The new lens is selected, so that the fields set next are its own.
        return clickLensRow(s, c.numberOfRowsInTableView(*s.m_pESLensNameTable) - 1);
    });
}

Outcome selectLens(FrontEnd& frontEnd, const Words& words) {
    return inEditSheet(frontEnd, [&](QVController& c, DatabaseEditSheet& s) -> Outcome {
        const int rows = s.m_pESLensNameTable ? c.numberOfRowsInTableView(*s.m_pESLensNameTable) : 0;
        for (int row = 0; row < rows; ++row)
            if (c.objectValueForTableColumn(*s.m_pESLensNameTable, nullptr, row).value.stringOr("") == words[0])
                return clickLensRow(s, row);
        return Outcome::failure("the database has no lens named \"" + words[0] + "\"");
    });
}

Outcome needSelectedLens(DatabaseEditSheet& s) {
    if (!s.m_pESLensNameTable || s.m_pESLensNameTable->selectedRow() < 0)
        return Outcome::failure("no lens is selected (add-lens or select-lens first)");
    return Outcome::success();
}

Outcome deleteLens(FrontEnd& frontEnd, const Words&) {
    return inEditSheet(frontEnd, [](QVController& c, DatabaseEditSheet& s) -> Outcome {
        if (Outcome selected = needSelectedLens(s); !selected) return selected;
        c.onDeleteLens(nullptr);
        return Outcome::success();
    });
}

Outcome renameLens(FrontEnd& frontEnd, const Words& words) {
    return inEditSheet(frontEnd, [&](QVController& c, DatabaseEditSheet& s) -> Outcome {
        if (Outcome selected = needSelectedLens(s); !selected) return selected;
        if (!s.m_pESLensNameText || !s.m_pESLensNameText->userType(words[0]))
            return Outcome::failure("the name cannot be typed");
        c.onUpdateLensName(nullptr);
        return Outcome::success();
    });
}

Outcome setLensField(FrontEnd& frontEnd, const Words& words) {
    return inEditSheet(frontEnd, [&](QVController&, DatabaseEditSheet& s) -> Outcome {
        const LensField& field = *lensFieldNamed(words[0]);
        const std::string& value = words[1];
        switch (field.kind) {
        case LensField::Kind::Text:
        case LensField::Kind::Number:
            if (qv::ui::TextField* text = s.*field.text; text && text->userType(value)) return Outcome::success();
            break;
        case LensField::Kind::Choice:
            if (qv::ui::PopUpButton* popUp = s.*field.popUp; popUp && popUp->selectItemAtIndex(choicePosition(field, value)))
                return Outcome::success();
            break;
        case LensField::Kind::Coefficient:
            if (auto cell = s.m_pESMatrix ? s.m_pESMatrix->cellAtRow(field.row, 0) : nullptr) {
                cell->setStringValue(value);
                return Outcome::success();
            }
            break;
        }
        return Outcome::failure(std::string(field.name) + " cannot be set now");
    });
}

Outcome saveDatabase(FrontEnd& frontEnd, const Words& words) {
    return inEditSheet(frontEnd, [&](QVController& c, DatabaseEditSheet& s) -> Outcome {
        if (s.mSaveAs && words.empty()) return Outcome::failure("a new database needs a file: save-database PATH.dtl");
        if (!s.mSaveAs && !words.empty())
            return Outcome::failure("an edited database is saved to its own file: save-database without a path");
        if (!s.m_pESSaveDatabaseButton || !s.m_pESSaveDatabaseButton->isEnabled())
            return Outcome::failure("nothing to save: no lens is selected");
        const std::size_t alertsBefore = FrontEnd::alertCount();
        auto save = [&] { s.m_pESSaveDatabaseButton->performClick(); };
        if (words.empty()) {
            save();
        } else {
            const Outcome asked =
                frontEnd.askThroughPanel("save panel", {true, {FrontEnd::absolutePath(words[0])}}, save);
            if (!asked) return asked;
        }
        frontEnd.settle();
        if (frontEnd.wasCancelled()) return Outcome::failure("the save panel was cancelled");
        // A save the application refused with an alert stays on the sheet; the alert is the line's
        // failure unless the script expected it.
        if (editSheetOpen(c))
            return FrontEnd::alertCount() > alertsBefore ? Outcome::success()
                                                         : Outcome::failure("the database was not saved");
        closeDatabaseSheet(c);
        return Outcome::success();
    });
}

// Chooses a pop-up item by its title and sends the pop-up's action, as a click on the item would.
Outcome choosePopUpItem(FrontEnd& frontEnd, const std::string& title, bool manufacturer) {
    return inEditSheet(frontEnd, [&](QVController& c, DatabaseEditSheet& s) -> Outcome {
        qv::ui::PopUpButton* popUp = manufacturer ? s.m_pESManufacturerPopUp : s.m_pESModelPopUp;
        if (!popUp || !popUp->selectItemWithTitle(title)) {
            std::string titles;
            if (popUp)
                for (const std::string& item : popUp->itemTitles()) titles += (titles.empty() ? "" : "; ") + item;
            return Outcome::failure("the pop-up has no \"" + title + "\" (it holds: " + titles + ")");
        }
        if (manufacturer)
            c.onManufacturerPopup(popUp);
        else
            c.onModelsPopup(popUp);
        return Outcome::success();
    });
}

Outcome cancelDatabase(FrontEnd& frontEnd, const Words&) {
    return inEditSheet(frontEnd, [](QVController& c, DatabaseEditSheet&) -> Outcome {
        c.onCancelEditDatabase(nullptr);
        closeDatabaseSheet(c);
        return Outcome::success();
    });
}

Outcome checkDatabaseFile(const Words& words) {
    if (words.empty() || qv::paths::pathExtension(words[0]) == userdb::kExtension) return Outcome::success();
    return Outcome::failure("a user database's name ends in ." + std::string(userdb::kExtension) + ": \"" + words[0] +
                            "\"");
}

}  // namespace

std::vector<ScriptCommand> databaseEditorCommands() {
    auto none = [](const Words&) -> Outcome { return Outcome::success(); };
    return {
        {"browse-database", "browse-database FILE.dtl|FILE.dat   (add it to the lens databases and use it)", 1, 1,
         none, browseDatabase},
        {"use-database", "use-database NAME   (a row of the lens databases becomes the current one)", 1, 1, none,
         useDatabase},
        {"new-database", "new-database   (start a new user database in the edit sheet)", 0, 0, none, newDatabase},
        {"edit-database", "edit-database NAME   (edit a user database of the list)", 1, 1, none, editDatabase},
        {"add-lens", "add-lens   (a new lens, selected)", 0, 0, none, addLens},
        {"select-lens", "select-lens NAME", 1, 1, none, selectLens},
        {"delete-lens", "delete-lens   (the selected lens)", 0, 0, none, deleteLens},
        {"rename-lens", "rename-lens NAME   (the selected lens)", 1, 1, none, renameLens},
        {"choose-manufacturer", "choose-manufacturer NAME   (from the database's manufacturers)", 1, 1, none,
         [](FrontEnd& frontEnd, const Words& words) { return choosePopUpItem(frontEnd, words[0], true); }},
        {"choose-model", "choose-model NAME   (from the chosen manufacturer's models)", 1, 1, none,
         [](FrontEnd& frontEnd, const Words& words) { return choosePopUpItem(frontEnd, words[0], false); }},
        {"set-lens-field", "set-lens-field FIELD VALUE   (manufacturer, model, name, focal-length, fov, type, ...)", 2, 2,
         checkLensField, setLensField},
        {"save-database", "save-database [FILE.dtl]   (a new database needs its file)", 0, 1, checkDatabaseFile,
         saveDatabase},
        {"cancel-database", "cancel-database", 0, 0, none, cancelDatabase},
    };
}

}  // namespace frontend
