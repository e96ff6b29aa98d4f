#pragma once
// What the display view asks the window controller beyond the correction parameters (which carry
// the crop choice and the grid it draws by): the state of the preview and open controls, and the
// open step and open-error alert that a file drop hands over to. QVController implements this; tests use a fake.
// Everything here is called on the main thread.
#include <string>

#include "appkit/Color.h"
#include "engine/QVParameterSource.h"

class QVDisplayController : public QVParameterSource {
public:
    // Whether the preview check box is on (the view shows the corrected preview).
    virtual bool previewCheckboxStatus() const = 0;

    // Whether a drop may open a file now (the open button is enabled).
    virtual bool canDragImage() const = 0;
    // The open step for a photo file (loads it into the view, reads its metadata, picks a lens).
    virtual void openImage(const std::string& path) = 0;
    // The open-error alert, titled with the last path component of path.
    virtual void showErrorDialog(const std::string& path) = 0;
};
