// The program's version, written once for the resource script and for any code that shows it.
// Plain #defines only: windres reads this file through the C preprocessor.
#ifndef TRACKMAPFIX_RESOURCES_VERSION_H
#define TRACKMAPFIX_RESOURCES_VERSION_H

// Written as the version text shows them: "00" and "0001" are octal literals with the values 0
// and 1, so each number serves both as a numeric field and, stringised, as its text. A field
// with a leading zero and a digit 8 or 9 would not be a number: change the scheme before that.
#define TMF_VERSION_MAJOR 1
#define TMF_VERSION_MINOR 00
#define TMF_VERSION_BUILD 0001

#define TMF_STRINGISE_(x) #x
#define TMF_STRINGISE(x) TMF_STRINGISE_(x)

// The four numbers of the binary version (1.0.0.1); the third is always 0.
#define TMF_VERSION_NUMBERS TMF_VERSION_MAJOR, TMF_VERSION_MINOR, 0, TMF_VERSION_BUILD
// The version as text: "1.00.0001".
#define TMF_VERSION_TEXT           \
  TMF_STRINGISE(TMF_VERSION_MAJOR) \
  "." TMF_STRINGISE(TMF_VERSION_MINOR) "." TMF_STRINGISE(TMF_VERSION_BUILD)

#endif
