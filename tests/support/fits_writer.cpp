#include "support/fits_writer.h"

#include <fitsio.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace quillon::testing {

namespace {

void Check(int status, const char* what) {
  if (status == 0) return;
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  throw std::runtime_error(std::string("CFITSIO ") + what + ": " + text);
}

template <typename T>
std::vector<T> Converted(const std::vector<double>& values) {
  std::vector<T> out;
  out.reserve(values.size());
  for (double v : values) out.push_back(static_cast<T>(v));
  return out;
}

}  // namespace

void WriteFits(const std::filesystem::path& path, const FitsImage& image) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  fitsfile* file = nullptr;
  int status = 0;
  fits_create_file(&file, path.string().c_str(), &status);
  Check(status, "create");
  long naxes[2] = {static_cast<long>(image.raw.size()), 1};
  int naxis = 1;
  if (image.naxis2 > 0) {
    naxes[0] = static_cast<long>(image.raw.size()) / image.naxis2;
    naxes[1] = image.naxis2;
    naxis = 2;
  }
  fits_create_img(file, image.bitpix, naxis, naxes, &status);
  if (image.bzero) {
    double v = *image.bzero;
    fits_write_key(file, TDOUBLE, "BZERO", &v, "offset of the stored values", &status);
  }
  if (image.bscale) {
    double v = *image.bscale;
    fits_write_key(file, TDOUBLE, "BSCALE", &v, "scale of the stored values", &status);
  }
  if (image.object) {
    fits_write_key(file, TSTRING, "OBJECT", const_cast<char*>(image.object->c_str()), "target", &status);
  }
  if (image.crval1) {
    double v = *image.crval1;
    fits_write_key(file, TDOUBLE, "CRVAL1", &v, "wavelength of pixel 0", &status);
  }
  if (image.cd1_1) {
    double v = *image.cd1_1;
    fits_write_key(file, TDOUBLE, "CD1_1", &v, "Angstroms per pixel", &status);
  }
  for (const std::string& card : image.extra_cards) fits_write_record(file, card.c_str(), &status);
  Check(status, "keywords");
  // The values are the stored ones: no scaling on the way out.
  fits_set_bscale(file, 1.0, 0.0, &status);
  const auto count = static_cast<LONGLONG>(image.raw.size());
  if (count > 0) {
    switch (image.bitpix) {
      case 8: {
        auto v = Converted<unsigned char>(image.raw);
        fits_write_img(file, TBYTE, 1, count, v.data(), &status);
        break;
      }
      case 16: {
        auto v = Converted<short>(image.raw);
        fits_write_img(file, TSHORT, 1, count, v.data(), &status);
        break;
      }
      case 32: {
        auto v = Converted<int>(image.raw);
        fits_write_img(file, TINT, 1, count, v.data(), &status);
        break;
      }
      case -32: {
        auto v = Converted<float>(image.raw);
        fits_write_img(file, TFLOAT, 1, count, v.data(), &status);
        break;
      }
      case -64: {
        auto v = image.raw;
        fits_write_img(file, TDOUBLE, 1, count, v.data(), &status);
        break;
      }
      default:
        throw std::runtime_error("unsupported BITPIX for the test writer");
    }
  }
  Check(status, "data");
  fits_close_file(file, &status);
  Check(status, "close");
}

void WriteEmptyPrimaryWithTable(const std::filesystem::path& path, int primary_bitpix,
                                const std::vector<std::string>& primary_cards, const std::vector<double>& wavelength,
                                const std::vector<double>& flux) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  fitsfile* file = nullptr;
  int status = 0;
  fits_create_file(&file, path.string().c_str(), &status);
  Check(status, "create");
  fits_create_img(file, primary_bitpix, 0, nullptr, &status);
  for (const std::string& card : primary_cards) fits_write_record(file, card.c_str(), &status);
  Check(status, "primary");
  char name1[] = "WAVELENGTH", name2[] = "FLUX", form[] = "1D", unit1[] = "Angstrom", unit2[] = "erg/s/cm2/A";
  char* names[] = {name1, name2};
  char* forms[] = {form, form};
  char* units[] = {unit1, unit2};
  char extname[] = "SPECTRUM";
  fits_create_tbl(file, BINARY_TBL, static_cast<LONGLONG>(flux.size()), 2, names, forms, units, extname, &status);
  std::vector<double> w = wavelength, f = flux;
  fits_write_col(file, TDOUBLE, 1, 1, 1, static_cast<LONGLONG>(w.size()), w.data(), &status);
  fits_write_col(file, TDOUBLE, 2, 1, 1, static_cast<LONGLONG>(f.size()), f.data(), &status);
  Check(status, "table");
  fits_close_file(file, &status);
  Check(status, "close");
}

std::string Card(std::string_view text) {
  std::string card(text.substr(0, 80));
  card.resize(80, ' ');
  return card;
}

std::string HeaderBlocks(const std::vector<std::string>& cards, bool with_end) {
  std::string text;
  for (const std::string& card : cards) text += Card(card);
  if (with_end) text += Card("END");
  text.resize((text.size() + 2879) / 2880 * 2880, ' ');
  return text;
}

std::string BigEndianSamples(int bitpix, const std::vector<double>& values) {
  std::string out;
  auto put = [&out](uint64_t word, int bytes) {
    for (int k = bytes - 1; k >= 0; --k) out += static_cast<char>((word >> (8 * k)) & 0xFF);
  };
  for (double v : values) {
    switch (bitpix) {
      case 16: put(static_cast<uint16_t>(static_cast<int16_t>(v)), 2); break;
      case 32: put(static_cast<uint32_t>(static_cast<int32_t>(v)), 4); break;
      case -32: put(std::bit_cast<uint32_t>(static_cast<float>(v)), 4); break;
      case -64: put(std::bit_cast<uint64_t>(v), 8); break;
      default: throw std::runtime_error("unsupported BITPIX for BigEndianSamples");
    }
  }
  return out;
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteImageExtensions(const std::filesystem::path& path, const std::vector<ImageExtension>& extensions) {
  std::string bytes = HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                    8",
                                    "NAXIS   =                    0", "EXTEND  =                    T"});
  for (const ImageExtension& extension : extensions) {
    std::vector<double> flux(100);
    for (std::size_t i = 0; i < flux.size(); ++i) flux[i] = 50 + 10 * static_cast<double>(i % 9);
    bytes += HeaderBlocks({"XTENSION= 'IMAGE   '", "BITPIX  =                  -32", "NAXIS   =                    1",
                           "NAXIS1  =                  100", "PCOUNT  =                    0",
                           "GCOUNT  =                    1", "EXTNAME = '" + extension.extname + "'",
                           "CTYPE1  = 'WAVE    '", "CUNIT1  = 'Angstrom'", "CRPIX1  =                  1.0",
                           "CRVAL1  = " + std::to_string(extension.start), "CDELT1  =                  2.0",
                           "BUNIT   = 'erg/s/cm2/A'"});
    std::string data = BigEndianSamples(-32, flux);
    data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    bytes += data;
  }
  WriteBytes(path, bytes);
}

}  // namespace quillon::testing
