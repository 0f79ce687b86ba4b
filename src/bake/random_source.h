// The one random source of the ambient-occlusion bake: a 15-bit linear
// congruential generator, state 1 when the library is loaded and never
// reseeded, so an AO picture depends on every draw made since the load.
#pragma once

#include <cstdint>

struct RandomSource {
  uint32_t state = 1;
};

// The library's one source.
extern RandomSource g_randomSource;

// state <- state * 214013 + 2531011 (mod 2^32); returns bits 16..30.
int RandomDraw(RandomSource& source);

// Advances the source by `draws` draws at once, in O(log draws) steps: the
// state afterwards is the one `draws` calls of RandomDraw would leave.
void RandomSkip(RandomSource& source, uint64_t draws);
