#pragma once
// What the window controller asks of the preview view: run the correction chain whole or from a
// later step, switch the preview, the magnifier and file drops, load and report the photo. The
// real preview view is driven through QVDisplayViewAdapter; tests may give a stand-in, and the
// controller copes with none.
#include <string>

#include "coreimage/CIImage.h"
#include "engine/CorrectionParameters.h"
#include "foundation/Value.h"

class QVController;

class QVDisplayViewLink {
public:
    virtual ~QVDisplayViewLink() = default;

    // The view pulls its parameters from the controller when it renders.
    virtual void setController(QVController* controller) = 0;

    // The chain: all of it, or from the step after the distortion correction on.
    virtual void applyCorrection() = 0;
    virtual void perspective() = 0;
    virtual void chromaticAberration() = 0;
    virtual void applyVignet() = 0;
    virtual void setScaleValue(double scale) = 0;
    virtual void revertImage() = 0;

    virtual void setPreviewImage(bool corrected) = 0;
    virtual void setMagnification(int percent) = 0;
    virtual void showMagnifier(bool on) = 0;
    virtual void setAllowDragAndDrop(bool allow) = 0;
    virtual void setBatchFlagTo(bool on) = 0;
    virtual bool isBatchProcessInProgress() const = 0;

    // Loading and what is loaded.
    virtual bool setCIImageFromFile(const std::string& path) = 0;
    virtual qv::ci::Image ciImage() const = 0;
    virtual qv::ci::Image scaleToFixedSize(const qv::ci::Image& image) = 0;
    virtual qv::Value imageMetadata() const = 0;
    // Replaces the photo's metadata (a dictionary): what a save changed in its copy comes back
    // here, on the main thread, so the next save starts from it.
    virtual void setImageMetadata(const qv::Value& metadata) = 0;
    // The full-resolution chain on an image with the parameters a save took as it started; the
    // null image (the save then fails) from a view that cannot run it.
    virtual qv::ci::Image fullResolutionImage(const qv::ci::Image&, const CorrectionParameters&) const { return {}; }

    // Drawing.
    virtual void calculateDrawingRect() = 0;
    virtual void resetImageToDraw() = 0;
    virtual void drawCorrectedImage() = 0;
    virtual void setNeedsDisplay() = 0;
};
