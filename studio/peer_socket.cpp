#include "peer_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace lwstudio {

namespace {

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

}  // namespace

int FindConnectionSocket(int localPort, int remotePort) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    char* end = nullptr;
    const std::string name = entry.path().filename().string();
    const long fd = std::strtol(name.c_str(), &end, 10);
    if (end == name.c_str() || *end != '\0') {
      continue;
    }
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localSize = sizeof local;
    socklen_t peerSize = sizeof peer;
    if (::getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        ::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
      continue;
    }
    if (PortOf(local) == localPort && PortOf(peer) == remotePort) {
      return static_cast<int>(fd);
    }
  }
  return -1;
}

bool PeerHasClosed(int socket) {
  if (socket < 0) {
    return false;
  }
  pollfd watch{socket, POLLIN | POLLRDHUP, 0};
  if (::poll(&watch, 1, 0) <= 0) {
    return false;
  }
  if ((watch.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0) {
    return true;
  }
  // Readable: either a next request on a kept-alive connection, or the end of the stream.
  char byte = 0;
  return ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

}  // namespace lwstudio
