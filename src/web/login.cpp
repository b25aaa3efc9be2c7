#include "web/login.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace vireluz {

std::optional<Credentials> basic_credentials(std::string_view authorization) {
  constexpr std::string_view kScheme = "basic ";
  if (authorization.size() <= kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = authorization[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i]) return std::nullopt;
  }
  std::string_view b64 = authorization.substr(kScheme.size());
  while (!b64.empty() && b64.front() == ' ') b64.remove_prefix(1);
  if (b64.empty() || b64.size() % 4 != 0 || b64.size() > 4096) return std::nullopt;
  for (char c : b64)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=') return std::nullopt;
  std::vector<unsigned char> out(b64.size() / 4 * 3 + 1);
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(b64.data()),
                                static_cast<int>(b64.size()));
  if (n < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding as data: take it off again.
  std::size_t len = static_cast<std::size_t>(n);
  for (std::size_t i = b64.size(); i > 0 && b64[i - 1] == '='; --i) --len;
  const std::string decoded(reinterpret_cast<const char*>(out.data()), len);
  const std::size_t colon = decoded.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return Credentials{decoded.substr(0, colon), decoded.substr(colon + 1)};
}

bool same_secret(std::string_view a, std::string_view b) {
  std::array<unsigned char, SHA256_DIGEST_LENGTH> da{}, db{};
  SHA256(reinterpret_cast<const unsigned char*>(a.data()), a.size(), da.data());
  SHA256(reinterpret_cast<const unsigned char*>(b.data()), b.size(), db.data());
  return CRYPTO_memcmp(da.data(), db.data(), da.size()) == 0;
}

void LoginLimiter::forget_expired(std::int64_t now_ms) {
  std::erase_if(windows_, [now_ms](const auto& e) { return now_ms - e.second.start >= kWindowMs; });
}

void LoginLimiter::failure(const std::string& address, std::int64_t now_ms) {
  auto it = windows_.find(address);
  if (it != windows_.end() && now_ms - it->second.start >= kWindowMs) {
    windows_.erase(it);
    it = windows_.end();
  }
  if (it == windows_.end()) {
    if (windows_.size() >= kMaxAddresses) forget_expired(now_ms);
    if (windows_.size() >= kMaxAddresses) {
      windows_.erase(std::min_element(windows_.begin(), windows_.end(), [](const auto& x, const auto& y) {
        return x.second.start < y.second.start;
      }));
    }
    it = windows_.emplace(address, Window{now_ms, 0}).first;
  }
  ++it->second.failures;
}

std::int64_t LoginLimiter::refused_for(const std::string& address, std::int64_t now_ms) const {
  const auto it = windows_.find(address);
  if (it == windows_.end() || it->second.failures < kMaxFailures) return 0;
  return std::max<std::int64_t>(0, it->second.start + kWindowMs - now_ms);
}

}  // namespace vireluz
