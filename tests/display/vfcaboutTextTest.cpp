// The About window's server label, composed from the identity answer.
#include "display/vfcaboutText.h"

#include "vexif.h"

#include <gtest/gtest.h>

namespace {

struct LabelCase {
    const char* what;
    bool hostSet;
    const char* host;
    int32_t port;
    int32_t status;
    std::string_view id;
    std::string expected;
};

// The four field lines after the label's first line.
std::string fields(const char* name, const char* version, const char* date, const char* time) {
    return std::string("\r\n    Name: ") + name + "\r\n    Version: " + version +
           "\r\n    Start Date: " + date + "\r\n    Start Time: " + time;
}

const std::string kBuiltIn = "The built-in server is:";
const std::string kFailed = "Could not connect to the Server to retrieve Server Version";

const LabelCase kLabelCases[] = {
    {"built-in server", false, "", 0, QV_OK, "S,1.0,d,t",
     "The built-in server is:\r\n    Name: S\r\n    Version: 1.0\r\n    Start Date: d\r\n"
     "    Start Time: t"},
    {"remote host, port 0 means 8279", true, "lab-pc", 0, QV_OK, "S,1.0,d,t",
     "The Server on lab-pc, port 8279, is:" + fields("S", "1.0", "d", "t")},
    {"remote host with its own port", true, "10.0.0.7", 9000, QV_OK, "S,1.0,d,t",
     "The Server on 10.0.0.7, port 9000, is:" + fields("S", "1.0", "d", "t")},
    {"an empty host is still a remote server", true, "", 0, QV_OK, "S,1.0,d,t",
     "The Server on , port 8279, is:" + fields("S", "1.0", "d", "t")},
    {"no commas fill only the name", false, "", 0, QV_OK, "vexcountd",
     kBuiltIn + fields("vexcountd", "", "", "")},
    {"missing fields at the end stay empty", false, "", 0, QV_OK, "S,2.1",
     kBuiltIn + fields("S", "2.1", "", "")},
    {"a fifth field is not shown", false, "", 0, QV_OK, "S,1,d,t,extra",
     kBuiltIn + fields("S", "1", "d", "t")},
    {"empty fields are kept in place", false, "", 0, QV_OK, ",,d,",
     kBuiltIn + fields("", "", "d", "")},
    {"the answer ends at its zero byte", false, "", 0, QV_OK, std::string_view("S,1\0,d,t", 8),
     kBuiltIn + fields("S", "1", "", "")},
    {"failure, built-in", false, "", 0, QV_ERR_CONNECTION_LOST, "S,1.0,d,t", kFailed},
    {"failure, remote", true, "lab-pc", 9000, QV_ERR_TIMEOUT, "", kFailed},
};

} // namespace

TEST(AboutText, ServerLabel) {
    for (const auto& c : kLabelCases) {
        EXPECT_EQ(ServerLabelText(c.hostSet, c.host, c.port, c.status, c.id), c.expected) << c.what;
    }
}

TEST(AboutText, VersionLabelStartsWithTheVersionLine) {
    const std::string text = VersionLabelText();
    EXPECT_EQ(text.rfind("Software Version: Apr 14 2008\r\n", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("Software Version: Apr 14 2008\r\n").size());
    EXPECT_EQ(text.find('\r', 30), std::string::npos) << "one notice line";
    EXPECT_FALSE(HiddenNoticeText().empty());
}
