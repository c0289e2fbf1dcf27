// Kept alone in its file: a program that defines BeforeDiskChanges itself never links this one.
#include "hold_point.h"

void BeforeDiskChanges(const std::string&) {}
