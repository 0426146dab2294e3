// The uniform generator: an xorshift component and a multiplicative congruential component
// (16807 modulo 2^31 - 1, by Schrage's decomposition), combined by XOR.
#include <bit>
#include <cassert>
#include <cstdint>

#include "random/random.hpp"

namespace zorvi::random {

namespace {

UniformState state;

constexpr std::uint32_t scale_bits = 0x2FFFFFFFu;  // (2^24 - 1) * 2^-55, just below 1 / (2^31 - 1)
constexpr std::uint32_t congruential_mask = 888889999u;  // 0x34FB628F
constexpr std::uint32_t shift_mask = 777755555u;         // 0x2E5B9BA3
constexpr std::int32_t multiplier = 16807;
constexpr std::int32_t modulus = 2147483647;  // 2^31 - 1
constexpr std::int32_t schrage_q = 127773;    // modulus / multiplier
constexpr std::int32_t schrage_r = 2836;      // modulus % multiplier

// scale * n rounded once to single precision. The exact product of the 24-bit significand of
// scale and the 31-bit n fits in 55 bits; one integer-to-float conversion rounds it once, and
// the power-of-two scaling afterwards is exact for every normal result.
// Precondition: scale is a positive normal float with a biased exponent above 23.
float scaled_deviate(float scale, std::uint32_t n) {
    const auto bits = std::bit_cast<std::uint32_t>(scale);
    const std::uint32_t biased_exponent = (bits >> 23) & 0xFFu;
    assert(biased_exponent > 23u && biased_exponent < 0xFFu);
    const std::uint64_t significand = (bits & 0x7FFFFFu) | 0x800000u;
    const auto product = static_cast<float>(significand * n);
    // 2^(exponent of scale - 23), built from its bits.
    const auto power = std::bit_cast<float>((biased_exponent - 23u) << 23);
    return product * power;
}

void initialise(std::int32_t& seed) {
    state.scale = std::bit_cast<float>(scale_bits);
    // |seed| in 32-bit two's complement: -2147483648 stays -2147483648.
    const auto word = static_cast<std::uint32_t>(seed);
    const std::uint32_t a = seed < 0 ? 0u - word : word;
    state.congruential_state = static_cast<std::int32_t>((a ^ congruential_mask) | 1u);
    state.shift_state = a ^ shift_mask;
    seed = static_cast<std::int32_t>(a + 1u);
}

}  // namespace

float ran(std::int32_t& seed) {
    if (seed <= 0 || state.congruential_state < 0) initialise(seed);

    std::uint32_t x = state.shift_state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state.shift_state = x;

    // 16807 * state mod (2^31 - 1) with no intermediate wider than 32 bits.
    const std::int32_t k = state.congruential_state / schrage_q;
    std::int32_t next = multiplier * (state.congruential_state - k * schrage_q) - schrage_r * k;
    if (next < 0) next += modulus;
    state.congruential_state = next;

    const std::uint32_t n =
        ((x ^ static_cast<std::uint32_t>(state.congruential_state)) & 0x7FFFFFFFu) | 1u;
    return scaled_deviate(state.scale, n);
}

void ranseed(std::int32_t seed_word) {
    (void)ran(seed_word);
}

UniformState uniform_state() {
    return state;
}

void reset_uniform_state() {
    state = UniformState{};
}

}  // namespace zorvi::random
