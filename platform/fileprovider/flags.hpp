#pragma once

#include <cstdint>
#include <type_traits>

namespace ostrel::platform::fileprovider {

// A set of the bits of one enumeration, as the host's option and capability
// masks are. Unknown bits survive a round trip through raw().
template <typename Bit>
class Flags {
 public:
  using Raw = std::underlying_type_t<Bit>;

  constexpr Flags() = default;
  constexpr Flags(Bit bit) : raw_(static_cast<Raw>(bit)) {}  // NOLINT: a bit is a one-element set
  static constexpr Flags fromRaw(Raw raw) {
    Flags flags;
    flags.raw_ = raw;
    return flags;
  }

  constexpr Raw raw() const { return raw_; }
  constexpr bool empty() const { return raw_ == 0; }
  constexpr bool contains(Flags other) const { return (raw_ & other.raw_) == other.raw_; }
  constexpr bool intersects(Flags other) const { return (raw_ & other.raw_) != 0; }

  constexpr Flags operator|(Flags other) const { return fromRaw(raw_ | other.raw_); }
  constexpr Flags operator&(Flags other) const { return fromRaw(raw_ & other.raw_); }
  constexpr Flags& operator|=(Flags other) { raw_ |= other.raw_; return *this; }
  constexpr bool operator==(const Flags&) const = default;

 private:
  Raw raw_ = 0;
};

// Opt-in per enumeration, so that "|" on unrelated enumerations (socket
// types, open flags) keeps its built-in meaning in files that include this.
template <typename Bit>
inline constexpr bool isFlagBit = false;

template <typename Bit>
  requires isFlagBit<Bit>
constexpr Flags<Bit> operator|(Bit a, Bit b) {
  return Flags<Bit>(a) | Flags<Bit>(b);
}

}  // namespace ostrel::platform::fileprovider
