#pragma once

#include <stdexcept>

namespace velmora {

// Base of every error the imaging core raises; the message is the text a user sees.
class ImagingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velmora
