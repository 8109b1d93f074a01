/* The smallest Win32 program with one window: what start-up costs before a
 * program does anything of its own. The bench times it against qz6mon.exe;
 * it ends when its window is closed. */
#include <windows.h>

static LRESULT CALLBACK MinimalWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    WNDCLASSA window_class = {0};
    HWND window;
    MSG message;
    (void)previous;
    (void)command_line;
    window_class.lpfnWndProc = MinimalWindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    window_class.lpszClassName = "QZ6MinimalWindow";
    if (!RegisterClassA(&window_class))
        return 1;
    window = CreateWindowA("QZ6MinimalWindow", "Minimal", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                           300, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
