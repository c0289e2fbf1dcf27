// The Windows console under the command: UTF-8 in, UTF-16 out.
#pragma once

#include <windows.h>

#include <streambuf>
#include <string>

// UTF-16 as UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string Utf8Of(const wchar_t* text);

// An output stream's buffer that writes UTF-8 text on a console with WriteConsoleW, so that every
// name shows as it is, whatever the console's code page. Holds back a character cut at the end
// of a write until the rest of it comes; bytes that are not UTF-8 show as U+FFFD.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}
  ~ConsoleBuffer() override { Flush(); }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override { return Flush() ? 0 : -1; }

 private:
  bool Flush();

  HANDLE console_;
  std::string pending_;
};
