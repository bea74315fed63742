#include "tests/testing/scenario_builder.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace quillon_test {

using nlohmann::json;

namespace {

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char pair[4];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%s%02x", out.empty() ? "" : " ", b);
        out += pair;
    }
    return out;
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

std::filesystem::path MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    return pattern;
}

// --- CameraBuilder ---

CameraBuilder::CameraBuilder(size_t index) : index_(index) {
    json_["name"] = "Simulated Camera " + std::to_string(index);
    json_["path"] = "usb#vid_1d6b&pid_0102&mi_00#6&1a2b3c4d&0&" + std::to_string(1000 + index);
}

json& CameraBuilder::Sub(const char* object) {
    json& sub = json_[object];
    if (!sub.is_object()) sub = json::object();
    return sub;
}

void CameraBuilder::AppendTo(const char* object, const char* key, uint32_t value) {
    json& list = Sub(object)[key];
    if (!list.is_array()) list = json::array();
    list.push_back(value);
}

CameraBuilder& CameraBuilder::Name(const std::string& name) {
    json_["name"] = name;
    return *this;
}
CameraBuilder& CameraBuilder::NoName() {
    json_.erase("name");
    return *this;
}
CameraBuilder& CameraBuilder::Path(const std::string& path) {
    json_["path"] = path;
    return *this;
}
CameraBuilder& CameraBuilder::NoPath() {
    json_.erase("path");
    return *this;
}
CameraBuilder& CameraBuilder::Bind(bool bind) {
    json_["bind"] = bind;
    return *this;
}
CameraBuilder& CameraBuilder::Nodes(uint32_t count) {
    json_["nodes"] = count;
    return *this;
}
CameraBuilder& CameraBuilder::XuNode(int node) {
    json_["xu_node"] = node;
    return *this;
}
CameraBuilder& CameraBuilder::DevSpecificNodes(const std::vector<uint32_t>& nodes) {
    json_["dev_specific_nodes"] = nodes;
    return *this;
}
CameraBuilder& CameraBuilder::Register(uint16_t address, uint8_t value) {
    Sub("registers")[Hex(address)] = Hex(value);
    return *this;
}
CameraBuilder& CameraBuilder::ReadOnly(uint16_t address, uint8_t mask) {
    Sub("read_only")[Hex(address)] = Hex(mask);
    return *this;
}
CameraBuilder& CameraBuilder::Arch(int arch) {
    json_["arch"] = arch;
    return *this;
}
CameraBuilder& CameraBuilder::CommandRegisters(bool on) {
    json_["command_registers"] = on;
    return *this;
}
CameraBuilder& CameraBuilder::Rom(uint16_t address, const std::string& code, uint8_t version,
                                  uint8_t byte6, uint8_t byte7, uint8_t replyCount) {
    json_["rom"] = {{"address", Hex(address)}, {"code", code},   {"version", version},
                    {"byte6", Hex(byte6)},     {"byte7", byte7}, {"reply_count", replyCount}};
    return *this;
}
CameraBuilder& CameraBuilder::MemoryType(uint8_t type) {
    json_["memory_type"] = type;
    return *this;
}
CameraBuilder& CameraBuilder::FlashSize(uint32_t size) {
    Sub("flash")["size"] = Hex(size);
    return *this;
}
CameraBuilder& CameraBuilder::FlashId(uint8_t command, const std::vector<uint8_t>& answer) {
    char key[4];
    std::snprintf(key, sizeof key, "%02X", command);
    Sub("flash");
    json_["flash"]["ids"][key] = HexBytes(answer);
    return *this;
}
CameraBuilder& CameraBuilder::FlashStatus(uint8_t status) {
    Sub("flash")["status"] = Hex(status);
    return *this;
}
CameraBuilder& CameraBuilder::FlashCommands(uint8_t program, uint8_t writeEnable) {
    Sub("flash")["program_command"] = Hex(program);
    Sub("flash")["write_enable_command"] = Hex(writeEnable);
    return *this;
}
CameraBuilder& CameraBuilder::EraseMs(uint32_t ms) {
    Sub("flash")["erase_ms"] = ms;
    return *this;
}
CameraBuilder& CameraBuilder::FlashFile(const std::string& name) {
    Sub("flash")["file"] = name;
    return *this;
}
CameraBuilder& CameraBuilder::FlashData(uint32_t address, const std::vector<uint8_t>& bytes) {
    if (!Sub("flash").contains("file")) FlashFile("cam" + std::to_string(index_) + ".bin");
    flashData_[address] = bytes;
    return *this;
}
CameraBuilder& CameraBuilder::FailAt(uint32_t exchange) {
    AppendTo("faults", "fail_at", exchange);
    return *this;
}
CameraBuilder& CameraBuilder::UnplugAt(uint32_t exchange) {
    Sub("faults")["unplug_at"] = exchange;
    return *this;
}
CameraBuilder& CameraBuilder::HangAt(uint32_t exchange) {
    AppendTo("faults", "hang_at", exchange);
    return *this;
}
CameraBuilder& CameraBuilder::HangMs(uint32_t ms) {
    Sub("faults")["hang_ms"] = ms;
    return *this;
}
CameraBuilder& CameraBuilder::LatencyUs(uint32_t us) {
    json_["latency_us"] = us;
    return *this;
}
CameraBuilder& CameraBuilder::Field(const std::string& key, const json& value) {
    const size_t dot = key.find('.');
    if (dot == std::string::npos) {
        json_[key] = value;
    } else {
        Sub(key.substr(0, dot).c_str())[key.substr(dot + 1)] = value;
    }
    return *this;
}

