// File-system helpers of the conversion.
#pragma once

#include <string>
#include <string_view>

namespace qc {

// Creates every missing folder of `path`, the last name included (a trailing separator is
// implied). True when the whole path exists as folders afterwards. On failure `why`, when given,
// receives the reason with the path that could not be made; nothing created earlier is removed.
bool EnsureFolderPath(std::string_view path, std::string* why = nullptr);

}  // namespace qc
