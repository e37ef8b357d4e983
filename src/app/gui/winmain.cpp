// Tarnscan.exe: the window program. It takes no command-line arguments.

#include "app/gui/main_window.h"
#include "platform/win32/handles.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  tarnscan::platform::win32::EnsureComApartment();

  tarnscan::gui::MainWindow window;
  if (!window.Create(instance, show)) {
    MessageBoxA(nullptr, "The window could not be created.", "Tarnscan", MB_OK | MB_ICONERROR);
    return 1;
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(window.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
