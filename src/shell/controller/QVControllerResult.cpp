// What a save and the plug-in's Done write: the open photo at full resolution as the preview shows
// it, unwrapped first when the preview shows an unwrap.
#include <algorithm>
#include <thread>

#include "shell/controller/QVController.h"
#include "engine/QVDisplayView.h"
#include "shell/unwrap/UnwrapPhoto.h"

std::optional<shell::UnwrapSettings> QVController::shownUnwrap() const {
    if (m_fisheye.shown && m_fisheye.shownPhoto == mState.mPhotoGeneration) return m_fisheye.shown;
    return std::nullopt;
}

qv::ci::Image QVController::fullResolutionResult(const std::string& source,
                                                 const std::optional<shell::UnwrapSettings>& unwrap,
                                                 const CorrectionParameters& parameters) {
    // After an unwrap the photo is unwrapped the same way at full resolution, on which the chain
    // then skips the distortion step.
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    qv::ci::Image image = unwrap ? shell::unwrapPhoto(source, *unwrap, threads)
                                 : QVDisplayView::CreateCIImageWithoutOrientation(source);
    if (!mMain.m_pDisplayView || image.isNull()) return {};
    return mMain.m_pDisplayView->fullResolutionImage(image, parameters);
}
