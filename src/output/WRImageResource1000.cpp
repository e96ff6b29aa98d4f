#include "output/WRImageResource1000.h"

#include "output/WROutputStream.h"

WRImageResource1000::WRImageResource1000(std::int16_t channels, std::int16_t rows, std::int16_t columns,
                                         std::int16_t depth, std::int16_t mode)
    : WRImageResource(1000), _channels(channels), _rows(rows), _columns(columns), _depth(depth), _mode(mode) {}

void WRImageResource1000::writeData(WROutputStream& stream) const {
    for (std::int16_t v : {_channels, _rows, _columns, _depth, _mode}) stream.writeI16(v);
}
