#pragma once
// The photo view of the headless front end: it loads the photo upright with its properties and
// runs the correction chain at full resolution when saving; there is no screen to draw on, so the
// preview steps only record that corrections are on.
#include "engine/QVViewChain.h"
#include "shell/QVDisplayViewLink.h"

class HeadlessView : public QVDisplayViewLink, public QVViewChain {
public:
    void setController(QVController* controller) override;
    void applyCorrection() override;
    void perspective() override {}
    void chromaticAberration() override {}
    void applyVignet() override {}
    void setScaleValue(double) override {}
    void revertImage() override { setApplyFlagTo(false); }
    void setPreviewImage(bool) override {}
    void setMagnification(int) override {}
    void showMagnifier(bool) override {}
    void setAllowDragAndDrop(bool) override {}
    void setBatchFlagTo(bool on) override { QVViewChain::setBatchFlagTo(on); }
    bool isBatchProcessInProgress() const override { return QVViewChain::isBatchProcessInProgress(); }
    bool setCIImageFromFile(const std::string& path) override;
    qv::ci::Image ciImage() const override { return m_pImage; }
    qv::ci::Image scaleToFixedSize(const qv::ci::Image& image) override { return image; }
    qv::Value imageMetadata() const override { return m_metadata; }
    qv::ci::Image fullResolutionImage(const qv::ci::Image& source) const override { return fullResolutionChain(source); }
    void calculateDrawingRect() override {}
    void resetImageToDraw() override {}
    void drawCorrectedImage() override {}
    void setNeedsDisplay() override {}

private:
    qv::Value m_metadata;
};
