// gzip-compressed files: what they inflate to (one member or several, read
// across the source's chunks) and each refusal.

#include "fits/gzip_source.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "fits/hdu_list.h"
#include "support/fits_writer.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

// One gzip member holding `bytes`, written by zlib's deflate.
std::string Gzip(std::string_view bytes) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, bytes.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(gen());
  return out;
}

std::unique_ptr<GzipSource> Inflate(const std::string& compressed, std::string& reason,
                                    int64_t limit = GzipSource::kMaxInflatedBytes) {
  MemorySource source(reinterpret_cast<const unsigned char*>(compressed.data()), compressed.size());
  return GzipSource::Inflate(source, reason, limit);
}

TEST(GzipSourceTest, InflatesMembersOneAfterAnother) {
  const std::string fits = testing::HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                    8",
                                                  "NAXIS   =                    0"});
  const std::string big = RandomBytes(200000, 1), small = RandomBytes(100000, 2);
  struct Case {
    const char* what;
    std::string compressed;
    std::string inflated;
  };
  const Case cases[] = {
      {"one member", Gzip(fits), fits},
      {"two members", Gzip(big) + Gzip(small), big + small},
      {"zero bytes after the last member", Gzip(fits) + std::string(1000, '\0'), fits},
      {"an empty member", Gzip(""), ""},
      {"an empty member between two", Gzip(small) + Gzip("") + Gzip(fits), small + fits},
  };
  std::mt19937 gen(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string reason;
    const std::unique_ptr<GzipSource> source = Inflate(c.compressed, reason);
    ASSERT_TRUE(source) << reason;
    ASSERT_EQ(source->Size(), static_cast<int64_t>(c.inflated.size()));
    std::string all(c.inflated.size(), '\0');
    std::string error;
    ASSERT_TRUE(source->Read(0, source->Size(), reinterpret_cast<unsigned char*>(all.data()), error)) << error;
    EXPECT_TRUE(all == c.inflated);
    // Ranges anywhere, across the chunks the bytes were inflated into.
    for (int i = 0; i < 200 && !all.empty(); ++i) {
      const auto offset = static_cast<int64_t>(gen() % all.size());
      const auto length = static_cast<int64_t>(gen() % (all.size() - static_cast<std::size_t>(offset) + 1));
      std::string part(static_cast<std::size_t>(length), '\0');
      ASSERT_TRUE(source->Read(offset, length, reinterpret_cast<unsigned char*>(part.data()), error));
      ASSERT_TRUE(part == c.inflated.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)))
          << offset << " + " << length;
    }
    unsigned char byte = 0;
    EXPECT_FALSE(source->Read(source->Size(), 1, &byte, error));
  }
}

TEST(GzipSourceTest, EachFaultHasItsRefusal) {
  const std::string zeros(std::size_t{16} << 20, '\0');
  const std::string mega = RandomBytes(std::size_t{1} << 20, 4);
  const std::string text = RandomBytes(50000, 5);
  std::string corrupt = Gzip(text);
  corrupt[corrupt.size() / 2] ^= 0x55;
  std::string bad_check = Gzip(text);
  bad_check[bad_check.size() - 6] ^= 1;  // the CRC of the trailer
  struct Case {
    const char* what;
    std::string compressed;
    int64_t limit;
    std::string reason;  // "" when it inflates
  };
  const Case cases[] = {
      {"a bomb", Gzip(zeros), int64_t{1} << 20,
       "it would inflate to more than 1048576 bytes, the most that is read of a compressed file"},
      {"a bomb in the second member", Gzip(text) + Gzip(zeros), int64_t{1} << 20, "more than 1048576 bytes"},
      {"exactly the bound", Gzip(mega), int64_t{1} << 20, ""},
      {"one byte beyond the bound", Gzip(mega), (int64_t{1} << 20) - 1, "more than 1048575 bytes"},
      {"a corrupt stream", corrupt, GzipSource::kMaxInflatedBytes, "its compressed data is corrupt ("},
      {"a wrong check value", bad_check, GzipSource::kMaxInflatedBytes,
       "its compressed data is corrupt (incorrect data check)"},
      {"cut short", Gzip(text).substr(0, 1000), GzipSource::kMaxInflatedBytes, "its compressed data ends early"},
      {"cut inside the trailer", Gzip(text).substr(0, Gzip(text).size() - 3), GzipSource::kMaxInflatedBytes,
       "its compressed data ends early"},
      {"other bytes after the last member", Gzip(text) + "tail", GzipSource::kMaxInflatedBytes,
       "it has bytes after its compressed data that are not gzip data"},
      {"a second member's bad header", Gzip(text) + std::string("\x1f\x00rest", 6), GzipSource::kMaxInflatedBytes,
       "its compressed data is corrupt (incorrect header check)"},
      {"not gzip", "SIMPLE  =  T", GzipSource::kMaxInflatedBytes,
       "its compressed data is corrupt (incorrect header check)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string reason;
    const std::unique_ptr<GzipSource> source = Inflate(c.compressed, reason, c.limit);
    EXPECT_EQ(source != nullptr, c.reason.empty()) << reason;
    if (!c.reason.empty()) {
      EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
  }
}

TEST(GzipSourceTest, OpenFitsBytesInflatesByTheSignature) {
  testing::TempDir dir;
  const std::string fits = testing::HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                    8",
                                                  "NAXIS   =                    0"});
  testing::WriteBytes(dir / "plain.fits", fits);
  testing::WriteBytes(dir / "packed.fits", Gzip(fits));  // the name does not say it
  for (const char* name : {"plain.fits", "packed.fits"}) {
    std::string reason;
    const std::unique_ptr<ByteSource> source = OpenFitsBytes((dir / name).string(), reason);
    ASSERT_TRUE(source) << reason;
    EXPECT_EQ(source->Size(), 2880);
    EXPECT_EQ(ListHdus(*source).hdus.size(), 1u) << name;
  }
  std::string reason;
  EXPECT_FALSE(OpenFitsBytes((dir / "absent.fits.gz").string(), reason));
  EXPECT_EQ(reason, "no such file or directory");
  testing::WriteBytes(dir / "short.fits.gz", Gzip(fits).substr(0, 30));
  EXPECT_FALSE(OpenFitsBytes((dir / "short.fits.gz").string(), reason));
  EXPECT_EQ(reason, "its compressed data ends early");
}

}  // namespace
}  // namespace quillon
