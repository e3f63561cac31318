// The link between instances of the program, as the runtime's DDE offers it:
// whether another instance runs, a topic served under the application's
// name, and one command executed on another instance's topic. The form
// layer drives it from LinkTopic and LinkMode; each backend carries it over
// a transport of its own, and nothing of that transport shows here.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace forms {

class LinkTransport {
 public:
  // Runs one command that arrived for a served topic, on the user-interface
  // thread; true when the receiver accepted it.
  using ExecuteHandler = std::function<bool(std::string_view command)>;

  virtual ~LinkTransport() = default;

  // True when another instance of this program is running for this user
  // (and display). The answer and the claim of being the first are one step:
  // of two instances starting together exactly one is told false.
  virtual bool PrevInstance() = 0;
  // Answers executes for application|topic until StopServing; false when the
  // topic cannot be served (another instance serves it).
  virtual bool Serve(std::string_view application, std::string_view topic,
                     ExecuteHandler onExecute) = 0;
  virtual void StopServing(std::string_view application, std::string_view topic) = 0;
  // Sends one command to application|topic and waits at most `timeoutMs`
  // for the answer; true when the other side accepted it.
  virtual bool Execute(std::string_view application, std::string_view topic,
                       std::string_view command, int timeoutMs) = 0;
};

// Commands longer than this are cut at a character boundary before sending.
inline constexpr std::size_t kLinkCommandLimit = 32 * 1024;

// `command` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view BoundedCommand(std::string_view command, std::size_t limit = kLinkCommandLimit);

// "application|topic" split at its first bar; false without one.
bool SplitLinkTopic(std::string_view linkTopic, std::string_view& application,
                    std::string_view& topic);

}  // namespace forms
