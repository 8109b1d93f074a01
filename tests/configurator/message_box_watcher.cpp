#include "tests/configurator/message_box_watcher.h"

#include <chrono>

namespace qz6::conf::test {

namespace {

struct Search {
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context)
{
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof(class_name));
    if (std::string(class_name) == "#32770" && IsWindowVisible(window)) {
        reinterpret_cast<Search*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM context)
{
    char class_name[16] = {};
    GetClassNameA(child, class_name, sizeof(class_name));
    LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (lstrcmpiA(class_name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        reinterpret_cast<Search*>(context)->found = child;
        return FALSE;
    }
    return TRUE;
}

// The box's icon, compared with the system's shared icons (same process).
BoxIcon IconOf(HWND box)
{
    Search search;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr)
        return BoxIcon::kNone;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(search.found, STM_GETICON, 0, 0, SMTO_NORMAL, 5000, &result);
    HICON shown = reinterpret_cast<HICON>(result);
    if (shown == nullptr)
        return BoxIcon::kNone;
    if (shown == LoadIconA(nullptr, IDI_INFORMATION))
        return BoxIcon::kInformation;
    if (shown == LoadIconA(nullptr, IDI_ERROR))
        return BoxIcon::kError;
    return BoxIcon::kOther;
}

}  // namespace

HWND FindVisibleDialog(DWORD thread)
{
    Search search;
    EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

MessageBoxWatcher::MessageBoxWatcher(DWORD gui_thread) : gui_thread_(gui_thread), thread_([this] { Run(); }) {}

MessageBoxWatcher::~MessageBoxWatcher()
{
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> MessageBoxWatcher::Seen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void MessageBoxWatcher::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.clear();
}

void MessageBoxWatcher::Run()
{
    while (!stop_) {
        HWND box = FindVisibleDialog(gui_thread_);
        if (box == nullptr) {
            Sleep(10);
            continue;
        }
        SeenBox seen{WindowText(box), MessageBoxText(box), GetWindow(box, GW_OWNER), IconOf(box)};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(seen);
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        // One answer per box: wait until it has gone.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (IsWindow(box) && IsWindowVisible(box) && std::chrono::steady_clock::now() < deadline && !stop_)
            Sleep(5);
    }
}

}  // namespace qz6::conf::test
