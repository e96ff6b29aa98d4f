#include "shell/unwrap/UnwrapRun.h"

#include <iostream>
#include <optional>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "imageio/ImageTool.h"
#include "unwrap/UnwrapData.h"

namespace shell {

void unwrap(const UnwrapRequest& request, bool& unwrapped, bool& rewritten) {
    std::string input = request.input;
#ifdef QV_PLUGIN_BUILD
    // The host's file is copied first, so that the engine never reads a file the host may change.
    input = qv::paths::supportFolder() + qv::paths::lastPathComponent(request.input);
    const std::optional<qv::Data> bytes = qv::files::readWhole(request.input);
    if (!bytes || !qv::files::writeWhole(input, *bytes)) return;
#endif
    const UnwrapSettings& s = request.settings;
    unwrapped = UnwrapData(input.c_str(), request.output.c_str(), s.width, s.height, s.wholeInputFOV(),
                           s.wholeOutputFOV(), s.sampler, request.threads) == 0;
    if (!unwrapped) return;
    if (qv::files::exists(request.profile)) qv::io::embedProfile(request.profile, request.output);
    rewritten = addImageProperties(request.metadata, request.output, request.type);
    if (qv::files::exists(request.readCopy)) qv::files::removeItem(request.readCopy);
}

bool addImageProperties(const qv::Value& properties, const std::string& path, int type) {
    const char* identifier = type == 1 ? "public.tiff" : "public.jpeg";
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) {
        std::cerr << "Image source is NULL." << std::flush;
        return false;
    }
    const qv::Dictionary* given = properties.dictionary();
    const qv::Dictionary dictionary = given ? *given : qv::Dictionary();
    if (source->type() == identifier) {
        // Already of the type: only the metadata is rewritten, and the picture is not compressed
        // a second time.
        source.reset();
        if (qv::io::ImageDestination::copyImageSource(path, identifier, dictionary)) return true;
        std::cerr << "Image not created from image destination." << std::flush;
        return false;
    }
    std::optional<qv::Bitmap> image = source->createImage();
    if (!image) {
        std::cerr << "Image not created from image source." << std::flush;
        return false;
    }
    const qv::io::ColorSpace colorSpace = source->colorSpace();
    source.reset();
    auto destination = qv::io::ImageDestination::createWithPath(path, identifier);
    if (!destination) {
        std::cerr << "Image not created from image destination." << std::flush;
        return false;
    }
    destination->addImage(std::move(*image), dictionary, colorSpace);
    return destination->finalize();
}

}  // namespace shell
