// How a value of the property model is stored in a property or table context: four bytes or
// fewer in place, everything else as bytes in the heap or, when large, in a subnode.
#pragma once

#include <cstdint>
#include <optional>

#include "mapi/property.h"

namespace qc::mapi::pst {

// A value in its stored form (as EncodeValue() gives it) under its tag. The bytes belong to
// whoever made the cell and must outlive it.
struct Cell {
  std::uint32_t tag = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint16_t id() const { return static_cast<std::uint16_t>(tag >> 16); }
  std::uint16_t type() const { return static_cast<std::uint16_t>(tag & 0xFFFF); }
};

// The size of a value kept in place in a table row (1, 2, 4 or 8), or 0 for the variable-size
// types that a row refers to by HNID.
std::uint8_t RowCellSize(std::uint16_t type);

// True for the types whose value a property context keeps in dwValueHnid itself.
bool StoredInPlace(std::uint16_t type);

// The value as stored: little-endian for numbers, UTF-16LE for strings, the MS-PST layout for
// multi-valued types. Nothing for a value that does not match `type`, for an object, and for
// data given as a ByteSource (which is copied in pieces instead).
std::optional<Bytes> EncodeValue(std::uint16_t type, const PropValue& value);
// The same appended to `out`; false, with `out` as it was, where EncodeValue() gives nothing.
bool AppendEncoded(std::uint16_t type, const PropValue& value, Bytes& out);

// The in-place form (dwValueHnid) of a value for which StoredInPlace() is true.
std::uint32_t InPlaceValue(const Bytes& encoded);

}  // namespace qc::mapi::pst
