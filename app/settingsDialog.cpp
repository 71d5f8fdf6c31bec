// The settings dialog. While it is open the program's hotkeys are off, so that a key
// field can take the very combination the program holds; OK puts every value in
// force at once and stores only what changed.
#include "main.h"

#include <commctrl.h>

#include "resource.h"

HWND SettingsDialog;
TSettingValues ShownSettings;
bool DefaultsChosen;

namespace {

enum TFieldKind : BYTE { KEY_FIELD, CHECK_FIELD, CHOICE_FIELD, PERCENT_FIELD, NUMBER_FIELD, NONE };

// By setting; the control of each is IDC_SETTINGS + its number. The edge's width
// is for administrators only.
constexpr TFieldKind FieldKinds[SETTING_COUNT] = {
    KEY_FIELD,    KEY_FIELD,    KEY_FIELD,   KEY_FIELD,     CHECK_FIELD,
    NONE,         CHOICE_FIELD, CHECK_FIELD, PERCENT_FIELD, PERCENT_FIELD,
    NUMBER_FIELD, CHOICE_FIELD, CHECK_FIELD, CHECK_FIELD,   CHECK_FIELD};
static_assert(IDC_TRAY_WHEEL == IDC_SETTINGS + TRAY_WHEEL,
              "one control per setting, in the settings' order");

// The items of the two choices, in their order.
struct TChoice {
  BYTE Id;
  BYTE Value;
  BYTE Text;
};

constexpr TChoice Choices[] = {{WHEEL_MODIFIER, VK_SHIFT, IDS_SHIFT},
                               {WHEEL_MODIFIER, VK_CONTROL, IDS_CTRL},
                               {WHEEL_MODIFIER, 0, IDS_WHEEL_OFF},
                               {DISPLAY_CORNER, TOP_LEFT, IDS_TOP_LEFT},
                               {DISPLAY_CORNER, TOP_RIGHT, IDS_TOP_RIGHT},
                               {DISPLAY_CORNER, BOTTOM_LEFT, IDS_BOTTOM_LEFT},
                               {DISPLAY_CORNER, BOTTOM_RIGHT, IDS_BOTTOM_RIGHT}};

constexpr int Percent = 100;
constexpr DWORD UnreadableNumber = MAXDWORD; // no setting takes it

HWND Field(HWND Dialog, int Id) { return GetDlgItem(Dialog, IDC_SETTINGS + Id); }

LRESULT SendField(HWND Dialog, int Id, UINT Message, WPARAM WParam, LPARAM LParam = 0) {
  return SendDlgItemMessageW(Dialog, IDC_SETTINGS + Id, Message, WParam, LParam);
}

// RegisterHotKey's Alt and Shift are the hotkey control's Shift and Alt, and back;
// Ctrl is the same bit in both. The Windows key has no place in the control.
constexpr UINT SwapShiftAndAlt(UINT Flags) {
  return (Flags & MOD_CONTROL) | (Flags & MOD_ALT) << 2 | (Flags & MOD_SHIFT) >> 2;
}

// A setting as its control holds it: a key without the control's extended flag.
DWORD FieldOf(TSettingId Id, DWORD Value) {
  switch (FieldKinds[Id]) {
  case KEY_FIELD:
    return SwapShiftAndAlt(HotKeyModifiers(Value)) << 8 | (HotKeyCode(Value) & 0xFF);
  case PERCENT_FIELD:
    return static_cast<DWORD>(MulDiv(static_cast<int>(Value), Percent, FaderMax));
  default:
    return Value;
  }
}

// A number out of all reason comes out negative, which no setting takes.
DWORD ValueOf(TSettingId Id, DWORD Shown) {
  switch (FieldKinds[Id]) {
  case KEY_FIELD:
    return SwapShiftAndAlt(Shown >> 8) << 16 | (Shown & 0xFF);
  case PERCENT_FIELD:
    return static_cast<DWORD>(MulDiv(static_cast<int>(Shown), FaderMax, Percent));
  default:
    return Shown;
  }
}

// PgUp, PgDn and the other grey keys have twins on the number pad: only with the
// extended flag does the control name the grey one.
bool GreyKey(DWORD Key) { return Key >= VK_PRIOR && Key <= VK_DELETE; }

void ShowField(HWND Dialog, TSettingId Id, DWORD Value) {
  const DWORD Shown = FieldOf(Id, Value);
  switch (FieldKinds[Id]) {
  case KEY_FIELD:
    SendField(Dialog, Id, HKM_SETHOTKEY, Shown | (GreyKey(Shown & 0xFF) ? HOTKEYF_EXT << 8 : 0));
    return;
  case CHECK_FIELD:
    SendField(Dialog, Id, BM_SETCHECK, Shown);
    return;
  case CHOICE_FIELD: {
    auto Item = SendField(Dialog, Id, CB_GETCOUNT, 0);
    while (--Item >= 0 && static_cast<DWORD>(SendField(Dialog, Id, CB_GETITEMDATA,
                                                       static_cast<WPARAM>(Item))) != Shown) {
    }
    SendField(Dialog, Id, CB_SETCURSEL, static_cast<WPARAM>(Item));
    return;
  }
  case NONE:
    return;
  default:
    SetDlgItemInt(Dialog, IDC_SETTINGS + Id, Shown, FALSE);
  }
}

DWORD ReadField(HWND Dialog, TSettingId Id) {
  switch (FieldKinds[Id]) {
  case KEY_FIELD:
    return static_cast<DWORD>(SendField(Dialog, Id, HKM_GETHOTKEY, 0)) & ~(HOTKEYF_EXT << 8);
  case CHECK_FIELD:
    return static_cast<DWORD>(SendField(Dialog, Id, BM_GETCHECK, 0));
  case CHOICE_FIELD:
    return static_cast<DWORD>(SendField(
        Dialog, Id, CB_GETITEMDATA, static_cast<WPARAM>(SendField(Dialog, Id, CB_GETCURSEL, 0))));
  default:
    BOOL Read = FALSE;
    const UINT Number = GetDlgItemInt(Dialog, IDC_SETTINGS + Id, &Read, FALSE);
    return Read ? Number : UnreadableNumber;
  }
}

// A field that still shows the value it was filled from keeps that value exactly.
DWORD FieldValue(HWND Dialog, TSettingId Id) {
  const DWORD Shown = ShownSettings[Id];
  if (FieldKinds[Id] == NONE)
    return Shown;
  const DWORD Read = ReadField(Dialog, Id);
  return Read == FieldOf(Id, Shown) ? Shown : ValueOf(Id, Read);
}

void ShowSettings(HWND Dialog, const TSettingValues &Values) {
  for (int Id = 0; Id < SETTING_COUNT; ++Id) {
    ShownSettings[Id] = Values[Id];
    ShowField(Dialog, static_cast<TSettingId>(Id), Values[Id]);
  }
}

void InitSettingsDialog(HWND Dialog) {
  for (const TChoice &Choice : Choices) {
    const TResourceString Text = LoadResourceString(Choice.Text);
    const LRESULT Item =
        SendField(Dialog, Choice.Id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text.Text));
    SendField(Dialog, Choice.Id, CB_SETITEMDATA, static_cast<WPARAM>(Item), Choice.Value);
  }
  ShowSettings(Dialog, Settings);
  SendDlgItemMessageA(Dialog, IDC_START_WITH_WINDOWS, BM_SETCHECK, StartsWithWindows(), 0);
  DefaultsChosen = false;
}

