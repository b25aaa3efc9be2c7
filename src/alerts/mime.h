#pragma once
// The alert mail as MIME text: text/plain in UTF-8, quoted-printable, with the
// subject as RFC 2047 encoded words when it holds accents (folded onto lines
// of at most 78 characters either way), and the header X-Priority: 1.
#include <string>

#include "alerts/mail_sender.h"
#include "common/clock.h"

namespace vireluz {

// The whole mail text (header lines, empty line, body), lines ended by CR LF.
// `local` is the local time of sending, `utc_offset_minutes` its offset from
// UTC; `message_id` goes into Message-ID between angle brackets. Throws
// VireluzError for an address that holds a line break or control character.
std::string build_mime_message(const MailMessage& message, const DateTime& local, int utc_offset_minutes,
                               const std::string& message_id);

// The text with its line breaks and other control characters made blanks,
// for a header line or a message.
Text flatten(const Text& t);

}  // namespace vireluz
