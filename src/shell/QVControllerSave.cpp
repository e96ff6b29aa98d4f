// Save and Save As: the format follows the photo's extension or the save panel's pop-up, the
// photo is re-read, corrected at full resolution and written on a thread of its own, and the
// outcome is reported on the main thread. One save runs at a time; a failed save keeps the
// window's edited mark and never quits.
#include "QVController.h"

#include "appkit/Alert.h"
#include "engine/QVDisplayView.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/RunLoop.h"
#include "foundation/SystemVersion.h"
#include "foundation/Threads.h"
#include "foundation/UserDefaults.h"
#include "output/QVImageEncoder.h"
#include "output/QVOutputType.h"
#include "shell/PreferenceKeys.h"

namespace {

constexpr const char* kFormatTitles[] = {"JPEG", "TIF", "PSD", "EXR"};
constexpr const char* kFormatExtensions[] = {"jpg", "tif", "psd", "exr"};
constexpr const char* kCompressionTitles[] = {"None", "LZW", "PackBits"};

// The format of an extension by exact match; -1 outside the table.
int formatOfExtension(const std::string& extension) {
    static const std::pair<const char*, int> kTable[] = {
        {"jpg", 0}, {"JPG", 0}, {"jpeg", 0}, {"JPEG", 0}, {"tif", 1}, {"tiff", 1}, {"TIF", 1},
        {"TIFF", 1}, {"psd", 2}, {"PSD", 2}, {"exr", 3}, {"EXR", 3}};
    for (const auto& [name, format] : kTable)
        if (extension == name) return format;
    return -1;
}

void setControlsEnabled(bool on) {
    auto& defaults = qv::UserDefaults::standard();
    defaults.set(shell::keys::kOpenButton, on);
    defaults.set(shell::keys::kEnableControl, on);
}

}  // namespace

void QVController::resetAccessoryView() {
    if (!m_pAccessoryView) {
        m_pAccessoryView = std::make_shared<qv::ui::View>();
        auto format = std::make_shared<qv::ui::PopUpButton>();
        auto compression = std::make_shared<qv::ui::PopUpButton>();
        auto quality = std::make_shared<qv::ui::Slider>(qv::Rect(), 0.0, 1.0, 0.7);
        for (const char* title : kCompressionTitles) compression->addItemWithTitle(title);
        quality->setTarget(this, &QVController::onQualityAmountSlider);
        m_pAccessoryView->addSubview(format);
        m_pAccessoryView->addSubview(compression);
        m_pAccessoryView->addSubview(quality);
        m_pFileFormatPopup = format.get();
        mCompressionType = compression.get();
        mQualityAmountSlider = quality.get();
    }
    if (m_pFileFormatPopup && m_pFileFormatPopup->numberOfItems() == 0)
        for (const char* title : kFormatTitles) m_pFileFormatPopup->addItemWithTitle(title);
    mQualityAmountSlider->setHidden(false);
    mQualityAmountSlider->setDoubleValue(0.7);
    mCompressionAmount = 0.7f;
}

void QVController::onQualityAmountSlider(Control* sender) {
    if (sender) mCompressionAmount = sender->floatValue();
}

void QVController::setFileFormatTo(const std::string& extension, qv::ui::SavePanel* panel) {
    if (!m_pAccessoryView) resetAccessoryView();
    const int format = formatOfExtension(extension);
    m_pFileFormatPopup->selectItemAtIndex(format < 0 ? 0 : format);
    mQualityAmountSlider->setHidden(format > 0);
    if (format >= 0) return;
    // A photo in a format this program does not write (a raw file) is saved as JPEG beside it,
    // never as JPEG bytes under the raw name.
    if (panel) panel->setRequiredFileType("jpg");
    else m_pFileToWrite = qv::paths::deletingPathExtension(m_pFileToWrite) + ".jpg";
}

void QVController::onChangeFileType(qv::ui::SavePanel* panel) {
    if (!m_pAccessoryView) resetAccessoryView();
    mCompressionType->setHidden(true);
    const int format = m_pFileFormatPopup->indexOfSelectedItem();
    mQualityAmountSlider->setHidden(format != 0);
    if (format == 1) mCompressionType->setHidden(false);
    if (panel) panel->setRequiredFileType(format >= 0 && format < 4 ? kFormatExtensions[format] : "jpg");
}

void QVController::onSave(Control*) {
    if (m_pFileToWrite.empty()) {
        onSaveAs(nullptr);
        return;
    }
    if (!m_pWindow || !m_pWindow->isDocumentEdited()) return;
    if (mSaveInProgress.load()) return;  // one save at a time
    // The working copy stands for the photo the user chose, so Save writes over that photo and
    // never over the temporary copy; after Save As it writes the file saved as, not the photo.
    if (IsMacOSSnowLeopardRunning() && m_pFileToWrite == m_pFileToLoad) m_pFileToWrite = originalImagePath();
    setFileFormatTo(qv::paths::pathExtension(m_pFileToWrite), nullptr);
    startSaveThread();
}

