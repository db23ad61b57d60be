#include "convert/form.h"

#include <algorithm>
#include <initializer_list>

namespace qc {

namespace {

std::string_view Prefix(Form form) {
  return form == Form::MSG ? "Email-" : "email-";
}

std::string_view Extension(Form form) {
  switch (form) {
    case Form::EMLX:
      return ".emlx";
    case Form::MSG:
      return ".msg";
    case Form::EML:
    case Form::PST:
      break;
  }
  return ".eml";
}

std::optional<std::uint64_t> NumberOf(std::string_view name, std::string_view prefix,
                                      std::initializer_list<std::string_view> extensions) {
  if (!name.starts_with(prefix)) return std::nullopt;
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot < prefix.size()) return std::nullopt;
  if (std::find(extensions.begin(), extensions.end(), name.substr(dot)) == extensions.end()) {
    return std::nullopt;
  }
  const std::string_view digits = name.substr(prefix.size(), dot - prefix.size());
  if (digits.empty() || digits.size() > 18 || (digits.size() > 1 && digits[0] == '0') ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoull(std::string(digits));
}

}  // namespace

std::string MessageFileName(Form form, std::size_t j) {
  std::string name(Prefix(form));
  name += std::to_string(j);
  name += Extension(form);
  return name;
}

std::optional<std::uint64_t> MessageFileNumber(Form form, std::string_view name) {
  return form == Form::MSG ? NumberOf(name, Prefix(form), {".msg"})
                           : NumberOf(name, Prefix(form), {".eml", ".emlx"});
}

bool IsOwnMessageFile(Form form, std::string_view name) {
  return MessageFileNumber(form, name) && name.ends_with(Extension(form));
}

}  // namespace qc
