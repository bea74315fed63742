#include "tools/lib/cli.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillon::tools {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

}  // namespace

uint64_t ParseNumber(std::string_view text, uint64_t max, std::string_view what) {
    const std::string bad = std::string(what) + ": " + Quoted(text);
    uint64_t base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty()) throw ToolError(bad + " is not a number");
    uint64_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || static_cast<uint64_t>(d) >= base) throw ToolError(bad + " is not a number");
        if (static_cast<uint64_t>(d) > max || value > (max - d) / base)
            throw ToolError(bad + " is out of range (at most " + std::to_string(max) + ")");
        value = value * base + d;
    }
    return value;
}

uint64_t ParseSize(std::string_view text, std::string_view what) {
    uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1024;
    if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1024 * 1024;
    if (unit != 1) text.remove_suffix(1);
    constexpr uint64_t kMax = uint64_t{1} << 32;
    return ParseNumber(text, kMax / unit, what) * unit;
}

std::array<uint8_t, 4> ParseFirmwareId(std::string_view text) {
    std::array<uint8_t, 4> id{};
    bool ok = text.size() == 8;
    for (size_t i = 0; ok && i < 4; ++i) {
        const int hi = HexDigit(text[2 * i]);
        const int lo = HexDigit(text[2 * i + 1]);
        ok = hi >= 0 && lo >= 0;
        id[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    if (!ok)
        throw ToolError("firmware identifier " + Quoted(text) +
                        " must be 8 hex digits (its 4 bytes in package order, e.g. 51444d31)");
    return id;
}

std::string FormatFirmwareId(std::span<const uint8_t, 4> id) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : id) {
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    return out;
}

std::string FormatByte(uint8_t value) {
    static const char kHex[] = "0123456789abcdef";
    return std::string("0x") + kHex[value >> 4] + kHex[value & 0xF];
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ToolError(Quoted(path) + " is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot open " + Quoted(path) + ": " + std::strerror(errno));
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError("cannot read " + Quoted(path));
    return data;
}

void WriteFile(const std::string& path, std::span<const uint8_t> data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw ToolError("cannot create " + Quoted(path) + ": " + std::strerror(errno));
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) throw ToolError("cannot write " + Quoted(path));
}

}  // namespace quillon::tools
