// Sends a film's file as an httplib content provider, optionally throttled
// to a byte rate so a client's progress can be watched (--slow).
#pragma once

#include <httplib.h>

#include <cstdint>
#include <functional>

#include "site/router.h"

namespace site {

// Largest piece handed to the connection at once, and at a throttled rate
// the piece is a tenth of a second's worth, so progress moves smoothly and
// a client that has gone away is noticed within about that long.
inline constexpr std::size_t kMaxSendPiece = 64 * 1024;

// `bytesPerSecond` 0 sends as fast as the client reads. `stopping` is asked
// while waiting between pieces; once it says yes the provider gives up, so a
// server that is shutting down never waits for a slow download to finish.
httplib::ContentProvider FileProvider(FileSlice slice, std::uint64_t bytesPerSecond,
                                      std::function<bool()> stopping);

}  // namespace site
