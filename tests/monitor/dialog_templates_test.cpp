// Every dialog and window template of qz6mon.exe and qz6conf.exe, made from
// the built programs' own resources in this prefix: each label, check box,
// button and group box text fits its control in the font the template asks
// for, as this prefix draws it; and Receive Detail's "Courier" is fixed-width,
// or its summary lines leave the column heads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/window_support.h"

namespace {

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(
        IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(name)) : name);
    return TRUE;
}

// A program beside this test program, loaded as data.
HMODULE LoadProgram(const char* file)
{
    return LoadLibraryExA(qz6::test::ProgramBeside(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// Creates a template as the program would, hidden behind an owner. A window
// class that the template names is registered here as a plain dialog class.
HWND CreateFromTemplate(HMODULE program, const std::string& name, HWND owner)
{
    HRSRC found = FindResourceA(program, name.c_str(), RT_DIALOG);
    const auto* words = found ? static_cast<const WORD*>(LockResource(LoadResource(program, found))) : nullptr;
    if (words == nullptr)
        return nullptr;
    // DIALOG header (9 words) or DIALOGEX header (13), then the menu, then the class.
    const WORD* item = words + (words[1] == 0xFFFF ? 13 : 9);
    item += *item == 0xFFFF ? 2 : *item == 0 ? 1 : lstrlenW(reinterpret_cast<LPCWSTR>(item)) + 1;
    if (*item != 0 && *item != 0xFFFF) {
        WNDCLASSW dialog_class{};
        dialog_class.lpfnWndProc = DefDlgProcW;
        dialog_class.cbWndExtra = DLGWINDOWEXTRA;
        dialog_class.hInstance = GetModuleHandleA(nullptr);
        dialog_class.lpszClassName = reinterpret_cast<LPCWSTR>(item);
        RegisterClassW(&dialog_class);  // fails harmlessly the second time
    }
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words), owner,
                                      QuietDialog, 0);
}

// The width a control keeps beside its text, and how it draws the text;
// -1 for a control without a text of its own.
int ReservedWidth(HWND control, HDC dc, UINT& format)
{
    char kind[32] = {};
    GetClassNameA(control, kind, sizeof kind);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    format = DT_CALCRECT | DT_EXPANDTABS;
    if (lstrcmpiA(kind, "Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        format |= (type <= SS_RIGHT ? DT_WORDBREAK : 0) | (style & SS_NOPREFIX ? DT_NOPREFIX : 0);
        return type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP ? 0 : -1;
    }
    if (lstrcmpiA(kind, "Button") != 0)
        return -1;
    format |= DT_SINGLELINE;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        return 2 * (GetSystemMetrics(SM_CXEDGE) + 1);  // the frame and the focus rectangle
    case BS_GROUPBOX:
        return 2 * 8;  // the frame runs on either side of the caption
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
        INT digit = 0;  // the box, then half a digit's width
        GetCharWidth32A(dc, '0', '0', &digit);
        return MulDiv(12, GetDeviceCaps(dc, LOGPIXELSX), 96) + 1 + digit / 2;
    }
    default:
        return -1;
    }
}

void ExpectTextFits(const std::string& where, HWND control)
{
    char text[512] = {}, face[LF_FACESIZE] = {};
    GetWindowTextA(control, text, sizeof text);
    RECT client{};
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    UINT format = 0;
    const int reserved = ReservedWidth(control, dc, format);
    if (reserved >= 0 && text[0] != '\0') {
        RECT needed{0, 0, client.right - reserved, 0};
        DrawTextA(dc, text, -1, &needed, format);
        GetTextFaceA(dc, sizeof face, face);
        EXPECT_TRUE(needed.right <= client.right - reserved && needed.bottom <= client.bottom)
            << where << ": \"" << text << "\" in " << face << " needs " << needed.right + reserved << "x"
            << needed.bottom << " pixels, its control has " << client.right << "x" << client.bottom;
    }
    SelectObject(dc, old_font);
    ReleaseDC(control, dc);
}

class DialogTemplates : public testing::Test {
protected:
    void SetUp() override
    {
        owner_ = CreateWindowExA(0, "Static", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override { DestroyWindow(owner_); }
    HWND owner_ = nullptr;
};

TEST_F(DialogTemplates, EveryTextOfBothProgramsFitsItsControl)
{
    for (const char* file : {"qz6mon.exe", "qz6conf.exe"}) {
        HMODULE program = LoadProgram(file);
        ASSERT_NE(program, nullptr) << file;
        std::vector<std::string> names;
        EnumResourceNamesA(program, RT_DIALOG, AddName, reinterpret_cast<LONG_PTR>(&names));
        EXPECT_FALSE(names.empty()) << file;
        for (const std::string& name : names) {
            HWND dialog = CreateFromTemplate(program, name, owner_);
            EXPECT_NE(dialog, nullptr) << file << " " << name;
            for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
                ExpectTextFits(std::string(file) + " " + name, control);
            DestroyWindow(dialog);
        }
        FreeLibrary(program);
    }
}

TEST_F(DialogTemplates, ReceiveDetailsCourierIsFixedWidth)
{
    HMODULE program = LoadProgram("qz6mon.exe");
    ASSERT_NE(program, nullptr);
    HWND dialog = CreateFromTemplate(program, "RDETAIL", owner_);
    ASSERT_NE(dialog, nullptr);
    HDC dc = GetDC(dialog);
    HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "\"Courier\" is drawn in " << face;  // set: proportional
    SelectObject(dc, old_font);
    ReleaseDC(dialog, dc);
    DestroyWindow(dialog);
    FreeLibrary(program);
}

}  // namespace
