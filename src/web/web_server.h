#pragma once
// The port of the page's server: it listens, lets every request head through
// the core's WebGate, serves the page and the core's answers, and keeps the
// pages' live streams. Its adapter runs on the Qt event loop
// (web_server_qt.h); nothing in it waits.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/web_gate.h"

namespace vireluz {

// What the server asks the core.
class WebSite {
 public:
  virtual ~WebSite() = default;
  // Decides what becomes of a complete request head from `peer` (its
  // address), with `extra_bytes` received after it, at `now_ms` (monotonic).
  virtual GateVerdict check(const HttpHead& head, std::size_t extra_bytes, const std::string& peer,
                            std::int64_t now_ms) = 0;
  // The first message of a page that opens its stream (the whole state).
  virtual std::string page_opened() = 0;
  // The body of /api/state.
  virtual std::string api_state() = 0;
  // A file to download by its name in /fichiers/NAME: where it is and the name
  // the browser saves it under; nullopt when unknown or absent.
  struct Download {
    std::string path;
    std::string file_name;
  };
  virtual std::optional<Download> download(std::string_view name) = 0;
};

class WebServer {
 public:
  struct Listen {
    std::string address;  // numeric
    int port = 0;
    std::string certificate, key;  // PEM files, both or neither (UTF-8 paths)
  };
  virtual ~WebServer() = default;
  // Starts listening (stops first when it was). Returns an empty text, or why
  // it cannot, in French (UTF-8).
  virtual std::string start(const Listen& listen, WebSite& site) = 0;
  // Closes every connection and stops listening.
  virtual void stop() = 0;
  // The port listened on (0 when stopped).
  virtual int port() const = 0;
  // Pages whose stream is open.
  virtual int pages() const = 0;
  // Sends one message to every open page.
  virtual void broadcast(const std::string& message) = 0;
};

}  // namespace vireluz
