// Texts of the About window that need no window: the version label and the
// server label composed from the counting server's identity answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The upper panel's first label: the version line, a line break and our notice.
std::string VersionLabelText();

// The hidden line under the version label; it shows only when clicked.
std::string HiddenNoticeText();

// The lower panel's label. hostSet: a "server=" argument named a remote server
// (also when its host text is empty); port 0 stands for the default 8279.
// status and idText are what QV_QueryServerID answered: on status 0 the text
// holds "name,version,start date,start time", split at commas and shown as
// four indented lines; any other status gives the failure text.
std::string ServerLabelText(bool hostSet, std::string_view host, int32_t port, int32_t status,
                            std::string_view idText);
