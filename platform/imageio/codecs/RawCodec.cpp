// Camera raw files: decoded by the raw helper in a process of its own (RawHelper.h), so that a
// damaged file that crashes the raw library ends only the helper.
#include "imageio/codecs/Codec.h"
#include "imageio/codecs/RawHelper.h"

namespace qv::io::codec {

namespace {

class RawDecoder final : public Decoder {
public:
    explicit RawDecoder(std::shared_ptr<const Data> bytes) : m_bytes(std::move(bytes)) {}

    bool readHeader(Header& header, std::string& error) override {
        return rawhelper::readHeader(m_bytes->data(), m_bytes->size(), header, error);
    }

    std::optional<Bitmap> decode(const Limits& limits, std::string& error) override {
        return rawhelper::decode(m_bytes->data(), m_bytes->size(), limits, error);
    }

private:
    std::shared_ptr<const Data> m_bytes;
};

}  // namespace

std::unique_ptr<Decoder> makeRawDecoder(std::shared_ptr<const Data> bytes) {
    return std::make_unique<RawDecoder>(std::move(bytes));
}

bool isRecognisedCameraRaw(const std::uint8_t* bytes, std::size_t size) { return rawhelper::recognised(bytes, size); }

}  // namespace qv::io::codec
