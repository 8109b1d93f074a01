// Hand-built pcapng and classic pcap files in either byte order, for the
// reader's tests: files the writer never makes.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace qz6::capture::test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Padded(Bytes v)
{
    v.resize((v.size() + 3) & ~size_t{3});
    return v;
}

struct FileBuilder {
    bool big;
    Bytes bytes;

    Bytes U16(uint16_t v) const { return big ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)}; }
    Bytes U32(uint32_t v) const { return big ? U16(v >> 16) + U16(v) : U16(v) + U16(v >> 16); }
    Bytes U64(uint64_t v) const { return big ? U32(v >> 32) + U32(v) : U32(v) + U32(v >> 32); }
    Bytes Timestamp(uint64_t v) const { return U32(v >> 32) + U32(v); }  // high half first, always

    // options: {code, value}...; an end of options when there are any.
    Bytes Options(const std::vector<std::pair<uint16_t, Bytes>>& options) const
    {
        Bytes out;
        for (const auto& [code, value] : options)
            out = out + U16(code) + U16(uint16_t(value.size())) + Padded(value);
        return options.empty() ? out : out + Bytes{0, 0, 0, 0};
    }
    void Block(uint32_t type, const Bytes& body)
    {
        const Bytes length = U32(uint32_t(Padded(body).size() + 12));
        bytes = bytes + U32(type) + length + Padded(body) + length;
    }
    void SectionHeader(const std::string& application)
    {
        Block(0x0A0D0D0A, U32(0x1A2B3C4D) + U16(1) + U16(0) + U64(~0ull) + Options({{4, Bytes(application.begin(), application.end())}}));
    }
    void Interface(uint16_t link_type, const std::vector<std::pair<uint16_t, Bytes>>& options = {})
    {
        Block(1, U16(link_type) + U16(0) + U32(0) + Options(options));
    }
    void Packet(uint32_t interface_id, uint64_t time, const Bytes& data, const std::vector<std::pair<uint16_t, Bytes>>& options = {})
    {
        Block(6, U32(interface_id) + Timestamp(time) + U32(uint32_t(data.size())) + U32(uint32_t(data.size())) +
                     Padded(data) + Options(options));
    }
    void PcapHeader(bool nanos, uint32_t link_type)
    {
        bytes = U32(nanos ? 0xA1B23C4D : 0xA1B2C3D4) + U16(2) + U16(4) + U32(0) + U32(0) + U32(65535) + U32(link_type);
    }
    void PcapRecord(uint32_t seconds, uint32_t fraction, const Bytes& data)
    {
        bytes = bytes + U32(seconds) + U32(fraction) + U32(uint32_t(data.size())) + U32(uint32_t(data.size())) + data;
    }
};

}  // namespace qz6::capture::test
