#pragma once
// The keys of the preferences file and of the user defaults that start-up and shut-down use, and
// the dictionary a new preferences file starts with.
#include "foundation/Value.h"

namespace shell::keys {

// Preferences file.
inline constexpr const char* kFEInputFOV = "feInputFOV";
inline constexpr const char* kFEOutputFOV = "feOutputFOV";
inline constexpr const char* kFEOutputHeight = "feOutputHeight";
inline constexpr const char* kFEOutputWidth = "feOutputWidth";
inline constexpr const char* kSamplerType = "samplerType";
inline constexpr const char* kDontAskUserToSelectLens = "dontAskUserToSelectLens";
inline constexpr const char* kDontAskUserToUpdateDB = "dontAskUserToUpdateDB";
inline constexpr const char* kBatchSourceImagePath = "BatchSourceImagePath";
inline constexpr const char* kPresetFilePath = "PresetFilePath";
inline constexpr const char* kParentDirectoryPath = "parentDirectoryPath";
inline constexpr const char* kLoadedCamera = "LoadedCamera";
inline constexpr const char* kLoadedDatabase = "LoadedDatabase";
inline constexpr const char* kImageSavePath = "ImageSavePath";
inline constexpr const char* kImageFilePath = "ImageFilePath";
inline constexpr const char* kDatabasePath = "DatabasePath";
inline constexpr const char* kImageDirectoryPath = "ImageDirectoryPath";
inline constexpr const char* kRecentLenses = "recentLenses";
inline constexpr const char* kWindowWidth = "windowWidth";
inline constexpr const char* kWindowHeight = "windowHeight";
inline constexpr const char* kOriginX = "originX";
inline constexpr const char* kOriginY = "originY";
inline constexpr const char* kUserDatabaseDirectory = "UserDatabaseDirectory";

// User defaults (the controls are bound to several of them).
inline constexpr const char* kOpenButton = "openButton";
inline constexpr const char* kEnableControl = "enableControl";
// The ends of the fringe sliders' range.
inline constexpr const char* kFringeMinimum = "chroMaticMin";
inline constexpr const char* kFringeMaximum = "chroMaticMax";

// The dictionary a new preferences file is written with: the application's seventeen keys, or
// the plug-in's sixteen (the plug-in never asks which lenses the user owns).
qv::Value preferencesFileDefaults(bool plugIn = false);

}  // namespace shell::keys
