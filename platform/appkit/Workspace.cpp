#include "appkit/Workspace.h"

#include "appkit/Canvas.h"
#include "foundation/Files.h"

namespace qv::ui::workspace {
namespace {

Image drawIcon(IconKind kind) {
    const double s = kIconPixels;
    Canvas canvas(kIconPixels, kIconPixels);
    switch (kind) {
        case IconKind::Folder:
            canvas.setFillColor(Color::rgb(0.36, 0.62, 0.90));
            canvas.fillRect(Rect(2, s * 0.70, s * 0.40, s * 0.12));  // the tab
            canvas.fillRect(Rect(2, 4, s - 4, s * 0.68));
            break;
        case IconKind::Document: {
            canvas.setFillColor(Color::whiteColor());
            canvas.fillRect(Rect(6, 2, s - 12, s - 4));
            canvas.setStrokeColor(Color::grayColor());
            canvas.strokeRect(Rect(6.5, 2.5, s - 13, s - 5));
            canvas.setFillColor(Color::lightGrayColor());
            for (int line = 0; line < 4; ++line) canvas.fillRect(Rect(10, 8 + line * 5, s - 20, 2));
            break;
        }
        case IconKind::Missing:
            canvas.setStrokeColor(Color::redColor());
            canvas.strokeRect(Rect(6.5, 2.5, s - 13, s - 5), 2);
            break;
    }
    return Image(canvas.bitmap());
}

}  // namespace

IconKind iconKindForFile(const std::string& path) {
    if (files::isFolder(path)) return IconKind::Folder;
    return files::exists(path) ? IconKind::Document : IconKind::Missing;
}

std::shared_ptr<Image> iconForFile(const std::string& path) {
    // Drawn once per kind; every caller gets its own image, so setting its size changes no other.
    static const Image kFolder = drawIcon(IconKind::Folder);
    static const Image kDocument = drawIcon(IconKind::Document);
    static const Image kMissing = drawIcon(IconKind::Missing);
    switch (iconKindForFile(path)) {
        case IconKind::Folder: return std::make_shared<Image>(kFolder);
        case IconKind::Document: return std::make_shared<Image>(kDocument);
        case IconKind::Missing: break;
    }
    return std::make_shared<Image>(kMissing);
}

}  // namespace qv::ui::workspace
