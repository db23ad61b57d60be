#include "mapi/import/attachment_props.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace qc::mapi::import {

namespace {
constexpr std::size_t kMaxNameBytes = 200;
}

std::string SafeFileName(std::string_view name) {
  if (const auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      out += ' ';
    } else if (std::strchr(":*?\"<>|", c) != nullptr) {
      out += '_';
    } else {
      out += c;
    }
  }
  const auto first = out.find_first_not_of(' ');
  out.erase(0, first == std::string::npos ? out.size() : first);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.size() > kMaxNameBytes) {
    // Keep the extension and cut the stem on a UTF-8 character boundary.
    const std::string ext = FileExtension(out);
    std::size_t cut = kMaxNameBytes - std::min<std::size_t>(ext.size(), 16);
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out = out.substr(0, cut) + (ext.size() <= 16 ? ext : "");
  }
  return out;
}

std::string FileExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return std::string(name.substr(dot));
}

std::string ShortFileName(std::string_view longName) {
  const std::string ext = FileExtension(longName);
  const std::string_view stem = longName.substr(0, longName.size() - ext.size());
  auto shortChars = [](std::string_view text, std::size_t limit) {
    std::string out;
    for (char c : text) {
      if (out.size() == limit) break;
      const auto u = static_cast<unsigned char>(c);
      if (std::isalnum(u) || std::strchr("!#$%&'()-@^_`{}~", c) != nullptr) {
        out += static_cast<char>(std::toupper(u));
      }
    }
    return out;
  };
  std::string shortStem = shortChars(stem, stem.size());
  const std::string shortExt = ext.empty() ? "" : shortChars(ext.substr(1), 3);
  const bool fits = shortStem.size() == stem.size() && shortStem.size() <= 8 &&
                    shortExt.size() + (ext.empty() ? 0 : 1) == ext.size();
  if (!fits || shortStem.empty()) {
    shortStem = shortStem.substr(0, 6);
    if (shortStem.empty()) shortStem = "ATTACH";
    shortStem += "~1";
  }
  return shortExt.empty() ? shortStem : shortStem + "." + shortExt;
}

std::string ExtensionForType(std::string_view mimeType) {
  static constexpr std::pair<const char*, const char*> kTypes[] = {
      {"text/plain", ".txt"},
      {"text/html", ".htm"},
      {"text/calendar", ".ics"},
      {"text/rfc822-headers", ".txt"},
      {"message/delivery-status", ".txt"},
      {"message/disposition-notification", ".txt"},
      {"message/rfc822", ".eml"},
      {"image/png", ".png"},
      {"image/jpeg", ".jpg"},
      {"image/gif", ".gif"},
      {"image/bmp", ".bmp"},
      {"application/pdf", ".pdf"},
      {"application/zip", ".zip"},
      {"application/pgp-signature", ".asc"},
      {"application/pkcs7-signature", ".p7s"},
      {"application/x-pkcs7-signature", ".p7s"},
      {"application/ms-tnef", ".dat"},
  };
  for (const auto& [type, ext] : kTypes) {
    if (mimeType == type) return ext;
  }
  return ".dat";
}

Attachment MakeByValueAttachment(ByValueAttachment in) {
  using namespace tags;
  Attachment a;
  PropertyBag& p = a.props;
  const auto size = static_cast<std::int32_t>(
      std::min<std::uint64_t>(in.data->size(), std::numeric_limits<std::int32_t>::max()));
  p.set(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  p.set(PR_ATTACH_LONG_FILENAME_W, in.fileName);
  p.set(PR_ATTACH_FILENAME_W, ShortFileName(in.fileName));
  p.set(PR_ATTACH_EXTENSION_W, FileExtension(in.fileName));
  p.set(PR_DISPLAY_NAME_ATTACH_W, in.fileName);
  p.set(PR_ATTACH_MIME_TAG_W, std::move(in.mimeType));
  p.set(PR_ATTACH_SIZE, size);
  if (!in.contentId.empty()) p.set(PR_ATTACH_CONTENT_ID_W, std::move(in.contentId));
  if (!in.contentLocation.empty()) {
    p.set(PR_ATTACH_CONTENT_LOCATION_W, std::move(in.contentLocation));
  }
  p.set(PR_RENDERING_POSITION, std::int32_t{-1});
  p.set(PR_ATTACHMENT_HIDDEN, false);
  p.set(PR_ATTACH_DATA_BIN, std::move(in.data));
  return a;
}

}  // namespace qc::mapi::import