void ShowDefaults(HWND Dialog) {
  TSettingValues Defaults = {};
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    Defaults[Id] = DefaultSetting(static_cast<TSettingId>(Id));
  ShowSettings(Dialog, Defaults);
  DefaultsChosen = true;
}

// A box of the dialog's own, so that a screen reader reads it and the dialog waits;
// captionless, as the program's other refusals. Name fills the text's %s.
void Say(HWND Dialog, UINT TextId, const wchar_t *Name) {
  wchar_t Text[192];
  wsprintfW(Text, LoadResourceString(TextId), Name);
  MessageBoxW(Dialog, Text, L"", MB_OK | MB_ICONWARNING);
}

// Names the field by its label, the control before it, and leaves the user in it.
void Refuse(HWND Dialog, TSettingId Id, UINT Reason) {
  const HWND Control = Field(Dialog, Id);
  wchar_t Label[64];
  GetWindowTextW(GetWindow(Control, GW_HWNDPREV), Label, ARRAYSIZE(Label));
  wchar_t *Out = Label;
  for (const wchar_t *In = Label; *In != '\0'; ++In)
    if (*In != '&')
      *Out++ = *In;
  *Out = '\0';
  Say(Dialog, Reason, Label);
  SendMessageA(Dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control), TRUE);
}

