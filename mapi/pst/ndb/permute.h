// The permutation that Outlook applies to the bytes of every data block (NDB_CRYPT_PERMUTE):
// an obfuscation, not encryption, and the default for new stores.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qc::mapi::pst {

void PermuteEncode(std::uint8_t* data, std::size_t size);
// Encodes `size` bytes of `from` into `to`.
void PermuteEncode(const std::uint8_t* from, std::uint8_t* to, std::size_t size);
void PermuteDecode(std::uint8_t* data, std::size_t size);

}  // namespace qc::mapi::pst
