#include "mapi/check/pst/findings.h"

#include <algorithm>
#include <cstdio>

namespace qc::mapi::pst::check {

namespace {
constexpr std::size_t kMaxFindings = 500;
}

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kHeader:
      return "header";
    case Fault::kHeaderCrc:
      return "header CRC";
    case Fault::kPage:
      return "page";
    case Fault::kPageCrc:
      return "page CRC";
    case Fault::kBTree:
      return "B-tree";
    case Fault::kBlock:
      return "block";
    case Fault::kBlockCrc:
      return "block CRC";
    case Fault::kMissingBlock:
      return "missing block";
    case Fault::kReferenceCount:
      return "reference count";
    case Fault::kAllocationMap:
      return "allocation map";
    case Fault::kDataTree:
      return "data tree";
    case Fault::kSubnodeTree:
      return "subnode tree";
    case Fault::kIdentifiers:
      return "identifiers";
    case Fault::kHeap:
      return "heap";
    case Fault::kBth:
      return "BTH";
    case Fault::kPropertyContext:
      return "property context";
    case Fault::kTableContext:
      return "table context";
    case Fault::kMandatoryNode:
      return "mandatory node";
    case Fault::kStore:
      return "message store";
    case Fault::kNameToIdMap:
      return "Name-to-ID map";
    case Fault::kFolder:
      return "folder";
    case Fault::kMessage:
      return "message";
  }
  return "?";
}

void Findings::add(Fault fault, std::string where) {
  if (findings_.size() >= kMaxFindings) {
    ++dropped_;
    return;
  }
  findings_.push_back({fault, std::move(where)});
}

bool Findings::has(Fault fault) const {
  return std::any_of(findings_.begin(), findings_.end(),
                     [fault](const Finding& f) { return f.fault == fault; });
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace qc::mapi::pst::check
