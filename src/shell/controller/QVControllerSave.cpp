// Save and Save As: the format follows the photo's extension or the save panel's pop-up, the
// photo is re-read, corrected at full resolution and written on a thread of its own, and the
// outcome is reported on the main thread. One save runs at a time; a failed save keeps the
// window's edited mark and never quits.
#include "shell/controller/QVController.h"

#include <cstdio>
#include <functional>

#include "appkit/Alert.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/RunLoop.h"
#include "foundation/SystemVersion.h"
#include "foundation/Threads.h"
#include "foundation/UserDefaults.h"
#include "output/QVImageEncoder.h"
#include "output/QVOutputType.h"
#include "shell/controller/PreferenceKeys.h"

namespace {

using QVOutputType::Type;

void addFormatTitles(qv::ui::PopUpButton& popUp) {
    for (const QVOutputType::TypeInfo& entry : QVOutputType::types()) popUp.addItemWithTitle(entry.title);
}

void setControlsEnabled(bool on) {
    auto& defaults = qv::UserDefaults::standard();
    defaults.set(shell::keys::kOpenButton, on);
    defaults.set(shell::keys::kEnableControl, on);
}

// Typing into a field runs a function, for a field no window-wide delegate looks after.
class TypingAction : public qv::ui::TextFieldDelegate {
public:
    explicit TypingAction(std::function<void(qv::ui::TextField&)> action) : m_action(std::move(action)) {}
    void controlTextDidChange(qv::ui::TextField& field) override { m_action(field); }

private:
    std::function<void(qv::ui::TextField&)> m_action;
};

std::string qualityText(double quality) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", quality);
    return text;
}

}  // namespace

// The save panel's accessory: the format pop-up, the JPEG quality (field, slider and what the
// slider's ends mean) and the TIFF compression, each with its label. The quality and the
// compression share a row, since only one of them shows at a time.
void QVController::buildSaveAccessory() {
    using qv::Rect;
    using qv::ui::TextField;
    shell::SaveAccessoryOutlets& a = mSaveAccessory;
    a.m_pAccessoryView = std::make_shared<qv::ui::View>(Rect(0, 0, 460, 100));
    qv::ui::View& accessory = *a.m_pAccessoryView;
    auto format = std::make_shared<qv::ui::PopUpButton>(Rect(110, 70, 150, 24));
    format->setAccessibilityLabel("Format");
    format->setAction([this](Control&) { onChangeFileType(mSaveAccessory.m_pSavePanel.get()); });
    accessory.addSubview(format);
    accessory.addSubview(TextField::labelFor(Rect(12, 70, 94, 24), "Format:", *format));

    auto field = std::make_shared<TextField>(Rect(110, 40, 50, 24));
    field->setAccessibilityLabel("JPEG quality");
    auto quality = std::make_shared<qv::ui::Slider>(Rect(168, 40, 280, 24), 0.0, 1.0, 0.7);
    quality->setAccessibilityLabel("JPEG quality slider");
    quality->setTarget(this, &QVController::onQualityAmountSlider);
    a.mQualityTyping = std::make_unique<TypingAction>([this](TextField& typed) {
        mSaveAccessory.mQualityAmountSlider->setDoubleValue(typed.doubleValue());
        mState.mCompressionAmount = mSaveAccessory.mQualityAmountSlider->floatValue();
    });
    field->setDelegate(a.mQualityTyping.get());
    auto description = std::make_shared<qv::ui::View>(Rect(168, 14, 280, 20));
    description->addSubview(TextField::label(Rect(0, 0, 120, 20), "Smaller file"));
    description->addSubview(TextField::label(Rect(196, 0, 84, 20), "Best quality"));
    for (const auto& view : std::vector<std::shared_ptr<qv::ui::View>>{field, quality, description})
        accessory.addSubview(view);
    accessory.addSubview(TextField::labelFor(Rect(12, 40, 94, 24), "Quality:", *field));

    auto compression = std::make_shared<qv::ui::PopUpButton>(Rect(110, 40, 150, 24));
    compression->setAccessibilityLabel("TIFF compression");
    for (const QVOutputType::CompressionInfo& entry : QVOutputType::compressions())
        compression->addItemWithTitle(entry.title);
    accessory.addSubview(compression);
    auto compressionLabel = TextField::labelFor(Rect(12, 40, 94, 24), "Compression:", *compression);
    accessory.addSubview(compressionLabel);

    a.m_pFileFormatPopup = format.get();
    a.mQualityTextFiled = field.get();
    a.mQualityAmountSlider = quality.get();
    a.mQualityDescription = description.get();
    a.mCompressionType = compression.get();
    a.mCompressionTextLabel = compressionLabel.get();
}

void QVController::showQualityControls(bool shown) {
    mSaveAccessory.mQualityTextFiled->setHidden(!shown);
    mSaveAccessory.mQualityAmountSlider->setHidden(!shown);
    mSaveAccessory.mQualityDescription->setHidden(!shown);
}

