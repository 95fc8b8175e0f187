// Address ranges and the admission rule; see AddressFilter.h.
#include "AddressFilter.h"

#include <charconv>

namespace vexcountd {
namespace {

std::array<uint8_t, 16> mappedBytes(const asio::ip::address& address) {
    if (address.is_v4())
        return asio::ip::make_address_v6(asio::ip::v4_mapped, address.to_v4()).to_bytes();
    return address.to_v6().to_bytes();
}

} // namespace

std::optional<AddressRange> AddressRange::parse(std::string_view text) {
    std::string_view host = text;
    std::optional<int> prefix;
    if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
        host = text.substr(0, slash);
        const std::string_view bits = text.substr(slash + 1);
        int value = -1;
        const auto [ptr, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), value);
        // Plain digits only: from_chars alone would take "-0" and "+8".
        if (bits.empty() || bits.front() < '0' || bits.front() > '9' || ec != std::errc() ||
            ptr != bits.data() + bits.size())
            return std::nullopt;
        prefix = value;
    }
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(std::string(host), ec);
    if (ec || host.empty()) return std::nullopt;
    const int width = address.is_v4() ? 32 : 128;
    if (prefix && (*prefix < 0 || *prefix > width)) return std::nullopt;
    AddressRange range;
    range.bytes = mappedBytes(address);
    range.prefix = prefix.value_or(width) + (address.is_v4() ? 96 : 0);
    // Bits below the prefix are cleared, so "10.1.2.3/8" means 10.0.0.0/8.
    for (int bit = range.prefix; bit < 128; ++bit)
        range.bytes[bit / 8] &= static_cast<uint8_t>(~(0x80u >> (bit % 8)));
    return range;
}

bool AddressRange::contains(const asio::ip::address& address) const {
    const std::array<uint8_t, 16> peer = mappedBytes(address);
    for (int bit = 0; bit < prefix; ++bit) {
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % 8));
        if ((peer[bit / 8] & mask) != (bytes[bit / 8] & mask)) return false;
    }
    return true;
}

std::string AddressRange::text() const {
    const asio::ip::address_v6 v6(bytes);
    if (v6.is_v4_mapped() && prefix >= 96)
        return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string() + "/" +
               std::to_string(prefix - 96);
    return v6.to_string() + "/" + std::to_string(prefix);
}

bool AddressFilter::admits(const asio::ip::address& address) const {
    if (m_allowAny) return true;
    for (const AddressRange& range : m_ranges)
        if (range.contains(address)) return true;
    return false;
}

asio::ip::address canonical(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

} // namespace vexcountd
