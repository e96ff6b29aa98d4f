#pragma once
// The photo a save reads, read ahead: opening a photo starts reading it at full resolution on a
// thread of its own while the open goes on (the working copy, the metadata tool), so that the save
// which follows finds it decoded. What was read is taken once, and only while the file is still
// the one that was read; any other read goes to the file.
#include <functional>
#include <string>

#include "coreimage/CIImage.h"

namespace QVPhotoReadAhead {

using Reader = std::function<qv::ci::Image(const std::string& path)>;

// Starts reading the photo at path with the reader; what an earlier start read and nobody took
// is dropped. Nothing is started for a path that names no file.
void start(const std::string& path, Reader reader);

// The photo read ahead for path, waiting for the reading to end; the null image when none was
// started for it, the reading failed, or the file has changed since it was read. Taking it ends
// the read-ahead: a second take gives the null image.
qv::ci::Image take(const std::string& path);

// The same without ending the read-ahead: the save still takes it.
qv::ci::Image peek(const std::string& path);

// Drops what was read ahead (the photo did not open).
void drop();

}  // namespace QVPhotoReadAhead
