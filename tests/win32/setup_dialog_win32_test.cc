// The Windows setup dialog from its resource, driven by the setup controller:
// the controls in the resource's (tab) order, the settings going in and out,
// the size, the About entry, and a screenshot.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "setup/settings_store.h"
#include "setup/win32/resource.h"
#include "setup/win32/setup_dlg.h"
#include "tests/setup/fake_settings_store.h"

namespace orvella {
namespace {

using test::CFakeSettingsStore;
using test::CTempFolder;

void Pump() {
    MSG message;
    for (int round = 0; round < 20; ++round) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

std::string Text(HWND window) {
    char text[256] = {0};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {0};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

uint32_t Crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig(std::string* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutChunk(std::string* out, const char* type, const std::string& data) {
    PutBig(out, static_cast<uint32_t>(data.size()));
    const std::string typed = type + data;
    out->append(typed);
    PutBig(out, Crc32(typed));
}

// An RGB picture as PNG, its image data in stored (uncompressed) blocks.
std::string Png(int width, int height, const std::vector<uint8_t>& rgb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');
        raw.append(reinterpret_cast<const char*>(rgb.data()) + y * width * 3, width * 3);
    }
    std::string deflate("\x78\x01", 2);
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t size = std::min<size_t>(65535, raw.size() - at);
        deflate.push_back(at + size >= raw.size() ? 1 : 0);
        deflate.push_back(static_cast<char>(size & 0xFF));
        deflate.push_back(static_cast<char>(size >> 8));
        deflate.push_back(static_cast<char>(~size & 0xFF));
        deflate.push_back(static_cast<char>((~size >> 8) & 0xFF));
        deflate.append(raw, at, size);
    }
    PutBig(&deflate, (b << 16) | a);
    std::string header;
    PutBig(&header, static_cast<uint32_t>(width));
    PutBig(&header, static_cast<uint32_t>(height));
    header.append("\x08\x02\x00\x00\x00", 5);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", deflate);
    PutChunk(&png, "IEND", std::string());
    return png;
}

class SetupDialogWin32Test : public ::testing::Test {
  protected:
    HWND Open() {
        dialog = std::make_unique<COrvellaNSTSetupDlg>(&store);
        window = dialog->CreateModeless();
        Pump();
        return window;
    }
    HWND Item(int id) const { return GetDlgItem(window, id); }

    CFakeSettingsStore store;
    CTempFolder root;
    std::unique_ptr<COrvellaNSTSetupDlg> dialog;
    HWND window = nullptr;
};

TEST_F(SetupDialogWin32Test, ControlsFollowTheResourceOrder) {
    ASSERT_NE(Open(), nullptr);
    struct Control {
        int id;
        const char* className;
        const char* caption;
    } expected[] = {
        {1, "Button", "Save/Quit"},
        {2, "Button", "Quit"},
        {1000, "Button", "Include Extended Trades"},
        {1001, "SysDateTimePick32", "00:00:00"},  // the default filter times
        {1002, "SysDateTimePick32", "23:59:59"},
        {1003, "Button", "Allow Streaming Updates"},
        {-1, "Static", "BeginFilterTime"},
        {-1, "Static", "EndFilterTime"},
        {1004, "msctls_progress32", ""},
        {-1, "Static", "Symbol File Website address"},
        {1005, "Edit", nullptr},
        {1006, "Edit", nullptr},
        {-1, "Static", "Port"},
        {1008, "Edit", ""},
        {-1, "Static", "Status Window"},
        {-1, "Button", "Charting Options"},
        {1011, "Edit", nullptr},
        {-1, "Static", "NovaScope Install directory"},
        {-1, "Button", "Orvella and Novascope LST File Build Process"},
        {1009, "Button", "Download Symbol File"},
        {-1, "Static", "Trade Time Filtering (Eastern Time Zone and 24 Hr Clock)"},
        {1010, "Button", "Generate LST Files"},
        {1014, "Button", "Continuous"},
        {1015, "Button", "Meridex Spot"},
        {1016, "Button", "Meridex Spot Composite"},
        {-1, "Button", "Additional LST File Types to Generate"},
        {1017, "Button", "Logging"},
        {-1, "Button", "Additional Options"},
        {1019, "Button", "Cancel"},  // shown while a job runs
        {1020, "Static", ""},        // the job's progress in words
    };
    HWND child = GetWindow(window, GW_CHILD);
    for (const Control& c : expected) {
        SCOPED_TRACE(c.caption == nullptr ? std::to_string(c.id) : c.caption);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(static_cast<int>(static_cast<int16_t>(GetDlgCtrlID(child))), c.id);
        EXPECT_EQ(ClassOf(child), c.className);
        if (c.caption != nullptr) {
            EXPECT_EQ(Text(child), c.caption);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(Text(window), "OrvellaNSTSetup");
    EXPECT_TRUE(GetWindowLongW(Item(IDC_STATUS), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongW(Item(IDC_BEGIN_FILTER_TIME), GWL_STYLE) & DTS_TIMEFORMAT);

    // 302 by 379 dialog units, and the About command in the system menu.
    RECT units{0, 0, 302, 379};
    MapDialogRect(window, &units);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    char about[64] = {0};
    GetMenuStringA(GetSystemMenu(window, FALSE), IDM_ABOUTBOX, about, sizeof(about), MF_BYCOMMAND);
    EXPECT_STREQ(about, "&About OrvellaNSTSetup...");
}

TEST_F(SetupDialogWin32Test, ShowsTheSettingsAndSaveQuitStoresThem) {
    store.dwords[kValueStreaming] = 1;
    store.dwords[kValueMeridexSpot] = 1;
    store.strings[kValueBeginFilterTime] = "093000";
    store.strings[kValueEndFilterTime] = "160015";
    store.strings[kValueNovaScopeRoot] = root.Path();
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_STREAMING), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_MERIDEX_SPOT), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_LOGGING), BST_UNCHECKED);
    EXPECT_EQ(Text(Item(IDC_NOVASCOPE_ROOT)), root.Path());
    EXPECT_EQ(Text(Item(IDC_PORT)), "80");
    SYSTEMTIME time{};
    ASSERT_EQ(SendMessageW(Item(IDC_END_FILTER_TIME), DTM_GETSYSTEMTIME, 0,
                           reinterpret_cast<LPARAM>(&time)),
              GDT_VALID);
    EXPECT_EQ(time.wHour * 10000 + time.wMinute * 100 + time.wSecond, 160015);

    CheckDlgButton(window, IDC_LOGGING, BST_CHECKED);
    SetWindowTextA(Item(IDC_PORT), "8080");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Pump();
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(store.dwords[kValueLogging], 1);
    EXPECT_EQ(store.dwords[kValuePort], 8080);
    EXPECT_EQ(store.strings[kValueBeginFilterTime], "093000");
}

TEST_F(SetupDialogWin32Test, RendersAScreenshot) {
    store.strings[kValueNovaScopeRoot] = "C:\\NovaScope";
    ASSERT_NE(Open(), nullptr);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    dialog->AppendStatus("Begining download of symbol file....");
    dialog->AppendStatus("dwInternetStatus 10; Resolving name www.example.com");
    JobProgress progress;
    progress.done = 131071;
    progress.total = 300000;
    dialog->ShowProgress(progress);
    Pump();
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(memory, bitmap);
    // The frame and background, then every control at its place, the ones
    // at the bottom of the order first. (The emulator's screen reads back
    // black under Xvfb, and its PrintWindow leaves the controls out.)
    ASSERT_TRUE(PrintWindow(window, memory, 0));
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        RECT place{};
        GetWindowRect(*child, &place);
        SetViewportOrgEx(memory, place.left - frame.left, place.top - frame.top, nullptr);
        SendMessageW(*child, WM_PRINT, reinterpret_cast<WPARAM>(memory),
                     PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    }
    SetViewportOrgEx(memory, 0, 0, nullptr);
    GdiFlush();
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const auto* row = static_cast<const uint8_t*>(bits) + y * stride;
        for (int x = 0; x < width; ++x) {
            rgb[(y * width + x) * 3 + 0] = row[x * 3 + 2];
            rgb[(y * width + x) * 3 + 1] = row[x * 3 + 1];
            rgb[(y * width + x) * 3 + 2] = row[x * 3 + 0];
        }
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    // Not a blank picture: a light dialog with the captions' dark pixels.
    int dark = 0;
    int light = 0;
    for (int y = 40; y < height - 10; ++y) {
        for (int x = 10; x < width - 10; ++x) {
            const uint8_t* pixel = &rgb[(y * width + x) * 3];
            dark += pixel[0] + pixel[1] + pixel[2] < 150;
            light += pixel[0] + pixel[1] + pixel[2] > 600;
        }
    }
    EXPECT_GT(dark, 2000);
    EXPECT_GT(light, (width - 20) * (height - 50) / 2);
    std::ofstream out(ORVELLA_SCREENSHOT, std::ios::binary);
    out << Png(width, height, rgb);
    EXPECT_TRUE(out.good());
}

}  // namespace
}  // namespace orvella
