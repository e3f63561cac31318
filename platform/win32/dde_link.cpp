// The instance link on Windows: the session-wide mutex that tells a later
// start this one runs, and DDEML (Unicode: DdeInitializeW, CP_WINUNICODE
// string handles) for the execute a later start sends. Implemented: the
// server side for executes on the topics served, the client side for one
// execute. Not yet: advise, request and poke transactions, which are refused
// by the instance's filters. Every DDEML handle is owned by a guard here.
#include "platform/win32/dde_link.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <thread>
#include <utility>

namespace win32 {
namespace {

constexpr wchar_t kSessionPrefix[] = L"Local\\";

// DDEML's callbacks carry no context of their own; the one DdeLink that
// serves in this process is found through this. UI thread only.
DdeLink* gServer = nullptr;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

// A DDEML string handle, freed with the instance that made it.
class StringHandle {
 public:
  StringHandle(DWORD instance, std::string_view text) : instance_(instance) {
    const std::wstring wide = Widen(text);
    if (!wide.empty()) handle_ = DdeCreateStringHandleW(instance, wide.c_str(), CP_WINUNICODE);
  }
  ~StringHandle() {
    if (handle_) DdeFreeStringHandle(instance_, handle_);
  }
  StringHandle(const StringHandle&) = delete;
  StringHandle& operator=(const StringHandle&) = delete;
  HSZ Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  DWORD instance_;
  HSZ handle_ = nullptr;
};

bool Same(HSZ a, HSZ b) { return a && b && DdeCmpStringHandles(a, b) == 0; }

struct ConversationTraits {
  static void Close(HCONV conversation) { DdeDisconnect(conversation); }
};
using Conversation = Owned<HCONV, ConversationTraits>;

}  // namespace

// One DDEML instance, uninitialised with everything it still holds.
class DdeInstance {
 public:
  DdeInstance(PFNCALLBACK callback, DWORD flags) {
    if (DdeInitializeW(&id_, callback, flags, 0) != DMLERR_NO_ERROR) id_ = 0;
  }
  ~DdeInstance() {
    if (id_) DdeUninitialize(id_);
  }
  DdeInstance(const DdeInstance&) = delete;
  DdeInstance& operator=(const DdeInstance&) = delete;
  DWORD Id() const { return id_; }
  explicit operator bool() const { return id_ != 0; }

 private:
  DWORD id_ = 0;
};

namespace {

// One execute from connection to answer, on a thread of its own: DDEML's
// connection broadcast waits on every top-level window in turn (seconds for
// each of a hung program's), and the caller's time-out must hold whatever
// the other programs do. The thread owns copies of all it uses, so it may
// outlive the caller's wait.
struct OneExecute {
  ULONGLONG deadline = 0;
  KernelHandle done;
  std::atomic<bool> accepted{false};

  void Run(const std::string& application, const std::string& topic, std::wstring& text) {
    try {
      accepted = Send(application, topic, text);
    } catch (...) {
      accepted = false;
    }
    SetEvent(done.Get());
  }

  bool Send(const std::string& application, const std::string& topic, std::wstring& text) {
    DdeInstance client(&ClientCallback, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS);
    if (!client) return false;
    StringHandle service(client.Id(), application);
    StringHandle topicHandle(client.Id(), topic);
    if (!service || !topicHandle) return false;
    Conversation conversation(DdeConnect(client.Id(), service.Get(), topicHandle.Get(), nullptr));
    const ULONGLONG now = GetTickCount64();
    if (!conversation || now >= deadline) return false;
    DWORD status = 0;
    // Synchronous: DDEML runs its own modal loop until the answer or the
    // time that is left.
    return DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()),
                                static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                                conversation.Get(), nullptr, 0, XTYP_EXECUTE,
                                static_cast<DWORD>(deadline - now), &status) != nullptr;
  }
};