// Another action's key, or another program's. The program's own keys are free while
// the dialog is open.
bool KeyTaken(const TSettingValues &Values, int Id) {
  for (int Other = 0; Other < Id; ++Other)
    if (Values[Id] != 0 && Values[Other] == Values[Id])
      return true;
  return !HotKeyFree(Values[Id]);
}

// False once a field is refused; the user has been told which.
bool ReadFields(HWND Dialog, TSettingValues &Values) {
  for (int Id = 0; Id < SETTING_COUNT; ++Id) {
    const auto Setting = static_cast<TSettingId>(Id);
    Values[Id] = FieldValue(Dialog, Setting);
    UINT Reason = 0;
    if (!SettingValid(Setting, Values[Id]) ||
        (Setting == LARGEST_STEP && Values[SMALLEST_STEP] > Values[LARGEST_STEP]))
      Reason = IDS_VALUE_REFUSED;
    else if (FieldKinds[Id] == KEY_FIELD && KeyTaken(Values, Id))
      Reason = IDS_KEY_TAKEN;
    if (Reason != 0) {
      Refuse(Dialog, Setting, Reason);
      return false;
    }
  }
  return true;
}

// Nothing unchanged is written: a user who changes nothing leaves no trace.
void TakeSettings(HWND Dialog) {
  TSettingValues Values = {};
  if (!ReadFields(Dialog, Values))
    return;
  bool Changed[SETTING_COUNT] = {};
  bool AnyChanged = false;
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    AnyChanged |= Changed[Id] = DefaultsChosen || Values[Id] != Settings[Id];
  ApplySettings(Values);
  bool Saved = !AnyChanged || SaveSettings(Values, Changed);
  const bool Start = SendDlgItemMessageA(Dialog, IDC_START_WITH_WINDOWS, BM_GETCHECK, 0, 0) != 0;
  if (Start != StartsWithWindows())
    Saved = SetStartWithWindows(Start) && Saved;
  if (!Saved)
    Say(Dialog, IDS_NOT_SAVED, L"");
  DestroyWindow(Dialog);
}

void RunDialogCommand(HWND Dialog, WORD Command) {
  switch (Command) {
  case IDOK:
    TakeSettings(Dialog);
    return;
  case IDCANCEL:
    DestroyWindow(Dialog);
    return;
  case IDC_DEFAULTS:
    ShowDefaults(Dialog);
    return;
  }
}

// Only the open dialog's end gives the keys back: a dialog that failed to open never
// took them, and after the shutdown none may come back.
void CloseSettingsDialog(HWND Dialog) {
  if (Dialog != SettingsDialog)
    return;
  SettingsDialog = nullptr;
  if (!ShuttingDown)
    RegisterHotKeysAsSet();
}

INT_PTR CALLBACK SettingsDialogProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM) {
  switch (Message) {
  case WM_INITDIALOG:
    InitSettingsDialog(Dialog);
    return TRUE;
  case WM_COMMAND:
    RunDialogCommand(Dialog, LOWORD(WParam));
    return TRUE;
  case WM_DESTROY:
    CloseSettingsDialog(Dialog);
    return TRUE;
  }
  return FALSE;
}

using TInitCommonControlsEx = decltype(&InitCommonControlsEx);

} // namespace

// The common controls are loaded only for the dialog, not at every start.
void OpenSettingsDialog() {
  if (SettingsDialog == nullptr) {
    const INITCOMMONCONTROLSEX Classes = {sizeof Classes, ICC_HOTKEY_CLASS};
    const auto Init = reinterpret_cast<TInitCommonControlsEx>(
        NewerSystemFunction(L"comctl32.dll", "InitCommonControlsEx"));
    if (Init != nullptr)
      Init(&Classes);
    SettingsDialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS),
                                        nullptr, SettingsDialogProc, 0);
    if (SettingsDialog != nullptr)
      UnregisterAllHotKeys();
  }
  SetForegroundWindow(SettingsDialog);
}
