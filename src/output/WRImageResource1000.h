#pragma once
// Resource 1000: the document's channels, rows, columns, depth and colour mode.
#include "output/WRImageResource.h"

class WRImageResource1000 : public WRImageResource {
public:
    WRImageResource1000(std::int16_t channels, std::int16_t rows, std::int16_t columns, std::int16_t depth,
                        std::int16_t mode);

protected:
    std::uint32_t dataLength() const override { return 10; }
    void writeData(WROutputStream& stream) const override;

private:
    std::int16_t _channels, _rows, _columns, _depth, _mode;
};
