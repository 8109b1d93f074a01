// Test support: answers the message boxes that one GUI thread shows, from a
// thread of its own, and records what each said.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/window_support.h"

namespace qz6::conf::test {

enum class BoxIcon { kNone, kInformation, kError, kOther };

struct SeenBox {
    std::string caption;
    std::string text;
    HWND owner;
    BoxIcon icon;
};

// Every 10 ms looks for a visible dialog-class window of `gui_thread` (in
// this process) and presses its OK button. Stops at destruction.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(DWORD gui_thread = GetCurrentThreadId());
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<SeenBox> Seen() const;
    void Clear();

private:
    void Run();

    DWORD gui_thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::thread thread_;
};

// A dialog-class window of `thread` that is visible, or null.
HWND FindVisibleDialog(DWORD thread);

using qz6::test::MessageBoxText;
using qz6::test::WindowText;

}  // namespace qz6::conf::test
