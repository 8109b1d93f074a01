#include "configurator/main_window.h"

#include <cstddef>
#include <optional>

#include "common/win32/message_box.h"
#include "configurator/config_lines.h"
#include "configurator/registry_ops.h"
#include "configurator/resources/resource_ids.h"

namespace qz6::conf {

namespace {

constexpr char kQuitReminderCaption[] = "Configuration Changes Made";
constexpr char kQuitReminderText[] =
    "Restart service or reboot for changes to take effect. The service may be restarted at the command prompt by "
    "typing NET STOP ZUREZI6 followed by NET START ZUREZI6.";
constexpr char kAboutCaption[] = "About QZ6CONF v1.0";
constexpr char kAboutText[] =
    "QZ6CONF - R731 Streaming Hardware Configurator\n"
    "Sets the I/O port, memory address and IRQ of each adapter\n"
    "May 1996 release";

ConfiguratorState* StateOf(HWND window)
{
    return reinterpret_cast<ConfiguratorState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT SendItem(HWND window, int id, UINT message, WPARAM wparam, LPARAM lparam)
{
    return SendDlgItemMessageA(window, id, message, wparam, lparam);
}

void AddComboText(HWND window, int id, const char* text)
{
    SendItem(window, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

int ComboSelection(HWND window, int id)
{
    return static_cast<int>(SendItem(window, id, CB_GETCURSEL, 0, 0));
}

// The text of the selected item, or an empty text when there is none or it
// does not fit.
ChoiceText SelectedComboText(HWND window, int id)
{
    ChoiceText text{};
    int index = ComboSelection(window, id);
    if (index < 0)
        return text;
    LRESULT length = SendItem(window, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0 || static_cast<std::size_t>(length) >= text.size())
        return text;
    SendItem(window, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    return text;
}

std::optional<uint8_t> SelectedAdapter(HWND window)
{
    return AdapterOfLine(static_cast<int>(SendItem(window, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0)));
}

DeviceParameters ReadDeviceParameters(uint8_t adapter)
{
    DeviceParameters parameters{};
    parameters.interrupt_number = ReadDeviceValue(kValueInterruptNumber, adapter);
    if (parameters.interrupt_number != 0) {
        parameters.shared_memory = ReadDeviceValue(kValueSharedMemoryAddress, adapter);
        parameters.io_base = ReadDeviceValue(kValueIoBaseAddress, adapter);
    }
    return parameters;
}

void CloseConfigurator(HWND window)
{
    DestroyWindow(window);
    PostQuitMessage(0);
}

// "&Set >>": stores the three choices for the selected adapter. The
// interrupt line goes last, since it marks the adapter as configured.
void OnSet(ConfiguratorState& state)
{
    HWND window = state.main_window;
    std::optional<uint8_t> adapter = SelectedAdapter(window);
    if (!adapter)
        return;
    state.changes_made = true;
    state.selected_device = *adapter;

    ChoiceText memory = SelectedComboText(window, IDC_MEMORY);
    std::optional<DeviceParameters> chosen =
        ChosenParameters(ComboSelection(window, IDC_IO_PORT), memory.data(), ComboSelection(window, IDC_IRQ));
    if (chosen) {
        WriteDeviceValue(kValueIoBaseAddress, chosen->io_base, *adapter);
        WriteDeviceValue(kValueSharedMemoryAddress, chosen->shared_memory, *adapter);
        WriteDeviceValue(kValueInterruptNumber, chosen->interrupt_number, *adapter);
    }
    RefreshDeviceList(state);
}

// "&Clear Entry": removes the selected adapter's entry; counts as a change
// even when there was none.
void OnClearEntry(ConfiguratorState& state)
{
    std::optional<uint8_t> adapter = SelectedAdapter(state.main_window);
    if (!adapter)
        return;
    state.selected_device = *adapter;
    DeleteDeviceKey(*adapter);
    RefreshDeviceList(state);
    state.changes_made = true;
}

// "&Quit" (and Escape): the reminder after changes, then close.
void OnQuit(const ConfiguratorState& state)
{
    if (state.changes_made)
        ShowMessageBox(state.main_window, kQuitReminderText, kQuitReminderCaption, MB_OK | MB_ICONINFORMATION);
    PostMessageA(state.main_window, WM_CLOSE, 0, 0);
}

void OnCommand(ConfiguratorState& state, WORD id)
{
    switch (id) {
    case IDC_SET:
        OnSet(state);
        break;
    case IDC_CLEAR_ENTRY:
        OnClearEntry(state);
        break;
    case IDC_QUIT:
    case IDCANCEL:  // Escape, from the dialog manager
        OnQuit(state);
        break;
    default:
        break;
    }
}

// True when the command was handled here.
bool OnSysCommand(HWND window, WPARAM wparam)
{
    if (wparam == SC_CLOSE) {
        CloseConfigurator(window);
        return true;
    }
    if (LOWORD(wparam) == ID_ABOUT) {
        ShowMessageBox(window, kAboutText, kAboutCaption, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    return false;
}

void OnNcDestroy(HWND window)
{
    if (ConfiguratorState* state = StateOf(window)) {
        state->main_window = nullptr;
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    }
}

}  // namespace

bool RegisterConfiguratorClass(HINSTANCE instance)
{
    WNDCLASSA window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = ConfiguratorWndProc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = DLGWINDOWEXTRA;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, QZ6CONF_ICON);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = QZ6CONF_WINDOW_CLASS;
    return RegisterClassA(&window_class) != 0;
}

HWND CreateConfiguratorWindow(ConfiguratorState& state)
{
    HWND window = CreateDialogParamA(state.instance, QZ6CONF_MAIN_TEMPLATE, nullptr, nullptr, 0);
    if (window == nullptr)
        return nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    state.main_window = window;
    return window;
}

// The table texts are literals, so each one's data is terminated.
void FillChoiceLists(HWND window)
{
    for (int id : {IDC_IO_PORT, IDC_MEMORY, IDC_IRQ})
        SendItem(window, id, CB_RESETCONTENT, 0, 0);
    for (std::string_view port : kIoPortTable)
        AddComboText(window, IDC_IO_PORT, port.data());
    SendItem(window, IDC_IO_PORT, CB_SETCURSEL, static_cast<WPARAM>(kDefaultIoPort), 0);
    for (const ChoiceText& memory : kMemoryList)
        AddComboText(window, IDC_MEMORY, memory.data());
    SendItem(window, IDC_MEMORY, CB_SETCURSEL, static_cast<WPARAM>(kDefaultMemory), 0);
    for (std::string_view irq : kIrqTable)
        AddComboText(window, IDC_IRQ, irq.data());
    SendItem(window, IDC_IRQ, CB_SETCURSEL, static_cast<WPARAM>(kDefaultIrq), 0);
}

void RefreshDeviceList(const ConfiguratorState& state)
{
    HWND window = state.main_window;
    SendItem(window, IDC_DEVICE_LIST, LB_RESETCONTENT, 0, 0);
    for (uint8_t adapter = 0; adapter < kAdapterCount; ++adapter) {
        DeviceLine line = FormatDeviceLine(adapter, ReadDeviceParameters(adapter));
        SendItem(window, IDC_DEVICE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.data()));
    }
    SendItem(window, IDC_DEVICE_LIST, LB_SETCURSEL, static_cast<WPARAM>(state.selected_device), 0);
}

void AppendAboutItem(HWND window)
{
    HMENU system_menu = GetSystemMenu(window, FALSE);
    AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(system_menu, MF_STRING, ID_ABOUT, "About...");
}

LRESULT CALLBACK ConfiguratorWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    ConfiguratorState* state = StateOf(window);
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // The command goes on to the default handling after it has run.
        if (state != nullptr)
            OnCommand(*state, LOWORD(wparam));
        break;
    case WM_SYSCOMMAND:
        if (OnSysCommand(window, wparam))
            return 0;
        break;
    case WM_CLOSE:
        CloseConfigurator(window);
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy(window);
        break;
    default:
        break;
    }
    return DefDlgProcA(window, message, wparam, lparam);
}

}  // namespace qz6::conf
