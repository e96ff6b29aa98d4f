#pragma once
// The magnifier's filter "LensFilter", supplied by an image unit of the same name. Over its input
// it lays a round glass of diameter inputWidth, centred on inputCenter (in the input's
// coordinates), through which the input appears inputMagnification times larger about that
// centre; a ring inputRingWidth wide frames the glass. Everything outside the ring is the input
// unchanged.
//
// Inputs: inputImage; inputCenter (Vec2); inputMagnification (> 0; other values show the input
// unmagnified); inputWidth and inputRingWidth (points); inputRoundness (how close to the rim the
// glass's shading stays: larger is closer); inputShineOpacity (0 to 1: a highlight on the glass).
#include <memory>
#include <string>

#include "coreimage/CIFilter.h"
#include "foundation/Geometry.h"

class LensFilter : public qv::ci::Filter {
public:
    static constexpr const char* kName = "LensFilter";
    static constexpr const char* kInputMagnification = "inputMagnification";
    static constexpr const char* kInputWidth = "inputWidth";
    static constexpr const char* kInputRingWidth = "inputRingWidth";
    static constexpr const char* kInputRoundness = "inputRoundness";
    static constexpr const char* kInputShineOpacity = "inputShineOpacity";
    static constexpr double kDefaultWidth = 250;
    static constexpr double kDefaultRingWidth = 10;

    // Makes the "LensFilter" image unit known to the process without registering its filter: the
    // application registers it by loading the unit (qv::ci::loadPlugIn of ".../LensFilter.plugin")
    // when no filter of that name exists. Safe to call more than once.
    static void installImageUnit();

    LensFilter();
    qv::ci::Image outputImage() override;
};
