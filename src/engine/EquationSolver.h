#pragma once
// Real roots of polynomials up to the third degree: p[3]·x³ + p[2]·x² + p[1]·x + p[0] = 0.

// Roots of p[2]·x² + p[1]·x + p[0]; writes up to two roots and returns how many there are.
int squareZero(const double* p, double* roots);
// Roots of the cubic (falls back to squareZero when p[3] is 0); writes up to three roots.
int cubeZero(const double* p, double* roots);
// The real cube root, sign kept.
double cubeRoot(double x);
// The smallest positive root of the cubic, or 1000.0 when there is none below 1000.
double smallestRoot(const double* p);
