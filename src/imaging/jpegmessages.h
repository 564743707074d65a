#pragma once

// libjpeg's messages in Polish: one table of the codes the program can meet (damaged and unsupported
// files, the decoder's and encoder's limits); any other code keeps libjpeg's own text after a Polish lead.
// Safe inside libjpeg's error callback: no allocation, nothing that needs destroying.

#include <cstddef>

namespace velmora {

// A decoder that runs out of data, whichever way it notices.
inline constexpr char kJpegEndsEarly[] = "Plik JPEG urywa się przed końcem obrazu";

// Writes the message for libjpeg's code into out (NUL-terminated, cut at size): the table's text filled
// with libjpeg's integer parameters, or "Błąd JPEG: " and the original text.
void polishJpegMessage(int code, const int* params, const char* original, char* out, std::size_t size);

}  // namespace velmora
