// The link between instances on Linux: a lock file decides which instance
// is the first, and executes travel over a Unix stream socket that only the
// user can reach, one per user and display. GLib only (the served sockets
// are watched from the default main context), so it runs without a display.
// Not yet: more than one command per connection, an answer carrying text.
#pragma once

#include <glib.h>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "forms/link.h"
#include "link_frame.h"

namespace gtkplat {

class UnixLink final : public forms::LinkTransport {
 public:
  // `program` names the lock and the sockets; `fallbackParent` holds the
  // private directory made when $XDG_RUNTIME_DIR is unset or unusable.
  explicit UnixLink(std::string program = "kivo", std::string fallbackParent = "/tmp");
  ~UnixLink() override;
  UnixLink(const UnixLink&) = delete;
  UnixLink& operator=(const UnixLink&) = delete;

  bool PrevInstance() override;
  bool Serve(std::string_view application, std::string_view topic,
             ExecuteHandler onExecute) override;
  void StopServing(std::string_view application, std::string_view topic) override;
  bool Execute(std::string_view application, std::string_view topic, std::string_view command,
               int timeoutMs) override;

  // The start-up notification id sent with each Execute (the toolkit takes it
  // out of the environment at start, so it is captured before).
  void SetStartupId(std::string id) { startupId_ = std::move(id); }
  // While a handler runs: the id the other start sent with its command.
  const std::string& ReceivedStartupId() const { return receivedStartupId_; }

  // The directory of the lock and the sockets; empty when none is private.
  const std::string& Directory();
  std::string SocketPath(std::string_view application, std::string_view topic);

  // The frame on the wire, for tests that speak it by hand: magic, command
  // length, start-up id length (host order), then the command and the id.
  static constexpr const char (&kMagic)[4] = kLinkFrameMagic;
  static constexpr std::size_t kHeaderSize = kLinkFrameHeaderSize;
  static constexpr std::size_t kStartupIdLimit = kLinkStartupIdLimit;
  static constexpr unsigned char kAccepted = 1;
  static constexpr unsigned char kRefused = 0;
  static constexpr guint kConnectionDeadlineMs = 2000;

 private:
  struct Served;
  struct Connection;
  static gboolean OnListen(gint fd, GIOCondition condition, gpointer served);
  static gboolean OnReadable(gint fd, GIOCondition condition, gpointer connection);
  static gboolean OnDeadline(gpointer connection);
  void Accept(Served& served);
  // Reads what has arrived; true while the frame is incomplete.
  bool ReadMore(Connection& connection);
  void Finish(Connection& connection, bool answer, unsigned char ack);

  std::string program_;
  std::string fallbackParent_;
  bool directoryResolved_ = false;
  std::string directory_;
  std::string display_;
  int lockFd_ = -1;
  int claim_ = -1;  // -1 not asked, 0 first instance, 1 another one lives
  std::string startupId_;
  std::string receivedStartupId_;
  std::map<std::string, std::unique_ptr<Served>> served_;
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace gtkplat
