#include "ui/camera_access.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace ui {
namespace {

TEST(CameraAccess, HintsNameTheNodeAndTheRemedy) {
    const std::string denied = HintForOpenError("/dev/video2", EACCES);
    EXPECT_NE(denied.find("/dev/video2"), std::string::npos);
    EXPECT_NE(denied.find("video\" group"), std::string::npos);
    EXPECT_NE(HintForOpenError("/dev/video0", EBUSY).find("busy"), std::string::npos);
    EXPECT_EQ(HintForOpenError("/dev/video0", ENODEV), "");
}

TEST(CameraAccess, OpenableNodesAndOtherFilesGiveNoHint) {
    const auto dir = std::filesystem::temp_directory_path() / "quillon-access-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "video0") << "";  // a node that opens
    std::ofstream(dir / "audio0") << "";  // not a video node
    EXPECT_TRUE(CameraAccessHints(dir.string()).empty());
    EXPECT_TRUE(CameraAccessHints((dir / "missing").string()).empty());
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ui
