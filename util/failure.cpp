#include "util/failure.h"

namespace qc {

std::string MessageContext(const MessagePlace& place) {
  return "message " + std::to_string(place.number + 1) + " (offset " +
         std::to_string(place.offset) + ") of '" + place.mailbox + "'";
}

std::string Failure::text() const {
  return place ? MessageContext(*place) + ": " + reason : reason;
}

}  // namespace qc
