// A second start's hand-off as the running instance receives it: the bytes
// off the link socket read as a frame, then the command handed to the main
// window's execute handler, built on the fake platform as the unit tests do.
// A frame is complete only at its announced length and never before, writes
// back to the same bytes, and whatever command it carries the window takes
// it and comes back to the front without following it.
#include <memory>
#include <string>
#include <string_view>

#include "app/main_mod.h"
#include "fake_platform.h"
#include "forms/link.h"
#include "frame/inventory.h"
#include "fuzz_support.h"
#include "link_frame.h"

namespace {

using gtkplat::LinkFrame;

// The window is rebuilt now and then so what the fake records stays small
// over millions of runs.
struct Receiver {
  fake::FakePlatform platform;
  std::unique_ptr<frame::BA1> window = Main_Mod::Main(platform);
  int deliveries = 0;
};

std::unique_ptr<Receiver> receiver;

void Deliver(std::string_view command) {
  if (!receiver || receiver->deliveries++ > 2048) {
    receiver.reset();
    receiver = std::make_unique<Receiver>();
  }
  const std::string service = std::string(frame::kCaption) + "|" + std::string(frame::kLinkTopic);
  // Hidden first, as in the tray, so taking the command must bring it back.
  receiver->window->Hide();
  FUZZ_CHECK(receiver->platform.link.Deliver(service, command));
  FUZZ_CHECK(receiver->window->Visible());
  FUZZ_CHECK(receiver->window->State() != forms::WindowState::kMinimized);
}

void CheckBoundedCommand(std::string_view command) {
  const std::string_view cut = forms::BoundedCommand(command);
  FUZZ_CHECK(cut.size() <= forms::kLinkCommandLimit);
  FUZZ_CHECK(command.starts_with(cut));
  if (command.size() <= forms::kLinkCommandLimit) FUZZ_CHECK(cut.size() == command.size());
  // Valid text stays valid: the cut never lands inside a character.
  if (fuzz::IsValidUtf8(command)) FUZZ_CHECK(fuzz::IsValidUtf8(cut));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const LinkFrame frame = gtkplat::ReadLinkFrame(bytes);

  // A frame arrives in pieces of any size: the reader decides on each
  // prefix, so every prefix of a complete frame must still be incomplete,
  // and a bad one stays bad whatever follows.
  if (frame.verdict != LinkFrame::Verdict::kBad) {
    for (std::size_t n = 0; n < size; ++n) {
      FUZZ_CHECK(gtkplat::ReadLinkFrame(bytes.substr(0, n)).verdict ==
                 LinkFrame::Verdict::kIncomplete);
    }
  } else {
    FUZZ_CHECK(size >= gtkplat::kLinkFrameHeaderSize);
    const std::string more = std::string(bytes) + "x";
    FUZZ_CHECK(gtkplat::ReadLinkFrame(more).verdict == LinkFrame::Verdict::kBad);
  }

  if (frame.verdict == LinkFrame::Verdict::kComplete) {
    FUZZ_CHECK(frame.command.size() <= forms::kLinkCommandLimit);
    FUZZ_CHECK(frame.startupId.size() <= gtkplat::kLinkStartupIdLimit);
    FUZZ_CHECK(gtkplat::WriteLinkFrame(frame.command, frame.startupId) == bytes);
    Deliver(frame.command);
  }

  // What the sending side cuts a long command line to, before framing it.
  CheckBoundedCommand(bytes);
  const std::string written = gtkplat::WriteLinkFrame(forms::BoundedCommand(bytes), "");
  const LinkFrame back = gtkplat::ReadLinkFrame(written);
  FUZZ_CHECK(back.verdict == LinkFrame::Verdict::kComplete);
  FUZZ_CHECK(back.command == forms::BoundedCommand(bytes) && back.startupId.empty());
  return 0;
}
