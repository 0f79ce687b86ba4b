// A UV-mapped (2, 3) torus knot as OBJ text, for whole-bake benchmarks: a
// tube of `segments` x `sides` quads (two triangles each) that occludes
// itself, at the host's scale of hundreds of units. The UVs cover the unit
// square once: u along the knot, v around the tube.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace knot {

struct P {
  double x, y, z;
};
inline P Add(P a, P b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline P Sub(P a, P b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline P Mul(P a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline P Cross(P a, P b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline P Unit(P a) { return Mul(a, 1 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z)); }

inline P Curve(double t) {
  const double r = 2 + std::cos(3 * t);
  return {80 * r * std::cos(2 * t), 80 * std::sin(3 * t), 80 * r * std::sin(2 * t)};
}

// The OBJ text of the knot (about 50 bytes per triangle).
inline std::string TorusKnotObj(int segments, int sides) {
  std::string out = "o knot\n";
  char line[128];
  const double pi = 3.14159265358979323846;
  for (int i = 0; i <= segments; ++i) {
    const double t = 2 * pi * i / segments;
    const P c = Curve(t), tangent = Unit(Sub(Curve(t + 1e-4), Curve(t - 1e-4)));
    const P n = Unit(Cross(tangent, P{0, 1, 0.3})), b = Cross(tangent, n);
    for (int j = 0; j <= sides; ++j) {
      const double a = 2 * pi * j / sides;
      const P p = Add(c, Add(Mul(n, 30 * std::cos(a)), Mul(b, 30 * std::sin(a))));
      std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\nvt %.6f %.6f\n", p.x, p.y, p.z,
                    double(i) / segments, double(j) / sides);
      out += line;
    }
  }
  for (int i = 0; i < segments; ++i)
    for (int j = 0; j < sides; ++j) {
      const int a = i * (sides + 1) + j + 1, b = a + sides + 1;
      // Counter-clockwise seen from outside the tube: from a along the
      // knot's tangent to b, then around the tube, turns about the inward
      // normal, so the corners go the other way round.
      std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d %d/%d\n", a, a, a + 1, a + 1, b + 1,
                    b + 1, b, b);
      out += line;
    }
  return out;
}

}  // namespace knot
