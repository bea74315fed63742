// What the dialog tests share: a firmware package made in the test and
// carried by a resource module of its own, cameras of the fake library, and
// a fixture that runs the dialogs on the recording host.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/quillon_dlg.h"
#include "fake_camlib.h"
#include "headless_host.h"
#include "platform/resource.h"
#include "ui/resources.h"

namespace quillon_test {

using FirmwareId = std::array<uint8_t, 4>;

struct TestEntry {
    uint8_t key;
    FirmwareId firmwareId;
    std::vector<uint8_t> image;
};

// Package bytes: 16 header bytes, the count, the entries.
inline std::vector<uint8_t> PackageBytes(const std::vector<TestEntry>& entries) {
    std::vector<uint8_t> bytes(16, 0xA5);
    bytes.push_back(static_cast<uint8_t>(entries.size()));
    for (const TestEntry& e : entries) {
        bytes.push_back(e.key);
        bytes.insert(bytes.end(), e.firmwareId.begin(), e.firmwareId.end());
        const auto length = static_cast<uint32_t>(e.image.size());
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(length >> shift));
        bytes.resize(bytes.size() + 64, 0);  // name
        bytes.insert(bytes.end(), e.image.begin(), e.image.end());
    }
    return bytes;
}

// A module that carries `bytes` as the package resource ("FW", 133), or
// nothing at all.
class PackageModule {
  public:
    explicit PackageModule(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
        table_[0] = {platform::ResourceName(u"FW"), platform::ResourceName(133), bytes_.data(),
                     bytes_.data() + bytes_.size()};
        module_.AddTable(table_);
    }
    static std::unique_ptr<PackageModule> Empty() {
        auto m = std::unique_ptr<PackageModule>(new PackageModule());
        return m;
    }
    platform::HMODULE Module() const { return &module_; }

  private:
    PackageModule() = default;
    std::vector<uint8_t> bytes_;
    std::array<platform::EmbeddedResource, 1> table_{
        {{platform::ResourceName(u"none"), platform::ResourceName(1), nullptr, nullptr}}};
    platform::ResourceModule module_;
};

inline FakeCamera CameraWith(uint8_t chipId, FirmwareId firmwareId) {
    FakeCamera c;
    c.chipId = chipId;
    c.firmwareId = firmwareId;
    return c;
}

inline const FirmwareId kIdA{0x51, 0x44, 0x4D, 0x31};
inline const FirmwareId kIdB{0x51, 0x44, 0x4D, 0x32};

// Runs the dialogs on a HeadlessHost against the fake library. By default the
// package has one entry (key 0x88, kIdA, a 300-byte image) and one camera
// matches it.
class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        SetPackage({{0x88, kIdA, Image(300, 1)}});
        Fake().cameras = {CameraWith(0x88, kIdA)};
    }
    void TearDown() override {
        if (host_) host_->PumpUntilIdle();
        dialog_.reset();
        host_.reset();
        Fake().log = nullptr;
    }

    static std::vector<uint8_t> Image(size_t size, uint8_t seed) {
        std::vector<uint8_t> image(size);
        for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(seed + i * 7);
        return image;
    }

    void SetPackage(const std::vector<TestEntry>& entries) {
        package_ = std::make_unique<PackageModule>(PackageBytes(entries));
    }
    void RemovePackage() { package_ = PackageModule::Empty(); }

    HeadlessHost& Host(ui::Language language = ui::Language::kEnglish) {
        if (!host_) UseHost(std::make_unique<HeadlessHost>(language));
        return *host_;
    }
    void UseHost(std::unique_ptr<HeadlessHost> host) {
        host_ = std::move(host);
        HeadlessHost* h = host_.get();
        Fake().log = [h](const std::string& line) { h->Record(line); };
    }

    // Makes the main dialog and creates its window (its initialisation runs).
    quillon::CQuillonDlg& Open(ui::Language language = ui::Language::kEnglish) {
        dialog_ = std::make_unique<quillon::CQuillonDlg>(Host(language), package_->Module());
        EXPECT_TRUE(dialog_->Create());
        return *dialog_;
    }
    ui::WindowId MainWindow() const { return host_->WindowOf(ui::IDD_QUILLON_DIALOG); }

    // Clicks a control of the main window, then lets any upgrade finish.
    void ClickAndWait(int controlId) {
        host_->Click(MainWindow(), controlId);
        host_->PumpUntilIdle();
    }

    std::unique_ptr<PackageModule> package_;
    std::unique_ptr<HeadlessHost> host_;
    std::unique_ptr<quillon::CQuillonDlg> dialog_;
};

}  // namespace quillon_test
