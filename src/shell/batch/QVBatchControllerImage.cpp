// One photo of a run: the lens choice and settings taken on the main thread, the correction, the
// output rectangle, encoding and the write; and the fisheye path through the unwrap engine.
//
// Every write goes to a temporary file beside the output and is renamed over it only once it is
// complete, so a photo that fails or is cancelled never leaves a partial file, and a source
// replaced by its output is never truncated.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "output/QVImageEncoder.h"
#include "shell/batch/BatchKeys.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/batch/QVBatchController.h"
#include "shell/controller/QVController.h"
#include "shell/unwrap/UnwrapRequest.h"
#include "unwrap/UnwrapData.h"

namespace {

// The engine's threads in a batch: the run leaves the other cores to the next photo's decoding.
constexpr unsigned long kUnwrapThreads = 2;

}  // namespace

std::string QVBatchController::canonicalPath(const std::string& path) {
    const std::string folder = qv::paths::deletingLastPathComponent(path);
    char resolved[PATH_MAX];
    if (!::realpath(folder.empty() ? "." : folder.c_str(), resolved)) return path;
    return qv::paths::appendingPathComponent(resolved, qv::paths::lastPathComponent(path));
}

batch::CorrectionSettings QVBatchController::prepareOnMainThread(const Job& job, const batch::LoadedPhoto& photo,
                                                                 const shell::FocalRange& focalRange) {
    batch::CorrectionSettings settings;
    qv::performOnMainThread(
        [&] {
            // The controller's lens choice reads this photo's metadata while it runs.
            m_Metadata = photo.metadata;
            if (!mQVController) return;
            QVController& c = *mQVController;
            c.setDFOVwithWidth(photo.sourceRect.width(), photo.sourceRect.height());
            c.setMinFocalLengthFromImage(focalRange.minimum);
            c.setMaxFocalLengthFromImage(focalRange.maximum);
            c.setLensProperties();
            const bool owned = c.selectLensFromPreferences();
            if (job.mode == CorrectionMode::Automatic && !owned) c.autoselectionForLens();
            settings = batch::CorrectionSettings::of(c);
        },
        true);
    return settings;
}

qv::Outcome QVBatchController::mayWriteOutput(const Job& job, const std::string& source, const std::string& output) {
    const std::string target = canonicalPath(output);
    const bool replacesItsSource = !job.intoDestination && target == canonicalPath(source);
    if (!replacesItsSource && mRunSources.count(target))
        return qv::Outcome::failure("the output " + output + " would overwrite one of the photos of this run");
    if (mRunOutputs.count(target))
        return qv::Outcome::failure("another photo of this run was already written to " + output);
    if (qv::files::isFolder(output)) return qv::Outcome::failure("a folder is in the way of " + output);
    // Only a photo replacing itself writes over something: any other file there (a link too, even
    // one that leads nowhere) is the user's, not this run's to replace.
    struct stat status {};
    if (!replacesItsSource && ::lstat(output.c_str(), &status) == 0)
        return qv::Outcome::failure("a file is already at " + output + ", and it is not this photo's to replace");
    return qv::Outcome::success();
}

QVBatchController::Result QVBatchController::processPhoto(const Job& job, const std::string& source,
                                                          const batch::LoadedPhoto& photo,
                                                          batch::CorrectionSettings& settings,
                                                          const std::string& output) {
    if (const qv::Outcome may = mayWriteOutput(job, source, output); !may) return {false, false, output, may.reason()};
    Result result = settings.parameters.correctionType == CorrectionType::Fisheye
                        ? unwrapImageToFile(source, output, photo, settings)
                        : saveImageWithFilename(output, batch::destinationTypeFor(output, job.chosenType), photo,
                                                settings);
    if (result.ok) mRunOutputs.insert(canonicalPath(output));
    return result;
}

QVBatchController::Result QVBatchController::saveImageWithFilename(const std::string& output, QVOutputType::Type type,
                                                                   const batch::LoadedPhoto& photo,
                                                                   batch::CorrectionSettings& settings) {
    const qv::ci::Image image = batch::correctedImage(photo.image, settings);
    if (image.isNull()) return {false, false, output, "the correction made no picture"};
    const qv::Rect rect = batch::effectiveRectForImage(image.extent(), photo.sourceRect,
                                                       settings.parameters.cropInside, settings.parameters.scale);
    if (mIsProcessCancelled.load()) return {false, true, output, "cancelled"};
    std::string error;
    const std::optional<qv::Data> bytes =
        batch::dataFromImage(image, rect, type, batch::withValidOrientation(photo.metadata), photo.colorSpace, error);
    if (!bytes) return {false, false, output, "cannot encode " + output + ": " + error};
    if (mIsProcessCancelled.load()) return {false, true, output, "cancelled"};
    if (!QVImageEncoder::writeEncodedFile(*bytes, output, QVImageEncoder::SaveOptions{}, error))
        return {false, false, output, error};
    return {true, false, output, ""};
}

QVBatchController::Result QVBatchController::unwrapImageToFile(const std::string& source, const std::string& output,
                                                               const batch::LoadedPhoto& photo,
                                                               batch::CorrectionSettings& settings) {
    auto& defaults = qv::UserDefaults::standard();
    auto setControls = [&](bool on) { qv::performOnMainThread([&] { defaults.set(shell::keys::kEnableControl, on); }, true); };
    setControls(false);
    auto finish = [&](Result result) {
        setControls(true);  // the main window's controls come back whatever happened
        return result;
    };
    const shell::UnwrapSettings& fe = settings.fisheye;
    // The same rules as the fisheye command's, checked before the angles are taken in whole degrees.
    if (const std::string why = shell::unwrapRefusal(fe); !why.empty()) return finish({false, false, output, why});

    // The engine writes by the output's suffix (JPEG or TIFF only) into a file of its own beside
    // the output, which the corrected result then replaces.
    const std::string folder = qv::paths::deletingLastPathComponent(output);
    std::string temporary = (folder.empty() ? std::string(".") : folder) + "/.unwrap-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return finish({false, false, output, "cannot create a file beside " + output});
    ::close(fd);
    std::remove(temporary.c_str());
    const std::string intermediate = temporary + "." + qv::paths::pathExtension(output);
    const int status = UnwrapData(source.c_str(), intermediate.c_str(), fe.width, fe.height,
                                  fe.wholeInputFOV(), fe.wholeOutputFOV(), fe.sampler, kUnwrapThreads);
    std::optional<batch::LoadedPhoto> unwrapped;
    if (status == 0) unwrapped = batch::loadPhoto(intermediate);
    std::remove(intermediate.c_str());
    if (status != 0) return finish({false, false, output, "the unwrap engine could not unwrap " + source});
    if (!unwrapped) return finish({false, false, output, "the unwrapped picture could not be read"});
    // The output carries the source's metadata and colour profile; the distortion step is
    // skipped, as the correction type is the fisheye one.
    unwrapped->metadata = photo.metadata;
    unwrapped->colorSpace = photo.colorSpace;
    return finish(saveImageWithFilename(output, batch::destinationTypeFor(output, QVOutputType::Type::JPEG), *unwrapped, settings));
}
