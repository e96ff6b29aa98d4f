#pragma once
// An image-resource block of the document: "8BIM", its id, its name as a Pascal string padded to an
// even length (two zero bytes when it has none), the data size and the data, padded to an even
// length as readers expect.
#include <cstdint>
#include <string>

class WROutputStream;

class WRImageResource {
public:
    explicit WRImageResource(std::int16_t ident, std::string name = {});
    virtual ~WRImageResource() = default;

    std::int16_t ident() const { return _ident; }
    // Bytes the whole block takes in the file.
    std::uint32_t length() const;
    void writeImageResourceToStream(WROutputStream& stream) const;

protected:
    virtual std::uint32_t dataLength() const = 0;
    virtual void writeData(WROutputStream& stream) const = 0;

private:
    std::uint32_t nameLength() const;

    const char* _signature = "8BIM";
    std::int16_t _ident;
    std::string _name;
};