void QVController::showCompressionControls(bool shown) {
    mSaveAccessory.mCompressionType->setHidden(!shown);
    mSaveAccessory.mCompressionTextLabel->setHidden(!shown);
}

void QVController::resetAccessoryView() {
    if (!mSaveAccessory.m_pAccessoryView) buildSaveAccessory();
    if (mSaveAccessory.m_pFileFormatPopup->numberOfItems() == 0) addFormatTitles(*mSaveAccessory.m_pFileFormatPopup);
    showQualityControls(true);
    showCompressionControls(false);
    mSaveAccessory.mQualityAmountSlider->setDoubleValue(0.7);
    mSaveAccessory.mQualityTextFiled->setStringValue(qualityText(0.7));
    mState.mCompressionAmount = 0.7f;
}

void QVController::onQualityAmountSlider(Control* sender) {
    if (!sender) return;
    mState.mCompressionAmount = sender->floatValue();
    if (mSaveAccessory.mQualityTextFiled) mSaveAccessory.mQualityTextFiled->setStringValue(qualityText(sender->doubleValue()));
}

void QVController::setFileFormatTo(const std::string& extension, qv::ui::SavePanel* panel) {
    if (!mSaveAccessory.m_pAccessoryView) resetAccessoryView();
    const auto type = QVOutputType::typeOfExtension(extension);
    mSaveAccessory.m_pFileFormatPopup->selectItemAtIndex(int(type.value_or(Type::JPEG)));
    showQualityControls(!type || *type == Type::JPEG);
    if (type) return;
    // A photo in a format this program does not write (a raw file) is saved as JPEG beside it,
    // never as JPEG bytes under the raw name.
    if (panel) panel->setRequiredFileType("jpg");
    else
        mState.m_pFileToWrite = qv::paths::deletingPathExtension(mState.m_pFileToWrite) + ".jpg";
}

void QVController::onChangeFileType(qv::ui::SavePanel* panel) {
    if (!mSaveAccessory.m_pAccessoryView) resetAccessoryView();
    showCompressionControls(false);
    const int format = mSaveAccessory.m_pFileFormatPopup->indexOfSelectedItem();
    showQualityControls(format == int(Type::JPEG));
    if (format == int(Type::TIFF)) showCompressionControls(true);
    if (panel) panel->setRequiredFileType(QVOutputType::info(QVOutputType::typeOfCode(format)).names[0]);
}

void QVController::onSave(Control*) {
    if (mState.m_pFileToWrite.empty()) {
        onSaveAs(nullptr);
        return;
    }
    if (!mMain.m_pWindow || !mMain.m_pWindow->isDocumentEdited()) return;
    if (mState.mSaveInProgress.load()) return;  // one save at a time
    // The working copy stands for the photo the user chose, so Save writes over that photo and
    // never over the temporary copy; after Save As it writes the file saved as, not the photo.
    if (IsMacOSSnowLeopardRunning() && mState.m_pFileToWrite == mState.m_pFileToLoad)
        mState.m_pFileToWrite = originalImagePath();
    setFileFormatTo(qv::paths::pathExtension(mState.m_pFileToWrite), nullptr);
    startSaveThread();
}

void QVController::onSaveAs(Control*) {
    if (!mState.m_bImageLoaded || mState.mSaveInProgress.load() || mSaveAccessory.m_pSavePanel) return;
    if (!mSaveAccessory.m_pAccessoryView) resetAccessoryView();
    mSaveAccessory.m_pFileFormatPopup->removeAllItems();
    addFormatTitles(*mSaveAccessory.m_pFileFormatPopup);
    auto panel = qv::ui::SavePanel::savePanel();
    mSaveAccessory.m_pSavePanel = panel;
    panel->setAccessoryView(mSaveAccessory.m_pAccessoryView);
    panel->setExtensionHidden(false);
    panel->setCanSelectHiddenExtension(true);
    panel->setConfirmedNameHandler([this](qv::ui::SavePanel& sheet, const std::string& path) {
        // A name typed with another format's extension chooses that format, as the pop-up would,
        // rather than getting the chosen format's extension added ("corrected.tif.jpg").
        const std::string typed = qv::paths::pathExtension(path);
        if (!QVOutputType::typeOfExtension(typed) || typed == sheet.requiredFileType()) return;
        setFileFormatTo(typed, &sheet);
        onChangeFileType(&sheet);
        sheet.setRequiredFileType(typed);
    });
    const std::string source = IsMacOSSnowLeopardRunning() ? originalImagePath() : mState.m_pFileToLoad;
    const std::string extension = qv::paths::pathExtension(source);
    setFileFormatTo(extension, panel.get());
    onChangeFileType(nullptr);
    std::string folder = qv::PreferencesFile::read().get(shell::keys::kImageDirectoryPath).stringOr("");
    if (folder.empty() || !qv::files::exists(folder)) folder = qv::paths::homeFolder() + "/Documents/";
    if (!mMain.m_pWindow) {
        mSaveAccessory.m_pSavePanel.reset();
        return;
    }
    panel->beginSheetForDirectory(folder, qv::paths::lastPathComponent(source), *mMain.m_pWindow,
                                  [this](qv::ui::SavePanel& sheet, int code) {
                                      const std::string chosen = sheet.filename();
                                      mSaveAccessory.m_pSavePanel.reset();
                                      if (code != qv::ui::kOKButton || chosen.empty()) return;
                                      if (mState.mSaveInProgress.load()) return;
                                      mState.m_pFileToWrite = chosen;
                                      startSaveThread();
                                  });
    // A window that already carries a sheet takes no panel: no Save As is under way then.
    if (mMain.m_pWindow->attachedSheet() != panel.get()) {
        mSaveAccessory.m_pSavePanel.reset();
        return;
    }
    // The panel keeps the photo's own extension while the pop-up shows its format; for a photo
    // in a format this program does not write, it keeps the "jpg" chosen above.
    if (QVOutputType::typeOfExtension(extension)) panel->setRequiredFileType(extension);
}

