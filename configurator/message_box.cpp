#include "configurator/message_box.h"

namespace qz6::conf {

void ShowMessage(HWND owner, const char* text, const char* caption, UINT icon)
{
    MessageBoxA(owner, text, caption, MB_OK | icon);
}

}  // namespace qz6::conf
