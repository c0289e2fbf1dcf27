#include <cstdio>

#include "commands.h"
#include "windows_found.h"

int PrintRunOutcome(DWORD pid, HWND main_dialog, const std::string& before) {
  // After the dialog has gone the run finishes without pumping messages until it shows a
  // message box or returns to the main loop; the settle waits for that point.
  Settle(main_dialog);
  HWND box = nullptr;
  std::string status;
  WaitFor(3000, [&] {
    if (!IsWindow(main_dialog)) return true;
    box = FindMessageBox(pid);
    status = StatusText(main_dialog);
    return box || status != before;
  });
  if (!IsWindow(main_dialog)) {
    std::printf("main=gone\n");
    return 0;
  }
  if (box) {
    std::printf("msgbox-caption=%s\n", TextOf(box).c_str());
    std::printf("msgbox-text=%s\n", TextOf(GetDlgItem(box, kMessageTextId)).c_str());
    std::printf("msgbox-owner=%s\n", GetWindow(box, GW_OWNER) ? "some" : "none");
  }
  std::printf("status=%s\n", status.c_str());
  return 0;
}

int DismissMessageBox(DWORD pid) {
  HWND box = nullptr;
  if (!WaitFor(5000, [&] { return (box = FindMessageBox(pid)) != nullptr; })) {
    std::printf("error=no message box\n");
    return 1;
  }
  HWND main_dialog = FindMainDialog(pid);
  const std::string before = main_dialog ? StatusText(main_dialog) : "";
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  if (!WaitFor(5000, [&] { return !IsWindow(box); })) {
    std::printf("error=the message box stayed open\n");
    return 1;
  }
  if (!main_dialog) {
    std::printf("main=gone\n");
    return 0;
  }
  return PrintRunOutcome(pid, main_dialog, before);
}
