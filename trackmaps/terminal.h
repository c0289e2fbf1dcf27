// The console under the command: one small function per platform.
#pragma once

// Whether the process's standard error is a terminal (where a progress bar may be drawn).
bool StandardErrorIsTerminal();

// Puts standard output in binary mode, so that path bytes and line ends pass unchanged.
void UseBinaryStandardOutput();
