#pragma once
// The fisheye command's state in the window controller: the worker that runs its requests, what
// is outstanding, and the settings of the unwrap result the preview shows (a save then unwraps
// the photo itself the same way). Everything here is read and written on the main thread; the
// worker gets its requests as values.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "shell/unwrap/UnwrapRequest.h"
#include "shell/unwrap/UnwrapWorker.h"

namespace shell {

struct FisheyeControls {
    FisheyeControls() = default;
    FisheyeControls(const FisheyeControls&) = delete;
    FisheyeControls& operator=(const FisheyeControls&) = delete;
    // Joins the worker first, then tells the reports still queued for the main thread that their
    // controller is gone.
    ~FisheyeControls() {
        worker.reset();
        *alive = false;
    }

    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    std::unique_ptr<UnwrapWorker> worker;  // made by the first request
    std::size_t outstanding = 0;           // requests handed over and not yet reported back
    std::uint64_t requests = 0;            // requests handed over so far
    // What the preview shows, when it shows an unwrap result: its settings and its photo.
    std::optional<UnwrapSettings> shown;
    std::uint64_t shownPhoto = 0;
};

}  // namespace shell
