// What kivo-site needs from the system it runs on, beyond sockets: stop
// requests, and the listening socket a service manager may hand over.
// process_posix.cpp (signals, systemd's LISTEN_FDS) and process_win32.cpp
// (console control events; nothing is ever handed over) implement it.
#pragma once

#include <httplib.h>

#include <chrono>

namespace site {

// Before any thread starts: SIGINT and SIGTERM (Ctrl+C, closing the
// console on Windows) become stop requests that WaitForStop sees.
void CatchStopRequests();

// True once a stop was requested, waiting at most `timeout` for one.
bool WaitForStop(std::chrono::milliseconds timeout);

// The listening socket systemd passed to this process (LISTEN_PID naming
// it, LISTEN_FDS=1), taken over so no child inherits it; INVALID_SOCKET
// when there is none. Must run before any thread starts.
socket_t TakeHandedOverSocket();

// Before ending on a failure: a console window opened for this process
// alone (a double click, the Start menu) would close with the message
// unread, so it waits for a key first. Nothing otherwise.
void HoldFailureMessage();

}  // namespace site
