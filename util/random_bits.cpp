#include "util/random_bits.h"

#include <chrono>
#include <thread>

#include "util/system.h"

namespace qc {

std::uint64_t UnpredictableNumber() {
  thread_local std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (!sys::RandomBytes(&seed, sizeof seed)) {
      // No system random source: the clock and addresses still make collisions unlikely, and
      // exclusive creation keeps even a guessed name harmless.
      seed =
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          reinterpret_cast<std::uintptr_t>(&seed) ^
          std::hash<std::thread::id>{}(std::this_thread::get_id());
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
