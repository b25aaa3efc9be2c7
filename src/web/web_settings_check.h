#pragma once
// The rules of [CONFIG_WEB] that hold wherever the settings come from (the
// "Page Web" window, the INI file, `vireluz-tic settings --set`): a numeric
// listening address, a port, the login as a pair, and no page opened to the
// network without a password.
#include <optional>
#include <string_view>

#include "common/text.h"
#include "config/settings.h"

namespace vireluz {

// 127.0.0.0/8, ::1 and ::ffff:127.x.x.x.
bool is_loopback_address(std::string_view address);

// Why these settings cannot serve the page (French, Windows-1252), nullopt
// when they can. Files are not opened here.
std::optional<Text> web_settings_problem(const WebSettings& settings);

}  // namespace vireluz
