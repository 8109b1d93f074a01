// Builds pcapng and classic pcap files by hand, in either byte order, for
// the reader's tests: files the writer never makes.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace qz6::capture::test {

struct Option {
    uint16_t code;
    std::vector<uint8_t> value;
};

struct FileBuilder {
    explicit FileBuilder(bool big_endian) : big(big_endian) {}

    bool big;
    std::vector<uint8_t> bytes;

    std::vector<uint8_t> U16(uint16_t v) const
    {
        return big ? std::vector<uint8_t>{uint8_t(v >> 8), uint8_t(v)} : std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)};
    }
    std::vector<uint8_t> U32(uint32_t v) const
    {
        std::vector<uint8_t> high = U16(uint16_t(v >> 16));
        std::vector<uint8_t> low = U16(uint16_t(v));
        return big ? Join(high, low) : Join(low, high);
    }
    std::vector<uint8_t> U64(uint64_t v) const
    {
        return big ? Join(U32(uint32_t(v >> 32)), U32(uint32_t(v))) : Join(U32(uint32_t(v)), U32(uint32_t(v >> 32)));
    }
    // pcapng's timestamps: high half first.
    std::vector<uint8_t> Timestamp(uint64_t v) const { return Join(U32(uint32_t(v >> 32)), U32(uint32_t(v))); }

    static std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    static void Pad(std::vector<uint8_t>& v)
    {
        while (v.size() % 4 != 0)
            v.push_back(0);
    }

    // A pcapng block: type, length, body (padded), length.
    void Block(uint32_t type, std::vector<uint8_t> body)
    {
        Pad(body);
        const uint32_t length = uint32_t(body.size() + 12);
        bytes = Join(Join(Join(Join(bytes, U32(type)), U32(length)), body), U32(length));
    }
    std::vector<uint8_t> Options(const std::vector<Option>& options) const
    {
        std::vector<uint8_t> out;
        for (const Option& option : options) {
            out = Join(Join(Join(out, U16(option.code)), U16(uint16_t(option.value.size()))), option.value);
            Pad(out);
        }
        if (!options.empty())
            out = Join(out, {0, 0, 0, 0});
        return out;
    }

    void SectionHeader(const std::string& application)
    {
        std::vector<uint8_t> body = Join(Join(Join(U32(0x1A2B3C4D), U16(1)), U16(0)), U64(~0ull));
        Block(0x0A0D0D0A, Join(body, Options({{4, std::vector<uint8_t>(application.begin(), application.end())}})));
    }
    void Interface(uint16_t link_type, const std::vector<Option>& options)
    {
        Block(1, Join(Join(Join(U16(link_type), U16(0)), U32(0)), Options(options)));
    }
    void EnhancedPacket(uint32_t interface_id, uint64_t timestamp, std::vector<uint8_t> data, uint32_t original,
                        const std::vector<Option>& options)
    {
        std::vector<uint8_t> body = Join(Join(U32(interface_id), Timestamp(timestamp)), U32(uint32_t(data.size())));
        body = Join(body, U32(original));
        Pad(data);
        Block(6, Join(Join(body, data), Options(options)));
    }
    void SimplePacket(uint32_t original, const std::vector<uint8_t>& data) { Block(3, Join(U32(original), data)); }

    void PcapHeader(bool nanos, uint32_t link_type)
    {
        bytes = Join(Join(Join(U32(nanos ? 0xA1B23C4D : 0xA1B2C3D4), U16(2)), U16(4)), U32(0));
        bytes = Join(Join(Join(bytes, U32(0)), U32(65535)), U32(link_type));
    }
    void PcapRecord(uint32_t seconds, uint32_t fraction, const std::vector<uint8_t>& data, uint32_t original)
    {
        bytes = Join(Join(Join(Join(bytes, U32(seconds)), U32(fraction)), U32(uint32_t(data.size()))), U32(original));
        bytes = Join(bytes, data);
    }
};

}  // namespace qz6::capture::test
