// forms::LinkTransport on Windows: a named mutex in the session namespace
// answers whether another instance lives, and DDEML in its Unicode form
// carries the hand-off (a service per application, topics under it, one
// execute per conversation from the client side). Implemented: PrevInstance,
// serving executes, sending one execute on a thread of its own within one
// time-out, whatever other programs' windows do. Not yet: advise,
// request and poke links (refused), wildcard conversations (refused).
// It knows nothing of forms or of what a command means.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/link.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class DdeInstance;

// The UTF-16 text DDEML carries for an execute, terminator included, cut to
// at most kLinkCommandLimit bytes of UTF-8 first.
std::wstring ExecuteText(std::string_view command);
// What the receiver hands the program: `units` read up to the first
// terminator, a pair of surrogates never split, as UTF-8 cut to the bound.
std::string CommandFromExecute(std::wstring_view units);
// The arguments from a command line as GetCommandLineW gives it: past the
// program's path (quoted or not) and the blanks after it.
std::wstring_view ArgumentsOf(std::wstring_view commandLine);

class DdeLink final : public forms::LinkTransport {
 public:
  // `application` names the application whose instances are counted; it is
  // read when PrevInstance is first asked.
  explicit DdeLink(std::function<std::string()> application);
  ~DdeLink() override;
  DdeLink(const DdeLink&) = delete;
  DdeLink& operator=(const DdeLink&) = delete;

  bool PrevInstance() override;
  bool Serve(std::string_view application, std::string_view topic,
             ExecuteHandler onExecute) override;
  void StopServing(std::string_view application, std::string_view topic) override;
  bool Execute(std::string_view application, std::string_view topic, std::string_view command,
               int timeoutMs) override;

 private:
  struct Served;

  static HDDEDATA CALLBACK ServerCallback(UINT type, UINT format, HCONV conversation, HSZ string1,
                                          HSZ string2, HDDEDATA data, ULONG_PTR data1,
                                          ULONG_PTR data2);
  HDDEDATA OnTransaction(UINT type, HCONV conversation, HSZ string1, HSZ string2, HDDEDATA data);
  Served* Find(HSZ service, HSZ topic);
  HDDEDATA OnExecute(HCONV conversation, HDDEDATA data);
  void ReleaseServer();

  std::function<std::string()> application_;
  // Held for the life of the process: while it exists, later starts know
  // this one runs.
  KernelHandle instanceMutex_;
  bool asked_ = false;
  bool prevInstance_ = false;
  // The server's DDEML instance, made on the first Serve.
  std::unique_ptr<DdeInstance> server_;
  std::vector<std::unique_ptr<Served>> served_;
  // Accepted conversations and the topic each was opened on: executes only
  // count on those.
  std::map<HCONV, Served*> conversations_;
  int callbackDepth_ = 0;
};

}  // namespace win32
