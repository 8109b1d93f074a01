// Every dialog and window template of qz6mon.exe and qz6conf.exe, made from
// the built programs' own resources in this prefix: each label, check box,
// button and group box text fits its control in the font the template asks
// for, as this prefix draws it; and Receive Detail's "Courier" is fixed-width,
// or its summary lines leave the column heads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(
        IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(name)) : name);
    return TRUE;
}

class DialogTemplates : public testing::Test {
protected:
    void SetUp() override
    {
        owner_ = CreateWindowExA(0, "Static", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        if (program_ != nullptr)
            FreeLibrary(program_);
    }

    // Loads a program beside this test program as data.
    void Load(const char* file)
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, sizeof path);
        std::string text = path;
        text = text.substr(0, text.find_last_of("\\/") + 1) + file;
        program_ = LoadLibraryExA(text.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(program_, nullptr) << text;
    }

    std::vector<std::string> TemplateNames() const
    {
        std::vector<std::string> names;
        EnumResourceNamesA(program_, RT_DIALOG, AddName, reinterpret_cast<LONG_PTR>(&names));
        return names;
    }

    // Creates a template as the program would. A window class that the
    // template names is registered here as a plain dialog class.
    HWND Create(const std::string& name) const
    {
        HRSRC found = FindResourceA(program_, name.c_str(), RT_DIALOG);
        const auto* words = found ? static_cast<const WORD*>(LockResource(LoadResource(program_, found))) : nullptr;
        if (words == nullptr)
            return nullptr;
        // DIALOG header (9 words) or DIALOGEX header (13), menu, class.
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
        return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words),
                                          owner_, QuietDialog, 0);
    }

    // Every text of the template's controls fits its control's client area.
    void ExpectTextsFit(const std::string& name) const
    {
        HWND dialog = Create(name);
        ASSERT_NE(dialog, nullptr) << name;
        for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            char kind[32] = {}, text[512] = {};
            GetClassNameA(control, kind, sizeof kind);
            GetWindowTextA(control, text, sizeof text);
            const LONG style = GetWindowLongA(control, GWL_STYLE);
            RECT client{};
            GetClientRect(control, &client);
            HDC dc = GetDC(control);
            HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
            UINT format = DT_CALCRECT | DT_EXPANDTABS;
            int reserved = -1;  // width the control keeps from its text; -1: no text of its own
            if (lstrcmpiA(kind, "Static") == 0) {
                const LONG type = style & SS_TYPEMASK;
                if (type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) {
                    reserved = 0;
                    format |= type <= SS_RIGHT ? DT_WORDBREAK : 0;
                    format |= style & SS_NOPREFIX ? DT_NOPREFIX : 0;
                }
            } else if (lstrcmpiA(kind, "Button") == 0) {
                format |= DT_SINGLELINE;
                INT digit = 0;
                GetCharWidth32A(dc, '0', '0', &digit);
                switch (style & BS_TYPEMASK) {
                case BS_PUSHBUTTON:
                case BS_DEFPUSHBUTTON:
                    reserved = 2 * (GetSystemMetrics(SM_CXEDGE) + 1);  // the frame and the focus rectangle
                    break;
                case BS_GROUPBOX:
                    reserved = 2 * 8;  // the frame runs on either side of the caption
                    break;
                case BS_CHECKBOX:
                case BS_AUTOCHECKBOX:
                case BS_3STATE:
                case BS_AUTO3STATE:
                case BS_RADIOBUTTON:
                case BS_AUTORADIOBUTTON:
                    reserved = MulDiv(12, GetDeviceCaps(dc, LOGPIXELSX), 96) + 1 + digit / 2;  // the box and a gap
                    break;
                default:
                    break;
                }
            }
            if (reserved >= 0 && text[0] != '\0') {
                RECT needed{0, 0, client.right - reserved, 0};
                DrawTextA(dc, text, -1, &needed, format);
                char face[LF_FACESIZE] = {};
                GetTextFaceA(dc, sizeof face, face);
                EXPECT_TRUE(needed.right <= client.right - reserved && needed.bottom <= client.bottom)
                    << name << ": \"" << text << "\" in " << face << " needs " << needed.right + reserved << "x"
                    << needed.bottom << " pixels, its " << kind << " has " << client.right << "x" << client.bottom;
            }
            SelectObject(dc, old_font);
            ReleaseDC(control, dc);
        }
        DestroyWindow(dialog);
    }

    HWND owner_ = nullptr;
    HMODULE program_ = nullptr;
};

TEST_F(DialogTemplates, EveryTextOfTheMonitorFitsItsControl)
{
    ASSERT_NO_FATAL_FAILURE(Load("qz6mon.exe"));
    const std::vector<std::string> names = TemplateNames();
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names)
        ExpectTextsFit(name);
}

TEST_F(DialogTemplates, EveryTextOfTheConfiguratorFitsItsControl)
{
    ASSERT_NO_FATAL_FAILURE(Load("qz6conf.exe"));
    const std::vector<std::string> names = TemplateNames();
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names)
        ExpectTextsFit(name);
}

TEST_F(DialogTemplates, ReceiveDetailsCourierIsFixedWidth)
{
    ASSERT_NO_FATAL_FAILURE(Load("qz6mon.exe"));
    HWND dialog = Create("RDETAIL");
    ASSERT_NE(dialog, nullptr);
    HDC dc = GetDC(dialog);
    HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    // The bit set means a proportional font.
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "\"Courier\" is drawn in " << face;
    SelectObject(dc, old_font);
    ReleaseDC(dialog, dc);
    DestroyWindow(dialog);
}

}  // namespace
