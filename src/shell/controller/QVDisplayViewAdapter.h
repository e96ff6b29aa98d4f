#pragma once
// Lets the window controller drive the real preview view: every request of the link goes to the
// view as it stands. The view lives in engine, which knows nothing of the shell, so the link is
// implemented here rather than by the view itself.
#include "engine/QVDisplayView.h"
#include "shell/controller/QVDisplayViewLink.h"

class QVDisplayViewAdapter : public QVDisplayViewLink {
public:
    // The view is not owned and must outlive the adapter.
    explicit QVDisplayViewAdapter(QVDisplayView& view) : m_view(view) {}

    void setController(QVController* controller) override;
    void applyCorrection() override { m_view.applyCorrection(); }
    void perspective() override { m_view.perspective(); }
    void chromaticAberration() override { m_view.chromaticAberration(); }
    void applyVignet() override { m_view.applyVignet(); }
    void setScaleValue(double scale) override { m_view.setScaleValue(scale); }
    void revertImage() override { m_view.revertImage(); }

    void setPreviewImage(bool corrected) override { m_view.setPreviewImage(corrected); }
    void setMagnification(int percent) override { m_view.setMagnification(percent); }
    void showMagnifier(bool on) override { m_view.showMagnifier(on); }
    void setAllowDragAndDrop(bool allow) override { m_view.setAllowDragAndDrop(allow); }
    void setBatchFlagTo(bool on) override { m_view.setBatchFlagTo(on); }
    bool isBatchProcessInProgress() const override { return m_view.isBatchProcessInProgress(); }

    bool setCIImageFromFile(const std::string& path) override { return m_view.setCIImageFromFile(path); }
    qv::ci::Image ciImage() const override { return m_view.ciImage(); }
    qv::ci::Image scaleToFixedSize(const qv::ci::Image& image) override { return QVDisplayView::scaleToFixedSize(image); }
    qv::Value imageMetadata() const override { return qv::Value(m_view.imageMetadata()); }
    void setImageMetadata(const qv::Value& metadata) override {
        if (const qv::Dictionary* dictionary = metadata.dictionary()) m_view.setImageMetadata(*dictionary);
    }
    qv::ci::Image fullResolutionImage(const qv::ci::Image& source,
                                      const CorrectionParameters& parameters) const override {
        return m_view.fullResolutionChain(source, parameters);
    }

    void calculateDrawingRect() override { m_view.calculateDrawingRect(); }
    void resetImageToDraw() override { m_view.resetImageToDraw(); }
    void drawCorrectedImage() override { m_view.drawCorrectedImage(); }
    void setNeedsDisplay() override { m_view.setNeedsDisplay(true); }

private:
    QVDisplayView& m_view;
};