void QVController::onSaveAs(Control*) {
    if (!m_bImageLoaded || mSaveInProgress.load() || m_pSavePanel) return;
    if (!m_pAccessoryView) resetAccessoryView();
    m_pFileFormatPopup->removeAllItems();
    for (const char* title : kFormatTitles) m_pFileFormatPopup->addItemWithTitle(title);
    auto panel = qv::ui::SavePanel::savePanel();
    m_pSavePanel = panel;
    panel->setAccessoryView(m_pAccessoryView);
    panel->setExtensionHidden(false);
    panel->setCanSelectHiddenExtension(true);
    const std::string source = IsMacOSSnowLeopardRunning() ? originalImagePath() : m_pFileToLoad;
    const std::string extension = qv::paths::pathExtension(source);
    setFileFormatTo(extension, panel.get());
    onChangeFileType(nullptr);
    std::string folder = qv::PreferencesFile::read().get(shell::keys::kImageDirectoryPath).stringOr("");
    if (folder.empty() || !qv::files::exists(folder)) folder = qv::paths::homeFolder() + "/Documents/";
    if (!m_pWindow) {
        m_pSavePanel.reset();
        return;
    }
    panel->beginSheetForDirectory(folder, qv::paths::lastPathComponent(source), *m_pWindow,
                                  [this](qv::ui::SavePanel& sheet, int code) {
                                      const std::string chosen = sheet.filename();
                                      m_pSavePanel.reset();
                                      if (code != qv::ui::kOKButton || chosen.empty()) return;
                                      if (mSaveInProgress.load()) return;
                                      m_pFileToWrite = chosen;
                                      startSaveThread();
                                  });
    // The panel keeps the photo's own extension while the pop-up shows its format; for a photo
    // in a format this program does not write, it keeps the "jpg" chosen above.
    if (formatOfExtension(extension) >= 0) panel->setRequiredFileType(extension);
}

QVController::SaveJob QVController::makeSaveJob() {
    SaveJob job;
    job.path = m_pFileToWrite;
    job.source = originalImagePath();
    const int format = m_pFileFormatPopup ? m_pFileFormatPopup->indexOfSelectedItem() : 0;
    job.type = format >= 1 && format <= 3 ? format : QVOutputType::kJPEG;
    job.compression = job.type == QVOutputType::kTIFF && mCompressionType ? mCompressionType->indexOfSelectedItem() : 0;
    job.quality = compressionAmount();
    if (m_pDisplayView) job.metadata = m_pDisplayView->imageMetadata();
    job.photo = mPhotoGeneration;
    return job;
}

void QVController::startSaveThread() {
    if (mSaveInProgress.exchange(true)) return;
    if (m_pFOVText) m_pFOVText->setEnabled(false);
    setControlsEnabled(false);
    auto shared = std::make_shared<SaveJob>(makeSaveJob());
    if (!qv::detachThread([this, shared] { saveImage(std::move(*shared)); }))
        finishSave(std::move(*shared), false, false);  // no thread ran: reported as any failed save
}

void QVController::saveImage(SaveJob job) {
    bool encoded = false, saved = false;
    if (!job.path.empty()) {
        qv::ci::Image image = QVDisplayView::CreateCIImageWithoutOrientation(job.source);
        if (m_pDisplayView && !image.isNull()) image = m_pDisplayView->fullResolutionImage(image);
        std::optional<qv::Data> bytes;
        if (qv::Dictionary* metadata = job.metadata.dictionary(); metadata && !image.isNull()) {
            encoded = true;
            bytes = QVImageEncoder::dataFromImage(image, job.type, *metadata, job.quality);
        }
        if (bytes) {
            QVImageEncoder::SaveOptions options;
            options.sixteenBits = QVImageEncoder::wantsSixteenBits(*job.metadata.dictionary());
            options.profilePath = qv::paths::supportFolder() + "Profile";
            options.tiffCompressionTag =
                job.type == QVOutputType::kTIFF ? QVOutputType::tiffCompressionTag(job.compression) : 0;
            saved = QVImageEncoder::writeEncodedFile(*bytes, job.path, options);
        }
    }
    auto shared = std::make_shared<SaveJob>(std::move(job));
    qv::performOnMainThread([this, shared, encoded, saved] { finishSave(std::move(*shared), encoded, saved); }, false);
}

void QVController::finishSave(SaveJob job, bool encoded, bool saved) {
    // What the encoder changed (the orientation, the quality) stays with the photo for the next
    // save, as long as that photo is still the one open.
    if (encoded && m_pDisplayView && job.photo == mPhotoGeneration) m_pDisplayView->setImageMetadata(job.metadata);
    if (m_pFOVCheckbox && m_pFOVText && m_pFOVCheckbox->state() == qv::ui::kOnState) m_pFOVText->setEnabled(true);
    setControlsEnabled(true);
    mSaveInProgress = false;
    if (!job.path.empty() && !saved) {
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(job.path), m_pMainBundle.localizedString("SaveErrorMessage"),
                              "OK");
        return;
    }
    if (saved) qv::PreferencesFile::update([&](qv::Value& root) { root[shell::keys::kImageSavePath] = job.path; });
    if (m_pWindow) m_pWindow->setDocumentEdited(false);
    if (mWindowCloseRequest) qv::ui::Application::shared().terminate();
}
