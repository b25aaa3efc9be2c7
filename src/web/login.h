#pragma once
// The page's login: HTTP Basic credentials, compared in constant time, and the
// limit on failed attempts (5 in a minute from one address: that address is
// refused for the rest of the minute).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vireluz {

struct Credentials {
  std::string user;
  std::string password;
};

// The user and password of an "Authorization: Basic ..." value; nullopt when
// it is not Basic, not base64 or holds no colon.
std::optional<Credentials> basic_credentials(std::string_view authorization);

// Whether two secrets are equal, in a time that depends on neither their
// contents nor where they differ (their digests are compared).
bool same_secret(std::string_view a, std::string_view b);

class LoginLimiter {
 public:
  static constexpr int kMaxFailures = 5;
  static constexpr std::int64_t kWindowMs = 60000;
  // Addresses remembered at most: the oldest window is forgotten first.
  static constexpr std::size_t kMaxAddresses = 4096;

  // A failed login from `address` at `now_ms`.
  void failure(const std::string& address, std::int64_t now_ms);
  // How long `address` is still refused, in ms (0: not refused).
  std::int64_t refused_for(const std::string& address, std::int64_t now_ms) const;
  std::size_t remembered() const { return windows_.size(); }

 private:
  struct Window {
    std::int64_t start = 0;  // the first failure of the minute
    int failures = 0;
  };
  void forget_expired(std::int64_t now_ms);
  std::unordered_map<std::string, Window> windows_;
};

}  // namespace vireluz
