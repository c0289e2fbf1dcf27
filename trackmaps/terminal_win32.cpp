#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "terminal.h"

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void UseBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }
