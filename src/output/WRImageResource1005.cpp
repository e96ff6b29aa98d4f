#include "output/WRImageResource1005.h"

#include "output/WROutputStream.h"

WRResolutionInfo WRResolutionInfo::fromOutputInfo(const QVOutputInfo& info) {
    WRResolutionInfo r;
    r.hRes = r.vRes = static_cast<std::int32_t>(static_cast<std::uint32_t>(info._resolution) << 16);
    r.hResUnit = r.vResUnit = info._resolutionType;
    r.WidthUnit = r.HeightUnit = 1;
    return r;
}

WRImageResource1005::WRImageResource1005(const WRResolutionInfo& resolution, std::string name)
    : WRImageResource(1005, std::move(name)), _data(resolution) {}

void WRImageResource1005::writeData(WROutputStream& stream) const {
    stream.writeI32(_data.hRes);
    stream.writeI16(_data.hResUnit);
    stream.writeI16(_data.WidthUnit);
    stream.writeI32(_data.vRes);
    stream.writeI16(_data.vResUnit);
    stream.writeI16(_data.HeightUnit);
}
