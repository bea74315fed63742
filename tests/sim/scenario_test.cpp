// Reading scenarios: every field's default, a full scenario, and errors that
// name the field and the camera.
#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/backend.h"
#include "sim/simulator.h"
#include "tests/testing/scenario_builder.h"

namespace {

using sim::CameraConfig;
using sim::ParseError;
using sim::Scenario;

Scenario Parsed(const std::string& text) {
    auto result = sim::ParseScenario(text);
    if (auto* e = std::get_if<ParseError>(&result)) {
        ADD_FAILURE() << "unexpected error: " << e->message;
        return {};
    }
    return std::get<Scenario>(result);
}

std::string ErrorOf(const std::string& text) {
    auto result = sim::ParseScenario(text);
    if (auto* e = std::get_if<ParseError>(&result)) return e->message;
    return "(parsed without error)";
}

void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(ScenarioParse, EveryFieldHasItsDefault) {
    Scenario s = Parsed(R"({"cameras": [{}]})");
    EXPECT_EQ(s.clock, sim::ClockKind::kReal);
    EXPECT_EQ(s.latencyUs, 0u);
    EXPECT_FALSE(s.trace);
    ASSERT_EQ(s.cameras.size(), 1u);
    const CameraConfig& c = s.cameras[0];
    EXPECT_FALSE(c.name);
    EXPECT_FALSE(c.path);
    EXPECT_TRUE(c.bind);
    EXPECT_EQ(c.xuNode, 0);
    EXPECT_EQ(c.nodes, 1u);
    EXPECT_TRUE(c.devSpecificNodes.empty());
    EXPECT_TRUE(c.registers.empty());
    EXPECT_TRUE(c.readOnly.empty());
    EXPECT_EQ(c.arch, 0);
    EXPECT_FALSE(c.commandRegisters);
    EXPECT_FALSE(c.rom);
    EXPECT_EQ(c.memoryType, 0);
    EXPECT_EQ(c.flash.file, "");
    EXPECT_EQ(c.flash.size, 0x20000u);
    EXPECT_TRUE(c.flash.ids.empty());
    EXPECT_EQ(c.flash.status, 0);
    EXPECT_EQ(c.flash.programCommand, 0x02);
    EXPECT_EQ(c.flash.writeEnableCommand, 0x06);
    EXPECT_EQ(c.flash.eraseMs, 200u);
    EXPECT_TRUE(c.faults.failAt.empty());
    EXPECT_EQ(c.faults.unplugAt, 0u);
    EXPECT_TRUE(c.faults.hangAt.empty());
    EXPECT_EQ(c.faults.hangMs, 5000u);
    EXPECT_FALSE(c.latencyUs);

    EXPECT_TRUE(Parsed("{}").cameras.empty());
    EXPECT_TRUE(Parsed(R"({"cameras": []})").cameras.empty());
}

TEST(ScenarioParse, NodeCountFollowsTheExtensionUnitNode) {
    EXPECT_EQ(Parsed(R"({"cameras": [{"xu_node": 3}]})").cameras[0].nodes, 4u);
    EXPECT_EQ(Parsed(R"({"cameras": [{"xu_node": -1}]})").cameras[0].nodes, 0u);
    EXPECT_EQ(Parsed(R"({"cameras": [{"xu_node": "-1", "nodes": 3}]})").cameras[0].nodes, 3u);
}

TEST(ScenarioParse, FullScenario) {
    Scenario s = Parsed(R"({
      "clock": "virtual", "latency_us": "250", "trace": "trace.txt",
      "cameras": [
        {
          "name": "USB 2.0 Camera",
          "path": "usb#vid_1d6b&pid_0102&mi_00#6&1a2b3c4d&0&0000",
          "bind": false, "nodes": 4, "xu_node": 2, "dev_specific_nodes": [0, "0x3"],
          "registers": { "0x101F": "0x40", "0x80F0": "0x88", "0x05F0": 7, "4096": "12" },
          "read_only": { "0x1185": "0x70" },
          "arch": 1, "command_registers": true,
          "rom": { "address": "0xAFF8", "code": "QMCT0", "version": 1,
                   "byte6": "0x46", "byte7": 0, "reply_count": 12 },
          "memory_type": "0x2",
          "flash": {
            "file": "cam0.bin", "size": "0x40000",
            "ids": { "9F": "c2 20 13", "15": "", "0x90": "c212", "AB": "C2 12" },
            "status": "0x1c", "program_command": "0x12", "write_enable_command": 6,
            "erase_ms": 300
          },
          "faults": { "fail_at": [3, "0x10"], "unplug_at": 40, "hang_at": [7], "hang_ms": 900 },
          "latency_us": 0
        },
        { "name": "Second" }
      ]
    })");
    EXPECT_EQ(s.clock, sim::ClockKind::kVirtual);
    EXPECT_EQ(s.latencyUs, 250u);
    EXPECT_EQ(s.trace, "trace.txt");
    ASSERT_EQ(s.cameras.size(), 2u);
    const CameraConfig& c = s.cameras[0];
    EXPECT_EQ(c.name, "USB 2.0 Camera");
    EXPECT_EQ(c.path, "usb#vid_1d6b&pid_0102&mi_00#6&1a2b3c4d&0&0000");
    EXPECT_FALSE(c.bind);
    EXPECT_EQ(c.nodes, 4u);
    EXPECT_EQ(c.xuNode, 2);
    EXPECT_EQ(c.devSpecificNodes, (std::vector<uint32_t>{0, 3}));
    EXPECT_EQ(c.registers, (std::map<uint16_t, uint8_t>{
                               {0x101F, 0x40}, {0x80F0, 0x88}, {0x05F0, 7}, {4096, 12}}));
    EXPECT_EQ(c.readOnly, (std::map<uint16_t, uint8_t>{{0x1185, 0x70}}));
    EXPECT_EQ(c.arch, 1);
    EXPECT_TRUE(c.commandRegisters);
    ASSERT_TRUE(c.rom);
    EXPECT_EQ(c.rom->address, 0xAFF8);
    EXPECT_EQ(c.rom->code, "QMCT0");
    EXPECT_EQ(c.rom->version, 1);
    EXPECT_EQ(c.rom->byte6, 0x46);
    EXPECT_EQ(c.rom->byte7, 0);
    EXPECT_EQ(c.rom->replyCount, 12);
    EXPECT_EQ(c.memoryType, 2);
    EXPECT_EQ(c.flash.file, "cam0.bin");
    EXPECT_EQ(c.flash.size, 0x40000u);
    using Ids = std::map<uint8_t, std::vector<uint8_t>>;
    EXPECT_EQ(
        c.flash.ids,
        (Ids{{0x9F, {0xC2, 0x20, 0x13}}, {0x15, {}}, {0x90, {0xC2, 0x12}}, {0xAB, {0xC2, 0x12}}}));
    EXPECT_EQ(c.flash.status, 0x1C);
    EXPECT_EQ(c.flash.programCommand, 0x12);
    EXPECT_EQ(c.flash.writeEnableCommand, 0x06);
    EXPECT_EQ(c.flash.eraseMs, 300u);
    EXPECT_EQ(c.faults.failAt, (std::vector<uint32_t>{3, 16}));
    EXPECT_EQ(c.faults.unplugAt, 40u);
    EXPECT_EQ(c.faults.hangAt, (std::vector<uint32_t>{7}));
    EXPECT_EQ(c.faults.hangMs, 900u);
    EXPECT_EQ(c.latencyUs, 0u);
    EXPECT_EQ(s.cameras[1].name, "Second");
    EXPECT_FALSE(s.cameras[1].path);
}

