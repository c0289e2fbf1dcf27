#include "console_win32.h"

namespace {

constexpr std::size_t kFlushAt = 4096;

// How many bytes of text end in a whole character: all but a UTF-8 sequence cut short at the end.
std::size_t WholeCharacters(const std::string& text) {
  std::size_t at = text.size();
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const unsigned char c = static_cast<unsigned char>(text[text.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length > back) at = text.size() - back;
    break;
  }
  return at;
}

std::wstring WideOf(const char* text, std::size_t size) {
  if (size == 0) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), &wide[0], length);
  return wide;
}

}  // namespace

std::string Utf8Of(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
  utf8.pop_back();  // the terminating zero
  return utf8;
}

ConsoleBuffer::int_type ConsoleBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  pending_ += traits_type::to_char_type(c);
  if (pending_.size() >= kFlushAt && !Flush()) return traits_type::eof();
  return c;
}

std::streamsize ConsoleBuffer::xsputn(const char* data, std::streamsize size) {
  pending_.append(data, static_cast<std::size_t>(size));
  if (pending_.size() >= kFlushAt && !Flush()) return 0;
  return size;
}

bool ConsoleBuffer::Flush() {
  const std::size_t whole = WholeCharacters(pending_);
  const std::wstring wide = WideOf(pending_.data(), whole);
  pending_.erase(0, whole);
  for (std::size_t done = 0; done < wide.size();) {
    // A console takes a limited amount in one call: write in steps.
    const DWORD step = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
    DWORD written = 0;
    if (!WriteConsoleW(console_, wide.data() + done, step, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}
