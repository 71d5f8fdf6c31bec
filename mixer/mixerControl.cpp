#include "mixerControl.h"

#include "systemLibrary.h"

namespace {

// winmm is loaded only for the mixer device, from the system folder: a static import
// would be looked for in the program's folder first.
struct TMixerFunctions {
  decltype(&mixerGetNumDevs) GetNumDevs;
  decltype(&mixerOpen) Open;
  decltype(&mixerClose) Close;
  decltype(&mixerGetLineInfoW) GetLineInfo;
  decltype(&mixerGetLineControlsW) GetLineControls;
  decltype(&mixerGetControlDetailsW) GetControlDetails;
  decltype(&mixerSetControlDetails) SetControlDetails;
};
// In the order of the functions above.
alignas(1) constexpr char MixerFunctionNames[] =
    "mixerGetNumDevs\0mixerOpen\0mixerClose\0mixerGetLineInfoW\0"
    "mixerGetLineControlsW\0mixerGetControlDetailsW\0"
    "mixerSetControlDetails\0";

// Filled by name, called by type.
union TWinmm {
  TMixerFunctions Mixer;
  FARPROC Found[sizeof(TMixerFunctions) / sizeof(FARPROC)];
};
TWinmm Winmm;

// Looked up again for each object bound: the same functions, as winmm is never freed.
bool LoadMixerFunctions() {
  const HMODULE Library = LoadSystemLibrary(L"winmm.dll");
  if (Library == nullptr)
    return false;
  FARPROC *Function = Winmm.Found;
  for (const char *Name = MixerFunctionNames; *Name != 0; Name += lstrlenA(Name) + 1)
    if ((*Function++ = GetProcAddress(Library, Name)) == nullptr)
      return false;
  return true;
}

// Every line is read and written as one uniform value for all its channels: asking
// for more channels than the one-value buffer holds would let the driver write past
// it, and a request for 0 channels is refused for any but a custom control, which
// would leave a mono line's control inert from its first read.
constexpr DWORD UniformRequestChannels = 1;

MIXERCONTROLDETAILS ValueRequest(DWORD ControlId, DWORD ChannelCount, DWORD *Value) {
  MIXERCONTROLDETAILS Request = {};
  Request.cbStruct = sizeof Request;
  Request.dwControlID = ControlId;
  Request.cChannels = ChannelCount;
  Request.cMultipleItems = 0;
  Request.cbDetails = sizeof *Value;
  Request.paDetails = Value;
  return Request;
}

HMIXEROBJ AsMixerObject(HMIXER Mixer) { return reinterpret_cast<HMIXEROBJ>(Mixer); }

} // namespace

TnsMixerControl::TnsMixerControl(HWND CallbackWindow, DWORD LineComponentType,
                                 DWORD SourceComponentType, DWORD ControlType) {
  Clear();
  if (!LoadMixerFunctions() || Winmm.Mixer.GetNumDevs() == 0)
    return;
  LastError = Winmm.Mixer.Open(&MixerHandle, 0, reinterpret_cast<DWORD_PTR>(CallbackWindow), 0,
                               CALLBACK_WINDOW);
  if (LastError != MMSYSERR_NOERROR)
    return;

  MIXERLINEW Line = {};
  Line.cbStruct = sizeof Line;
  Line.dwComponentType = LineComponentType;
  if (Winmm.Mixer.GetLineInfo(AsMixerObject(MixerHandle), &Line,
                              MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
      MMSYSERR_NOERROR)
    return;
  if (SourceComponentType != 0 && !FindSourceLine(Line, SourceComponentType))
    return;

  MIXERCONTROLW Control = {};
  MIXERLINECONTROLSW Controls = {};
  Controls.cbStruct = sizeof Controls;
  Controls.dwLineID = Line.dwLineID;
  Controls.dwControlType = ControlType;
  Controls.cControls = 1;
  Controls.cbmxctrl = sizeof Control;
  Controls.pamxctrl = &Control;
  if (Winmm.Mixer.GetLineControls(AsMixerObject(MixerHandle), &Controls,
                                  MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
      MMSYSERR_NOERROR)
    return;

  ControlId = Control.dwControlID;
  ChannelCount = UniformRequestChannels;
  Ready = ReadyTrue;
}

TnsMixerControl::~TnsMixerControl() {
  if (MixerHandle != nullptr)
    Winmm.Mixer.Close(MixerHandle);
}

void TnsMixerControl::Clear() {
  MixerHandle = nullptr;
  ControlId = 0;
  LastError = MMSYSERR_NOERROR;
  ChannelCount = 0;
  Ready = 0;
}

// Only a matching source line is bound: a destination without one (or without any
// source line at all) leaves the object unbound rather than bound to a wrong line.
bool TnsMixerControl::FindSourceLine(MIXERLINEW &Line, DWORD SourceComponentType) {
  const DWORD Destination = Line.dwDestination;
  const DWORD Connections = Line.cConnections;
  for (DWORD Source = 0; Source < Connections; ++Source) {
    Line.cbStruct = sizeof Line;
    Line.dwDestination = Destination;
    Line.dwSource = Source;
    if (Winmm.Mixer.GetLineInfo(AsMixerObject(MixerHandle), &Line, MIXER_GETLINEINFOF_SOURCE) !=
        MMSYSERR_NOERROR)
      return false;
    if (Line.dwComponentType == SourceComponentType)
      return true;
  }
  return false;
}

MMRESULT TnsMixerControl::ReadValue(MIXERCONTROLDETAILS &Request) {
  LastError = Winmm.Mixer.GetControlDetails(AsMixerObject(MixerHandle), &Request,
                                            MIXER_GETCONTROLDETAILSF_VALUE);
  return LastError;
}

DWORD TnsMixerControl::GetValue() {
  if (!Ready)
    return 0;
  Ready = 0;
  DWORD Value = 0;
  MIXERCONTROLDETAILS Request = ValueRequest(ControlId, ChannelCount, &Value);
  if (ReadValue(Request) != MMSYSERR_NOERROR)
    return 0;
  Ready = ReadyTrue;
  return Value;
}

BOOL TnsMixerControl::SetValue(DWORD Value) {
  if (!Ready)
    return FALSE;
  Ready = 0;
  DWORD Buffer = 0;
  MIXERCONTROLDETAILS Request = ValueRequest(ControlId, ChannelCount, &Buffer);
  if (ReadValue(Request) != MMSYSERR_NOERROR)
    return FALSE;
  Buffer = Value;
  LastError = Winmm.Mixer.SetControlDetails(AsMixerObject(MixerHandle), &Request,
                                            MIXER_SETCONTROLDETAILSF_VALUE);
  if (LastError != MMSYSERR_NOERROR)
    return FALSE;
  Ready = ReadyTrue;
  return TRUE;
}
