#include "output/WRImageResource.h"

#include "output/WROutputStream.h"

namespace {

constexpr std::size_t kMaxNameBytes = 255;  // a Pascal string's length byte

}  // namespace

WRImageResource::WRImageResource(std::int16_t ident, std::string name) : _ident(ident), _name(std::move(name)) {
    if (_name.size() > kMaxNameBytes) _name.resize(kMaxNameBytes);
}

std::uint32_t WRImageResource::nameLength() const {
    const std::uint32_t n = 1 + std::uint32_t(_name.size());
    return n + (n & 1);
}

std::uint32_t WRImageResource::length() const {
    const std::uint32_t data = dataLength();
    return 4 + 2 + nameLength() + 4 + data + (data & 1);
}

void WRImageResource::writeImageResourceToStream(WROutputStream& stream) const {
    stream.writeBytes(_signature, 4);
    stream.writeI16(_ident);
    stream.writeU8(static_cast<std::uint8_t>(_name.size()));
    stream.writeBytes(_name.data(), _name.size());
    if ((1 + _name.size()) & 1) stream.writeU8(0);
    const std::uint32_t data = dataLength();
    stream.writeU32(data);
    writeData(stream);
    if (data & 1) stream.writeU8(0);
}
