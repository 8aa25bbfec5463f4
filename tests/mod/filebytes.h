// A byte builder for ensemble, instrument and macro file fixtures. It writes
// every field as the test spells it out, so that fixtures never come from
// the writer they check.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace filebytes {

class TBytes {
public:
  explicit TBytes(bool bigEndian = false) : big_(bigEndian) {}

  std::vector<uint8_t> data;

  TBytes& Raw(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) data.push_back(b);
    return *this;
  }
  TBytes& Byte(uint8_t b) {
    data.push_back(b);
    return *this;
  }
  TBytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(uint8_t(v >> (big_ ? 24 - 8 * i : 8 * i)));
    return *this;
  }
  TBytes& I32(int32_t v) { return U32(uint32_t(v)); }
  TBytes& F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return U32(v);
  }
  TBytes& F64(double f) {
    uint64_t v;
    std::memcpy(&v, &f, 8);
    for (int i = 0; i < 8; ++i) data.push_back(uint8_t(v >> (big_ ? 56 - 8 * i : 8 * i)));
    return *this;
  }
  TBytes& Str(const std::string& s) {
    U32(uint32_t(s.size()));
    data.insert(data.end(), s.begin(), s.end());
    return *this;
  }
  TBytes& Pnt(int32_t x, int32_t y) { return I32(x).I32(y); }
  TBytes& Area(int32_t l, int32_t t, int32_t r, int32_t b) { return I32(l).I32(t).I32(r).I32(b); }
  TBytes& Repeat(int n, uint32_t v) {
    for (int i = 0; i < n; ++i) U32(v);
    return *this;
  }

  // The signature: 3A, the order byte twice, 00, the flag.
  TBytes& Signature(uint8_t flag = 0) {
    const uint8_t order = big_ ? 2 : 1;
    return Raw({0x3A, order, order, 0x00, flag});
  }
  // An object frame's header: "[", the name's length (always little-endian),
  // the name, frame version 1 (little-endian).
  TBytes& Frame(const std::string& name) {
    data.push_back('[');
    for (int i = 0; i < 4; ++i) data.push_back(uint8_t(name.size() >> (8 * i)));
    data.insert(data.end(), name.begin(), name.end());
    return Raw({1, 0, 0, 0});
  }
  TBytes& End() { return Byte(']'); }
  // The record version word: count byte, 12-bit version, 11-bit name marker.
  TBytes& Version(uint32_t version, uint32_t count = 0, uint32_t marker = 0) {
    return U32(count | (version << 8) | (marker << 20));
  }
  TBytes& Append(const TBytes& other) {
    data.insert(data.end(), other.data.begin(), other.data.end());
    return *this;
  }

private:
  bool big_;
};

} // namespace filebytes