void CameraBuilder::WriteFlashFile(const std::filesystem::path& dir) const {
    if (flashData_.empty()) return;
    const json& flash = json_.at("flash");
    uint32_t size = 0x20000;
    if (flash.contains("size")) {
        const json& v = flash["size"];
        size = v.is_string() ? std::stoul(v.get<std::string>(), nullptr, 0) : v.get<uint32_t>();
    }
    std::string contents(size, static_cast<char>(0xFF));
    for (const auto& [address, bytes] : flashData_) {
        for (size_t i = 0; i < bytes.size(); ++i)
            contents[(address + i) % size] = static_cast<char>(bytes[i]);
    }
    WriteText(dir / flash["file"].get<std::string>(), contents);
}

// --- InstalledScenario ---

InstalledScenario::InstalledScenario(std::shared_ptr<sim::Simulator> sim, std::filesystem::path dir)
    : sim_(std::move(sim)), dir_(std::move(dir)) {
    sim_->KeepTraceLines(true);
    previous_ = platform::SetBackend(sim_);
}

InstalledScenario::InstalledScenario(InstalledScenario&& other) noexcept
    : sim_(std::move(other.sim_)),
      previous_(std::move(other.previous_)),
      dir_(std::move(other.dir_)) {
    other.dir_.clear();
}

InstalledScenario::~InstalledScenario() {
    if (!sim_) return;
    platform::SetBackend(std::move(previous_));
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

size_t InstalledScenario::AddCamera(const CameraBuilder& camera) {
    camera.WriteFlashFile(dir_);
    const size_t index = sim_->CameraCount();
    auto parsed = sim::ParseCamera(camera.Json().dump(), "cameras[" + std::to_string(index) + "]");
    if (auto* e = std::get_if<sim::ParseError>(&parsed)) throw std::runtime_error(e->message);
    std::string error;
    auto added = sim_->AddCamera(std::get<sim::CameraConfig>(parsed), error);
    if (!added) throw std::runtime_error(error);
    return *added;
}

// --- ScenarioBuilder ---

ScenarioBuilder::ScenarioBuilder() {
    VirtualClock();
}

ScenarioBuilder& ScenarioBuilder::RealClock() {
    top_["clock"] = "real";
    return *this;
}
ScenarioBuilder& ScenarioBuilder::VirtualClock() {
    top_["clock"] = "virtual";
    return *this;
}
ScenarioBuilder& ScenarioBuilder::LatencyUs(uint32_t us) {
    top_["latency_us"] = us;
    return *this;
}
ScenarioBuilder& ScenarioBuilder::TraceFile(const std::string& name) {
    top_["trace"] = name;
    return *this;
}

CameraBuilder& ScenarioBuilder::AddCamera() {
    cameras_.emplace_back(cameras_.size());
    return cameras_.back();
}

json ScenarioBuilder::Json() const {
    json out = top_;
    out["cameras"] = json::array();
    for (const CameraBuilder& camera : cameras_) out["cameras"].push_back(camera.Json());
    return out;
}

void ScenarioBuilder::WriteTo(const std::filesystem::path& dir) const {
    WriteText(dir / "cameras.json", Json().dump(2));
    for (const CameraBuilder& camera : cameras_) camera.WriteFlashFile(dir);
}

InstalledScenario ScenarioBuilder::Install() const {
    const std::filesystem::path dir = MakeTempDir();
    WriteTo(dir);
    std::string error;
    auto sim = sim::Simulator::Load(dir.string(), error);
    if (!sim) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        throw std::runtime_error("scenario did not load: " + error);
    }
    return InstalledScenario(std::move(sim), dir);
}

}  // namespace quillon_test
