// Standard normal deviates by the polar method, from pairs of uniform deviates.
#include <cmath>

#include "random/random.hpp"

namespace zorvi::random {

namespace {
GaussianState state;
}  // namespace

void gasdev(double& deviate) {
    if (state.has_saved) {
        deviate = state.saved_deviate;
        state.has_saved = false;
        return;
    }
    // A point strictly inside the unit disc and not at its centre; both uniforms are redrawn
    // after a rejection.
    double v1 = 0.0;
    double v2 = 0.0;
    double rsq = 0.0;
    do {
        const float u1 = ran(state.draw_word);
        const float u2 = ran(state.draw_word);
        v1 = 2.0 * static_cast<double>(u1) - 1.0;
        v2 = 2.0 * static_cast<double>(u2) - 1.0;
        rsq = v1 * v1 + v2 * v2;
    } while (!(rsq > 0.0 && rsq < 1.0));
    const double fac = std::sqrt(-(2.0 * std::log(rsq)) / rsq);
    deviate = v1 * fac;
    state.saved_deviate = v2 * fac;
    state.has_saved = true;
}

GaussianState gaussian_state() {
    return state;
}

void reset_gaussian_state() {
    state = GaussianState{};
}

}  // namespace zorvi::random
