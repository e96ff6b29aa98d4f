#pragma once
// The layered PSD writer's settings: one record handed from whoever starts a write to the writer
// thread, copied there, and never shared afterwards.
#include <cstdint>

struct QVOutputInfo {
    std::int16_t _version = 1;          // file version; only 1 (the classic document) is produced
    std::int16_t _depth = 1;            // bytes per sample: 1 (8-bit file) or 2 (16-bit file)
    std::int16_t _colorMode = 3;        // RGB
    std::int32_t _resolution = 75;      // pixels per inch
    std::int16_t _resolutionType = 1;   // unit: pixels per inch
    std::int16_t _compression = 0;      // layer channels: 0 raw, 1 RLE (PackBits)
    std::int32_t _colorProfile = 1;     // 1: embed the first input's ICC profile when it has one
};

// Compression codes of channel data.
enum : std::int16_t { kWRCompressionRaw = 0, kWRCompressionRLE = 1 };

// The defaults every write starts from: version 1, RGB, 75 pixels per inch, raw layer channels,
// profile embedding on. The caller sets _depth.
inline QVOutputInfo infoForOutput() { return QVOutputInfo{}; }
