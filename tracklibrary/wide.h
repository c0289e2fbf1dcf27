// The window's edge: Windows speaks UTF-16, the track library UTF-8.
#pragma once

#include <string>

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
