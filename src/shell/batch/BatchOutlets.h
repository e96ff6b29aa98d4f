#pragma once
// What the main window's controller holds of the batch sheet: the sheet it shows and the batch
// controller whose photo in hand the lens choice reads during a run. Set by the nib.
#include "appkit/Window.h"

class QVBatchController;

namespace shell {

struct BatchOutlets {
    qv::ui::Window* mBatchSheet = nullptr;
    QVBatchController* m_pBatchController = nullptr;
};

}  // namespace shell
