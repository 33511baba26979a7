#include "lintra/algorithm.h"

namespace LINTRA_ALGORITHM {

namespace {

// Grid parameter of index k: k/40 rounded to single precision, as every
// peer computes it, so grids built here and elsewhere agree to the bit.
inline double Param(int k) { return static_cast<float>(k / 40.0); }

}  // namespace

void CalcVertexValue_9(const double xs[9], const double ys[9], DOUBLE_POINT grid[41][41]) {
    // Local copies: the controls may have been read out of this very grid.
    double cx[9], cy[9];
    for (int k = 0; k < 9; ++k) {
        cx[k] = xs[k];
        cy[k] = ys[k];
    }
    for (int i = 0; i <= 40; ++i) {
        const double u = Param(i);
        const double U = 1.0 - u;
        const double bu[3] = {U * U, 2.0 * u * U, u * u};
        for (int j = 0; j <= 40; ++j) {
            const double v = Param(j);
            const double V = 1.0 - v;
            const double bv[3] = {V * V, 2.0 * v * V, v * v};
            const double w[9] = {
                bu[0] * bv[0], bu[2] * bv[0], bu[2] * bv[2], bu[0] * bv[2],  // corners
                bu[1] * bv[0], bu[2] * bv[1], bu[1] * bv[2], bu[0] * bv[1],  // edge middles
                bu[1] * bv[1],                                               // centre
            };
            double x = 0.0, y = 0.0;
            for (int k = 0; k < 9; ++k) {
                x += w[k] * cx[k];
                y += w[k] * cy[k];
            }
            grid[i][j].x = x;
            grid[i][j].y = y;
        }
    }
}

void CalcVertexValue_9(const DOUBLE_POINT controls[9], DOUBLE_POINT grid[41][41]) {
    double xs[9], ys[9];
    for (int k = 0; k < 9; ++k) {
        xs[k] = controls[k].x;
        ys[k] = controls[k].y;
    }
    CalcVertexValue_9(xs, ys, grid);
}

void CalcVertexValue_4(const DOUBLE_POINT corners[4], DOUBLE_POINT grid[41][41]) {
    const DOUBLE_POINT c[4] = {corners[0], corners[1], corners[2], corners[3]};
    grid[0][0] = c[0];
    grid[40][0] = c[1];
    grid[40][40] = c[2];
    grid[0][40] = c[3];

    // Borders in 40 equal steps; the corners themselves stay exact.
    auto lerp = [](double a, double b, int k) { return a + k * (b - a) / 40.0; };
    for (int k = 1; k < 40; ++k) {
        grid[k][0] = {lerp(c[0].x, c[1].x, k), lerp(c[0].y, c[1].y, k)};    // bottom
        grid[k][40] = {lerp(c[3].x, c[2].x, k), lerp(c[3].y, c[2].y, k)};   // top
        grid[0][k] = {lerp(c[0].x, c[3].x, k), lerp(c[0].y, c[3].y, k)};    // left
        grid[40][k] = {lerp(c[1].x, c[2].x, k), lerp(c[1].y, c[2].y, k)};   // right
    }

    // Inside: x between the left and right borders, y between bottom and top.
    for (int i = 1; i < 40; ++i) {
        for (int j = 1; j < 40; ++j) {
            grid[i][j].x = lerp(grid[0][j].x, grid[40][j].x, i);
            grid[i][j].y = lerp(grid[i][0].y, grid[i][40].y, j);
        }
    }
}

void CalcVertexValue_4(const double xs[4], const double ys[4], DOUBLE_POINT grid[41][41]) {
    const DOUBLE_POINT corners[4] = {{xs[0], ys[0]}, {xs[1], ys[1]}, {xs[2], ys[2]}, {xs[3], ys[3]}};
    CalcVertexValue_4(corners, grid);
}

}  // namespace LINTRA_ALGORITHM
