#include "imaging/jpegmessages.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace velmora {

namespace {

struct Message {
  int code;
  const char* text;  // printf form over up to four of libjpeg's integer parameters
};

constexpr Message kMessages[] = {
    {JERR_NO_SOI, "To nie jest plik JPEG (zaczyna się od 0x%02x 0x%02x)"},
    {JERR_INPUT_EMPTY, "Plik jest pusty"},
    {JERR_INPUT_EOF, kJpegEndsEarly},
    {JWRN_JPEG_EOF, kJpegEndsEarly},
    {JWRN_HIT_MARKER, "Uszkodzone dane JPEG: segment danych obrazu kończy się przedwcześnie"},
    {JWRN_HUFF_BAD_CODE, "Uszkodzone dane JPEG: błędny kod Huffmana"},
    {JWRN_ARITH_BAD_CODE, "Uszkodzone dane JPEG: błędny kod arytmetyczny"},
    {JWRN_MUST_RESYNC, "Uszkodzone dane JPEG: znacznik 0x%02x zamiast RST%d"},
    {JWRN_BOGUS_PROGRESSION, "Uszkodzone dane JPEG: niespójna kolejność skanów (składowa %d, współczynnik %d)"},
    {JWRN_EXTRANEOUS_DATA, "Uszkodzone dane JPEG: %d nadmiarowych bajtów przed znacznikiem 0x%02x"},
    {JERR_BAD_LENGTH, "Uszkodzony plik JPEG: błędna długość segmentu"},
    {JERR_UNKNOWN_MARKER, "Uszkodzony plik JPEG: nieznany znacznik 0x%02x"},
    {JERR_SOI_DUPLICATE, "Uszkodzony plik JPEG: dwa znaczniki SOI"},
    {JERR_SOF_DUPLICATE, "Uszkodzony plik JPEG: dwa znaczniki SOF"},
    {JERR_SOS_NO_SOF, "Uszkodzony plik JPEG: skan (SOS) przed nagłówkiem obrazu (SOF)"},
    {JERR_EOI_EXPECTED, "Uszkodzony plik JPEG: więcej niż jeden skan"},
    {JERR_NO_IMAGE, "Plik JPEG nie zawiera obrazu"},
    {JERR_EMPTY_IMAGE, "Pusty obraz JPEG (DNL nie jest obsługiwany)"},
    {JERR_NO_HUFF_TABLE, "Uszkodzony plik JPEG: brak tablicy Huffmana 0x%02x"},
    {JERR_NO_QUANT_TABLE, "Uszkodzony plik JPEG: brak tablicy kwantyzacji 0x%02x"},
    {JERR_BAD_HUFF_TABLE, "Uszkodzony plik JPEG: błędna tablica Huffmana"},
    {JERR_DHT_INDEX, "Uszkodzony plik JPEG: błędny numer tablicy Huffmana %d"},
    {JERR_DQT_INDEX, "Uszkodzony plik JPEG: błędny numer tablicy kwantyzacji %d"},
    {JERR_DAC_INDEX, "Uszkodzony plik JPEG: błędny numer tablicy arytmetycznej %d"},
    {JERR_DAC_VALUE, "Uszkodzony plik JPEG: błędna wartość tablicy arytmetycznej 0x%x"},
    {JERR_BAD_COMPONENT_ID, "Uszkodzony plik JPEG: nieznana składowa %d w skanie"},
    {JERR_BAD_SAMPLING, "Uszkodzony plik JPEG: błędne współczynniki próbkowania"},
    {JERR_BAD_MCU_SIZE, "Uszkodzony plik JPEG: za duże współczynniki próbkowania"},
    {JERR_BAD_PROGRESSION, "Uszkodzony plik JPEG: błędne parametry skanu progresywnego (Ss=%d Se=%d Ah=%d Al=%d)"},
    {JERR_BAD_J_COLORSPACE, "Nieobsługiwana przestrzeń barw pliku JPEG"},
    {JERR_CONVERSION_NOTIMPL, "Nieobsługiwana zamiana przestrzeni barw"},
    {JERR_COMPONENT_COUNT, "Za dużo składowych koloru: %d (najwyżej %d)"},
    {JERR_SOF_UNSUPPORTED, "Nieobsługiwany rodzaj pliku JPEG (SOF 0x%02x)"},
    {JERR_BAD_PRECISION, "Nieobsługiwana dokładność danych JPEG: %d bitów"},
    {JERR_ARITH_NOTIMPL, "Kodowanie arytmetyczne nie jest obsługiwane"},
    {JERR_IMAGE_TOO_BIG, "Obraz jest za duży (najwyżej %d pikseli w boku)"},
    {JERR_WIDTH_OVERFLOW, "Obraz jest za szeroki"},
    {JERR_OUT_OF_MEMORY, "Brak pamięci dla dekodera JPEG (%d)"},
};

}  // namespace

void polishJpegMessage(int code, const int* params, const char* original, char* out, std::size_t size) {
  if (size == 0) return;
  for (const Message& message : kMessages) {
    if (message.code != code) continue;
    // The table's texts take their parameters in libjpeg's order, as its own texts do.
    std::snprintf(out, size, message.text, params[0], params[1], params[2], params[3]);
    return;
  }
  std::snprintf(out, size, "Błąd JPEG: %s", original);
}

}  // namespace velmora
