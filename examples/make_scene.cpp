// Writes the bundled example scene, examples/scene.obj: a gently rolling
// ground with a sphere, a box and a ring standing on it, at the host's usual
// scale of hundreds of units, every object UV-mapped. Baking the ground shows
// the objects' shadows and the occlusion where they meet it.
//
//   make_scene OUT.obj
//
// Faces are written counter-clockwise seen from outside, as OBJ expects.
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct P3 {
  double x, y, z;
};

P3 Sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 Cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Writer {
  FILE* out;
  int vertices = 0, uvs = 0;

  int Vertex(P3 p) {
    std::fprintf(out, "v %.4f %.4f %.4f\n", p.x, p.y, p.z);
    return ++vertices;
  }
  int Uv(double u, double v) {
    std::fprintf(out, "vt %.6f %.6f\n", u, v);
    return ++uvs;
  }
  // A quad whose corners are turned, if needed, so that it faces `outward`.
  void Quad(const int (&v)[4], const int (&t)[4], const P3 (&p)[4], P3 outward) {
    const bool flip = Dot(Cross(Sub(p[1], p[0]), Sub(p[2], p[0])), outward) < 0;
    std::fprintf(out, "f");
    for (int k = 0; k < 4; ++k) {
      const int i = flip ? 3 - k : k;
      std::fprintf(out, " %d/%d", v[i], t[i]);
    }
    std::fprintf(out, "\n");
  }
};

// A grid of (rows + 1) x (columns + 1) points given by `at(s, t)` with s, t
// in [0, 1], UV-mapped over the unit square; each quad faces away from
// `inside(s, t)`.
template <typename At, typename Outward>
void Grid(Writer& w, int rows, int columns, At at, Outward outward) {
  std::vector<int> v, t;
  std::vector<P3> p;
  for (int i = 0; i <= rows; ++i)
    for (int j = 0; j <= columns; ++j) {
      const double s = double(j) / columns, r = double(i) / rows;
      p.push_back(at(s, r));
      v.push_back(w.Vertex(p.back()));
      t.push_back(w.Uv(s, r));
    }
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < columns; ++j) {
      const int a = i * (columns + 1) + j, b = a + 1, c = a + columns + 2, d = a + columns + 1;
      const P3 corners[4] = {p[a], p[b], p[c], p[d]};
      const P3 centre{(p[a].x + p[c].x) / 2, (p[a].y + p[c].y) / 2, (p[a].z + p[c].z) / 2};
      w.Quad({v[a], v[b], v[c], v[d]}, {t[a], t[b], t[c], t[d]}, corners,
             outward(centre, (j + 0.5) / columns, (i + 0.5) / rows));
    }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_scene OUT.obj\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  Writer w{out};
  std::fprintf(out, "# Tamsink example scene, written by examples/make_scene.cpp\n");

  std::fprintf(out, "o ground\n");
  Grid(w, 64, 64,
       [](double s, double t) {
         const double x = -300 + 600 * s, z = -300 + 600 * t;
         return P3{x, 6 * std::sin(x / 40) * std::cos(z / 55), z};
       },
       [](P3, double, double) { return P3{0, 1, 0}; });

  std::fprintf(out, "o sphere\n");
  const P3 ball{-90, 68, 10};
  Grid(w, 32, 64,
       [&](double s, double t) {
         const double theta = kPi * t, phi = 2 * kPi * s;
         return P3{ball.x + 60 * std::sin(theta) * std::cos(phi), ball.y + 60 * std::cos(theta),
                   ball.z + 60 * std::sin(theta) * std::sin(phi)};
       },
       [&](P3 c, double, double) { return Sub(c, ball); });

  std::fprintf(out, "o box\n");
  // Six faces, each with its own four corners, turned 30 degrees about y.
  const P3 boxCentre{95, 52, -70};
  const double a = kPi / 6, h = 45;
  auto boxPoint = [&](double x, double y, double z) {
    return P3{boxCentre.x + x * std::cos(a) - z * std::sin(a), boxCentre.y + y,
              boxCentre.z + x * std::sin(a) + z * std::cos(a)};
  };
  for (int axis = 0; axis < 3; ++axis)
    for (const double side : {-1.0, 1.0})
      Grid(w, 1, 1,
           [&](double s, double t) {
             const double u = (2 * s - 1) * h, v = (2 * t - 1) * h, n = side * h;
             if (axis == 0) return boxPoint(n, v, u);
             if (axis == 1) return boxPoint(u, n, v);
             return boxPoint(u, v, n);
           },
           [&](P3 c, double, double) { return Sub(c, boxCentre); });

  std::fprintf(out, "o ring\n");
  const P3 ringCentre{70, 62, 110};
  Grid(w, 24, 48,
       [&](double s, double t) {
         const double phi = 2 * kPi * s, theta = 2 * kPi * t, r = 40 + 14 * std::cos(theta);
         // Standing upright in the x-y plane.
         return P3{ringCentre.x + r * std::cos(phi), ringCentre.y + r * std::sin(phi),
                   ringCentre.z + 14 * std::sin(theta)};
       },
       [&](P3 c, double s, double) {
         const double phi = 2 * kPi * s;
         const P3 core{ringCentre.x + 40 * std::cos(phi), ringCentre.y + 40 * std::sin(phi), ringCentre.z};
         return Sub(c, core);
       });

  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
