#pragma once
// The names the batch sheet uses: user-defaults keys its controls are bound to, its table
// columns and its progress label.
namespace batch::keys {

// User defaults.
inline constexpr const char* kSaveAsFlag = "saveAsFlag";          // YES: outputs go into the destination folder
inline constexpr const char* kEnableControls = "enableControls";  // the sheet's start controls

// Columns of the source list.
inline constexpr const char* kSourcesColumn = "sources";
inline constexpr const char* kSubFoldersColumn = "Sub-folders";

// The progress label once a run is cancelled.
inline constexpr const char* kCanceledLabel = "Canceled";

}  // namespace batch::keys