struct BadInput {
    const char* text;
    const char* message;
};

class ScenarioErrors : public testing::TestWithParam<BadInput> {};

TEST_P(ScenarioErrors, NameTheFieldAndTheCamera) {
    EXPECT_EQ(ErrorOf(GetParam().text), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScenarioErrors,
    testing::Values(
        BadInput{R"({"cameras": [{}, {"flash": {"size": "abc"}}]})",
                 R"(cameras[1].flash.size: expected a number, got "abc")"},
        BadInput{R"({"cameras": [{"flash": {"size": 0}}]})",
                 "cameras[0].flash.size: 0 is out of range (1 to 268435456)"},
        BadInput{R"({"cameras": [{"flash": {"size": 1.5}}]})",
                 "cameras[0].flash.size: expected a number, got 1.5"},
        BadInput{R"({"cameras": [{"flash": {"size": "0x"}}]})",
                 R"(cameras[0].flash.size: expected a number, got "0x")"},
        BadInput{R"({"cameras": [{"flash": {"size": " 12"}}]})",
                 R"(cameras[0].flash.size: expected a number, got " 12")"},
        BadInput{R"({"cameras": [{"flash": {"size": "99999999999999999999999"}}]})",
                 R"(cameras[0].flash.size: expected a number, got "99999999999999999999999")"},
        BadInput{R"({"cameras": [{"flash": {"status": "0x100"}}]})",
                 "cameras[0].flash.status: 256 is out of range (0 to 255)"},
        BadInput{R"({"cameras": [{"flash": {"ids": {"9G": "c2"}}}]})",
                 R"(cameras[0].flash.ids.9G: expected a hex command byte as key, got "9G")"},
        BadInput{R"({"cameras": [{"flash": {"ids": {"9F": "c2 2"}}}]})",
                 R"(cameras[0].flash.ids.9F: expected hex byte pairs, got "c2 2")"},
        BadInput{R"({"cameras": [{"flash": {"ids": {"9F": [194]}}}]})",
                 "cameras[0].flash.ids.9F: expected a hex byte string, got [194]"},
        BadInput{R"({"cameras": [{"flash": {"file": 3}}]})",
                 "cameras[0].flash.file: expected a string, got 3"},
        BadInput{R"({"cameras": [{"flash": {"sise": 3}}]})",
                 "cameras[0].flash.sise: unknown field"},
        BadInput{R"({"cameras": [{"nmae": "x"}]})", "cameras[0].nmae: unknown field"},
        BadInput{R"({"camera": []})", "camera: unknown field"},
        BadInput{R"({"clock": "fast"})", R"(clock: expected "real" or "virtual", got "fast")"},
        BadInput{R"({"latency_us": -1})", "latency_us: -1 is out of range (0 to 4294967295)"},
        BadInput{R"({"trace": false})", "trace: expected a string, got false"},
        BadInput{R"({"cameras": {}})", "cameras: expected a list, got {}"},
        BadInput{R"({"cameras": [{}, 5]})", "cameras[1]: expected an object, got 5"},
        BadInput{R"({"cameras": [{"name": 5}]})", "cameras[0].name: expected a string, got 5"},
        BadInput{R"({"cameras": [{"path": null}]})",
                 "cameras[0].path: expected a string, got null"},
        BadInput{R"({"cameras": [{"bind": "yes"}]})",
                 R"(cameras[0].bind: expected true or false, got "yes")"},
        BadInput{R"({"cameras": [{"xu_node": -2}]})",
                 "cameras[0].xu_node: -2 is out of range (-1 to 65535)"},
        BadInput{R"({"cameras": [{"xu_node": 3, "nodes": 3}]})",
                 "cameras[0].nodes: 3 nodes leave no room for xu_node 3"},
        BadInput{R"({"cameras": [{"nodes": 4, "dev_specific_nodes": [1, 4]}]})",
                 "cameras[0].dev_specific_nodes[1]: 4 is out of range (0 to 3)"},
        BadInput{R"({"cameras": [{"nodes": 4, "xu_node": 2, "dev_specific_nodes": [2]}]})",
                 "cameras[0].dev_specific_nodes[0]: is the xu_node"},
        BadInput{R"({"cameras": [{"registers": {"0x10000": 1}}]})",
                 "cameras[0].registers.0x10000: register address 0x10000 is out of range"},
        BadInput{R"({"cameras": [{"registers": {"zz": 1}}]})",
                 R"(cameras[0].registers.zz: expected a register address as key, got "zz")"},
        BadInput{R"({"cameras": [{"registers": {"0x10": 256}}]})",
                 "cameras[0].registers.0x10: 256 is out of range (0 to 255)"},
        BadInput{R"({"cameras": [{"registers": {"0x10": 1, "16": 2}}]})",
                 "cameras[0].registers.16: register given twice"},
        BadInput{R"({"cameras": [{"registers": []}]})",
                 "cameras[0].registers: expected an object, got []"},
        BadInput{R"({"cameras": [{"read_only": {"0x1185": "0x1G"}}]})",
                 R"(cameras[0].read_only.0x1185: expected a number, got "0x1G")"},
        BadInput{R"({"cameras": [{"arch": 2}]})", "cameras[0].arch: 2 is out of range (0 to 1)"},
        BadInput{R"({"cameras": [{"command_registers": 1}]})",
                 "cameras[0].command_registers: expected true or false, got 1"},
        BadInput{R"({"cameras": [{"rom": {"code": "QMCT01"}}]})",
                 R"(cameras[0].rom.code: at most 5 characters, got "QMCT01")"},
        BadInput{R"({"cameras": [{"rom": {"address": "0x10000"}}]})",
                 "cameras[0].rom.address: 65536 is out of range (0 to 65535)"},
        BadInput{R"({"cameras": [{"rom": {"reply_count": 256}}]})",
                 "cameras[0].rom.reply_count: 256 is out of range (0 to 255)"},
        BadInput{R"({"cameras": [{"memory_type": 300}]})",
                 "cameras[0].memory_type: 300 is out of range (0 to 255)"},
        BadInput{R"({"cameras": [{"faults": {"fail_at": [0]}}]})",
                 "cameras[0].faults.fail_at[0]: 0 is out of range (1 to 4294967295)"},
        BadInput{R"({"cameras": [{"faults": {"fail_at": 3}}]})",
                 "cameras[0].faults.fail_at: expected a list, got 3"},
        BadInput{R"({"cameras": [{"faults": {"hang_at": [2, "x"]}}]})",
                 R"(cameras[0].faults.hang_at[1]: expected a number, got "x")"},
        BadInput{R"({"cameras": [{"faults": {"unplug_at": -3}}]})",
                 "cameras[0].faults.unplug_at: -3 is out of range (0 to 4294967295)"},
        BadInput{R"({"cameras": [{"faults": {"hang_ms": true}}]})",
                 "cameras[0].faults.hang_ms: expected a number, got true"},
        BadInput{R"({"cameras": [{"latency_us": "1e3"}]})",
                 R"(cameras[0].latency_us: expected a number, got "1e3")"},
        BadInput{"[]", "cameras.json: expected an object at the top level, got []"}));

TEST(ScenarioParse, MalformedJsonGivesThePosition) {
    const std::string error = ErrorOf("{\n  \"cameras\": [\n    {,}\n  ]\n}");
    EXPECT_EQ(error.rfind("cameras.json: parse error at line 3, column 6", 0), 0u) << error;
    EXPECT_EQ(ErrorOf("").rfind("cameras.json: ", 0), 0u);
}

TEST(ScenarioParse, CameraAloneNamesItsPlace) {
    auto result = sim::ParseCamera(R"({"arch": 7})", "cameras[4]");
    ASSERT_TRUE(std::holds_alternative<ParseError>(result));
    EXPECT_EQ(std::get<ParseError>(result).message, "cameras[4].arch: 7 is out of range (0 to 1)");
}

class ScenarioLoad : public testing::Test {
  protected:
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ = quillon_test::MakeTempDir();
};

TEST_F(ScenarioLoad, MissingDirectoryOrFile) {
    std::string error;
    EXPECT_FALSE(sim::LoadScenario((dir_ / "nowhere").string(), error));
    EXPECT_NE(error.find("nowhere does not exist"), std::string::npos) << error;

    EXPECT_FALSE(sim::LoadScenario(dir_.string(), error));
    EXPECT_NE(error.find("cannot read " + (dir_ / "cameras.json").string()), std::string::npos)
        << error;
}

TEST_F(ScenarioLoad, ErrorsNameTheDirectory) {
    WriteFile(dir_ / "cameras.json", R"({"cameras": [{"arch": "x"}]})");
    std::string error;
    EXPECT_FALSE(sim::LoadScenario(dir_.string(), error));
    EXPECT_EQ(error, dir_.string() + R"(: cameras[0].arch: expected a number, got "x")");
}

TEST_F(ScenarioLoad, RelativeFilesAreInTheDirectory) {
    WriteFile(dir_ / "cameras.json",
              R"({"trace": "t.txt", "cameras": [{"flash": {"file": "a.bin"}},
                  {"flash": {"file": "/abs/b.bin"}}, {}]})");
    std::string error;
    auto s = sim::LoadScenario(dir_.string(), error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(*s->trace, (dir_ / "t.txt").string());
    EXPECT_EQ(s->cameras[0].flash.file, (dir_ / "a.bin").string());
    EXPECT_EQ(s->cameras[1].flash.file, "/abs/b.bin");
    EXPECT_EQ(s->cameras[2].flash.file, "");
}

