#pragma once
// The batch sheet and the progress sheet of the main nib, with the QVBatchController that runs
// them, linked to the main window's controller and its preview view.
#include <memory>

#include "appkit/NibBuilder.h"
#include "shell/batch/QVBatchController.h"

class QVController;
class QVDisplayViewLink;

std::shared_ptr<QVBatchController> buildBatchSheets(qv::ui::NibBuilder& nib, QVController& controller,
                                                    QVDisplayViewLink* view);
