// Reading a fuzz input as a stream of choices. Past its end every read gives zeros, so a
// short input is as meaningful as a long one. One input per object; not shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vorm_fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : p_(data), n_(size) {}

  bool empty() const { return n_ == 0; }
  uint8_t Byte() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
  }
  // One of `count` choices (count > 0).
  unsigned Pick(unsigned count) { return Byte() % count; }
  // The next sizeof(T) bytes as a T's bits (zeros past the end).
  template <class T>
  T Bits() {
    unsigned char raw[sizeof(T)] = {};
    for (unsigned char& b : raw) b = Byte();
    T value;
    std::memcpy(&value, raw, sizeof value);
    return value;
  }

 private:
  const uint8_t* p_;
  size_t n_;
};

}  // namespace vorm_fuzz
