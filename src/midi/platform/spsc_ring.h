#pragma once

// A byte ring for exactly one writing and one reading thread, without locks and
// without allocation after construction, so that a real-time thread (JACK's
// process callback) can be either side.

#include <atomic>
#include <cstddef>
#include <memory>

class SpscRing {
 public:
  // capacity is rounded up to a power of two.
  explicit SpscRing(size_t capacity);

  size_t Capacity() const noexcept { return mask_ + 1; }

  // Writer side. Both parts or nothing; the reader sees them together.
  bool Write(const void* first, size_t first_size, const void* second = nullptr,
             size_t second_size = 0) noexcept;

  // Reader side. Each copies or drops size bytes, or nothing when fewer are there.
  bool Peek(void* out, size_t size) const noexcept;
  bool Read(void* out, size_t size) noexcept;
  bool Skip(size_t size) noexcept;

 private:
  void CopyIn(size_t at, const void* data, size_t size) noexcept;
  void CopyOut(size_t at, void* out, size_t size) const noexcept;

  std::unique_ptr<unsigned char[]> data_;
  size_t mask_;
  // Running totals; only their difference and the low bits matter.
  std::atomic<size_t> written_{0};  // stored by the writer
  std::atomic<size_t> read_{0};     // stored by the reader
};
