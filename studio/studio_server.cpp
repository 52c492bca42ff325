#include "studio_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <string>

#include "guarded_server.h"
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

bool HeaderHas(const httplib::Request& req, const char* name, const std::string& word) {
  std::string value = req.get_header_value(name);
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return value.find(word) != std::string::npos;
}

// The request's body, read under kMaxBodyBytes as it arrives (the library's own limit holds only
// for a Content-Length). A request with neither Content-Length nor Transfer-Encoding has an empty
// body. nullopt, with `refusal` set, when the body is refused; a body left unread closes the
// connection after the reply.
std::optional<std::string> ReadBody(const httplib::Request& req,
                                    const httplib::ContentReader& reader, Reply* refusal) {
  const auto refuse = [refusal](int status, const char* message) {
    *refusal = ErrorReply(status, message, "");
    GuardedServer::CloseAfterReply();
    return std::nullopt;
  };
  const bool chunked = req.has_header("Transfer-Encoding");
  if (chunked && !HeaderHas(req, "Transfer-Encoding", "chunked")) {
    return refuse(501, "the studio reads only chunked or plain bodies");
  }
  if (HeaderHas(req, "Content-Type", "multipart/")) {
    return refuse(415, "the body must be JSON, not a multipart form");
  }
  if (!chunked) {
    if (!req.has_header("Content-Length")) {
      return std::string();
    }
    const std::string text = req.get_header_value("Content-Length");
    uint64_t length = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), length);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
      return refuse(400, "Content-Length must be a whole number of bytes");
    }
    if (length > kMaxBodyBytes) {
      return refuse(413, "the body is larger than 16 MB");
    }
  }
  std::string body;
  bool tooLarge = false;
  const bool read = reader([&](const char* data, size_t size) {
    if (body.size() + size > kMaxBodyBytes) {
      tooLarge = true;
      return false;
    }
    body.append(data, size);
    return true;
  });
  if (!read) {
    return tooLarge ? refuse(413, "the body is larger than 16 MB")
                    : refuse(400, "the body could not be read");
  }
  return body;
}

// A route that takes a body: `handle` gets it once it is read whole.
httplib::Server::HandlerWithContentReader WithBody(
    std::function<Reply(const httplib::Request&, const std::string&)> handle) {
  return [handle = std::move(handle)](const httplib::Request& req, httplib::Response& res,
                                      const httplib::ContentReader& reader) {
    Reply refusal;
    const std::optional<std::string> body = ReadBody(req, reader, &refusal);
    Send(res, body ? handle(req, *body) : refusal);
  };
}

// Asks, without blocking, whether the client of `req` has hung up.
std::function<bool()> ClientGone(const httplib::Request& req) {
  const int socket = FindConnectionSocket(req.local_port, req.remote_port);
  return [socket] { return PeerHasClosed(socket); };
}

}  // namespace

StudioServer::StudioServer(Studio& studio)
    : studio_(studio), server_(std::make_unique<GuardedServer>(ConnectionLimits{})) {
  server_->set_payload_max_length(kMaxBodyBytes);
  server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  AddRoutes();
}

StudioServer::~StudioServer() = default;

int StudioServer::Bind(int port) {
  port_ = port == 0 ? server_->bind_to_any_port(kLoopback) : port;
  if (port_ <= 0 || (port != 0 && !server_->bind_to_port(kLoopback, port))) {
    throw PortInUse("port " + std::to_string(port) + " is in use");
  }
  return port_;
}

void StudioServer::Run() {
  server_->listen_after_bind();
}

void StudioServer::Stop() {
  studio_.Stop();
  server_->StopAll();
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
    GuardedServer::HeadersRead();
    if (!hostOk || !originOk) {
      GuardedServer::CloseAfterReply();  // its body, if any, is never read
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
          const std::string message = res.status == 404   ? "no such route"
                                      : res.status == 413 ? "the request is too large"
                                      : res.status == 414 ? "the request's address is too long"
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
  s.Get("/api/scene", [this](const httplib::Request&, httplib::Response& res) {
    Reply reply = studio_.GetScene();
    reply.headers.emplace_back("X-Lathewind-File", studio_.FileName());
    Send(res, reply);
  });
  s.Patch("/api/scene", WithBody([this](const httplib::Request&, const std::string& body) {
            return studio_.PatchScene(body);
          }));
  s.Put("/api/scene", WithBody([this](const httplib::Request&, const std::string& body) {
          return studio_.PutScene(body);
        }));
  s.Get("/api/masks", [this](const httplib::Request& req, httplib::Response& res) {
    Reply refusal;
    const auto frame = QueryNumber(req, "frame", 0, &refusal);
    Send(res, frame ? studio_.Masks(*frame) : refusal);
  });
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
  s.Post("/api/graph/event", WithBody([this](const httplib::Request&, const std::string& body) {
           return studio_.GraphEvent(body);
         }));
  s.Post("/api/save", WithBody([this](const httplib::Request&, const std::string& body) {
           return studio_.Save(body);
         }));
  s.Post("/api/export", WithBody([this](const httplib::Request&, const std::string& body) {
           return studio_.StartExport(body);
         }));
  s.Get("/api/export", [this](const httplib::Request&, httplib::Response& res) {
    Send(res, studio_.ExportStatus());
  });
  s.Delete("/api/export", WithBody([this](const httplib::Request&, const std::string&) {
             return studio_.CancelExport();
           }));

  // Any other route that could carry a body answers before reading it (the library would read a
  // chunked one whole to find no handler).
  const auto noRoute = [](const httplib::Request&, httplib::Response& res,
                          const httplib::ContentReader&) {
    GuardedServer::CloseAfterReply();
    Send(res, ErrorReply(404, "no such route", ""));
  };
  s.Post(".*", noRoute);
  s.Put(".*", noRoute);
  s.Patch(".*", noRoute);
  s.Delete(".*", noRoute);
}

}  // namespace lwstudio
