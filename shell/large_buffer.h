#pragma once
// Buffers of many megabytes (the samples of a long spectrum) asked of the
// system in huge pages where it has them: filling one then takes a page
// fault per 2 MiB instead of one per 4 KiB, which on these machines is most
// of the cost of loading ten million samples.

#include <cstddef>
#include <vector>

namespace quillon {

/// Asks the system to back the whole 2 MiB pages inside [data, data + bytes)
/// with huge pages (Linux transparent huge pages, "madvise" mode). Does
/// nothing where there are none, for a small buffer, or on failure: the
/// memory works the same either way.
void AdviseHugePages(void* data, std::size_t bytes);

/// Makes `values` empty with room for `count` elements without touching
/// them; new storage of a megabyte or more is advised into huge pages. The
/// caller appends the elements, so none is written twice.
template <typename T>
void ReserveLarge(std::vector<T>& values, std::size_t count) {
  values.clear();
  if (values.capacity() < count) {
    std::vector<T>().swap(values);
    values.reserve(count);
    AdviseHugePages(values.data(), count * sizeof(T));
  }
}

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
