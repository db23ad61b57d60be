// The HTML and plain texts every encapsulation check runs on, ours and the independent
// readers' alike.
#pragma once

#include <string>
#include <vector>

namespace qc::mapi::rtf::testing {

struct Sample {
  std::string name;
  std::string content;  // UTF-8
};

std::vector<Sample> HtmlSamples();
std::vector<Sample> TextSamples();

}  // namespace qc::mapi::rtf::testing
