#pragma once
// The order in which a person reads a window's controls, from their frames alone: a window laid
// out in columns is read column by column, each column row by row from the top, each row from the
// left. Frames are in one coordinate system with y up (a window's base coordinates).
#include <cstddef>
#include <vector>

#include "foundation/Geometry.h"

namespace qv::qt {

// The indexes of `frames` in reading order. Columns need a gutter of a few points between them;
// frames that neither a column gutter nor a row gap separates are one row, read from the left.
std::vector<std::size_t> readingOrder(const std::vector<Rect>& frames);

}  // namespace qv::qt
