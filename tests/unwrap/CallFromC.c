/* Compiled as C: the entry's header must be usable from C. */
#include "unwrap/UnwrapData.h"

int unwrapFromC(const char* input, const char* output) {
    return UnwrapData(input, output, 0.0f, 0.0f, 180, 90, 0, 0UL);
}
