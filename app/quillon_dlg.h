// The main dialog: it owns the firmware package, finds the camera to upgrade
// (MatchDevice) when it opens and again before each command, and runs the
// upgrade and version commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "app/fw_package.h"
#include "platform/resource.h"
#include "ui/dialog.h"

namespace quillon {

// MatchDevice asks the library for at most this many camera records.
inline constexpr int32_t kMaxDeviceInfos = 10;

// The progress bar runs from 0 to this.
inline constexpr int kProgressRange = 10000;

// The bar position for a burn's progress fraction: fraction x 10000 in single
// precision, truncated toward zero, kept inside the bar's range.
[[nodiscard]] int ProgressPosition(float fraction);

class CQuillonDlg : public ui::Dialog {
  public:
    // `packageModule` holds the firmware package resource; null: the program's own.
    explicit CQuillonDlg(ui::Host& host, platform::HMODULE packageModule = nullptr);
    ~CQuillonDlg() override;

    // Selects in the library the first camera for which the package has an
    // entry (same chip key and firmware identifier) and remembers the entry.
    // Without one it shows the reason and ends the dialog, and returns false.
    [[nodiscard]] bool MatchDevice();

    // Burns the matched entry's image into the selected camera, with progress
    // and outcome in the dialog. Returns 1 when the burn succeeded, 0 when it
    // failed. Runs on the upgrade thread, or on the user-interface thread in
    // automatic mode.
    int Upgrade();

    [[nodiscard]] int EntryIndex() const { return m_entryIndex; }
    [[nodiscard]] const FwPackage& Package() const { return m_package; }
    // From the upgrade command's click until its upgrade has finished.
    [[nodiscard]] bool UpgradeRunning() const { return m_upgradeRunning; }

  protected:
    bool OnInitDialog() override;
    bool PreTranslateMessage(const ui::Message& message) override;
    void OnCommand(int controlId) override;
    void OnSysCommand(uint32_t command) override;
    void OnClose() override;
    const ui::Brush* OnCtlColor(ui::DeviceContext& dc, int controlId) override;
    void OnPaint(ui::PaintContext& paint) override;
    int OnQueryDragIcon() override;

  private:
    void OnUpgradeCommand();
    void OnVersionCommand();
    // Shows string `stringId` in a message box, then ends the dialog with -1.
    void ShowMessageAndEnd(int stringId);
    void EnableCommandButtons(bool enable);
    int BurnMatchedEntry();

    static void UpgradeThread(void* dialog);
    static void UpgradeProgress(void* dialog, float fraction);

    int m_hIcon;
    // The copy of the package resource (its bytes and size) and its entries.
    FwPackage m_package;
    int m_entryIndex = -1;
    platform::HMODULE m_packageModule;
    // Paints the status text's background; one for the dialog's whole life.
    const std::unique_ptr<ui::Brush> m_statusBrush;
    std::atomic<bool> m_upgradeRunning{false};
};

}  // namespace quillon
