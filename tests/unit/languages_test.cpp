#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr LANGID EnglishLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr int StringsPerBlock = 16;

using TTexts = std::map<UINT, std::wstring>; // by string id, the empty ones left out
using TTables = std::map<LANGID, TTexts>;

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD Language, LONG_PTR Languages) {
  reinterpret_cast<std::vector<LANGID> *>(Languages)->push_back(Language);
  return TRUE;
}

// A block holds 16 strings, each its length in characters and then its characters.
void ReadBlock(UINT Block, LANGID Language, TTexts &Texts) {
  const HMODULE Module = GetModuleHandleW(nullptr);
  const HRSRC Found =
      FindResourceExW(Module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(Block), Language);
  auto Data = static_cast<const WCHAR *>(LockResource(LoadResource(Module, Found)));
  for (UINT Index = 0; Index < StringsPerBlock; ++Index) {
    const WORD Length = *Data++;
    if (Length != 0)
      Texts[(Block - 1) * StringsPerBlock + Index] = std::wstring(Data, Length);
    Data += Length;
  }
}

BOOL CALLBACK ReadBlockInEveryLanguage(HMODULE Module, LPCWSTR Type, LPWSTR Name, LONG_PTR Tables) {
  std::vector<LANGID> Languages;
  EnumResourceLanguagesW(Module, Type, Name, AddLanguage, reinterpret_cast<LONG_PTR>(&Languages));
  for (const LANGID Language : Languages)
    ReadBlock(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(Name)), Language,
              (*reinterpret_cast<TTables *>(Tables))[Language]);
  return TRUE;
}

// Every string table the program carries, by language.
TTables StringTables() {
  TTables Tables;
  EnumResourceNamesW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(6), ReadBlockInEveryLanguage,
                     reinterpret_cast<LONG_PTR>(&Tables));
  return Tables;
}

// What a translation must keep: the format specifiers in their order, and the line
// breaks that give the help box its layout.
std::wstring Skeleton(const std::wstring &Text) {
  std::wstring Kept;
  for (size_t At = 0; At < Text.size(); ++At)
    if (Text[At] == L'\r')
      Kept += L"\\r";
    else if (Text[At] == L'%' && At + 1 < Text.size())
      Kept += Text.substr(At++, 2);
  return Kept;
}

std::string Utf8(const std::wstring &Text) {
  std::string Bytes(Text.size() * 3, '\0');
  Bytes.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_UTF8, 0, Text.c_str(), static_cast<int>(Text.size()), &Bytes[0],
                          static_cast<int>(Bytes.size()), nullptr, nullptr)));
  return Bytes;
}

// English and the ten translations, each under its own language and country: English
// as en-US, not neutral, so that a system whose language has no table of its own
// takes English and not whichever table comes first.
TEST(TLanguages, EveryLanguageIsBuiltIn) {
  std::vector<LANGID> Built;
  for (const auto &[Language, Texts] : StringTables())
    Built.push_back(Language);
  EXPECT_EQ((std::vector<LANGID>{0x0407, 0x0409, 0x040C, 0x0410, 0x0411, 0x0412, 0x0415, 0x0416,
                                 0x0419, 0x0804, 0x0C0A}),
            Built);
}

TEST(TLanguages, EveryLanguageHasEachEnglishTextWithItsSpecifiersAndLineBreaks) {
  const TTables Tables = StringTables();
  const TTexts &English = Tables.at(EnglishLanguage);
  for (const auto &[Language, Texts] : Tables) {
    for (const auto &[Id, Text] : English) {
      const auto Translation = Texts.find(Id);
      if (Translation == Texts.end()) {
        ADD_FAILURE() << "language " << std::hex << Language << std::dec << " lacks string " << Id
                      << " (\"" << Utf8(Text) << "\")";
        continue;
      }
      EXPECT_EQ(Utf8(Skeleton(Text)), Utf8(Skeleton(Translation->second)))
          << "language " << std::hex << Language << std::dec << ", string " << Id << ": \""
          << Utf8(Translation->second) << "\"";
    }
    for (const auto &[Id, Text] : Texts)
      EXPECT_EQ(1u, English.count(Id)) << "language " << std::hex << Language << std::dec
                                       << " has string " << Id << ", English does not";
  }
}

} // namespace
