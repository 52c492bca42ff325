// The studio's HTTP side: binds 127.0.0.1 only (a port no other program shares), refuses requests
// whose Host or Origin is not the server's own (no DNS rebinding, no cross-site requests) and
// bodies over kMaxBodyBytes (counted while they arrive, whatever their transfer encoding), serves
// the page and hands each API route to the Studio. A client that sends slowly is cut off at the
// deadlines of ConnectionLimits; Stop() ends every connection and render at once.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>

namespace lwstudio {

class GuardedServer;
class Studio;

inline constexpr size_t kMaxBodyBytes = size_t{16} << 20;
inline constexpr int kDefaultPort = 8370;
inline constexpr int kWorkers = 8;  // requests served at once

// The port is taken (by another studio, say).
class PortInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StudioServer {
 public:
  explicit StudioServer(Studio& studio);
  ~StudioServer();
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;

  // Binds 127.0.0.1:`port` (0: a free port the system picks) and returns the port. Throws
  // PortInUse when the port cannot be had.
  int Bind(int port);
  // Serves until Stop() is called (from another thread).
  void Run();
  void Stop();

 private:
  void AddRoutes();

  Studio& studio_;
  std::unique_ptr<GuardedServer> server_;
  int port_ = 0;
};

}  // namespace lwstudio
