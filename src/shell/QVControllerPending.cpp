// Commands that other parts of the shell bring: opening a photo, saving, batch
// processing, the lens choice for a photo and the user-database editor. The
// controls and menus are already wired to them; until those parts land they change nothing, so
// every control can be used without harm.
#include "QVController.h"

// Batch processing.
void QVController::onBatchProcess(Control*) {}
