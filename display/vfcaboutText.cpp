// Texts of the About window that need no window.
#include "display/vfcaboutText.h"

#include "vexif.h"

#include <array>

namespace {

constexpr std::string_view kLineBreak = "\r\n";

// The four comma-separated fields of the identity answer; fields missing at
// its end stay empty, anything after a fourth comma is not shown.
std::array<std::string_view, 4> splitIdentity(std::string_view text) {
    std::array<std::string_view, 4> fields{};
    for (auto& field : fields) {
        const auto comma = text.find(',');
        field = text.substr(0, comma);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return fields;
}

} // namespace

std::string VersionLabelText() {
    std::string text = "Software Version: Apr 14 2008";
    text += kLineBreak;
    text += "Vex Frequency And Event Counter, Qt 6 edition.";
    return text;
}

std::string HiddenNoticeText() {
    return "Every edge counted, none invented.";
}

std::string ServerLabelText(bool hostSet, std::string_view host, int32_t port, int32_t status,
                            std::string_view idText) {
    if (status != QV_OK) return "Could not connect to the Server to retrieve Server Version";

    // The answer is a C text: nothing after a zero byte belongs to it.
    idText = idText.substr(0, idText.find('\0'));
    const auto fields = splitIdentity(idText);

    std::string text;
    if (hostSet) {
        text += "The Server on ";
        text += host;
        text += ", port ";
        text += std::to_string(port == 0 ? QV_DEFAULT_PORT : port);
        text += ",";
    } else {
        text += "The built-in server";
    }
    text += " is:\r\n    Name: ";
    text += fields[0];
    text += "\r\n    Version: ";
    text += fields[1];
    text += "\r\n    Start Date: ";
    text += fields[2];
    text += "\r\n    Start Time: ";
    text += fields[3];
    return text;
}
