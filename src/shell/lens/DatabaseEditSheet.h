#pragma once
// The database edit sheet's controls, set by the nib, and the editor's state: which kind of save
// the sheet makes and the new database that New starts.
#include "appkit/Button.h"
#include "appkit/Matrix.h"
#include "appkit/PopUpButton.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "appkit/Window.h"
#include "foundation/Value.h"

struct DatabaseEditSheet {
    qv::ui::Window* m_pEditDatabaseSheet = nullptr;
    qv::ui::TableView* m_pESLensNameTable = nullptr;
    qv::ui::TextField* m_pESDatabaseText = nullptr;
    qv::ui::TextField* m_pESManufacturerText = nullptr;
    qv::ui::TextField* m_pESModelText = nullptr;
    qv::ui::PopUpButton* m_pESManufacturerPopUp = nullptr;
    qv::ui::PopUpButton* m_pESModelPopUp = nullptr;
    qv::ui::TextField* m_pESLensNameText = nullptr;
    qv::ui::TextField* m_pESFocalLengthText = nullptr;
    qv::ui::TextField* m_pESFieldOfViewText = nullptr;
    qv::ui::TextField* m_pESVigAmountText = nullptr;
    qv::ui::TextField* m_pESVigMidpointText = nullptr;
    qv::ui::PopUpButton* m_pESTypePopUp = nullptr;
    qv::ui::PopUpButton* m_pESShiftModePopUP = nullptr;
    qv::ui::Matrix* m_pESMatrix = nullptr;  // rows 0 to 7: the eight "Red" values
    qv::ui::Button* m_pESSaveDatabaseButton = nullptr;

    // True while the sheet edits a new database (its save asks for a new file), false while it
    // edits the selected loaded database (its save rewrites that file).
    bool mSaveAs = false;
    // The database New started: its own root dictionary and manufacturer list, apart from the
    // held database, which New leaves as it is.
    qv::Value m_newDatabase;
};
