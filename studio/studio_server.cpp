#include "studio_server.h"

#include <httplib.h>

#include <charconv>
#include <optional>
#include <stdexcept>
#include <string>

#include "page_files.h"
#include "peer_socket.h"
#include "scenes/scene.h"
#include "studio.h"

namespace lwstudio {

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr int64_t kMaxDownsample = lwhost::kMaxDownsample;

void Send(httplib::Response& res, const Reply& reply) {
  res.status = reply.status;
  res.set_content(reply.body, reply.type.c_str());
  res.set_header("Cache-Control", "no-store");
  for (const auto& [name, value] : reply.headers) {
    res.set_header(name.c_str(), value);
  }
}

// An optional whole-number query parameter; nullopt (with `refusal` set) when it is malformed.
std::optional<int64_t> QueryNumber(const httplib::Request& req, const char* name, int64_t fallback,
                                   Reply* refusal) {
  if (!req.has_param(name)) {
    return fallback;
  }
  const std::string text = req.get_param_value(name);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    *refusal =
        ErrorReply(400, std::string(name) + " must be a whole number", "/" + std::string(name));
    return std::nullopt;
  }
  return value;
}

// Asks, without blocking, whether the client of `req` has hung up.
std::function<bool()> ClientGone(const httplib::Request& req) {
  const int socket = FindConnectionSocket(req.local_port, req.remote_port);
  return [socket] { return PeerHasClosed(socket); };
}

}  // namespace

StudioServer::StudioServer(Studio& studio)
    : studio_(studio), server_(std::make_unique<httplib::Server>()) {
  server_->set_payload_max_length(kMaxBodyBytes);
  // A connection the browser keeps open holds Stop() until it times out: a second, not five, so
  // Ctrl-C ends the studio at once while a page is open. Reconnecting on localhost costs nothing.
  server_->set_keep_alive_timeout(1);
  AddRoutes();
}

StudioServer::~StudioServer() = default;

int StudioServer::Bind(int port) {
  port_ = port == 0 ? server_->bind_to_any_port(kLoopback) : port;
  if (port_ <= 0 || (port != 0 && !server_->bind_to_port(kLoopback, port))) {
    throw std::runtime_error("cannot listen on " + std::string(kLoopback) + ":" +
                             std::to_string(port) + " (is another program using that port?)");
  }
  return port_;
}

void StudioServer::Run() {
  server_->listen_after_bind();
}

void StudioServer::Stop() {
  server_->stop();
}

void StudioServer::AddRoutes() {
  httplib::Server& s = *server_;

  // Only our own address: a page elsewhere cannot reach us through a rebound name or post to us.
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const std::string port = std::to_string(port_);
    const std::string host = req.get_header_value("Host");
    const bool hostOk = host == std::string(kLoopback) + ":" + port || host == "localhost:" + port;
    bool originOk = true;
    if (req.has_header("Origin")) {
      const std::string origin = req.get_header_value("Origin");
      originOk = origin == "http://" + std::string(kLoopback) + ":" + port ||
                 origin == "http://localhost:" + port;
    }
    if (!hostOk || !originOk) {
      Send(res, ErrorReply(403,
                           hostOk ? "requests from another origin are refused"
                                  : "requests for another host name are refused",
                           ""));
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Errors the library answers itself (413, 404, ...) get the same JSON as ours.
  s.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
          const std::string message = res.status == 413   ? "the body is larger than 16 MB"
                                      : res.status == 404 ? "no such route"
                                                          : "the request was refused";
          Send(res, ErrorReply(res.status, message, ""));
        }
        return httplib::Server::HandlerResponse::Handled;
      }));
  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Send(res, ErrorReply(500, "internal error", ""));
  });

  for (const PageFile& file : PageFiles()) {
    s.Get(std::string(file.path), [file](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(file.body), (std::string(file.type) + "; charset=utf-8").c_str());
      res.set_header("Content-Security-Policy",
                     "default-src 'self'; img-src 'self' blob: data:; style-src 'self'");
    });
  }

  s.Get("/api/params",
        [this](const httplib::Request&, httplib::Response& res) { Send(res, studio_.Params()); });
  s.Get("/api/scene",
        [this](const httplib::Request&, httplib::Response& res) { Send(res, studio_.GetScene()); });
  s.Put("/api/scene", [this](const httplib::Request& req, httplib::Response& res) {
    Send(res, studio_.PutScene(req.body));
  });
  s.Get("/api/masks",
        [this](const httplib::Request&, httplib::Response& res) { Send(res, studio_.Masks()); });
  s.Get("/api/frame", [this](const httplib::Request& req, httplib::Response& res) {
    Reply refusal;
    const auto frame = QueryNumber(req, "frame", 0, &refusal);
    const auto downsample = frame ? QueryNumber(req, "downsample", 0, &refusal) : std::nullopt;
    if (!frame || !downsample) {
      Send(res, refusal);
      return;
    }
    if (req.has_param("downsample") && (*downsample < 1 || *downsample > kMaxDownsample)) {
      Send(res, ErrorReply(400, "downsample must lie in 1 to " + std::to_string(kMaxDownsample),
                           "/downsample"));
      return;
    }
    Send(res, studio_.Frame(*frame, static_cast<int>(*downsample), ClientGone(req)));
  });
  s.Get("/api/graph.png", [this](const httplib::Request& req, httplib::Response& res) {
    Reply refusal;
    const auto frame = QueryNumber(req, "frame", 0, &refusal);
    Send(res, frame ? studio_.GraphPng(*frame) : refusal);
  });
  s.Post("/api/graph/event", [this](const httplib::Request& req, httplib::Response& res) {
    Send(res, studio_.GraphEvent(req.body));
  });
  s.Post("/api/save",
         [this](const httplib::Request&, httplib::Response& res) { Send(res, studio_.Save()); });
  s.Post("/api/export", [this](const httplib::Request& req, httplib::Response& res) {
    Send(res, studio_.Export(req.body, ClientGone(req)));
  });
}

}  // namespace lwstudio
