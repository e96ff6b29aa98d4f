// Opening a photo: the open panel, the sweep of the support folder, the working copy that fits the
// main window, the load through the view, the lens's focal range from the metadata tool, the EXIF
// display, the lens choice and the first correction, and the profile extraction beside it.
#include "shell/controller/QVController.h"

#include <cmath>
#include <cstdlib>

#include "appkit/Alert.h"
#include "appkit/NumberText.h"
#include "coreimage/CIContext.h"
#include "engine/QVDisplayView.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/SystemVersion.h"
#include "foundation/Threads.h"
#include "foundation/UserDefaults.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "shell/lens/LensInfoText.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"

namespace {

const std::vector<std::string> kPhotoExtensions = {"jpeg", "jpg", "tiff", "tif", "exr", "psd", "raw",
                                                   "nef",  "crw", "cr2",  "mrw", "orf", "raf", "pef",
                                                   "x3f",  "dcr", "kdc",  "srf", "arw", "dng", "ptx"};
constexpr double kExifToolTimeoutSeconds = 60;

}  // namespace

void QVController::onLoadImage(Control*) {
    std::string folder = qv::PreferencesFile::read().get(shell::keys::kImageDirectoryPath).stringOr("");
    if (folder.empty() || !qv::files::exists(folder)) folder = qv::paths::homeFolder() + "/Documents";
    if (!mMain.m_pWindow) return;
    auto panel = qv::ui::OpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setAllowsMultipleSelection(false);
    panel->beginSheetForDirectory(
        folder, "", kPhotoExtensions, *mMain.m_pWindow, [this](qv::ui::OpenPanel& sheet, int code) {
            const std::string chosen = sheet.filename();
            if (code != qv::ui::kOKButton || chosen.empty()) return;
            shell::sweepSupportFolder();
            openImage(chosen);
            if (mState.m_bImageLoaded) qv::detachThread([photo = mState.m_pFileToLoad] { shell::performSipsCommand(photo); });
        });
}

bool QVController::createSmallScaledImage(const std::string& photo, const qv::Dictionary& properties,
                                         std::shared_ptr<qv::io::ImageSource> source) {
    if (!source) source = qv::io::ImageSource::createWithPath(photo);
    if (!source) return false;
    auto fittingScale = [&](double w, double h) {
        const qv::Rect frame = mMain.m_pWindow ? mMain.m_pWindow->frame() : qv::Rect(0, 0, w, h);
        if (w <= frame.width() && h <= frame.height()) return 1.0;
        return w > frame.width() ? frame.width() / w : frame.height() / h;
    };
    // A JPEG is decoded already reduced by its own DCT scaling, to no less than the copy's size,
    // which is then drawn from it as from the whole photo.
    const bool reducible = source->imageType() == qv::io::ImageType::JPEG;
    qv::io::DecodeOptions options;
    options.renderLayout = true;
    if (const double fit = fittingScale(source->pixelWidth(), source->pixelHeight()); reducible && fit < 1) {
        options.minimumWidth = int(std::ceil(source->pixelWidth() * fit));
        options.minimumHeight = int(std::ceil(source->pixelHeight() * fit));
    }
    // Any other upright photo is decoded once: the copy is drawn from the reading ahead for the
    // save, which is the photo as stored.
    const long orientation = source->orientation();
    qv::ci::Image decoded = reducible || (orientation >= 2 && orientation <= 8) ? qv::ci::Image()
                                                                                : QVDisplayView::readAheadImage(photo);
    if (decoded.isNull()) {
        auto pixels = source->createImage(0, options);
        if (!pixels) return false;
        decoded = qv::ci::Image::fromBitmap(std::move(*pixels));
    }
    const qv::Rect decodedSize = decoded.extent();
    const double w = reducible ? source->pixelWidth() : decodedSize.width();
    const double h = reducible ? source->pixelHeight() : decodedSize.height();
    const double scale = fittingScale(w, h);
    // The drawn picture covers w x h scaled whatever size it was decoded at.
    const double sx = decodedSize.width() == w ? scale : w * scale / decodedSize.width();
    const double sy = decodedSize.height() == h ? scale : h * scale / decodedSize.height();
    const qv::ci::Image scaled = decoded.imageByApplyingTransform(qv::AffineTransform::scale(sx, sy));
    decoded = qv::ci::Image();
    qv::ci::Context context;
    qv::Bitmap drawn = context.createBitmap(
        scaled, qv::Rect(0, 0, std::max(1.0, std::floor(w * scale)), std::max(1.0, std::floor(h * scale))),
        qv::PixelFormat::ARGB8);
    if (!drawn.isValid()) return false;
    qv::Dictionary copyProperties;
    // The photo's EXIF and TIFF entries (its orientation among them), and its GPS, IPTC and XMP,
    // which the copy carries on to every output made from it.
    for (const char* key : {qv::io::kCGImagePropertyExifDictionary, qv::io::kCGImagePropertyTIFFDictionary,
                            qv::io::kCGImagePropertyGPSDictionary, qv::io::kCGImagePropertyIPTCDictionary,
                            qv::io::kQVImagePropertyXMPPacket})
        if (auto found = properties.find(key); found != properties.end()) copyProperties[key] = found->second;
    auto destination = qv::io::ImageDestination::createWithPath(shell::workingCopyPath(), "public.jpeg");
    if (!destination) return false;
    destination->addImage(std::move(drawn), copyProperties, source->colorSpace());
    return destination->finalize();
}

