// Writes the benchmarks' torus knot (torus_knot.h) as an OBJ file, for
// timing the baker itself:
//
//   make_torus_knot OUT.obj [segments sides]     (default 500 x 250: 250,000 triangles)
#include <cstdio>
#include <cstdlib>

#include "torus_knot.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_torus_knot OUT.obj [segments sides]\n");
    return 2;
  }
  const int segments = argc == 4 ? std::atoi(argv[2]) : 500, sides = argc == 4 ? std::atoi(argv[3]) : 250;
  if (segments < 3 || sides < 3) return 1;
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) return 1;
  const std::string text = knot::TorusKnotObj(segments, sides);
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}
