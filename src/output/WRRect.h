#pragma once
// A rectangle of a layer in document pixels, rows counted from the top; bottom and right are
// exclusive, as the file stores them.
#include <cstdint>

struct WRRect {
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    std::int32_t left = 0;
    std::int32_t right = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool operator==(const WRRect& o) const {
        return top == o.top && bottom == o.bottom && left == o.left && right == o.right;
    }
};
