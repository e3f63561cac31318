// The secret part of a send's address. Whoever holds the address can fetch
// the file, so it is 128 bits from the system's random source, written in
// base64url without padding (22 characters: short for the QR code, and safe
// in a path as it stands).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sender {

inline constexpr std::size_t kTokenBytes = 16;
inline constexpr std::size_t kTokenLength = 22;

// Fills the bytes with randomness fit for secrets; false when it can't.
using RandomSource = std::function<bool(std::span<std::uint8_t>)>;

// getrandom(2), or /dev/urandom on a kernel without it.
bool SystemRandom(std::span<std::uint8_t> out);

// A fresh token; none (and `error` set) when the source fails.
std::optional<std::string> NewToken(const RandomSource& random, std::string* error);

// Equal strings, in a time that depends on the lengths only, never on where
// the first difference lies.
bool TokensEqual(std::string_view a, std::string_view b);

}  // namespace sender
