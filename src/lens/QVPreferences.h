#pragma once
// QVPreferences: the user's owned lenses ("recentLenses" in the preferences file) and the
// preferences window that lists their names, where entries are removed and reordered by dragging.
// The lens choice consults the list (earlier entries win); the lens-selection window of the
// controller edits it and hands it over.
//
// Threads: the list may be read and reloaded from a batch worker as well as the main thread; the
// entries are guarded by a lock and the table is only touched on the main thread.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Button.h"
#include "appkit/NibObject.h"
#include "appkit/TableView.h"
#include "appkit/Window.h"
#include "foundation/Value.h"

class QVPreferences : public qv::ui::NibObject, public qv::ui::TableDataSource {
public:
    QVPreferences();

    // The preferences file's owned-lens list: an empty list when the file or the key is missing.
    static qv::Array readRecentLenses();
    // Stores the list under "recentLenses", the rest of the file unchanged. False when the file
    // cannot be read (nothing is written then) or the write failed.
    static bool storeRecentLenses(const qv::Array& entries);

    void awakeFromNib() override;  // the table takes drags of the private row type

    bool readPreferences();  // always true; the list follows the file
    // The name of the entry for this camera: the first entry of the make and the model, else the
    // last entry of the make; nothing when no entry has the make.
    std::optional<std::string> lensForCam(const std::string& make, const std::string& model) const;
    qv::Value recentSettings() const;  // the first entry, or the null value for an empty list
    qv::Array preferences() const;    // the entries, in list order
    std::vector<std::string> lensNames() const;
    void setRecentLenses(const qv::Array& entries);
    bool writePreferences();  // stores the entries in the preferences file

    // Actions of the preferences window.
    void onOKPreferences(qv::ui::Control* sender);
    void onCancel(qv::ui::Control* sender);
    void onRemoveEntry(qv::ui::Control* sender);

    // Moves the entry at `from` above row `to`, selects it and reloads the table.
    void moveRow(int from, int to);

    // The name table's data source and its row drags.
    int numberOfRowsInTableView(qv::ui::TableView& table) override;
    qv::ui::CellValue objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn* column,
                                                int row) override;
    bool writeRowsWithIndexes(qv::ui::TableView& table, const qv::ui::IndexSet& rows,
                              qv::ui::Pasteboard& pasteboard) override;
    qv::ui::DragOperation validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                       qv::ui::DropPosition position) override;
    bool acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                    qv::ui::DropPosition position) override;

    // Outlets, set by the nib.
    qv::ui::TableView* mLensTable = nullptr;
    qv::ui::Window* mWindow = nullptr;
    qv::ui::Button* mRemoveButton = nullptr;

private:
    void replaceEntries(qv::Array entries);  // the names follow the entries
    void reloadTable();                       // on the main thread

    mutable std::mutex m_mutex;
    std::vector<std::string> mLenses;  // "3.Lens Name" of each entry, parallel to mCamInfoArray
    qv::Array mCamInfoArray;
};