bool QVController::performLoading(const std::string& path) {
    const bool loaded = mMain.m_pDisplayView && mMain.m_pDisplayView->setCIImageFromFile(path);
    if (loaded) {
        mState.m_pFileToWrite = path;
        ++mState.mPhotoGeneration;
    }
    return loaded;
}

void QVController::openImage(const std::string& chosen) {
    startLensInfoTool();  // the first open starts the tool beside the working copy's making
    std::string path = chosen;
    ChosenPhoto photo;
    if (IsMacOSSnowLeopardRunning()) {
        auto source = qv::io::ImageSource::createWithPath(chosen);
        // The save reads the photo itself at full resolution: that reading starts now, beside
        // the working copy and the metadata tool, rather than after them.
        if (source) QVDisplayView::readAhead(chosen, source);
        if (!source || !createSmallScaledImage(chosen, source->properties(), source)) {
            QVDisplayView::dropReadAhead();
            showErrorDialog(chosen);
            return;
        }
        path = shell::workingCopyPath();
        photo.colorSpace = source->colorSpace();
    }
#ifndef QV_PLUGIN_BUILD  // the save panel and its controls are the application's
    resetAccessoryView();
#endif
    if (mMain.mPrefMenuItem) mMain.mPrefMenuItem->setEnabled(false);
    mState.m_pFileToLoad = path;
    if (mMain.m_pMagnifierButton) mMain.m_pMagnifierButton->setState(qv::ui::kOffState);
    if (mMain.m_pZoomPlusButton) mMain.m_pZoomPlusButton->setEnabled(false);
    if (mMain.m_pZoomMinusButton) mMain.m_pZoomMinusButton->setEnabled(false);
    if (mMain.m_pZoomPercentageText) mMain.m_pZoomPercentageText->setStringValue("100");
    if (mMain.m_pPreviewCheckbox) mMain.m_pPreviewCheckbox->setState(qv::ui::kOnState);
    databaseLoader().setMultiplier(1.0);

    mState.m_bImageLoaded = performLoading(path);
    if (!mState.m_bImageLoaded) {
        QVDisplayView::dropReadAhead();
        showErrorDialog(chosen);
        return;
    }
    // Only a photo that opened becomes the one that Save writes over.
    if (IsMacOSSnowLeopardRunning()) setOriginalImagePath(chosen);
    mState.mChosenPhoto = std::move(photo);
    executeExifToolForImage(path);
    displayImageProperties();
    resetValues();
    auto& defaults = qv::UserDefaults::standard();
    defaults.set(shell::keys::kOpenButton, true);
    defaults.set(shell::keys::kEnableControl, true);
#ifdef QV_PLUGIN_BUILD
    // The plug-in keeps the working path in the preferences file itself.
    qv::PreferencesFile::update([&](qv::Value& root) { root[shell::keys::kImageFilePath] = path; });
    defaults.set(shell::keys::kImageDirectoryPath, qv::paths::deletingLastPathComponent(path));
#else
    defaults.set(shell::keys::kImageFilePath, path);
    defaults.set(shell::keys::kImageDirectoryPath,
                 qv::paths::deletingLastPathComponent(IsMacOSSnowLeopardRunning() ? chosen : path));
#endif
    defaults.synchronize();
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setMagnification(100);
    if (mMain.m_pWindow) mMain.m_pWindow->setDocumentEdited(false);
    mState.mSelectedFromPreferences = false;
    mState.mCorrectionsApplied = false;

    setLensProperties();
    bool automatic = false;
    if (!selectLensFromPreferences()) {
        automatic = autoselectionForLens();
#ifdef QV_PLUGIN_BUILD
        constexpr const char* kNoMatch = "No Match Found";
#else
        constexpr const char* kNoMatch = "NoMatchFound";
#endif
        if (!automatic && mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue(m_pMainBundle.localizedString(kNoMatch));
    }
    if (mMain.mPrefMenuItem) mMain.mPrefMenuItem->setEnabled(true);
    if (automatic && mMain.m_pDisplayView) {
#ifdef QV_PLUGIN_BUILD  // no batch runs in the plug-in, and its window redraws the correction itself
        mMain.m_pDisplayView->applyCorrection();
        markWindowEdited();
#else
        mMain.m_pDisplayView->setBatchFlagTo(false);
        mMain.m_pDisplayView->applyCorrection();
        markWindowEdited();
        mMain.m_pDisplayView->drawCorrectedImage();
        mMain.m_pDisplayView->calculateDrawingRect();
        mMain.m_pDisplayView->setNeedsDisplay();
#endif
        mState.mCorrectionsApplied = true;
    }
}

shell::LensInfoTool* QVController::lensInfoTool() const {
    std::lock_guard<std::mutex> lock(m_lensInfoToolMutex);
    if (!m_lensInfoTool) {
        const auto tool = m_pMainBundle.pathForResource("exiftool");
        if (!tool || !qv::files::exists(*tool)) return nullptr;
        m_lensInfoTool = std::make_unique<shell::LensInfoTool>(*tool);
    }
    return m_lensInfoTool.get();
}

void QVController::startLensInfoTool() const { lensInfoTool(); }

shell::FocalRange QVController::lensInfoForImage(const std::string& path) const {
    shell::LensInfoTool* tool = path.empty() ? nullptr : lensInfoTool();
    return tool ? tool->read(path, kExifToolTimeoutSeconds) : shell::FocalRange{};
}

void QVController::executeExifToolForImage(const std::string& path) {
    const shell::FocalRange range = lensInfoForImage(path);
    mState.mMinFocalLengthFromImage = range.minimum;
    mState.mMaxFocalLengthFromImage = range.maximum;
}

void QVController::displayImageProperties() {
    const qv::Value exif = getExifProprties();
    auto show = [](qv::ui::TextField* field, const qv::Value& value) {
        if (!field) return;
        field->setStringValue(" ");
        field->setStringValue(value.isNull() ? "--" : qv::ui::stringFromValue(value));
    };
    show(mMain.m_pManufacturerText, exif.get("Make"));
    show(mMain.m_pCameraModelText, exif.get("Model"));
    show(mMain.m_pFocalLengthText, exif.get("Focal Length"));
}

void QVController::showErrorDialog(const std::string& path) {
    qv::ui::runAlertPanel(qv::paths::lastPathComponent(path), m_pMainBundle.localizedString("OpenErrorMessage"), "OK");
}

bool QVController::canDragImage() const { return mMain.m_pOpenButton && mMain.m_pOpenButton->isEnabled(); }
