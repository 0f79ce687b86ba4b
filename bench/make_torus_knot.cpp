// Writes a UV-mapped (2, 3) torus knot as OBJ, for whole-bake benchmarks:
// a tube of `segments` x `sides` quads (two triangles each) that occludes
// itself, at the host's scale of hundreds of units.
//
//   make_torus_knot OUT.obj [segments sides]     (default 500 x 250: 250,000 triangles)
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
struct P {
  double x, y, z;
};
P Add(P a, P b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
P Sub(P a, P b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P Mul(P a, double s) { return {a.x * s, a.y * s, a.z * s}; }
P Cross(P a, P b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
P Unit(P a) { return Mul(a, 1 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z)); }

P Curve(double t) {
  const double r = 2 + std::cos(3 * t);
  return {80 * r * std::cos(2 * t), 80 * std::sin(3 * t), 80 * r * std::sin(2 * t)};
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_torus_knot OUT.obj [segments sides]\n");
    return 2;
  }
  const int segments = argc == 4 ? std::atoi(argv[2]) : 500, sides = argc == 4 ? std::atoi(argv[3]) : 250;
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr || segments < 3 || sides < 3) return 1;
  const double pi = 3.14159265358979323846;
  std::fprintf(out, "o knot\n");
  for (int i = 0; i <= segments; ++i) {
    const double t = 2 * pi * i / segments;
    const P c = Curve(t), tangent = Unit(Sub(Curve(t + 1e-4), Curve(t - 1e-4)));
    const P n = Unit(Cross(tangent, P{0, 1, 0.3})), b = Cross(tangent, n);
    for (int j = 0; j <= sides; ++j) {
      const double a = 2 * pi * j / sides;
      const P p = Add(c, Add(Mul(n, 30 * std::cos(a)), Mul(b, 30 * std::sin(a))));
      std::fprintf(out, "v %.4f %.4f %.4f\nvt %.6f %.6f\n", p.x, p.y, p.z, double(i) / segments, double(j) / sides);
    }
  }
  for (int i = 0; i < segments; ++i)
    for (int j = 0; j < sides; ++j) {
      const int a = i * (sides + 1) + j + 1, b = a + sides + 1;
      // Counter-clockwise seen from outside the tube.
      std::fprintf(out, "f %d/%d %d/%d %d/%d %d/%d\n", a, a, b, b, b + 1, b + 1, a + 1, a + 1);
    }
  return std::fclose(out) == 0 ? 0 : 1;
}
