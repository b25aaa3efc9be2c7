#include <algorithm>

#include "alerts/mail_sender.h"

namespace vireluz {

namespace {

// Blanks, control characters and the angle brackets cannot be part of an
// address in "MAIL FROM:<...>" or "RCPT TO:<...>": they would end it and add
// parameters or commands to the exchange.
bool bad_address_char(char c) { return c == ' ' || is_control_char(c) || c == '<' || c == '>'; }

Text printable(Text t) {
  std::replace_if(t.begin(), t.end(), is_control_char, '?');
  return t;
}

// The item must be "address" or "name <address>", with nothing after '>'.
bool well_formed(const Text& item) {
  const std::string_view s = trim(item);
  const auto opens = std::count(s.begin(), s.end(), '<');
  const auto closes = std::count(s.begin(), s.end(), '>');
  if (opens == 0 && closes == 0) return true;
  return opens == 1 && closes == 1 && s.back() == '>' && s.find('<') < s.size() - 1;
}

std::optional<Text> check_one(const Text& item, const Text& role) {
  const Text address = envelope_address(item);
  if (address.empty()) return w("Adresse Mail ") + role + w(" vide : le Mail n'est pas envoyé.");
  const bool bad = !well_formed(item) || std::any_of(address.begin(), address.end(), bad_address_char);
  if (bad)
    return w("Adresse Mail ") + role + w(" invalide : \"") + printable(item) +
           w("\" (blanc, caractère de contrôle, < ou > interdits dans l'adresse). Le Mail n'est pas envoyé.");
  return std::nullopt;
}

}  // namespace

MailTls effective_tls(int stored, const Text& password) {
  if (stored >= 0 && stored <= 2) return static_cast<MailTls>(stored);
  return password.empty() ? MailTls::kIfOffered : MailTls::kRequired;
}

std::vector<Text> split_address_list(const Text& list) {
  std::vector<Text> out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t comma = list.find(',', pos);
    const std::string_view item =
        trim(std::string_view(list).substr(pos, comma == Text::npos ? Text::npos : comma - pos));
    if (!item.empty()) out.emplace_back(item);
    if (comma == Text::npos) break;
    pos = comma + 1;
  }
  return out;
}

Text envelope_address(const Text& item) {
  const std::size_t open = item.find('<');
  const std::size_t close = item.find('>', open == Text::npos ? 0 : open);
  if (open != Text::npos && close != Text::npos)
    return Text(trim(std::string_view(item).substr(open + 1, close - open - 1)));
  return Text(trim(item));
}

std::optional<Text> check_envelope(const MailMessage& message) {
  if (auto e = check_one(message.from, w("de l'émetteur"))) return e;
  if (message.to.empty()) return w("Aucun destinataire pour le Mail d'alerte.");
  for (const Text& r : message.to)
    if (auto e = check_one(r, w("du destinataire"))) return e;
  return std::nullopt;
}

}  // namespace vireluz
