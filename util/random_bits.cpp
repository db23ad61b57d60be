#include "util/random_bits.h"

#include <sys/random.h>
#include <unistd.h>

#include <ctime>

namespace qc {

std::uint64_t UnpredictableNumber() {
  thread_local std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
      // No system random source: the clock and addresses still make collisions unlikely, and
      // exclusive creation keeps even a guessed name harmless.
      timespec now{};
      ::clock_gettime(CLOCK_MONOTONIC, &now);
      seed = static_cast<std::uint64_t>(now.tv_nsec) ^
             (static_cast<std::uint64_t>(now.tv_sec) << 32) ^
             reinterpret_cast<std::uintptr_t>(&seed) ^ static_cast<std::uint64_t>(::getpid());
    }
    return seed;
  }();
  // splitmix64
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace qc
