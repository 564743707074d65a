#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmora {

// Base of every error the imaging core raises; the message is the text a user sees.
class ImagingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "W x H pikseli", as every message about a picture's size writes it.
inline std::string pixelSizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pikseli";
}

// "Brak pamięci na obraz W x H pikseli": a picture of that size could not be held.
inline std::string noMemoryForImageText(std::int64_t width, std::int64_t height) {
  return "Brak pamięci na obraz " + pixelSizeText(width, height);
}

}  // namespace velmora
