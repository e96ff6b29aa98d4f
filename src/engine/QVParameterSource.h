#pragma once
// What the correction chain asks the window controller: the parameters of the moment, taken whole
// on the main thread when a run starts (the chain caches nothing between runs), and the field of
// view it shows. QVController implements this, tests use a fake. Both are called on the main thread
// only; a full-resolution run on another thread gets its parameters handed over as a value.
#include "engine/CorrectionParameters.h"

class QVParameterSource {
public:
    virtual ~QVParameterSource() = default;

    virtual CorrectionParameters correctionParameters() = 0;

    // Sets the diagonal angle of view for an image of that size and shows it in the controls.
    virtual void setDFOVwithWidth(double width, double height) = 0;
};
