#include "app/quillon_dlg.h"

#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "app/about_dlg.h"
#include "camlib/camlib.h"
#include "platform/text.h"
#include "ui/resources.h"

namespace quillon {
namespace {

constexpr ui::Rgb kBlack{0, 0, 0};
constexpr ui::Rgb kGreen{0, 255, 0};
constexpr char kMessageCaption[] = "Quillon";
constexpr size_t kVersionBufferSize = 64;

bool SameFirmware(const FwPackageEntry& entry, uint8_t chipId, const uint8_t (&firmwareId)[4]) {
    // The identifier compares as one 32-bit value: all four bytes at once.
    return entry.key == chipId &&
           std::memcmp(entry.firmwareId, firmwareId, sizeof entry.firmwareId) == 0;
}

}  // namespace

int ProgressPosition(float fraction) {
    const float scaled = fraction * static_cast<float>(kProgressRange);
    // A fraction outside 0..1 (or not a number) would make the conversion
    // undefined; the bar clamps to its range anyway.
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= static_cast<float>(kProgressRange)) return kProgressRange;
    return static_cast<int>(scaled);
}

CQuillonDlg::CQuillonDlg(ui::Host& host, platform::HMODULE packageModule)
    : ui::Dialog(host, ui::IDD_QUILLON_DIALOG),
      m_hIcon(ui::IDR_MAINFRAME),
      m_packageModule(packageModule),
      m_statusBrush(std::make_unique<ui::Brush>(kGreen)) {}

CQuillonDlg::~CQuillonDlg() {
    DestroyWindow();
}

// --- start ---

bool CQuillonDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();

    if (HasSystemMenu()) {
        const std::string about = LoadString(ui::IDS_ABOUTBOX);
        if (!about.empty()) {
            AppendSystemMenuSeparator();
            AppendSystemMenuItem(ui::IDM_ABOUTBOX, about);
        }
    }
    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);

    if (const int message = LoadPackageResource(m_package, m_packageModule); message != 0) {
        ShowMessageAndEnd(message);
        return false;
    }
    if (CamInitialize(nullptr) != 0) {
        ShowMessageAndEnd(ui::IDS_NO_DEVICE);
        return false;
    }
    return MatchDevice();
}

bool CQuillonDlg::MatchDevice() {
    std::array<DeviceInfo, kMaxDeviceInfos> infos{};
    int32_t count = 0;
    // Without a list there is no camera to look at.
    if (CamEnumDevices(infos.data(), &count, kMaxDeviceInfos) != 0) {
        ShowMessageAndEnd(ui::IDS_NO_DEVICE);
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        int32_t chipClass = -1;
        uint8_t chipId = 0;
        if (CamGetChipId(i, &chipClass, &chipId) != 0) {
            ShowMessageAndEnd(ui::IDS_NO_DEVICE);
            return false;
        }
        uint8_t firmwareId[4] = {};
        if (CamGetFirmwareId(i, firmwareId, sizeof firmwareId) != 0) {
            ShowMessageAndEnd(ui::IDS_NO_DEVICE);
            return false;
        }
        const auto& entries = m_package.entries;
        for (size_t k = 0; k < entries.size(); ++k) {
            if (!SameFirmware(entries[k], chipId, firmwareId)) continue;
            (void)CamSelectDevice(i);
            m_entryIndex = static_cast<int>(k);
            return true;
        }
    }
    ShowMessageAndEnd(ui::IDS_NO_MATCH);
    return false;
}

void CQuillonDlg::ShowMessageAndEnd(int stringId) {
    MessageBox(LoadString(stringId), kMessageCaption, ui::MB_OK | ui::MB_ICONINFORMATION);
    EndDialog(-1);
}

// --- commands ---

void CQuillonDlg::OnCommand(int controlId) {
    switch (controlId) {
        case ui::IDC_UPDATE:
            OnUpgradeCommand();
            break;
        case ui::IDC_VERSION:
            OnVersionCommand();
            break;
        default:
            ui::Dialog::OnCommand(controlId);
    }
}

void CQuillonDlg::OnUpgradeCommand() {
    if (!MatchDevice()) return;
    // Set before the thread exists, so that no close slips in before it starts.
    m_upgradeRunning = true;
    if (!ui::BeginThread(GetHost(), &CQuillonDlg::UpgradeThread, this)) m_upgradeRunning = false;
}

void CQuillonDlg::UpgradeThread(void* dialog) {
    static_cast<CQuillonDlg*>(dialog)->Upgrade();
}

