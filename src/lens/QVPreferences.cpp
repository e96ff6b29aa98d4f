#include "lens/QVPreferences.h"

#include "foundation/PreferencesFile.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "lens/LensKeys.h"
#include "lens/OwnedLensDrag.h"

namespace {

constexpr const char* kRecentLenses = "recentLenses";

// An entry without a name still takes its place in the name list, so the two stay parallel.
std::string lensNameOf(const qv::Value& entry) { return entry.get(lens::keys::kLensName).stringOr(""); }

}  // namespace

QVPreferences::QVPreferences() { mLenses.reserve(20); }

qv::Array QVPreferences::readRecentLenses() {
    const qv::Value root = qv::PreferencesFile::read();
    const qv::Array* list = root.get(kRecentLenses).array();
    return list ? *list : qv::Array();
}

bool QVPreferences::storeRecentLenses(const qv::Array& entries) {
    return qv::PreferencesFile::update([&](qv::Value& root) { root[kRecentLenses] = entries; });
}

void QVPreferences::awakeFromNib() {
    if (mLensTable) mLensTable->registerForDraggedTypes({ownedlens::kTableViewDataType});
}

void QVPreferences::replaceEntries(qv::Array entries) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        mCamInfoArray = std::move(entries);
        mLenses.clear();
        for (const qv::Value& entry : mCamInfoArray) mLenses.push_back(lensNameOf(entry));
    }
    reloadTable();
}

void QVPreferences::reloadTable() {
    if (!mLensTable) return;
    if (qv::isMainThread())
        mLensTable->reloadData();
    else
        qv::performOnMainThread([table = mLensTable] { table->reloadData(); }, false);
}

bool QVPreferences::readPreferences() {
    replaceEntries(readRecentLenses());
    return true;
}

std::optional<std::string> QVPreferences::lensForCam(const std::string& make, const std::string& model) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::optional<std::string> lastOfMake;
    for (const qv::Value& entry : mCamInfoArray) {
        if (entry.get(lens::keys::kMenuMake).asString() != make) continue;
        lastOfMake = lensNameOf(entry);
        if (entry.get(lens::keys::kMenuModel).asString() == model) return lastOfMake;
    }
    return lastOfMake;
}

qv::Value QVPreferences::recentSettings() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return mCamInfoArray.empty() ? qv::Value() : mCamInfoArray.front();
}

qv::Array QVPreferences::preferences() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return mCamInfoArray;
}

std::vector<std::string> QVPreferences::lensNames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return mLenses;
}

void QVPreferences::setRecentLenses(const qv::Array& entries) { replaceEntries(entries); }

bool QVPreferences::writePreferences() {
    storeRecentLenses(preferences());
    return true;
}

void QVPreferences::onOKPreferences(qv::ui::Control*) {
    writePreferences();
    if (mWindow) mWindow->orderOut();
}

void QVPreferences::onCancel(qv::ui::Control*) {
    if (mWindow) mWindow->orderOut();
}

void QVPreferences::onRemoveEntry(qv::ui::Control*) {
    if (!mLensTable) return;
    const int row = mLensTable->selectedRow();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (row < 0 || std::size_t(row) >= mCamInfoArray.size()) return;
        mCamInfoArray.erase(mCamInfoArray.begin() + row);
        mLenses.erase(mLenses.begin() + row);
    }
    reloadTable();
}

void QVPreferences::moveRow(int from, int to) {
    if (from < 0 || to < 0) return;
    std::optional<std::size_t> destination;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        destination = ownedlens::moveEntry(mCamInfoArray, std::size_t(from), std::size_t(to));
        if (destination) ownedlens::moveEntry(mLenses, std::size_t(from), std::size_t(to));
    }
    if (!destination || !mLensTable) return;
    mLensTable->reloadData();
    mLensTable->selectRow(int(*destination));
}

int QVPreferences::numberOfRowsInTableView(qv::ui::TableView&) {
    const int rows = int(lensNames().size());
    if (mRemoveButton) mRemoveButton->setEnabled(rows > 0);
    return rows;
}

qv::ui::CellValue QVPreferences::objectValueForTableColumn(qv::ui::TableView&, const qv::ui::TableColumn*, int row) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row < 0 || std::size_t(row) >= mLenses.size()) return {};
    return qv::Value(mLenses[std::size_t(row)]);
}

bool QVPreferences::writeRowsWithIndexes(qv::ui::TableView&, const qv::ui::IndexSet& rows,
                                         qv::ui::Pasteboard& pasteboard) {
    return ownedlens::writeRows(rows, pasteboard, this);
}

qv::ui::DragOperation QVPreferences::validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                                  qv::ui::DropPosition) {
    return ownedlens::validateDrop(table, info, row);
}

bool QVPreferences::acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                               qv::ui::DropPosition) {
    auto from = ownedlens::draggedRow(table, info, lensNames().size());
    if (!from) return false;
    moveRow(int(*from), row);
    return true;
}
