#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace sayvo {

// Uniform numbers in closed ranges from a seeded generator, so a test can
// replay the same sequence. Thread: whoever owns it.
class UniformRandom {
public:
    explicit UniformRandom(std::uint64_t seed) : engine_(seed) {}

    // A number in [low, high], both ends included.
    double next(double low, double high) {
        std::uniform_real_distribution<double> dist(
            low, std::nextafter(high, std::numeric_limits<double>::max()));
        return std::fmin(dist(engine_), high);
    }

private:
    std::mt19937_64 engine_;
};

}  // namespace sayvo
