#pragma once
// A picture handed over a band of rows at a time, from the top down: the Core Image layer renders
// it while the image writer encodes it, so that a photo-sized result never has to exist whole.
#include <functional>

#include "foundation/Bitmap.h"

namespace qv {

class BandSource {
public:
    virtual ~BandSource() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // The layout of every band.
    virtual PixelFormat format() const = 0;
    virtual bool premultiplied() const = 0;

    // The next band of the picture and, in firstRow, the picture row its row 0 is. Bands follow
    // each other without a gap until the last row; then null. A band stays valid until the next
    // call.
    virtual const Bitmap* nextBand(int& firstRow) = 0;
};

// Converts one row of `pixels` pixels from the layout a picture is produced in into the layout a
// consumer takes.
using RowConversion = std::function<void(const std::uint8_t* from, std::uint8_t* to, int pixels)>;

// The bands of a bitmap that exists already: the bitmap itself, as one band.
class BitmapBands final : public BandSource {
public:
    explicit BitmapBands(const Bitmap& bitmap) : m_bitmap(bitmap) {}
    int width() const override { return m_bitmap.width; }
    int height() const override { return m_bitmap.height; }
    PixelFormat format() const override { return m_bitmap.format; }
    bool premultiplied() const override { return m_bitmap.premultiplied; }
    const Bitmap* nextBand(int& firstRow) override {
        if (m_done || !m_bitmap.isValid()) return nullptr;
        m_done = true;
        firstRow = 0;
        return &m_bitmap;
    }

private:
    const Bitmap& m_bitmap;
    bool m_done = false;
};

}  // namespace qv
