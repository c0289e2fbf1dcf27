// Interposes the file calls of the C library (it comes before libc in the lookup order, linked
// or preloaded) and passes each to the next definition, unless a test asked for a fault.
#include "fault_shim.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static int g_armed;          // counting and faults are on
static long g_calls;         // armed calls so far, all kinds
static long g_killAfter;     // the armed call after which SIGKILL comes; 0 never
static size_t g_writeChunk;  // most bytes one write, pwrite or copy moves; 0 as asked
static int g_refuseFlags;    // renameat2 with flags fails with EINVAL
// One call to fail: the nth armed call of kind op, with errno error (0: a transfer that moves
// nothing); calls counts the armed calls of that kind so far.
struct Fault {
  char op[16];
  long nth;
  int error;
  long calls;
};
#define SHIM_FAULTS 4
static struct Fault g_faults[SHIM_FAULTS];  // the calls to fail
static int g_faultCount;                    // how many of g_faults are set
static int g_failError;                     // the errno of the call failing now
static long g_failures;                     // calls made to fail since armed
static char g_trace[1 << 20];               // the kinds of the armed calls, space-separated
static size_t g_traceLength;

void ShimArm(void) {
  g_calls = 0;
  for (int i = 0; i < g_faultCount; ++i) g_faults[i].calls = 0;
  g_failures = 0;
  g_traceLength = 0;
  g_trace[0] = '\0';
  g_armed = 1;
}

void ShimDisarm(void) { g_armed = 0; }

void ShimReset(void) {
  g_armed = 0;
  g_killAfter = 0;
  g_writeChunk = 0;
  g_refuseFlags = 0;
  g_faultCount = 0;
}

void ShimKillAfter(long nth) { g_killAfter = nth; }
void ShimLimitWrites(size_t chunk) { g_writeChunk = chunk; }
void ShimRefuseRenameFlags(int refuse) { g_refuseFlags = refuse; }

void ShimFailNth(const char* op, long nth, int error) {
  if (g_faultCount == SHIM_FAULTS) abort();
  struct Fault* fault = &g_faults[g_faultCount++];
  strncpy(fault->op, op, sizeof fault->op - 1);
  fault->op[sizeof fault->op - 1] = '\0';
  fault->nth = nth;
  fault->error = error;
  fault->calls = 0;
}

long ShimFailures(void) { return g_failures; }

const char* ShimTrace(void) { return g_trace; }

static long Setting(const char* name) {
  const char* value = getenv(name);
  return value == NULL ? 0 : strtol(value, NULL, 10);
}

void ShimStartDriver(void) {
  ShimKillAfter(Setting("TMF_KILL_AFTER"));
  ShimLimitWrites((size_t)Setting("TMF_WRITE_CHUNK"));
  ShimRefuseRenameFlags(Setting("TMF_REFUSE_RENAME_FLAGS") != 0);
  ShimArm();
}

void ShimEndDriver(void) {
  ShimDisarm();
  const char* path = getenv("TMF_TRACE");
  FILE* out = path == NULL ? NULL : fopen(path, "w");
  if (out == NULL) return;
  fputs(g_trace, out);
  fclose(out);
}

// Records an armed call of kind op. Returns 1 when this call is the one to fail.
static int Enter(const char* op) {
  if (!g_armed) return 0;
  ++g_calls;
  const size_t length = strlen(op);
  if (g_traceLength + length + 2 < sizeof g_trace) {
    if (g_traceLength > 0) g_trace[g_traceLength++] = ' ';
    memcpy(g_trace + g_traceLength, op, length + 1);
    g_traceLength += length;
  }
  for (int i = 0; i < g_faultCount && i < SHIM_FAULTS; ++i) {
    struct Fault* fault = &g_faults[i];
    if (strcmp(op, fault->op) != 0 || ++fault->calls != fault->nth) continue;
    g_failError = fault->error;
    ++g_failures;
    return 1;
  }
  return 0;
}

// Ends the process without a chance to clean up, if this armed call was the one asked for.
static void Leave(void) {
  if (g_armed && g_killAfter > 0 && g_calls == g_killAfter) raise(SIGKILL);
}

static void* Next(const char* name) { return dlsym(RTLD_NEXT, name); }

#define SHIM_FAIL(result) \
  do {                    \
    errno = g_failError;  \
    Leave();              \
    return result;        \
  } while (0)

// The most bytes a transfer that writes may move, armed.
static size_t Chunk(size_t count) {
  return g_armed && g_writeChunk > 0 && count > g_writeChunk ? g_writeChunk : count;
}

