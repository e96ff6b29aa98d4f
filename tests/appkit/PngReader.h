#pragma once
// Reads a PNG back with libpng for the canvas tests: 8-bit RGBA rows, top row first.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

struct PngImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    std::array<std::uint8_t, 4> at(int x, int y) const {
        const std::uint8_t* p = rgba.data() + (std::size_t(y) * width + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

// Empty (width 0) when the file cannot be read as a PNG.
PngImage readPng(const std::string& path);

}  // namespace qvtest
