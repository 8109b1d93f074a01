#include "configurator/configurator_app.h"

#include "common/win32/message_box.h"
#include "configurator/main_window.h"
#include "configurator/registry_ops.h"

namespace qz6::conf {

namespace {

constexpr char kRegisteredCaption[] = "Zurezi6 Service Registered";
constexpr char kRegisteredText[] =
    "The registry has been updated to include the Zurezi6 device driver.  Restart the system after configuring your "
    "card(s) for these changes to take effect.";
constexpr char kRegistryErrorCaption[] = "Fatal Error (Registry)";
constexpr char kRegistryErrorText[] =
    "A fatal error occurred while attempting to create the required keys in the registry for the Zurezi6 service.";

// A failure is shown and the run goes on; the next start tries again.
void EnsureServiceRegistered(HWND window)
{
    if (ServiceKeyExists())
        return;
    if (RegisterService())
        ShowMessageBox(window, kRegisteredText, kRegisteredCaption, MB_OK | MB_ICONINFORMATION);
    else
        ShowMessageBox(window, kRegistryErrorText, kRegistryErrorCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

bool StartConfigurator(ConfiguratorState& state, HINSTANCE instance)
{
    state.instance = instance;
    if (!RegisterConfiguratorClass(instance))
        return false;
    if (CreateConfiguratorWindow(state) == nullptr)
        return false;
    FillChoiceLists(state.main_window);
    RefreshDeviceList(state);
    AppendAboutItem(state.main_window);
    EnsureServiceRegistered(state.main_window);
    return true;
}

void RouteMessage(const ConfiguratorState& state, MSG& message)
{
    if (state.main_window != nullptr && IsDialogMessageA(state.main_window, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

int RunMessageLoop(const ConfiguratorState& state)
{
    MSG message;
    for (;;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            WaitMessage();  // nothing queued: sleep rather than spin
            continue;
        }
        if (message.message == WM_QUIT)
            return 0;
        RouteMessage(state, message);
    }
}

int RunConfigurator(ConfiguratorState& state, HINSTANCE instance)
{
    if (!StartConfigurator(state, instance))
        return 0;
    return RunMessageLoop(state);
}

}  // namespace qz6::conf
