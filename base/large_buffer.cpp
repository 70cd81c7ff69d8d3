#include "base/large_buffer.h"

#include <cstdint>
#include <exception>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quillon {

void AdviseHugePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
  if (data == nullptr || bytes < (std::size_t{1} << 20)) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  // Best effort: a refusal leaves ordinary pages.
  if (last > first) (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

BackgroundPrefault::~BackgroundPrefault() { Wait(); }

void BackgroundPrefault::Add(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr std::uintptr_t kPage = 4096;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kPage - 1);
  if (data == nullptr || last <= first) return;
  ranges_.emplace_back(reinterpret_cast<void*>(first), last - first);
  bytes_ += last - first;
#else
  (void)data;
  (void)bytes;
#endif
}

void BackgroundPrefault::Start() {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Below a few megabytes the pages cost less than starting a thread.
  constexpr std::size_t kWorthAThread = std::size_t{8} << 20;
  if (bytes_ < kWorthAThread || thread_.joinable()) return;
  try {
    thread_ = std::thread([ranges = ranges_] {
      // Best effort: a kernel without the call refuses it, and the pages
      // then come at the first write as they always do.
      for (const auto& [data, bytes] : ranges) (void)::madvise(data, bytes, MADV_POPULATE_WRITE);
    });
  } catch (const std::exception&) {
  }
#endif
}

void BackgroundPrefault::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace quillon