QVController::SaveJob QVController::makeSaveJob() {
    SaveJob job;
    job.path = mState.m_pFileToWrite;
    job.source = originalImagePath();
    job.type = QVOutputType::typeOfCode(
        mSaveAccessory.m_pFileFormatPopup ? mSaveAccessory.m_pFileFormatPopup->indexOfSelectedItem() : 0);
    if (job.type == Type::TIFF && mSaveAccessory.mCompressionType)
        job.compression = QVOutputType::compressionOfCode(mSaveAccessory.mCompressionType->indexOfSelectedItem());
    job.quality = mState.mCompressionAmount.load();
    if (mMain.m_pDisplayView) job.metadata = mMain.m_pDisplayView->imageMetadata();
    job.photo = mState.mPhotoGeneration;
    job.colorSpace = mState.mChosenPhoto.colorSpace;
    job.parameters = correctionParameters();
    job.unwrap = shownUnwrap();
    return job;
}

void QVController::startSaveThread() {
    if (mState.mSaveInProgress.exchange(true)) return;
    if (mMain.m_pFOVText) mMain.m_pFOVText->setEnabled(false);
    setControlsEnabled(false);
    auto shared = std::make_shared<SaveJob>(makeSaveJob());
    if (!qv::detachThread([this, shared] { saveImage(std::move(*shared)); }))
        finishSave(std::move(*shared), false, false);  // no thread ran: reported as any failed save
}

void QVController::saveImage(SaveJob job) {
    bool encoded = false, saved = false;
    if (!job.path.empty()) {
        // What the preview shows is what is saved.
        qv::ci::Image image = fullResolutionResult(job.source, job.unwrap, job.parameters);
        if (qv::Dictionary* metadata = job.metadata.dictionary(); metadata && !image.isNull()) {
            encoded = true;
            QVImageEncoder::SaveOptions options;
            options.sixteenBits = QVImageEncoder::wantsSixteenBits(*metadata);
            // The photo's own profile is in the file already. The extracted one is only taken for
            // a photo without one: it is left by the last open through the panel, and may be
            // another photo's when this one was dropped or handed over.
            if (!job.colorSpace.hasICCProfile()) options.profilePath = qv::paths::supportFolder() + "Profile";
            options.tiffCompressionTag = job.type == Type::TIFF ? QVOutputType::tiffCompressionTag(job.compression) : 0;
            saved = QVImageEncoder::saveImageFile(std::move(image), job.type, *metadata, job.quality, job.path, options,
                                                  job.colorSpace);
        }
    }
    auto shared = std::make_shared<SaveJob>(std::move(job));
    qv::performOnMainThread([this, shared, encoded, saved] { finishSave(std::move(*shared), encoded, saved); }, false);
}

void QVController::finishSave(SaveJob job, bool encoded, bool saved) {
    // What the encoder changed (the orientation, the quality) stays with the photo for the next
    // save, as long as that photo is still the one open.
    if (encoded && mMain.m_pDisplayView && job.photo == mState.mPhotoGeneration)
        mMain.m_pDisplayView->setImageMetadata(job.metadata);
    if (mMain.m_pFOVCheckbox && mMain.m_pFOVText && mMain.m_pFOVCheckbox->state() == qv::ui::kOnState)
        mMain.m_pFOVText->setEnabled(true);
    setControlsEnabled(true);
    mState.mSaveInProgress = false;
    if (!job.path.empty() && !saved) {
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(job.path), m_pMainBundle.localizedString("SaveErrorMessage"),
                              "OK");
        return;
    }
    if (saved) qv::PreferencesFile::update([&](qv::Value& root) { root[shell::keys::kImageSavePath] = job.path; });
    if (mMain.m_pWindow) mMain.m_pWindow->setDocumentEdited(false);
    if (mState.mWindowCloseRequest) qv::ui::Application::shared().terminate();
}
