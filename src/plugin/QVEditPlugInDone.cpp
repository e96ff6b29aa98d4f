// The end of an edit session: Done writes the corrected photo over the editable file, Cancel
// writes nothing; both store the window frame and the sampler, sweep the support folder and end
// the host's session.
#include <algorithm>

#include "appkit/Alert.h"
#include "appkit/PopUpButton.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "imageio/ImageSource.h"
#include "output/QVImageEncoder.h"
#include "plugin/QVEditPlugIn.h"
#include "shell/PreferenceKeys.h"
#include "shell/SupportFolder.h"

using namespace shell::keys;

namespace {

// The encoder's type for the type identifier of a file, when the encoder writes that type.
std::optional<QVOutputType::Type> outputTypeOf(const std::string& identifier) {
    for (const QVOutputType::TypeInfo& info : QVOutputType::types())
        if (identifier == info.identifier) return info.type;
    return std::nullopt;
}

}  // namespace

bool QVEditPlugIn::writeBack(const std::string& path) {
    QVController& c = *controller();
    if (!c.state().m_bImageLoaded) return false;
    const auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return false;
    const auto type = outputTypeOf(source->type());
    if (!type) return false;
    // The full-resolution result, as the preview shows it: after an unwrap, the photo unwrapped.
    qv::ci::Image image = c.fullResolutionResult(c.originalImagePath(), c.shownUnwrap(), c.correctionParameters());
    if (image.isNull()) return false;
    qv::Dictionary properties = source->properties();
    // The plug-in's encoder sets no lossy-compression quality: the file's own properties rule.
    const auto bytes = QVImageEncoder::dataFromImage(image, *type, properties, std::nullopt, nullptr, source->colorSpace());
    if (!bytes) return false;
    // Written beside the file and renamed over it only when complete; a file the user may not
    // write is left as it was.
    return qv::files::writeWhole(path, *bytes);
}

void QVEditPlugIn::storeSessionEnd() {
    QVController& c = *controller();
    qv::PreferencesFile::update([&](qv::Value& root) {
        c.storeWindowFrame(root);
        if (auto* sampler = c.fisheye().mFESamplertypePopUp) root[kSamplerType] = sampler->indexOfSelectedItem();
    });
    shell::sweepSupportFolder();
}

void QVEditPlugIn::doneEditing(qv::ui::Control*) {
    if (!m_sessionOpen || !controller()) return;
    const std::size_t selected = std::min(mEditManager->selectedVersionIds().size(), mImagePaths.size());
    for (std::size_t i = 0; i < selected; ++i) {
        if (!mImagePaths[i] || writeBack(*mImagePaths[i])) continue;
        // The file is as it was; the session stays open, to try again or to cancel.
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(*mImagePaths[i]),
                              m_bundle.localizedString("SaveErrorMessage"), "OK");
        return;
    }
    storeSessionEnd();
    m_sessionOpen = false;
    mEditManager->endEditSession();
}

void QVEditPlugIn::cancelEditing(qv::ui::Control*) {
    if (!m_sessionOpen || !controller()) return;
    storeSessionEnd();
    m_sessionOpen = false;
    mEditManager->cancelEditSession();
}
