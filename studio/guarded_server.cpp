#include "guarded_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace lwstudio {

namespace {

using Clock = std::chrono::steady_clock;

void AddressOf(int sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  const int got = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&address), &size)
                       : ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size);
  if (got != 0) {
    return;
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
}

// One connection's socket, read through a buffer. Reads fail once the phase's deadline has passed
// or its bytes are spent; every wait also ends when the server stops.
class GuardedStream final : public httplib::Stream {
 public:
  GuardedStream(int sock, const ConnectionLimits& limits, int wake,
                const std::atomic<bool>& stopping)
      : sock_(sock), limits_(limits), wake_(wake), stopping_(stopping) {}

  void StartHeaders() { Start(limits_.headers, limits_.headerBytes); }
  void StartBody() { Start(limits_.body, limits_.bodyBytes); }
  void CloseAfterReply() { closeAfterReply_ = true; }
  bool closeAfterReply() const { return closeAfterReply_; }

  // Closing with unread bytes resets the connection, and a client still sending a refused body
  // would lose the reply: what is still arriving is read and dropped first, for a bounded time
  // and amount (a lingering close; nothing of it is kept).
  void Linger() {
    ::shutdown(sock_, SHUT_WR);
    Start(limits_.linger, limits_.lingerBytes);
    char scratch[4096];
    while (read(scratch, sizeof scratch) > 0) {
    }
  }

  // True when a next request has begun to arrive within `timeout`.
  bool WaitForRequest(std::chrono::milliseconds timeout) const {
    return position_ < length_ || Wait(POLLIN, Clock::now() + timeout);
  }

  bool is_readable() const override { return position_ < length_ || Wait(POLLIN, deadline_); }
  bool is_writable() const override { return Wait(POLLOUT, Clock::now() + limits_.write); }

  ssize_t read(char* ptr, size_t size) override {
    if (position_ == length_) {
      if (!Wait(POLLIN, deadline_)) {
        return -1;
      }
      ssize_t got = 0;
      do {
        got = ::recv(sock_, buffer_, sizeof buffer_, 0);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        return got;
      }
      position_ = 0;
      length_ = static_cast<size_t>(got);
    }
    if (consumed_ >= budget_) {
      return -1;
    }
    const size_t take = std::min({size, length_ - position_, budget_ - consumed_});
    std::memcpy(ptr, buffer_ + position_, take);
    position_ += take;
    consumed_ += take;
    return static_cast<ssize_t>(take);
  }

  ssize_t write(const char* ptr, size_t size) override {
    const Clock::time_point deadline = Clock::now() + limits_.write;
    size_t sent = 0;
    while (sent < size) {
      if (!Wait(POLLOUT, deadline)) {
        return -1;
      }
      const ssize_t put = ::send(sock_, ptr + sent, size - sent, MSG_NOSIGNAL);
      if (put < 0 && errno != EINTR && errno != EAGAIN) {
        return -1;
      }
      sent += static_cast<size_t>(std::max<ssize_t>(put, 0));
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    AddressOf(sock_, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    AddressOf(sock_, false, ip, port);
  }
  socket_t socket() const override { return sock_; }

 private:
  void Start(std::chrono::milliseconds time, size_t bytes) {
    deadline_ = Clock::now() + time;
    budget_ = bytes;
    consumed_ = 0;
  }

  // Waits for `events` on the socket until `deadline`; false when it passed or the server stops.
  bool Wait(short events, Clock::time_point deadline) const {
    for (;;) {
      if (stopping_.load()) {
        return false;
      }
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        return false;
      }
      pollfd watch[2] = {{sock_, events, 0}, {wake_, POLLIN, 0}};
      const int ready = ::poll(watch, 2, static_cast<int>(left));
      if (ready < 0 && errno != EINTR) {
        return false;
      }
      if (ready > 0) {
        return !stopping_.load() && watch[0].revents != 0;
      }
    }
  }

  int sock_;
  const ConnectionLimits& limits_;
  int wake_;
  const std::atomic<bool>& stopping_;
  Clock::time_point deadline_ = Clock::now();
  size_t budget_ = 0;
  size_t consumed_ = 0;
  bool closeAfterReply_ = false;
  char buffer_[4096] = {};
  size_t position_ = 0;
  size_t length_ = 0;
};

thread_local GuardedStream* tCurrent = nullptr;

// SO_REUSEADDR only: the library's default adds SO_REUSEPORT, and two studios on one port would
// then take turns answering.
void ExclusivePort(socket_t sock) {
  const int yes = 1;
  ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace

GuardedServer::GuardedServer(const ConnectionLimits& limits) : limits_(limits) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot make the server's stop pipe: ") +
                             std::strerror(errno));
  }
  set_socket_options(ExclusivePort);
}

GuardedServer::~GuardedServer() {
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void GuardedServer::StopAll() {
  stopping_ = true;
  const char byte = 1;
  (void)!::write(wake_[1], &byte, 1);
  stop();
}

void GuardedServer::HeadersRead() {
  if (tCurrent != nullptr) {
    tCurrent->StartBody();
  }
}

void GuardedServer::CloseAfterReply() {
  if (tCurrent != nullptr) {
    tCurrent->CloseAfterReply();
  }
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  GuardedStream stream(sock, limits_, wake_[0], stopping_);
  tCurrent = &stream;
  bool served = false;
  for (size_t n = 0; n < limits_.requestsPerConnection && !stopping_.load(); ++n) {
    // The first request's wait counts against its headers' time; later ones get the keep-alive's.
    if (n > 0 && !stream.WaitForRequest(limits_.keepAlive)) {
      break;
    }
    stream.StartHeaders();
    bool closed = false;
    const bool last = n + 1 == limits_.requestsPerConnection;
    served = process_request(stream, last, closed, [](httplib::Request&) {});
    if (!served || closed || stream.closeAfterReply()) {
      break;
    }
  }
  tCurrent = nullptr;
  if (stream.closeAfterReply() && !stopping_.load()) {
    stream.Linger();
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return served;
}

}  // namespace lwstudio
