// The path primitives for ANSI paths: the "A" calls, as the dialog makes them.
#include "names_win32.h"

namespace files {
TMF_FILES_PATH_CALLS(AnsiPath)
}  // namespace files
