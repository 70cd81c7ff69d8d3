#pragma once
// Buffers of many megabytes (the samples of a long spectrum) asked of the
// system in huge pages where it has them: filling one then takes a page
// fault per 2 MiB instead of one per 4 KiB, which on these machines is most
// of the cost of loading ten million samples.

#include <cstddef>
#include <thread>
#include <utility>
#include <vector>

namespace quillon {

/// Asks the system to back the whole 2 MiB pages inside [data, data + bytes)
/// with huge pages (Linux transparent huge pages, "madvise" mode). Does
/// nothing where there are none, for a small buffer, or on failure: the
/// memory works the same either way.
void AdviseHugePages(void* data, std::size_t bytes);

/// Makes `values` empty with room for `count` elements without touching
/// them; new storage of a megabyte or more is advised into huge pages. The
/// caller appends the elements, so none is written twice. Returns whether
/// the storage is new (its pages not yet touched).
template <typename T>
bool ReserveLarge(std::vector<T>& values, std::size_t count) {
  values.clear();
  if (values.capacity() >= count) return false;
  std::vector<T>().swap(values);
  values.reserve(count);
  AdviseHugePages(values.data(), count * sizeof(T));
  return true;
}

/// Has the system provide the pages of new storage before the caller first
/// writes them, on a thread of its own: the kernel's clearing of fresh pages
/// (most of the cost of filling a new buffer of many megabytes) then runs
/// beside the caller's work instead of inside it. Only the system is asked
/// (Linux's MADV_POPULATE_WRITE); no byte is written, and where the system
/// or a thread is not to be had nothing happens. The thread is joined when
/// the object goes, which must be before the storage is freed.
class BackgroundPrefault {
 public:
  BackgroundPrefault() = default;
  ~BackgroundPrefault();
  BackgroundPrefault(const BackgroundPrefault&) = delete;
  BackgroundPrefault& operator=(const BackgroundPrefault&) = delete;

  /// The whole pages inside [data, data + bytes); called before Start.
  void Add(void* data, std::size_t bytes);
  /// Starts the thread when the pages add up to enough to be worth one.
  void Start();
  /// Waits for the thread, if any.
  void Wait();

 private:
  std::vector<std::pair<void*, std::size_t>> ranges_;
  std::size_t bytes_ = 0;
  std::thread thread_;
};

/// Gives back the storage of `values` when it has room for more than twice
/// `count` elements and more than a megabyte, so that an array kept for
/// reuse does not hold a long spectrum's room for a short one.
template <typename T>
void DropOversized(std::vector<T>& values, std::size_t count) {
  constexpr std::size_t kKeptBytes = std::size_t{1} << 20;
  if (values.capacity() / 2 > count && values.capacity() * sizeof(T) > kKeptBytes) std::vector<T>().swap(values);
}

/// Gives back the storage of `values` when it takes more than `bytes`.
template <typename T>
void DropLargerThan(std::vector<T>& values, std::size_t bytes) {
  if (values.capacity() > bytes / sizeof(T)) std::vector<T>().swap(values);
}

/// Gives `values` exactly `count` elements, value-initialised. Storage it
/// already holds is reused when large enough; new storage of a megabyte or
/// more is advised into huge pages before anything touches it.
template <typename T>
void ResizeLarge(std::vector<T>& values, std::size_t count) {
  if (values.capacity() < count) {
    std::vector<T>().swap(values);
    values.reserve(count);
    AdviseHugePages(values.data(), count * sizeof(T));
  }
  values.resize(count);
}

}  // namespace quillon
