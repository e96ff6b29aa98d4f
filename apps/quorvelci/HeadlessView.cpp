#include "HeadlessView.h"

#include "engine/QVDisplayView.h"
#include "imageio/ImageSource.h"
#include "shell/QVController.h"

void HeadlessView::setController(QVController* controller) { QVViewChain::setController(controller); }

void HeadlessView::applyCorrection() {
    setApplyFlagTo(true);
    setCorrectFlagTo(true);
}

bool HeadlessView::setCIImageFromFile(const std::string& path) {
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return false;
    qv::ci::Image image = QVDisplayView::CreateCIImageWithoutOrientation(path);
    if (image.isNull()) return false;
    m_pImage = image;
    m_metadata = qv::Value(source->properties());
    return true;
}
