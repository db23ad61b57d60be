// The string both sides of compressed RTF start their dictionary with (MS-OXRTFCP).
#pragma once

#include <cstddef>
#include <string_view>

namespace qc::mapi::rtf {

constexpr std::string_view kInitialDictionary =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kInitialDictionary.size() == 207);

constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kDictionaryMask = kDictionarySize - 1;
// A reference holds its length less 2 in four bits.
constexpr std::size_t kMinMatch = 2;
constexpr std::size_t kMaxMatch = 17;

}  // namespace qc::mapi::rtf
