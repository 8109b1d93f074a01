/* qz6keepalive.exe [MINUTES [READY_FILE]]
 *
 * Holds one hidden window for MINUTES minutes (default 10) and then exits.
 * Creates READY_FILE once the window, and so the desktop, exists.
 * While a window exists Wine keeps its desktop process running, so test
 * programs started one after another do not each pay for a new desktop,
 * and no test's output pipe is held by a desktop process that the test
 * happened to start. */
#include <windows.h>
#include <stdlib.h>

enum { kDefaultMinutes = 10, kMaxMinutes = 24 * 60 };

static LRESULT CALLBACK KeepAliveProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_TIMER:
        KillTimer(window, 1);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    (void)previous;
    (void)command_line;
    (void)show;

    long minutes = kDefaultMinutes;
    if (__argc > 1) {
        char* end = NULL;
        long value = strtol(__argv[1], &end, 10);
        if (end != __argv[1] && *end == '\0' && value > 0 && value <= kMaxMinutes) {
            minutes = value;
        }
    }
    const char* ready_file = __argc > 2 ? __argv[2] : NULL;

    WNDCLASSA window_class = {0};
    window_class.lpfnWndProc = KeepAliveProc;
    window_class.hInstance = instance;
    window_class.lpszClassName = "QZ6_KEEPALIVE";
    if (RegisterClassA(&window_class) == 0) {
        return 1;
    }
    /* Never shown: the window only has to exist. */
    HWND window = CreateWindowExA(0, "QZ6_KEEPALIVE", "qz6 keep-alive", WS_OVERLAPPED, 0, 0, 1, 1,
                                  NULL, NULL, instance, NULL);
    if (window == NULL) {
        return 1;
    }
    if (SetTimer(window, 1, (UINT)(minutes * 60 * 1000), NULL) == 0) {
        DestroyWindow(window);
        return 1;
    }

    if (ready_file != NULL) {
        HANDLE ready = CreateFileA(ready_file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (ready != INVALID_HANDLE_VALUE) {
            CloseHandle(ready);
        }
    }

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
