// The studio's HTTP side: binds 127.0.0.1 only, refuses requests whose Host or Origin is not the
// server's own (no DNS rebinding, no cross-site requests) and bodies over kMaxBodyBytes, serves
// the page and hands each API route to the Studio.
#pragma once

#include <cstddef>
#include <memory>

namespace httplib {
class Server;
}

namespace lwstudio {

class Studio;

inline constexpr size_t kMaxBodyBytes = size_t{16} << 20;
inline constexpr int kDefaultPort = 8370;

class StudioServer {
 public:
  explicit StudioServer(Studio& studio);
  ~StudioServer();
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;

  // Binds 127.0.0.1:`port` (0: a free port the system picks) and returns the port. Throws
  // std::runtime_error when the port cannot be had.
  int Bind(int port);
  // Serves until Stop() is called (from another thread).
  void Run();
  void Stop();

 private:
  void AddRoutes();

  Studio& studio_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
};

}  // namespace lwstudio
