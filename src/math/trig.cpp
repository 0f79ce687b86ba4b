// Placeholder-free for now: the C library's functions. Replaced by the
// plug-in's own reduction and polynomials so every platform agrees.
#include <cmath>

#include "math/vecmath.h"

double Cosine(double angle) { return std::cos(angle); }
double Sine(double angle) { return std::sin(angle); }
