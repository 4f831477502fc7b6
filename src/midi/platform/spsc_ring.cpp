#include "midi/platform/spsc_ring.h"

#include <algorithm>
#include <bit>
#include <cstring>

SpscRing::SpscRing(size_t capacity)
    : data_(new unsigned char[std::bit_ceil(std::max<size_t>(capacity, 2))]()),
      mask_(std::bit_ceil(std::max<size_t>(capacity, 2)) - 1) {}

void SpscRing::CopyIn(size_t at, const void* data, size_t size) noexcept {
  const size_t start = at & mask_;
  const size_t first = std::min(size, Capacity() - start);
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::memcpy(data_.get() + start, bytes, first);
  std::memcpy(data_.get(), bytes + first, size - first);
}

void SpscRing::CopyOut(size_t at, void* out, size_t size) const noexcept {
  const size_t start = at & mask_;
  const size_t first = std::min(size, Capacity() - start);
  auto* bytes = static_cast<unsigned char*>(out);
  std::memcpy(bytes, data_.get() + start, first);
  std::memcpy(bytes + first, data_.get(), size - first);
}

bool SpscRing::Write(const void* first, size_t first_size, const void* second,
                     size_t second_size) noexcept {
  const size_t written = written_.load(std::memory_order_relaxed);
  // Acquire: the reader has finished copying out what it released.
  const size_t read = read_.load(std::memory_order_acquire);
  if (Capacity() - (written - read) < first_size + second_size) return false;
  if (first_size) CopyIn(written, first, first_size);
  if (second_size) CopyIn(written + first_size, second, second_size);
  written_.store(written + first_size + second_size, std::memory_order_release);
  return true;
}

bool SpscRing::Peek(void* out, size_t size) const noexcept {
  const size_t read = read_.load(std::memory_order_relaxed);
  if (written_.load(std::memory_order_acquire) - read < size) return false;
  CopyOut(read, out, size);
  return true;
}

bool SpscRing::Read(void* out, size_t size) noexcept {
  if (!Peek(out, size)) return false;
  read_.store(read_.load(std::memory_order_relaxed) + size, std::memory_order_release);
  return true;
}

bool SpscRing::Skip(size_t size) noexcept {
  const size_t read = read_.load(std::memory_order_relaxed);
  if (written_.load(std::memory_order_acquire) - read < size) return false;
  read_.store(read + size, std::memory_order_release);
  return true;
}
