// The Windows setup dialog from its resource, driven by the setup controller:
// the controls in the resource's (tab) order, the settings going in and out,
// the size, the About entry, and a screenshot.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>
#include <wincodec.h>

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "setup/settings_store.h"
#include "setup/win32/resource.h"
#include "setup/win32/setup_dlg.h"
#include "testing/setup/fake_settings_store.h"
#include "tests/setup/setup_dialog_controls.h"

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

// Writes the bitmap as a PNG file through the system's imaging component.
bool SavePng(HBITMAP bitmap, const wchar_t* path) {
    IWICImagingFactory* factory = nullptr;
    IWICBitmap* image = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&factory))) &&
              SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha,
                                                         &image)) &&
              SUCCEEDED(factory->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(path, GENERIC_WRITE)) &&
              SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
              SUCCEEDED(frame->Initialize(nullptr)) &&
              SUCCEEDED(frame->WriteSource(image, nullptr)) && SUCCEEDED(frame->Commit()) &&
              SUCCEEDED(encoder->Commit());
    for (IUnknown* held :
         std::initializer_list<IUnknown*>{frame, encoder, stream, image, factory}) {
        if (held != nullptr)
            held->Release();
    }
    return ok;
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
        {-1, "Static", "Trades from this time on (HH:mm:ss)"},
        {-1, "Static", "Trades until this time (HH:mm:ss)"},
        {1004, "msctls_progress32", ""},
        {-1, "Static", "Symbol File Website address"},
        {1005, "Edit", nullptr},
        {1006, "Edit", nullptr},
        {-1, "Static", "Port"},
        {1008, "Edit", ""},
        {-1, "Static", "Status Window"},
        {-1, "Button", "Charting Options"},
        {1011, "Edit", nullptr},
        {1022, "Button", "Browse..."},
        {-1, "Static", "NovaScope Install directory"},
        {-1, "Button", "Orvella and Novascope LST File Build Process"},
        {1009, "Button", "Download Symbol File"},
        {-1, "Static", "Trade Time Filtering (Eastern Time Zone and 24 Hr Clock)"},
        {1010, "Button", "Generate LST Files"},
        {1023, "Button", "Check the feed client"},
        {1014, "Button", "Continuous"},
        {1015, "Button", "Meridex Spot"},
        {1016, "Button", "Meridex Spot Composite"},
        {-1, "Button", "Additional LST File Types to Generate"},
        {1017, "Button", "Logging"},
        {1021, "Button", "Reconnect to the feed client"},
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

// The same controls in the same order and groups as the Linux dialog; a
// control belongs to the smallest group box around it.
TEST_F(SetupDialogWin32Test, ControlsFollowTheSharedOrderAndGroups) {
    ASSERT_NE(Open(), nullptr);
    std::vector<std::pair<RECT, std::string>> groups;
    std::vector<HWND> controls;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const bool button = ClassOf(child) == "Button";
        if (button && (GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) {
            RECT place{};
            GetWindowRect(child, &place);
            groups.emplace_back(place, Text(child));
        } else if (static_cast<int16_t>(GetDlgCtrlID(child)) != -1) {
            controls.push_back(child);
        }
    }
    std::vector<std::string> rows;
    for (HWND control : controls) {
        RECT place{};
        GetWindowRect(control, &place);
        std::string group;
        long smallest = LONG_MAX;
        for (const auto& [box, title] : groups) {
            const long area = (box.right - box.left) * (box.bottom - box.top);
            if (place.left >= box.left && place.right <= box.right && place.top >= box.top &&
                place.bottom <= box.bottom && area < smallest) {
                smallest = area;
                group = title;
            }
        }
        rows.push_back(test::ControlRow(GetDlgCtrlID(control),
                                        ClassOf(control) == "Button" ? Text(control) : "", group));
    }
    EXPECT_EQ(rows, test::ExpectedControlRows());
}

TEST_F(SetupDialogWin32Test, ShowsTheSettingsAndSaveQuitStoresThem) {
    store.dwords[kValueStreaming] = 1;
    store.dwords[kValueMeridexSpot] = 1;
    store.dwords[kValueReconnect] = 1;
    store.strings[kValueBeginFilterTime] = "093000";
    store.strings[kValueEndFilterTime] = "160015";
    store.strings[kValueNovaScopeRoot] = root.Path();
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_STREAMING), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_MERIDEX_SPOT), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_LOGGING), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RECONNECT), BST_CHECKED);
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
    EXPECT_EQ(store.dwords[kValueReconnect], 1);
    EXPECT_EQ(store.dwords[kValuePort], 8080);
    EXPECT_EQ(store.strings[kValueBeginFilterTime], "093000");
}

TEST_F(SetupDialogWin32Test, RendersAScreenshot) {
    store.strings[kValueNovaScopeRoot] = "C:\\NovaScope";
    ASSERT_NE(Open(), nullptr);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    test::ShowAsDuringAJob(*dialog);
    // Every control paints itself into the window's surface before the copy:
    // the screen of the emulator's X server reads back black, and asking the
    // controls to print themselves (PrintWindow, WM_PRINT) leaves most out.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    ASSERT_TRUE(BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY));
    GdiFlush();
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(window, source);

    // Not a blank picture: a light dialog with the captions' dark pixels, in
    // every quarter of it (a part left unpainted reads back black or white).
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (int quarter = 0; quarter < 4; ++quarter) {
        SCOPED_TRACE("quarter " + std::to_string(quarter));
        const int left = quarter % 2 * width / 2;
        const int top = quarter / 2 * height / 2;
        int dark = 0;
        int light = 0;
        for (int y = top; y < top + height / 2; ++y) {
            for (int x = left; x < left + width / 2; ++x) {
                const uint32_t pixel = pixels[y * width + x];
                const int sum = (pixel & 0xFF) + (pixel >> 8 & 0xFF) + (pixel >> 16 & 0xFF);
                dark += sum < 150;
                light += sum > 600;
            }
        }
        EXPECT_GT(dark, 50);
        EXPECT_GT(light, width * height / 8);
    }
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    EXPECT_TRUE(SavePng(bitmap, ORVELLA_SCREENSHOT));
    CoUninitialize();
    DeleteObject(bitmap);
}

}  // namespace
}  // namespace orvella
