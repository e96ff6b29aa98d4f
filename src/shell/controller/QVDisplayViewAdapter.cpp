#include "shell/controller/QVDisplayViewAdapter.h"

#include "shell/controller/QVController.h"

// The controller is a display controller; the conversion needs its full type, hence out of line.
void QVDisplayViewAdapter::setController(QVController* controller) { m_view.setController(controller); }
