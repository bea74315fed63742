#include "sim/scenario.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

namespace sim {

namespace {

using nlohmann::json;

// The largest flash we agree to hold in memory (and in a file).
constexpr uint64_t kMaxFlashSize = 256u * 1024 * 1024;

// Thrown inside the parser only; ParseScenario turns it into a ParseError.
struct BadField {
    std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw BadField{where + ": " + what};
}

std::string Shown(const json& v) {
    return v.dump();
}

std::string Member(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Decimal ("42", "-1") or 0x hexadecimal ("0x1F"); nothing else, no spaces.
std::optional<int64_t> IntegerFromText(std::string_view s) {
    bool negative = false;
    if (!s.empty() && s[0] == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : s) {
        int digit;
        if (base == 16 && IsHexDigit(c)) {
            digit = HexValue(c);
        } else if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else {
            return std::nullopt;
        }
        if (value > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

int64_t Integer(const json& v, const std::string& where) {
    if (v.is_number_unsigned()) {
        if (v.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            Fail(where, Shown(v) + " is too large");
        return static_cast<int64_t>(v.get<uint64_t>());
    }
    if (v.is_number_integer()) return v.get<int64_t>();
    if (v.is_string()) {
        if (auto n = IntegerFromText(v.get<std::string>())) return *n;
    }
    Fail(where, "expected a number, got " + Shown(v));
}

int64_t Ranged(const json& v, const std::string& where, int64_t lo, int64_t hi) {
    int64_t n = Integer(v, where);
    if (n < lo || n > hi) {
        std::ostringstream s;
        s << n << " is out of range (" << lo << " to " << hi << ")";
        Fail(where, s.str());
    }
    return n;
}

uint8_t Byte(const json& v, const std::string& where) {
    return static_cast<uint8_t>(Ranged(v, where, 0, 0xFF));
}

uint32_t U32(const json& v, const std::string& where) {
    return static_cast<uint32_t>(Ranged(v, where, 0, std::numeric_limits<uint32_t>::max()));
}

// A 16-bit register address written as an object key.
uint16_t AddressKey(const std::string& key, const std::string& where) {
    auto n = IntegerFromText(key);
    if (!n) Fail(where, "expected a register address as key, got \"" + key + "\"");
    if (*n < 0 || *n > 0xFFFF) Fail(where, "register address " + key + " is out of range");
    return static_cast<uint16_t>(*n);
}

bool Bool(const json& v, const std::string& where) {
    if (!v.is_boolean()) Fail(where, "expected true or false, got " + Shown(v));
    return v.get<bool>();
}

std::string Text(const json& v, const std::string& where) {
    if (!v.is_string()) Fail(where, "expected a string, got " + Shown(v));
    return v.get<std::string>();
}

// Hexadecimal pairs, spaces allowed between them ("c2 20 10", "c22010").
std::vector<uint8_t> Bytes(const json& v, const std::string& where) {
    if (!v.is_string()) Fail(where, "expected a hex byte string, got " + Shown(v));
    const std::string s = v.get<std::string>();
    std::vector<uint8_t> out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= s.size() || !IsHexDigit(s[i]) || !IsHexDigit(s[i + 1]))
            Fail(where, "expected hex byte pairs, got " + Shown(v));
        out.push_back(static_cast<uint8_t>(HexValue(s[i]) << 4 | HexValue(s[i + 1])));
        i += 2;
    }
    return out;
}

const json& Array(const json& v, const std::string& where) {
    if (!v.is_array()) Fail(where, "expected a list, got " + Shown(v));
    return v;
}

// An object whose keys must all be known: a misspelt field is an error rather
// than a silently ignored setting.
const json& Object(const json& v, const std::string& where,
                   std::initializer_list<std::string_view> known) {
    if (!v.is_object()) Fail(where, "expected an object, got " + Shown(v));
    for (const auto& [key, value] : v.items()) {
        bool ok = false;
        for (std::string_view k : known) ok = ok || k == key;
        if (!ok) Fail(Member(where, key), "unknown field");
    }
    return v;
}

// Calls `use(value, where)` when `key` is present.
template <class F>
void Optional(const json& object, const std::string& where, const char* key, F use) {
    auto it = object.find(key);
    if (it != object.end()) use(*it, Member(where, key));
}

std::vector<uint32_t> ExchangeNumbers(const json& v, const std::string& where) {
    std::vector<uint32_t> out;
    size_t i = 0;
    for (const json& item : Array(v, where)) {
        out.push_back(static_cast<uint32_t>(Ranged(item, where + "[" + std::to_string(i++) + "]", 1,
                                                   std::numeric_limits<uint32_t>::max())));
    }
    return out;
}

std::map<uint16_t, uint8_t> RegisterBytes(const json& v, const std::string& where) {
    if (!v.is_object()) Fail(where, "expected an object, got " + Shown(v));
    std::map<uint16_t, uint8_t> out;
    for (const auto& [key, value] : v.items()) {
        const std::string at = Member(where, key);
        uint16_t address = AddressKey(key, at);
        if (out.count(address)) Fail(at, "register given twice");
        out[address] = Byte(value, at);
    }
    return out;
}

RomConfig Rom(const json& v, const std::string& where) {
    const json& o =
        Object(v, where, {"address", "code", "version", "byte6", "byte7", "reply_count"});
    RomConfig rom;
    Optional(o, where, "address",
             [&](const json& x, const std::string& at) { rom.address = Ranged(x, at, 0, 0xFFFF); });
    Optional(o, where, "code", [&](const json& x, const std::string& at) {
        rom.code = Text(x, at);
        if (rom.code.size() > 5) Fail(at, "at most 5 characters, got " + Shown(x));
    });
    Optional(o, where, "version",
             [&](const json& x, const std::string& at) { rom.version = Byte(x, at); });
    Optional(o, where, "byte6",
             [&](const json& x, const std::string& at) { rom.byte6 = Byte(x, at); });
    Optional(o, where, "byte7",
             [&](const json& x, const std::string& at) { rom.byte7 = Byte(x, at); });
    Optional(o, where, "reply_count",
             [&](const json& x, const std::string& at) { rom.replyCount = Byte(x, at); });
    return rom;
}

std::map<uint8_t, std::vector<uint8_t>> FlashIds(const json& v, const std::string& where) {
    if (!v.is_object()) Fail(where, "expected an object, got " + Shown(v));
    std::map<uint8_t, std::vector<uint8_t>> out;
    for (const auto& [key, value] : v.items()) {
        const std::string at = Member(where, key);
        std::string_view k = key;
        if (k.size() > 2 && k[0] == '0' && (k[1] == 'x' || k[1] == 'X')) k.remove_prefix(2);
        if (k.size() != 2 || !IsHexDigit(k[0]) || !IsHexDigit(k[1]))
            Fail(at, "expected a hex command byte as key, got \"" + key + "\"");
        uint8_t command = static_cast<uint8_t>(HexValue(k[0]) << 4 | HexValue(k[1]));
        if (out.count(command)) Fail(at, "command given twice");
        out[command] = Bytes(value, at);
    }
    return out;
}

SpiFlashConfig Flash(const json& v, const std::string& where) {
    const json& o = Object(
        v, where,
        {"file", "size", "ids", "status", "program_command", "write_enable_command", "erase_ms"});
    SpiFlashConfig flash;
    Optional(o, where, "file",
             [&](const json& x, const std::string& at) { flash.file = Text(x, at); });
    Optional(o, where, "size", [&](const json& x, const std::string& at) {
        flash.size = static_cast<uint32_t>(Ranged(x, at, 1, kMaxFlashSize));
    });
    Optional(o, where, "ids",
             [&](const json& x, const std::string& at) { flash.ids = FlashIds(x, at); });
    Optional(o, where, "status",
             [&](const json& x, const std::string& at) { flash.status = Byte(x, at); });
    Optional(o, where, "program_command",
             [&](const json& x, const std::string& at) { flash.programCommand = Byte(x, at); });
    Optional(o, where, "write_enable_command",
             [&](const json& x, const std::string& at) { flash.writeEnableCommand = Byte(x, at); });
    Optional(o, where, "erase_ms",
             [&](const json& x, const std::string& at) { flash.eraseMs = U32(x, at); });
    return flash;
}

FaultConfig Faults(const json& v, const std::string& where) {
    const json& o = Object(v, where, {"fail_at", "unplug_at", "hang_at", "hang_ms"});
    FaultConfig faults;
    Optional(o, where, "fail_at",
             [&](const json& x, const std::string& at) { faults.failAt = ExchangeNumbers(x, at); });
    Optional(o, where, "unplug_at",
             [&](const json& x, const std::string& at) { faults.unplugAt = U32(x, at); });
    Optional(o, where, "hang_at",
             [&](const json& x, const std::string& at) { faults.hangAt = ExchangeNumbers(x, at); });
    Optional(o, where, "hang_ms",
             [&](const json& x, const std::string& at) { faults.hangMs = U32(x, at); });
    return faults;
}

// Node layout: checked together because each field limits the others.
void Nodes(const json& o, const std::string& where, CameraConfig& cam) {
    Optional(o, where, "xu_node", [&](const json& x, const std::string& at) {
        cam.xuNode = static_cast<int32_t>(Ranged(x, at, -1, 0xFFFF));
    });
    cam.nodes = static_cast<uint32_t>(cam.xuNode + 1);
    Optional(o, where, "nodes", [&](const json& x, const std::string& at) {
        cam.nodes = static_cast<uint32_t>(Ranged(x, at, 0, 0x10000));
        if (cam.xuNode >= 0 && static_cast<uint32_t>(cam.xuNode) >= cam.nodes) {
            Fail(at, std::to_string(cam.nodes) + " nodes leave no room for xu_node " +
                         std::to_string(cam.xuNode));
        }
    });
    Optional(o, where, "dev_specific_nodes", [&](const json& x, const std::string& at) {
        size_t i = 0;
        for (const json& item : Array(x, at)) {
            const std::string itemAt = at + "[" + std::to_string(i++) + "]";
            int64_t node = Ranged(item, itemAt, 0, static_cast<int64_t>(cam.nodes) - 1);
            if (node == cam.xuNode) Fail(itemAt, "is the xu_node");
            cam.devSpecificNodes.push_back(static_cast<uint32_t>(node));
        }
    });
}

CameraConfig Camera(const json& v, const std::string& where) {
    const json& o = Object(
        v, where,
        {"name", "path", "bind", "nodes", "xu_node", "dev_specific_nodes", "registers", "read_only",
         "arch", "command_registers", "rom", "memory_type", "flash", "faults", "latency_us"});
    CameraConfig cam;
    Optional(o, where, "name",
             [&](const json& x, const std::string& at) { cam.name = Text(x, at); });
    Optional(o, where, "path",
             [&](const json& x, const std::string& at) { cam.path = Text(x, at); });
    Optional(o, where, "bind",
             [&](const json& x, const std::string& at) { cam.bind = Bool(x, at); });
    Nodes(o, where, cam);
    Optional(o, where, "registers",
             [&](const json& x, const std::string& at) { cam.registers = RegisterBytes(x, at); });
    Optional(o, where, "read_only",
             [&](const json& x, const std::string& at) { cam.readOnly = RegisterBytes(x, at); });
    Optional(o, where, "arch",
             [&](const json& x, const std::string& at) { cam.arch = Ranged(x, at, 0, 1); });
    Optional(o, where, "command_registers",
             [&](const json& x, const std::string& at) { cam.commandRegisters = Bool(x, at); });
    Optional(o, where, "rom", [&](const json& x, const std::string& at) { cam.rom = Rom(x, at); });
    Optional(o, where, "memory_type",
             [&](const json& x, const std::string& at) { cam.memoryType = Byte(x, at); });
    Optional(o, where, "flash",
             [&](const json& x, const std::string& at) { cam.flash = Flash(x, at); });
    Optional(o, where, "faults",
             [&](const json& x, const std::string& at) { cam.faults = Faults(x, at); });
    Optional(o, where, "latency_us",
             [&](const json& x, const std::string& at) { cam.latencyUs = U32(x, at); });
    return cam;
}

Scenario TopLevel(const json& v) {
    if (!v.is_object())
        Fail("cameras.json", "expected an object at the top level, got " + Shown(v));
    const json& o = Object(v, "", {"clock", "latency_us", "trace", "cameras"});
    Scenario scenario;
    Optional(o, "", "clock", [&](const json& x, const std::string& at) {
        std::string kind = x.is_string() ? x.get<std::string>() : std::string();
        if (kind == "real") {
            scenario.clock = ClockKind::kReal;
        } else if (kind == "virtual") {
            scenario.clock = ClockKind::kVirtual;
        } else {
            Fail(at, "expected \"real\" or \"virtual\", got " + Shown(x));
        }
    });
    Optional(o, "", "latency_us",
             [&](const json& x, const std::string& at) { scenario.latencyUs = U32(x, at); });
    Optional(o, "", "trace",
             [&](const json& x, const std::string& at) { scenario.trace = Text(x, at); });
    Optional(o, "", "cameras", [&](const json& x, const std::string& at) {
        size_t i = 0;
        for (const json& cam : Array(x, at)) {
            scenario.cameras.push_back(Camera(cam, "cameras[" + std::to_string(i++) + "]"));
        }
    });
    return scenario;
}

// The parser's own message without the library's error-code prefix.
std::string SyntaxMessage(const json::exception& e) {
    std::string what = e.what();
    if (auto end = what.find("] ");
        what.rfind("[json.exception", 0) == 0 && end != std::string::npos)
        what.erase(0, end + 2);
    return what;
}

std::variant<json, ParseError> Syntax(std::string_view text) {
    try {
        return json::parse(text.begin(), text.end());
    } catch (const json::exception& e) {
        return ParseError{"cameras.json: " + SyntaxMessage(e)};
    }
}

void ResolveFiles(Scenario& scenario, const std::string& dir) {
    if (scenario.trace) scenario.trace = ResolvePath(dir, *scenario.trace);
    for (CameraConfig& cam : scenario.cameras) cam.flash.file = ResolvePath(dir, cam.flash.file);
}

}  // namespace

std::variant<Scenario, ParseError> ParseScenario(std::string_view text) {
    auto parsed = Syntax(text);
    if (auto* error = std::get_if<ParseError>(&parsed)) return *error;
    try {
        return TopLevel(std::get<json>(parsed));
    } catch (const BadField& e) {
        return ParseError{e.message};
    } catch (const json::exception& e) {
        return ParseError{"cameras.json: " + SyntaxMessage(e)};
    }
}

std::variant<CameraConfig, ParseError> ParseCamera(std::string_view text,
                                                   const std::string& where) {
    auto parsed = Syntax(text);
    if (auto* error = std::get_if<ParseError>(&parsed)) return *error;
    try {
        return Camera(std::get<json>(parsed), where);
    } catch (const BadField& e) {
        return ParseError{e.message};
    } catch (const json::exception& e) {
        return ParseError{"cameras.json: " + SyntaxMessage(e)};
    }
}

std::string ResolvePath(const std::string& dir, const std::string& name) {
    if (name.empty()) return name;
    std::filesystem::path p(name);
    if (p.is_absolute()) return name;
    return (std::filesystem::path(dir) / p).string();
}

std::optional<Scenario> LoadScenario(const std::string& dir, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        error = "scenario directory " + dir + " does not exist or is not a directory";
        return std::nullopt;
    }
    const std::string file = ResolvePath(dir, "cameras.json");
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read " + file + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto parsed = ParseScenario(text.str());
    if (auto* e = std::get_if<ParseError>(&parsed)) {
        error = dir + ": " + e->message;
        return std::nullopt;
    }
    Scenario scenario = std::move(std::get<Scenario>(parsed));
    ResolveFiles(scenario, dir);
    return scenario;
}

}  // namespace sim
