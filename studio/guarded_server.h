// An HTTP server whose connections cannot hold it: the HTTP library times each read and write on
// its own, so a client that sends a byte a second keeps a worker forever, and stop() waits for it.
// Here every connection reads through a stream with deadlines for the request's headers and body
// as a whole and a cap on their bytes, and a stop ends every read and write at once.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>

namespace lwstudio {

struct ConnectionLimits {
  std::chrono::milliseconds headers{5000};    // request line and headers, in all
  std::chrono::milliseconds body{10000};      // the body, in all
  std::chrono::milliseconds write{5000};      // each write of the reply
  std::chrono::milliseconds keepAlive{1000};  // waiting for a connection's next request
  size_t headerBytes = size_t{64} << 10;
  size_t bodyBytes = size_t{17} << 20;  // the largest body, its chunk framing included
  size_t requestsPerConnection = 100;
  // After a refusal that leaves the body unread: how long and how much of it is dropped before
  // the connection closes, so that the client can read the refusal.
  std::chrono::milliseconds linger{2000};
  size_t lingerBytes = size_t{32} << 20;
};

class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(const ConnectionLimits& limits);
  ~GuardedServer() override;
  GuardedServer(const GuardedServer&) = delete;
  GuardedServer& operator=(const GuardedServer&) = delete;

  // Ends the listening loop and every connection's reads and writes; returns at once.
  void StopAll();

  // For handlers, on the thread serving the request. The headers are in: the body's deadline
  // starts now (the pre-routing handler calls it).
  static void HeadersRead();
  // The connection closes once this reply is written (its body was left unread).
  static void CloseAfterReply();

 private:
  bool process_and_close_socket(socket_t sock) override;

  ConnectionLimits limits_;
  std::atomic<bool> stopping_{false};
  int wake_[2] = {-1, -1};  // readable once stopping: every wait polls it
};

}  // namespace lwstudio
