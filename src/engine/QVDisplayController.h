#pragma once
// What the display view asks the window controller beyond the correction parameters: the state of
// the preview, grid and open controls it draws by, and the open step and open-error alert that a
// file drop hands over to. QVController implements this; tests use a fake. Everything here is
// called on the main thread.
#include <string>

#include "appkit/Color.h"
#include "engine/QVParameterSource.h"

class QVDisplayController : public QVParameterSource {
public:
    // Whether the preview check box is on (the view shows the corrected preview).
    virtual bool previewCheckboxStatus() = 0;

    // The grid check box, the spacing slider's integer value and the colour well's colour.
    virtual bool showGrid() = 0;
    virtual int gridSpacing() = 0;
    virtual qv::ui::Color gridColor() = 0;

    // Whether a drop may open a file now (the open button is enabled).
    virtual bool canDragImage() = 0;
    // The open step for a photo file (loads it into the view, reads its metadata, picks a lens).
    virtual void openImage(const std::string& path) = 0;
    // The open-error alert, titled with the last path component of path.
    virtual void showErrorDialog(const std::string& path) = 0;
};
