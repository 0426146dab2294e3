// Random deviates: the seeded uniform generator and Gaussian deviates made from it.
#pragma once

#include <cstdint>

namespace zorvi::random {

// The uniform generator's program-wide state.
struct UniformState {
    std::uint32_t shift_state = 0xFFFFFFFFu;  // xorshift component, a bit pattern
    std::int32_t congruential_state = -1;     // negative: not initialised
    float scale = 0.0f;                       // maps the 31-bit integer into (0, 1)
};

// The Gaussian generator's program-wide state.
struct GaussianState {
    bool has_saved = false;
    double saved_deviate = 0.0;
    std::int32_t draw_word = 1;  // the seed word passed to ran() on every draw
};

// Uniform deviate in the open interval (0, 1). A seed word <= 0, or an uninitialised
// generator, (re)initialises the state from |seed| and sets seed to |seed| + 1; otherwise the
// seed word is only read. Every call advances the state by one step.
float ran(std::int32_t& seed);

// The seed word that ranseed() passes to ran().
inline constexpr std::int32_t fixed_seed = -206761862;  // bit pattern 0xF3AD107A

// Seeds the generator with `seed_word` (the program's fixed seed by default) and consumes one
// step.
void ranseed(std::int32_t seed_word = fixed_seed);

// Standard normal deviate by the polar method; the second deviate of each pair is kept for
// the next call.
void gasdev(double& deviate);

// Inspection and reset, for tests and benchmarks.
UniformState uniform_state();
void reset_uniform_state();
GaussianState gaussian_state();
void reset_gaussian_state();

}  // namespace zorvi::random
