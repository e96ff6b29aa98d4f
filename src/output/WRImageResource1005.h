#pragma once
// Resource 1005: horizontal and vertical resolution (16.16 fixed point) with their units.
#include "output/QVOutputInfo.h"
#include "output/WRImageResource.h"

struct WRResolutionInfo {
    std::int32_t hRes = 0;  // 16.16 fixed point
    std::int16_t hResUnit = 1;
    std::int16_t WidthUnit = 1;
    std::int32_t vRes = 0;  // 16.16 fixed point
    std::int16_t vResUnit = 1;
    std::int16_t HeightUnit = 1;

    // The same resolution both ways, in the settings' unit, widths and heights in inches.
    static WRResolutionInfo fromOutputInfo(const QVOutputInfo& info);
};

class WRImageResource1005 : public WRImageResource {
public:
    explicit WRImageResource1005(const WRResolutionInfo& resolution, std::string name = {});

protected:
    std::uint32_t dataLength() const override { return 16; }
    void writeData(WROutputStream& stream) const override;

private:
    WRResolutionInfo _data;
};
