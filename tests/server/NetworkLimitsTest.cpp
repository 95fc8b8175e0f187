// Who may connect and how much: address ranges against IPv4, IPv6 and
// IPv4-mapped peers, the client budget under an open-file limit, and the
// rate of client log lines.
#include "AddressFilter.h"
#include "Limits.h"

#include <gtest/gtest.h>

using namespace vexcountd;
using namespace std::chrono_literals;

namespace {

asio::ip::address ip(const char* text) {
    return asio::ip::make_address(text);
}

TEST(AddressFilter, AdmitsPeersInsideItsRangesOnly) {
    struct Case {
        const char* range;
        const char* peer;
        bool inside;
    };
    const Case cases[] = {
        {"127.0.0.2/32", "127.0.0.2", true},
        {"127.0.0.2/32", "127.0.0.1", false},
        {"127.0.0.2", "127.0.0.2", true}, // a plain address is /32
        {"192.168.1.0/24", "192.168.1.255", true},
        {"192.168.1.0/24", "192.168.2.1", false},
        {"192.168.1.77/24", "192.168.1.3", true}, // host bits are ignored
        {"10.0.0.0/8", "::ffff:10.9.8.7", true},  // an IPv4 peer on an IPv6 socket
        {"10.0.0.0/8", "::ffff:11.0.0.1", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "2001:db8::1", false}, // every IPv4 address, no IPv6 one
        {"fd00::/8", "fd12:3456::1", true},
        {"fd00::/8", "fe80::1", false},
        {"::1", "::1", true}, // a plain address is /128
        {"::1", "::2", false},
        {"::ffff:10.0.0.0/104", "10.1.2.3", true}, // a mapped range admits IPv4 peers
        {"2001:db8::/127", "2001:db8::1", true},
        {"2001:db8::/127", "2001:db8::2", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.range) + " " + c.peer);
        const auto range = AddressRange::parse(c.range);
        ASSERT_TRUE(range);
        EXPECT_EQ(AddressFilter({*range}, false).admits(ip(c.peer)), c.inside);
    }
    for (const char* bad : {"", "/8", "10.0.0.0/", "10.0.0.0/33", "::/129", "10.0.0.0/+8",
                            "10.0.0.0/8/8", "lab-pc", "10.0.0", "any"})
        EXPECT_FALSE(AddressRange::parse(bad)) << bad;

    EXPECT_FALSE(AddressFilter().admits(ip("127.0.0.1")));
    EXPECT_TRUE(AddressFilter({}, true).admits(ip("2001:db8::1")));
    EXPECT_EQ(canonical(ip("::ffff:127.0.0.1")), ip("127.0.0.1"));
    EXPECT_EQ(AddressRange::parse("10.1.2.3/8")->text(), "10.0.0.0/8");
}

TEST(ClientBudget, FitsTheClientLimitToTheOpenFileLimit) {
    struct Case {
        int wanted;
        long soft, hard;
        long openFiles;
        int clients;
        bool lowered;
    };
    const Case cases[] = {
        {64, 1024, 4096, 1024, 64, false}, // enough already: no change
        {64, 100, 4096, 152, 64, false},   // raised as far as needed
        {1024, 1024, 4096, 1112, 1024, false},
        {64, 64, 64, 64, 35, true},    // no raise possible: 40 usable, 5 for refusals
        {64, 64, 100, 100, 64, false}, // raised to the hard limit: enough with fewer refusals
        {10, 30, 30, 30, 5, true},     // tiny limits keep one refusal slot
        {64, 10, 10, 10, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.wanted) + " " + std::to_string(c.soft) + " " +
                     std::to_string(c.hard));
        const ClientBudget budget = fitToFileLimit(c.wanted, c.soft, c.hard);
        EXPECT_EQ(budget.openFiles, c.openFiles);
        EXPECT_EQ(budget.maxClients, c.clients);
        EXPECT_EQ(budget.lowered, c.lowered);
        EXPECT_GE(budget.maxLingering, 1);
        if (budget.lowered) {
            EXPECT_LE(budget.maxClients + budget.maxLingering + kReservedFiles,
                      std::max(budget.openFiles, kReservedFiles + 2));
        }
    }
}

TEST(LogLimiter, WritesAFewLinesASecondAndCountsTheRest) {
    LogLimiter limiter(3);
    const auto t0 = LogLimiter::Clock::now();
    int written = 0;
    for (int i = 0; i < 10; ++i)
        written += limiter.admit(t0 + i * 1ms).write;
    EXPECT_EQ(written, 3);
    EXPECT_EQ(limiter.takeSuppressed(t0 + 500ms), 0); // the window is still open
    // The next window's first line brings the summary of the last one.
    const LogLimiter::Decision next = limiter.admit(t0 + 1s);
    EXPECT_TRUE(next.write);
    EXPECT_EQ(next.summarise, 7);
    for (int i = 0; i < 5; ++i)
        limiter.admit(t0 + 1s + i * 1ms);
    EXPECT_EQ(limiter.takeSuppressed(t0 + 2s), 3);
    EXPECT_EQ(limiter.takeSuppressed(t0 + 2s), 0);
}

} // namespace
