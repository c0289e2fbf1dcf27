#include <unistd.h>

#include "terminal.h"

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void UseBinaryStandardOutput() {}
