#pragma once
// What the desktop would say about a file: here, the icon a list shows beside its name. There is
// no desktop to ask, so the icons are drawn: a folder, a document, or a missing-file mark.
#include <memory>
#include <string>

#include "appkit/Image.h"

namespace qv::ui::workspace {

// The icon's pixel size; callers set the size they draw it at.
inline constexpr int kIconPixels = 32;

enum class IconKind { Folder, Document, Missing };
IconKind iconKindForFile(const std::string& path);

// A new image for the file's kind, kIconPixels square, drawn at that size until told otherwise.
std::shared_ptr<Image> iconForFile(const std::string& path);

}  // namespace qv::ui::workspace