// What a failing transfer returns: -1, or 0 when it is to move nothing.
#define SHIM_MOVED (g_failError == 0 ? 0 : -1)

// Defines the call name, traced as kind: it fails with failed when asked, else passes its
// arguments to the next definition.
#define SHIM_CALL(type, name, kind, failed, parameters, arguments) \
  type name parameters {                                           \
    if (Enter(kind)) SHIM_FAIL(failed);                            \
    type(*real) parameters = (type(*) parameters)Next(#name);      \
    const type result = real arguments;                            \
    Leave();                                                       \
    return result;                                                 \
  }

static mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(arguments, int) : 0;
}

// Defines an open call, traced as open; the mode comes only with O_CREAT or O_TMPFILE.
#define SHIM_OPEN(name, parameters, arguments)              \
  int name parameters {                                     \
    va_list more;                                           \
    va_start(more, flags);                                  \
    const mode_t mode = ModeArgument(flags, more);          \
    va_end(more);                                           \
    if (Enter("open")) SHIM_FAIL(-1);                       \
    int(*real) parameters = (int(*) parameters)Next(#name); \
    const int result = real arguments;                      \
    Leave();                                                \
    return result;                                          \
  }

SHIM_OPEN(open, (const char* path, int flags, ...), (path, flags, mode))
SHIM_OPEN(open64, (const char* path, int flags, ...), (path, flags, mode))
SHIM_OPEN(openat, (int dirfd, const char* path, int flags, ...), (dirfd, path, flags, mode))
SHIM_OPEN(openat64, (int dirfd, const char* path, int flags, ...), (dirfd, path, flags, mode))

SHIM_CALL(int, fstat, "fstat", -1, (int fd, struct stat* info), (fd, info))
SHIM_CALL(int, fstat64, "fstat", -1, (int fd, struct stat64* info), (fd, info))
SHIM_CALL(int, stat, "stat", -1, (const char* path, struct stat* info), (path, info))
SHIM_CALL(int, stat64, "stat", -1, (const char* path, struct stat64* info), (path, info))
SHIM_CALL(int, lstat, "lstat", -1, (const char* path, struct stat* info), (path, info))
SHIM_CALL(int, lstat64, "lstat", -1, (const char* path, struct stat64* info), (path, info))
SHIM_CALL(ssize_t, read, "read", SHIM_MOVED, (int fd, void* data, size_t count), (fd, data, count))
SHIM_CALL(ssize_t, write, "write", SHIM_MOVED, (int fd, const void* data, size_t count),
          (fd, data, Chunk(count)))
// The track library asks for the 64-bit offset forms of these.
SHIM_CALL(ssize_t, pread64, "pread", SHIM_MOVED, (int fd, void* data, size_t count, off64_t at),
          (fd, data, count, at))
SHIM_CALL(ssize_t, pwrite64, "pwrite", SHIM_MOVED,
          (int fd, const void* data, size_t count, off64_t at), (fd, data, Chunk(count), at))
SHIM_CALL(ssize_t, copy_file_range, "copy", SHIM_MOVED,
          (int in, off64_t* inAt, int out, off64_t* outAt, size_t count, unsigned int flags),
          (in, inAt, out, outAt, Chunk(count), flags))
SHIM_CALL(int, fsync, "fsync", -1, (int fd), (fd))
SHIM_CALL(int, syncfs, "fsync", -1, (int fd), (fd))
SHIM_CALL(int, flock, "flock", -1, (int fd, int operation), (fd, operation))
SHIM_CALL(int, unlink, "unlink", -1, (const char* path), (path))
SHIM_CALL(int, link, "link", -1, (const char* from, const char* to), (from, to))
SHIM_CALL(int, renameat, "renameat", -1, (int fromDir, const char* from, int toDir, const char* to),
          (fromDir, from, toDir, to))

int close(int fd) {
  const int fail = Enter("close");
  int (*real)(int) = (int (*)(int))Next("close");
  const int result = real(fd);
  if (fail) SHIM_FAIL(-1);
  Leave();
  return result;
}

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned int flags) {
  if (Enter("renameat2")) SHIM_FAIL(-1);
  if (g_armed && g_refuseFlags && flags != 0) {
    errno = EINVAL;
    Leave();
    return -1;
  }
  int (*real)(int, const char*, int, const char*, unsigned int) =
      (int (*)(int, const char*, int, const char*, unsigned int))Next("renameat2");
  const int result = real(olddirfd, oldpath, newdirfd, newpath, flags);
  Leave();
  return result;
}
