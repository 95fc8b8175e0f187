// Who may connect to vexcountd: a list of address ranges (CIDR) and the
// rule for loopback listeners. Pure, so the matching of IPv4, IPv6 and
// IPv4-mapped IPv6 peers is tested without sockets.
#pragma once

// A standard header first: Asio picks its handler allocator by what the
// standard library has announced, and every file must pick the same one.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/ip/address.hpp>

namespace vexcountd {

// One range: an address and the number of leading bits that must match.
// IPv4 ranges are kept as IPv4-mapped IPv6 (::ffff:a.b.c.d, prefix + 96), so
// one comparison serves peers of both families.
struct AddressRange {
    std::array<uint8_t, 16> bytes{};
    int prefix = 128; // 0..128

    // "10.0.0.0/8", "192.168.1.7" (/32), "fd00::/8", "::1" (/128). Nothing
    // for anything else (host names included).
    static std::optional<AddressRange> parse(std::string_view text);
    bool contains(const asio::ip::address& address) const;
    std::string text() const;
};

class AddressFilter {
public:
    // No ranges and allowAny false: nobody is admitted.
    AddressFilter() = default;
    AddressFilter(std::vector<AddressRange> ranges, bool allowAny)
        : m_ranges(std::move(ranges)), m_allowAny(allowAny) {}

    bool admits(const asio::ip::address& address) const;

private:
    std::vector<AddressRange> m_ranges;
    bool m_allowAny = false;
};

// The address as a peer key: IPv4-mapped IPv6 peers count as their IPv4
// address, so one host is one key whichever socket family it reached.
asio::ip::address canonical(const asio::ip::address& address);

} // namespace vexcountd