TEST_F(ScenarioLoad, BackendFactoryLoadsOrExplains) {
    WriteFile(dir_ / "cameras.json", R"({"clock": "virtual", "cameras": [{"name": "A"}]})");
    std::string error;
    auto backend = platform::MakeSimulatorBackend(dir_.string(), error);
    ASSERT_TRUE(backend) << error;
    backend->GetClock().Sleep(60000);  // virtual: returns at once
    EXPECT_EQ(backend->GetClock().NowMs(), 60000u);

    EXPECT_FALSE(platform::MakeSimulatorBackend((dir_ / "missing").string(), error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST_F(ScenarioLoad, FlashFileThatCannotBeCreatedFailsTheLoad) {
    WriteFile(dir_ / "cameras.json",
              R"({"cameras": [{}, {"flash": {"file": "no/such/dir/f.bin"}}]})");
    std::string error;
    EXPECT_FALSE(sim::Simulator::Load(dir_.string(), error));
    EXPECT_EQ(error.rfind("cameras[1].flash: ", 0), 0u) << error;
}

TEST_F(ScenarioLoad, FlashFileIsCreatedErasedAndWrittenThrough) {
    WriteFile(dir_ / "cameras.json",
              R"({"cameras": [{"flash": {"file": "f.bin", "size": "0x1000"}}]})");
    std::string error;
    auto simulator = sim::Simulator::Load(dir_.string(), error);
    ASSERT_TRUE(simulator) << error;
    ASSERT_EQ(std::filesystem::file_size(dir_ / "f.bin"), 0x1000u);
    const uint8_t bytes[] = {0x12, 0x34};
    ASSERT_TRUE(simulator->Camera(0).Flash().ProgramFromChip(0x10, bytes, 0x06, 0x02));
    std::ifstream in(dir_ / "f.bin", std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(static_cast<uint8_t>(contents[0x0F]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(contents[0x10]), 0x12);
    EXPECT_EQ(static_cast<uint8_t>(contents[0x11]), 0x34);
}

}  // namespace
