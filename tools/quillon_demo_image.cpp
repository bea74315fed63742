// quillon-demo-image: writes a demo firmware image (layout in
// tools/lib/demo_image.h) with the version fields and identifier given.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/lib/cli.h"
#include "tools/lib/demo_image.h"

namespace quillon::tools {
namespace {

constexpr std::string_view kUsage = R"(usage:
  quillon-demo-image OUTPUT --id ID --code-ver TEXT --cus-ver TEXT --customer TEXT
                     --day-ver TEXT [--chip CHIP]

Writes a 131072-byte demo firmware image.
  --id        firmware identifier: 8 hex digits, its 4 bytes in image order
  --code-ver  code version, at most 5 characters
  --cus-ver   CusVer, at most 10 characters
  --customer  Customer, at most 10 characters
  --day-ver   DayVer, exactly 10 characters (YYMMDDhhmm)
  --chip      the chip whose version field addresses to use (default 0x88)
Text fields are padded with '-'.
)";

DemoImageOptions ParseOptions(std::span<const std::string_view> args, std::string& output) {
    if (args.empty() || args[0].starts_with("--")) throw UsageError("no OUTPUT file given");
    output = args[0];
    DemoImageOptions o;
    bool haveId = false, haveCode = false, haveCus = false, haveCustomer = false, haveDay = false;
    for (size_t i = 1; i < args.size(); i += 2) {
        const std::string_view opt = args[i];
        if (i + 1 >= args.size()) throw UsageError(std::string(opt) + " needs a value");
        const std::string value(args[i + 1]);
        if (opt == "--id") {
            o.firmwareId = ParseFirmwareId(value);
            haveId = true;
        } else if (opt == "--code-ver") {
            o.codeVer = value;
            haveCode = true;
        } else if (opt == "--cus-ver") {
            o.cusVer = value;
            haveCus = true;
        } else if (opt == "--customer") {
            o.customer = value;
            haveCustomer = true;
        } else if (opt == "--day-ver") {
            o.dayVer = value;
            haveDay = true;
        } else if (opt == "--chip") {
            o.chipId = static_cast<uint8_t>(ParseNumber(value, 0xFF, "chip"));
        } else {
            throw UsageError("unknown option '" + std::string(opt) + "'");
        }
    }
    if (!(haveId && haveCode && haveCus && haveCustomer && haveDay))
        throw UsageError("--id, --code-ver, --cus-ver, --customer and --day-ver are all needed");
    return o;
}

int Run(std::span<const std::string_view> args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    std::string output;
    const DemoImageOptions options = ParseOptions(args, output);
    WriteFile(output, MakeDemoImage(options));
    return 0;
}

}  // namespace
}  // namespace quillon::tools

int main(int argc, char** argv) {
    using namespace quillon::tools;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    try {
        return Run(args);
    } catch (const UsageError& e) {
        std::cerr << "quillon-demo-image: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const ToolError& e) {
        std::cerr << "quillon-demo-image: " << e.what() << "\n";
        return 1;
    }
}
