#pragma once
// The renderer's hot loops come in two builds: the baseline one every x86-64 processor runs, and
// a 256-bit one (AVX2 with fused multiply-add) chosen at run time where the processor has it, so
// that one binary runs everywhere and is fast where it can be. A function is compiled for the
// wide instructions by marking it QV_TARGET_WIDE; it may only be called when wideVectors() holds.
namespace qv::ci::detail {

#if defined(__x86_64__) || defined(__i386__)
#define QV_TARGET_WIDE __attribute__((target("avx2,fma")))
#define QV_HAS_WIDE_BUILD 1
#else
#define QV_TARGET_WIDE
#define QV_HAS_WIDE_BUILD 0
#endif

// Whether the wide versions run: detected once, from the processor.
bool wideVectors();

// Tests turn the wide versions off to check that the baseline ones draw the same pictures (and
// back on, which has no effect on a processor without them). Not for use while rendering.
void setWideVectorsForTesting(bool enabled);

}  // namespace qv::ci::detail
