// The end of an edit session: Done writes the corrected photo over the editable file, Cancel
// writes nothing; both store the window frame and the sampler, sweep the support folder and end
// the host's session.
#include <algorithm>

#include "appkit/Alert.h"
#include "appkit/PopUpButton.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "output/QVImageEncoder.h"
#include "plugin/QVEditPlugIn.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"

using namespace shell::keys;

bool QVEditPlugIn::writeBack(const std::string& path) {
    QVController& c = *controller();
    if (!c.state().m_bImageLoaded) return false;
    const auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return false;
    // The file's own type, whichever of the types the image layer writes (a PNG among them).
    qv::Data bytes;
    const auto destination = qv::io::ImageDestination::createWithData(bytes, source->type(), 1);
    if (!destination) return false;
    // The full-resolution result, as the preview shows it: after an unwrap, the photo unwrapped.
    qv::ci::Image image = c.fullResolutionResult(c.originalImagePath(), c.shownUnwrap(), c.correctionParameters());
    if (image.isNull()) return false;
    qv::Dictionary properties = source->properties();
    // The plug-in's encoder sets no lossy-compression quality, so the output type it is given
    // plays no part: the destination's type and the file's own properties rule.
    if (!QVImageEncoder::encodeImage(std::move(image), QVOutputType::Type::JPEG, properties, std::nullopt, *destination,
                                     source->colorSpace()))
        return false;
    // Written beside the file and renamed over it only when complete; a file the user may not
    // write is left as it was.
    return qv::files::writeWhole(path, bytes);
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
    const std::vector<qv::host::VersionId> versions = mEditManager->selectedVersionIds();
    const std::size_t selected = std::min(versions.size(), mImagePaths.size());
    for (std::size_t i = 0; i < selected; ++i) {
        // Only the first version is edited: the others stay placeholders. The first one without an
        // editable file (the host could make none) cannot be written back either.
        if (i > 0 && !mImagePaths[i]) continue;
        if (mImagePaths[i] && writeBack(*mImagePaths[i])) continue;
        // The file is as it was; the session stays open, to try again or to cancel.
        const std::string name = mImagePaths[i] ? qv::paths::lastPathComponent(*mImagePaths[i]) : versions[i];
        qv::ui::runAlertPanel(name, m_bundle.localizedString("SaveErrorMessage"), "OK");
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
