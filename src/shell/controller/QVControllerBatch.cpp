// The batch command of the main window: it shows the batch sheet, and while a batch photo is in
// hand the lens choice reads that photo's metadata.
#include "shell/controller/QVController.h"

#include "shell/batch/QVBatchController.h"

void QVController::onBatchProcess(Control*) {
    if (!mBatch.mBatchSheet || !mMain.m_pWindow || mMain.m_pWindow->attachedSheet()) return;
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setBatchFlagTo(true);
    openSheet(mBatch.mBatchSheet);
}

bool QVController::batchPhotoMetadata(qv::Value& metadata) const {
#ifdef QV_PLUGIN_BUILD  // the plug-in has no batch processing
    (void)metadata;
    return false;
#else
    if (!mBatch.m_pBatchController || !isBatchRunning()) return false;
    const std::optional<qv::Dictionary>& inHand = mBatch.m_pBatchController->imageMetadata();
    if (!inHand) return false;
    metadata = qv::Value(*inHand);
    return true;
#endif
}
