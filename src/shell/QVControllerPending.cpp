// Commands that other parts of the shell bring: opening a photo, saving, batch
// processing, the fisheye unwrap, the lens choice for a photo and the user-database editor. The
// controls and menus are already wired to them; until those parts land they change nothing, so
// every control can be used without harm.
#include "QVController.h"

// Batch processing and the fisheye unwrap.
void QVController::onBatchProcess(Control*) {}
void QVController::defish(Control*) {}