void CQuillonDlg::OnVersionCommand() {
    if (!MatchDevice()) return;
    char buffer[kVersionBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    (void)CamGetFirmwareVersion(buffer, static_cast<int32_t>(sizeof buffer), 1);
    // The library writes text in the process's narrow encoding, not always
    // terminated when it fills the buffer.
    const std::string narrow(buffer, strnlen(buffer, sizeof buffer));
    const std::u16string wide = platform::WideFromNarrow(narrow);
    MessageBox(platform::NarrowFromWide(wide), GetHost().AppName(),
               ui::MB_OK | ui::MB_ICONEXCLAMATION);
}

int CQuillonDlg::Upgrade() {
    m_upgradeRunning = true;
    const int result = BurnMatchedEntry();
    // The last touch of the dialog: from here on it may close.
    m_upgradeRunning = false;
    return result;
}

int CQuillonDlg::BurnMatchedEntry() {
    EnableCommandButtons(false);

    int32_t flashType = 0;
    (void)CamGetFlashType(&flashType, 1);
    if (flashType == 0) flashType = 1;

    if (ui::Control* bar = GetDlgItem(ui::IDC_PROGRESS)) {
        bar->SetRange(0, kProgressRange);
        bar->SetPos(0);
    }
    SetDlgItemText(ui::IDC_STATUS, LoadString(ui::IDS_UPDATING));

    const auto& entries = m_package.entries;
    const bool haveEntry = m_entryIndex >= 0 && static_cast<size_t>(m_entryIndex) < entries.size();
    const FwPackageEntry* entry = haveEntry ? &entries[static_cast<size_t>(m_entryIndex)] : nullptr;
    // The library takes a signed length; an image it cannot be told about
    // is a failed burn, not a truncated one.
    const bool burnable =
        entry != nullptr &&
        entry->length <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    const bool burned =
        burnable && CamBurnFirmware(entry->image, static_cast<int32_t>(entry->length),
                                    &CQuillonDlg::UpgradeProgress, this, flashType, 1) == 0;
    if (!burned) {
        int32_t error = 0;
        if (burnable) (void)CamGetLastError(&error);
        SetDlgItemText(ui::IDC_STATUS, LoadString(error == ERR_STREAMING ? ui::IDS_STREAMING
                                                                         : ui::IDS_UPDATE_FAILED));
        EnableCommandButtons(true);
        return 0;
    }
    SetDlgItemText(ui::IDC_STATUS, LoadString(ui::IDS_UPDATE_OK));
    (void)CamFinishUpgrade();
    EnableCommandButtons(true);
    return 1;
}

void CQuillonDlg::UpgradeProgress(void* dialog, float fraction) {
    auto* self = static_cast<CQuillonDlg*>(dialog);
    if (ui::Control* bar = self->GetDlgItem(ui::IDC_PROGRESS))
        bar->SetPos(ProgressPosition(fraction));
}

void CQuillonDlg::EnableCommandButtons(bool enable) {
    // The English dialog has no version button.
    for (const int id : {ui::IDC_UPDATE, ui::IDC_VERSION})
        if (ui::Control* button = GetDlgItem(id)) button->EnableWindow(enable);
}

// --- window handlers ---

bool CQuillonDlg::PreTranslateMessage(const ui::Message& message) {
    // Enter would press the default button and Escape would close the
    // dialog; neither is wanted here.
    if (message.type == ui::Message::Type::kKeyDown &&
        (message.key == ui::VK_RETURN || message.key == ui::VK_ESCAPE))
        return true;
    return ui::Dialog::PreTranslateMessage(message);
}

void CQuillonDlg::OnSysCommand(uint32_t command) {
    if ((command & 0xFFF0) == ui::IDM_ABOUTBOX) {
        CAboutDlg about(GetHost());
        about.DoModal();
        return;
    }
    ui::Dialog::OnSysCommand(command);
}

void CQuillonDlg::OnClose() {
    // The upgrade thread works on this dialog and the camera: the window
    // stays until it has finished.
    if (m_upgradeRunning) return;
    ui::Dialog::OnClose();
}

const ui::Brush* CQuillonDlg::OnCtlColor(ui::DeviceContext& dc, int controlId) {
    const ui::Brush* brush = ui::Dialog::OnCtlColor(dc, controlId);
    if (controlId != ui::IDC_STATUS) return brush;
    dc.SetTextColor(kBlack);
    dc.SetBkMode(ui::BkMode::kOpaque);
    dc.SetBkColor(kGreen);
    return m_statusBrush.get();
}

void CQuillonDlg::OnPaint(ui::PaintContext& paint) {
    if (!paint.IsIconic()) {
        ui::Dialog::OnPaint(paint);
        return;
    }
    paint.EraseIconBackground();
    const ui::Size icon = paint.IconSize();
    const ui::Size client = paint.ClientSize();
    const int x = (client.width - icon.width + 1) / 2;
    const int y = (client.height - icon.height + 1) / 2;
    paint.DrawIcon(x, y, m_hIcon);
}

int CQuillonDlg::OnQueryDragIcon() {
    return m_hIcon;
}

}  // namespace quillon
