#pragma once

#include <stdexcept>

namespace velmora {

// Ends the running command silently: the handler guard swallows it and shows nothing.
class EAbort : public std::runtime_error {
 public:
  EAbort() : std::runtime_error("Operation aborted") {}
};

}  // namespace velmora
