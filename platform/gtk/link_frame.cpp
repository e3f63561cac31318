// Reading and writing the link's frame; see link_frame.h.
#include "link_frame.h"

#include <cstdint>
#include <cstring>

#include "forms/link.h"

namespace gtkplat {

LinkFrame ReadLinkFrame(std::string_view bytes) {
  LinkFrame frame;
  if (bytes.size() < kLinkFrameHeaderSize) return frame;
  frame.verdict = LinkFrame::Verdict::kBad;
  if (std::memcmp(bytes.data(), kLinkFrameMagic, sizeof kLinkFrameMagic) != 0) return frame;
  std::uint32_t commandSize = 0;
  std::uint32_t idSize = 0;
  std::memcpy(&commandSize, bytes.data() + 4, 4);
  std::memcpy(&idSize, bytes.data() + 8, 4);
  // Checked before adding, so no announced size can wrap the total.
  if (commandSize > forms::kLinkCommandLimit || idSize > kLinkStartupIdLimit) return frame;
  const std::size_t whole = kLinkFrameHeaderSize + commandSize + idSize;
  if (bytes.size() > whole) return frame;  // more than the frame announced
  if (bytes.size() < whole) {
    frame.verdict = LinkFrame::Verdict::kIncomplete;
    return frame;
  }
  frame.verdict = LinkFrame::Verdict::kComplete;
  frame.command = bytes.substr(kLinkFrameHeaderSize, commandSize);
  frame.startupId = bytes.substr(kLinkFrameHeaderSize + commandSize, idSize);
  return frame;
}

std::string WriteLinkFrame(std::string_view command, std::string_view startupId) {
  const auto commandSize = static_cast<std::uint32_t>(command.size());
  const auto idSize = static_cast<std::uint32_t>(startupId.size());
  std::string frame(kLinkFrameMagic, sizeof kLinkFrameMagic);
  frame.append(reinterpret_cast<const char*>(&commandSize), 4);
  frame.append(reinterpret_cast<const char*>(&idSize), 4);
  frame.append(command);
  frame.append(startupId);
  return frame;
}

}  // namespace gtkplat
