// Random bits for names no one can guess.
#pragma once

#include <cstdint>

namespace qc {

// 64 bits no one can guess, cheaply: one generator per thread, seeded from the system's random
// source. Names made from them only have to be unguessable; exclusive creation does the rest.
std::uint64_t UnpredictableNumber();

}  // namespace qc
