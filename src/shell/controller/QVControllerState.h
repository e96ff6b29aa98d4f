#pragma once
// What the controller keeps besides its outlets: the loaded databases and lens lists, the lens in
// use, the photo and the files it is read from and saved to, and the progress of its commands.
// All of it belongs to the main thread; the atomic members are the ones other parts may also read
// from their threads (the loader's client answers, the save's progress).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Image.h"
#include "engine/CorrectionParameters.h"
#include "foundation/Value.h"
#include "lens/QVDatabaseLoader.h"
#include "shell/controller/ChosenPhoto.h"
#include "unwrap/Sampler.h"

namespace shell {

// A row of the loaded-database list: its name (a camera make of the resource database, or a user
// database's file name) and the database file it comes from.
struct DatabaseRow {
    std::string name;
    std::string path;
};

struct QVControllerState {
    std::unique_ptr<QVDatabaseLoader> m_pQVDatabaseLoader;  // created when first needed
    std::vector<DatabaseRow> mDatabaseRows;
    qv::Array m_pPTLensCamInfoArray;        // the resource database's camera records
    qv::Value m_pDatabaseDict;              // the held user database (null when none)
    std::optional<qv::Array> m_pManufacturerArray;
    std::optional<qv::Array> m_pLensArray;  // the working lens list; absent until one is made
    std::optional<qv::Array> mMyLensArray;  // the owned-lens list being edited
    // Whether the database row selected in the database table is the resource database's.
    bool mIsPTLens = false;
    // The coefficients of a resource-database lens, and which source holds the coefficients in
    // use: these four (a resource lens, an owned lens, a typed focal length) or the parameters
    // sheet's matrix (a user-database lens, no lens). The source follows the lens put in use,
    // never the database row chosen, so loading a database leaves the lens in use as it is.
    std::array<double, 4> mPTLensValuesArray{};
    bool mLensInUseIsPTLens = false;
    int mCamIndex = -1;
    int mLensIndex = -1;
    int mCamIndexInTable = -1;
    float mMinFocalLength = 0;
    float mMaxFocalLength = 0;
    std::atomic<float> mMinFocalLengthFromImage{0};
    std::atomic<float> mMaxFocalLengthFromImage{0};
    // The icon of the start-up questions: the plug-in loads its bundle's "lens" at every session;
    // the application leaves it empty and its questions show the window system's icon.
    qv::ui::Image mQuorvelIcon;
    bool mDBLoaded = false;
    bool mSelectedFromPreferences = false;
    std::atomic<bool> mShowOnlyMathingLenses{false};
    // Start-up, shut-down and the windows.
    bool mAppLaunched = false;
    bool mLensSelectionInProgress = false;
    bool mPreferenceFileCreated = false;
    bool mWindowCloseRequest = false;
    bool mCorrectionsApplied = false;
    // Correction choices kept beside their controls.
    double m_dAngularWidth = 0;
    bool mCropInside = false;
    bool mCropNone = true;
    bool mCropOutside = false;
    std::atomic<int> mFESamplerType{unwrap::samplerCode(unwrap::kDefaultSampler)};
    CorrectionType mFECorrectiontype = CorrectionType::Lens;
    bool m_bDefishThreadCreated = false;
    // The photo, its files and its save.
    std::atomic<bool> m_bImageLoaded{false};
    std::string mOriginalImagePath;  // the photo as the user chose it
    std::string mFEOriginalImagePath;
    std::string m_pFileToLoad;       // the working copy shown
    std::string m_pFileToWrite;
    std::atomic<float> mCompressionAmount{0.7f};
    std::atomic<bool> mSaveInProgress{false};
    // Counts the photos opened, so that a save's outcome is applied only to the photo it saved.
    std::uint64_t mPhotoGeneration = 0;
    ChosenPhoto mChosenPhoto;  // the photo as chosen, for the saves
    // Opens a web address for the maker's button; without one the button does nothing.
    std::function<void(const std::string& url)> m_openURL;
};

}  // namespace shell
