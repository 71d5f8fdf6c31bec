// The settings dialog's texts. One template serves every language: its controls have
// no text of their own, each takes the one the string table holds for its id, and
// the dialog grows wider, all its controls in proportion, until the longest of them
// fits. A layout so kept needs no care from a translator, and a control added to
// the template is laid out once for all languages.
#include "main.h"

#include "resource.h"

namespace {

// What a control needs beside its text: the box of a check box, the edges of a push
// button; asked of every control alike. Dialog units, so it follows the font.
constexpr RECT TextMargin = {0, 0, 14, 0};
constexpr int LongestControlText = 128;

int Width(const RECT &Box) { return Box.right - Box.left; }

// The widest share of its control that a text needs, as Needed / Has.
struct TCrowding {
  int Needed = 1;
  int Has = 1;
};

TCrowding MostCrowded(HWND Dialog) {
  const HDC Dc = GetDC(Dialog);
  const HGDIOBJ Font =
      SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Dialog, WM_GETFONT, 0, 0)));
  RECT Margin = TextMargin;
  MapDialogRect(Dialog, &Margin);
  TCrowding Most;
  for (HWND Control = GetWindow(Dialog, GW_CHILD); Control != nullptr;
       Control = GetWindow(Control, GW_HWNDNEXT)) {
    wchar_t Text[LongestControlText];
    const int Length = GetWindowTextW(Control, Text, LongestControlText);
    RECT Extent = {};
    RECT Place = {};
    GetWindowRect(Control, &Place);
    if (Length == 0 || DrawTextW(Dc, Text, Length, &Extent, DT_CALCRECT | DT_SINGLELINE) == 0)
      continue;
    const int Needed = Width(Extent) + Width(Margin);
    if (Needed * Most.Has > Most.Needed * Width(Place))
      Most = {Needed, Width(Place)};
  }
  SelectObject(Dc, Font);
  ReleaseDC(Dialog, Dc);
  return Most;
}

// Only across: every text is one line. The dialog stays centred where it was.
void Widen(HWND Dialog, const TCrowding &Crowding) {
  for (HWND Control = GetWindow(Dialog, GW_CHILD); Control != nullptr;
       Control = GetWindow(Control, GW_HWNDNEXT)) {
    RECT Place = {};
    GetWindowRect(Control, &Place);
    MapWindowPoints(nullptr, Dialog, reinterpret_cast<POINT *>(&Place), 2);
    MoveWindow(Control, MulDiv(Place.left, Crowding.Needed, Crowding.Has), Place.top,
               MulDiv(Width(Place), Crowding.Needed, Crowding.Has), Place.bottom - Place.top,
               FALSE);
  }
  RECT Frame = {};
  RECT Client = {};
  GetWindowRect(Dialog, &Frame);
  GetClientRect(Dialog, &Client);
  const int Growth = MulDiv(Client.right, Crowding.Needed, Crowding.Has) - Client.right;
  SetWindowPos(Dialog, nullptr, Frame.left - Growth / 2, Frame.top, Width(Frame) + Growth,
               Frame.bottom - Frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// A control without a text of its own keeps the template's.
void ShowText(HWND Window, UINT TextId) {
  const TResourceString Text = LoadResourceString(TextId);
  if (Text.Text[0] != L'\0')
    SetWindowTextW(Window, Text);
}

} // namespace

void ShowDialogTexts(HWND Dialog) {
  ShowText(Dialog, IDS_SETTINGS_CAPTION);
  for (HWND Control = GetWindow(Dialog, GW_CHILD); Control != nullptr;
       Control = GetWindow(Control, GW_HWNDNEXT))
    ShowText(Control, static_cast<UINT>(TEXT_OF(GetDlgCtrlID(Control))));
  FitDialogToTexts(Dialog);
}

void FitDialogToTexts(HWND Dialog) {
  const TCrowding Crowding = MostCrowded(Dialog);
  if (Crowding.Needed > Crowding.Has)
    Widen(Dialog, Crowding);
}
