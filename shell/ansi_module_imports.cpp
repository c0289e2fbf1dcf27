// MinGW's runtime shims look up msvcrt.dll with GetModuleHandleW and LoadLibraryW (rand_s, which
// libstdc++'s std::random_device pulls in beside std::string; the locale functions of the 32-bit
// runtime). Those would be the program's only wide-character imports. Their import slots are
// defined here instead, pointing at stand-ins that call the "A" forms: a slot defined by the
// program keeps the linker from taking the kernel32 import. The names the shims pass are ASCII.
#include <windows.h>

namespace {

// The ASCII name, or false for a name that is not ASCII or too long: no conversion is made.
bool NarrowAsciiName(LPCWSTR wide, char (&narrow)[MAX_PATH]) {
  for (int i = 0; i < MAX_PATH; ++i) {
    if (wide[i] > 0x7F) return false;
    narrow[i] = static_cast<char>(wide[i]);
    if (wide[i] == 0) return true;
  }
  return false;
}

HMODULE WINAPI GetModuleHandleAsciiW(LPCWSTR name) {
  if (name == nullptr) return GetModuleHandleA(nullptr);
  char narrow[MAX_PATH];
  if (NarrowAsciiName(name, narrow)) return GetModuleHandleA(narrow);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE WINAPI LoadLibraryAsciiW(LPCWSTR name) {
  char narrow[MAX_PATH];
  if (name != nullptr && NarrowAsciiName(name, narrow)) return LoadLibraryA(narrow);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace

// The slots' link names: __imp_ and the C name, which in the 32-bit build carries a leading
// underscore and the stdcall suffix.
#ifdef _WIN64
#define TMF_IMPORT_SLOT(name, bytes) "__imp_" #name
#else
#define TMF_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#endif

extern "C" {
extern HMODULE(WINAPI* const tmfGetModuleHandleWSlot)(LPCWSTR) __asm__(
    TMF_IMPORT_SLOT(GetModuleHandleW, 4));
extern HMODULE(WINAPI* const tmfLoadLibraryWSlot)(LPCWSTR) __asm__(TMF_IMPORT_SLOT(LoadLibraryW,
                                                                                   4));
HMODULE(WINAPI* const tmfGetModuleHandleWSlot)(LPCWSTR) = GetModuleHandleAsciiW;
HMODULE(WINAPI* const tmfLoadLibraryWSlot)(LPCWSTR) = LoadLibraryAsciiW;
}
