// Test tool for the Wine end-to-end run, never shipped: checks the Windows
// instance link on its own, in one process. The command line after the
// program's path, the execute text's bound and bytes, PrevInstance, and real
// DDEML conversations between a serving thread and a sending one: accepted,
// refused, unserved, a second serve of the same topic. Wine's DDEML garbles
// the execute's text, so over DDE only acceptance and the handler's runs are
// checked. Prints PASS/FAIL lines; exit status 1 if any failed.
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "forms/link.h"
#include "platform/win32/dde_link.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
  std::fflush(stdout);
  if (!ok) ++failures;
}

void CommandLines() {
  using win32::ArgumentsOf;
  const struct {
    const wchar_t* line;
    const wchar_t* arguments;
  } cases[] = {
      {L"C:\\kivo\\kivo.exe", L""},
      {L"C:\\kivo\\kivo.exe a b", L"a b"},
      {L"\"C:\\Program Files\\kivo.exe\"  \t x  \"y z\" ", L"x  \"y z\" "},
      {L"\"C:\\Program Files\\kivo.exe\"", L""},
      {L"\"C:\\unclosed quote a b", L""},
      {L"kivo.exe\t片 名", L"片 名"},
      {L"", L""},
  };
  bool all = true;
  for (const auto& c : cases) all = all && ArgumentsOf(c.line) == c.arguments;
  Check(all, "the arguments are the command line past the program's path and blanks");
}

void ExecuteTexts() {
  using win32::CommandFromExecute;
  using win32::ExecuteText;
  const std::string mixed = "测试 abc \"x\" \x01|";
  Check(ExecuteText(mixed) == L"测试 abc \"x\" \x01|" + std::wstring(1, L'\0') &&
            CommandFromExecute(ExecuteText(mixed)) == mixed,
        "a command goes out as UTF-16 with its terminator and comes back whole");
  Check(ExecuteText("").size() == 1 && CommandFromExecute(L"").empty(),
        "an empty command is a terminator alone");
  std::string huge;
  for (int i = 0; i < 400000; ++i) huge += "片";  // 1.2 MB of UTF-8
  const std::string back = CommandFromExecute(ExecuteText(huge));
  Check(back.size() <= forms::kLinkCommandLimit && back.size() + 3 > forms::kLinkCommandLimit &&
            back.size() % 3 == 0 && huge.compare(0, back.size(), back) == 0,
        "an over-long command is cut to the bound at a character boundary");
  std::wstring units(100000, L'a');
  units[forms::kLinkCommandLimit - 1] = 0xD83C;  // a pair split by the cut
  Check(CommandFromExecute(units).size() == forms::kLinkCommandLimit - 1,
        "whatever length arrives, no more than the bound is read, no pair split");
  const wchar_t bad[] = {L'a', 0xDC00, L'b', 0xD800, L'\0', L'c'};
  Check(CommandFromExecute(std::wstring_view(bad, 6)) ==
            "a\xEF\xBF\xBD"
            "b",
        "lone surrogates become U+FFFD and the text ends at its terminator");
}

void Detection() {
  const std::string app = "kivo link check " + std::to_string(GetCurrentProcessId());
  win32::DdeLink first([&] { return app; });
  win32::DdeLink second([&] { return app; });
  win32::DdeLink other([] { return std::string("kivo link check, another application"); });
  Check(!first.PrevInstance() && second.PrevInstance() && !first.PrevInstance() &&
            !other.PrevInstance(),
        "the first claim is told no other instance runs, a later one is told it does");
}

// A serving DdeLink on a thread with its own message loop, like the first
// instance's user-interface thread.
class ServingThread {
 public:
  ServingThread() {
    thread_ = std::thread([this] {
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
      id_ = GetCurrentThreadId();
      win32::DdeLink link([] { return std::string(); });
      accepting_ = link.Serve(kApp, "yes", [this](std::string_view command) {
        if (runs_ == 0) firstText_ = std::string(command);
        ++runs_;
        return true;
      });
      refusing_ = link.Serve(kApp, "no", [this](std::string_view) {
        ++runs_;
        return false;
      });
      again_ = link.Serve(kApp, "yes", [](std::string_view) { return true; });
      ready_ = true;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
      link.StopServing(kApp, "yes");
      link.StopServing(kApp, "no");
    });
    while (!ready_) Sleep(1);
  }
  ~ServingThread() {
    PostThreadMessageW(id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  static constexpr const char* kApp = "Kivo手机电影下载器 link check";
  bool accepting_ = false, refusing_ = false, again_ = true;
  std::atomic<int> runs_{0};
  std::string firstText_;  // written before runs_ counts the first run

 private:
  std::atomic<bool> ready_{false};
  std::thread thread_;
  DWORD id_ = 0;
};

void Conversations() {
  ServingThread server;
  Check(server.accepting_ && server.refusing_, "topics are served");
  Check(!server.again_, "a topic served already cannot be served again");
  win32::DdeLink client([] { return std::string(); });
  Check(client.Execute(ServingThread::kApp, "yes", "测试 abc", 2000) && server.runs_ == 1,
        "an execute the handler accepts is accepted, after one run of the handler");
  // Not a check: Wine's DDEML is known to garble it.
  std::printf("INFO: the text arrived %s\n",
              server.firstText_ == "测试 abc" ? "intact" : "changed by the system's DDE");
  Check(!client.Execute(ServingThread::kApp, "no", "x", 2000) && server.runs_ == 2,
        "an execute the handler refuses is refused");
  const ULONGLONG before = GetTickCount64();
  Check(!client.Execute(ServingThread::kApp, "unserved", "x", 2000) &&
            !client.Execute("nobody serves this", "yes", "x", 2000) && server.runs_ == 2,
        "an execute on a topic or application nobody serves fails");
  Check(GetTickCount64() - before < 4500, "... within the time-outs");
  std::string huge(1 << 20, 'k');
  Check(client.Execute(ServingThread::kApp, "yes", huge, 2000) && server.runs_ == 3,
        "a 1 MiB command is cut and accepted");
}

}  // namespace

int wmain() {
  CommandLines();
  ExecuteTexts();
  Detection();
  Conversations();
  std::printf("%d failed\n", failures);
  return failures ? 1 : 0;
}