// Waits for `done` at most `ms`, answering messages other threads send to
// this one's windows meanwhile (the connection broadcast reaches them too);
// posted messages stay queued, so none of the program's code runs.
bool WaitAnswering(HANDLE done, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
    const DWORD woke = MsgWaitForMultipleObjects(
        1, &done, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

struct DdeLink::Served {
  Served(DWORD instance, std::string_view app, std::string_view top, ExecuteHandler handler)
      : application(app),
        topic(top),
        service(instance, app),
        topicHandle(instance, top),
        onExecute(std::move(handler)) {}
  std::string application;
  std::string topic;
  StringHandle service;
  StringHandle topicHandle;
  ExecuteHandler onExecute;
};

std::wstring ExecuteText(std::string_view command) {
  std::wstring text = Widen(forms::BoundedCommand(command));
  text.push_back(L'\0');
  return text;
}

std::string CommandFromExecute(std::wstring_view units) {
  units = units.substr(0, units.find(L'\0'));
  // A bounded command never needs more UTF-16 units than it has bytes.
  if (units.size() > forms::kLinkCommandLimit) units = units.substr(0, forms::kLinkCommandLimit);
  if (!units.empty() && units.back() >= 0xD800 && units.back() <= 0xDBFF) units.remove_suffix(1);
  return std::string(forms::BoundedCommand(Narrow(units)));
}

std::wstring_view ArgumentsOf(std::wstring_view line) {
  std::size_t at = 0;
  if (!line.empty() && line.front() == L'"') {
    // A quoted path runs to the next quote; blanks inside it are the path's.
    const std::size_t close = line.find(L'"', 1);
    at = close == std::wstring_view::npos ? line.size() : close + 1;
  } else {
    while (at < line.size() && !IsBlank(line[at])) ++at;
  }
  while (at < line.size() && IsBlank(line[at])) ++at;
  return line.substr(at);
}

DdeLink::DdeLink(std::function<std::string()> application) : application_(std::move(application)) {}

DdeLink::~DdeLink() {
  if (gServer == this) gServer = nullptr;
  // Conversations and names go with the instance; string handles first.
  served_.clear();
  server_.reset();
}

bool DdeLink::PrevInstance() {
  if (asked_) return prevInstance_;
  asked_ = true;
  // Creating the mutex and learning that it existed are one step in the
  // kernel, so of two starts racing exactly one sees it new. The session
  // namespace keeps other users' sessions (and services) out of it.
  std::wstring name = kSessionPrefix + Widen(application_ ? application_() : std::string());
  if (name.size() == std::size(kSessionPrefix) - 1) name += L"kivo";
  // A backslash after the prefix would name a namespace that does not exist.
  std::replace(name.begin() + std::size(kSessionPrefix) - 1, name.end(), L'\\', L'/');
  name += L" instance";
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD created = GetLastError();
  instanceMutex_.Reset(mutex);
  // Without a mutex (no resources, a name taken by another kind of object)
  // this start runs as the only one rather than not at all.
  prevInstance_ = instanceMutex_ && created == ERROR_ALREADY_EXISTS;
  return prevInstance_;
}

bool DdeLink::Serve(std::string_view application, std::string_view topic,
                    ExecuteHandler onExecute) {
  if (gServer && gServer != this) return false;
  for (const auto& served : served_) {
    if (served->application == application && served->topic == topic) return false;
  }
  if (!server_) {
    gServer = this;
    // Only connections and executes reach the callback: everything else is
    // refused or skipped by DDEML itself.
    server_ = std::make_unique<DdeInstance>(&DdeLink::ServerCallback,
                                            APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES |
                                                CBF_FAIL_REQUESTS | CBF_FAIL_SELFCONNECTIONS |
                                                CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS);
  }
  if (!*server_) {
    server_.reset();
    gServer = nullptr;
    return false;
  }
  auto served = std::make_unique<Served>(server_->Id(), application, topic, std::move(onExecute));
  if (!served->service || !served->topicHandle) return false;
  const bool named = std::any_of(served_.begin(), served_.end(), [&](const auto& other) {
    return other->application == application;
  });
  if (!named && !DdeNameService(server_->Id(), served->service.Get(), nullptr, DNS_REGISTER)) {
    return false;
  }
  served_.push_back(std::move(served));
  return true;
}

void DdeLink::StopServing(std::string_view application, std::string_view topic) {
  auto it = std::find_if(served_.begin(), served_.end(), [&](const auto& served) {
    return served->application == application && served->topic == topic;
  });
  if (it == served_.end()) return;
  std::erase_if(conversations_, [&](const auto& entry) { return entry.second == it->get(); });
  std::unique_ptr<Served> gone = std::move(*it);
  served_.erase(it);
  const bool stillNamed = std::any_of(served_.begin(), served_.end(), [&](const auto& other) {
    return other->application == application;
  });
  if (!stillNamed) DdeNameService(server_->Id(), gone->service.Get(), nullptr, DNS_UNREGISTER);
  gone.reset();
  if (served_.empty()) ReleaseServer();
}

void DdeLink::ReleaseServer() {
  // Never from inside DDEML's own callback: the instance would be pulled from
  // under the call in progress. The destructor finishes it then.
  if (callbackDepth_ > 0) return;
  conversations_.clear();
  server_.reset();
  if (gServer == this) gServer = nullptr;
}

HDDEDATA CALLBACK DdeLink::ServerCallback(UINT type, UINT, HCONV conversation, HSZ string1,
                                          HSZ string2, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  DdeLink* self = gServer;
  if (!self) return nullptr;
  ++self->callbackDepth_;
  HDDEDATA result = nullptr;
  try {
    result = self->OnTransaction(type, conversation, string1, string2, data);
  } catch (...) {
    // Nothing may unwind into DDEML; an execute that failed is refused.
    result = type == XTYP_EXECUTE ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
  }
  --self->callbackDepth_;
  return result;
}

HDDEDATA DdeLink::OnTransaction(UINT type, HCONV conversation, HSZ string1, HSZ string2,
                                HDDEDATA data) {
  // For connections string1 is the topic and string2 the service.
  switch (type) {
    case XTYP_CONNECT: return reinterpret_cast<HDDEDATA>(Find(string2, string1) ? TRUE : FALSE);
    case XTYP_CONNECT_CONFIRM:
      if (Served* served = Find(string2, string1)) conversations_[conversation] = served;
      return nullptr;
    case XTYP_DISCONNECT: conversations_.erase(conversation); return nullptr;
    case XTYP_EXECUTE: return OnExecute(conversation, data);
    default: return nullptr;  // wildcard connections among them: not offered
  }
}

DdeLink::Served* DdeLink::Find(HSZ service, HSZ topic) {
  for (const auto& served : served_) {
    if (Same(served->service.Get(), service) && Same(served->topicHandle.Get(), topic)) {
      return served.get();
    }
  }
  return nullptr;
}

HDDEDATA DdeLink::OnExecute(HCONV conversation, HDDEDATA data) {
  const auto refused = reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  auto it = conversations_.find(conversation);
  if (it == conversations_.end() || !data) return refused;
  // Read no more than a bounded command can need, whatever the sender claims.
  const DWORD size = DdeGetData(data, nullptr, 0, 0);
  const DWORD most = static_cast<DWORD>((forms::kLinkCommandLimit + 1) * sizeof(wchar_t));
  std::wstring units(std::min(size, most) / sizeof(wchar_t), L'\0');
  if (!units.empty()) {
    const DWORD got = DdeGetData(data, reinterpret_cast<LPBYTE>(units.data()),
                                 static_cast<DWORD>(units.size() * sizeof(wchar_t)), 0);
    units.resize(got / sizeof(wchar_t));
  }
  // The handler may stop serving this very topic; it runs from a copy.
  const ExecuteHandler handler = it->second->onExecute;
  const bool accepted = handler && handler(CommandFromExecute(units));
  return reinterpret_cast<HDDEDATA>(accepted ? DDE_FACK : DDE_FNOTPROCESSED);
}

bool DdeLink::Execute(std::string_view application, std::string_view topic,
                      std::string_view command, int timeoutMs) {
  // The receiver brings its window to the front while it handles the
  // execute; the system lets it only if the foreground's owner (this start,
  // launched by the user) allows it first.
  AllowSetForegroundWindow(ASFW_ANY);
  const DWORD budget = static_cast<DWORD>(std::max(timeoutMs, 1));
  auto call = std::make_shared<OneExecute>();
  call->deadline = GetTickCount64() + budget;
  call->done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!call->done) return false;
  try {
    std::thread([call, app = std::string(application), top = std::string(topic),
                 text = ExecuteText(command)]() mutable {
      call->Run(app, top, text);
    }).detach();
  } catch (...) {
    return false;  // no thread to be had
  }
  return WaitAnswering(call->done.Get(), budget) && call->accepted;
}

}  // namespace win32
