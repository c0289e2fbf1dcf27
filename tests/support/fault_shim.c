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

static int g_armed;            // counting and faults are on
static long g_calls;           // armed calls so far, all kinds
static long g_killAfter;       // the armed call after which SIGKILL comes; 0 never
static size_t g_writeChunk;    // most bytes one write, pwrite or copy moves; 0 as asked
static int g_refuseFlags;      // renameat2 with flags fails with EINVAL
static char g_failOp[16];      // the kind of call to fail, or empty
static long g_failNth;         // which call of that kind fails
static int g_failError;        // its errno, or 0 for a transfer that moves nothing
static long g_kindCalls;       // armed calls of the failing kind so far
static long g_failures;        // calls made to fail since armed
static char g_trace[1 << 20];  // the kinds of the armed calls, space-separated
static size_t g_traceLength;

void ShimArm(void) {
  g_calls = 0;
  g_kindCalls = 0;
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
  g_failOp[0] = '\0';
}

void ShimKillAfter(long nth) { g_killAfter = nth; }
void ShimLimitWrites(size_t chunk) { g_writeChunk = chunk; }
void ShimRefuseRenameFlags(int refuse) { g_refuseFlags = refuse; }

void ShimFailNth(const char* op, long nth, int error) {
  strncpy(g_failOp, op, sizeof g_failOp - 1);
  g_failOp[sizeof g_failOp - 1] = '\0';
  g_failNth = nth;
  g_failError = error;
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
  if (strcmp(op, g_failOp) != 0 || ++g_kindCalls != g_failNth) return 0;
  ++g_failures;
  return 1;
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

static int OpenVia(const char* name, int dirfd, const char* path, int flags, mode_t mode) {
  if (Enter("open")) SHIM_FAIL(-1);
  int result;
  if (dirfd == -1) {
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))Next(name);
    result = real(path, flags, mode);
  } else {
    int (*real)(int, const char*, int, ...) = (int (*)(int, const char*, int, ...))Next(name);
    result = real(dirfd, path, flags, mode);
  }
  Leave();
  return result;
}

static mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenVia("open", -1, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenVia("open64", -1, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenVia("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenVia("openat64", dirfd, path, flags, mode);
}

static int StatVia(const char* op, const char* name, int fd, const char* path, void* info) {
  if (Enter(op)) SHIM_FAIL(-1);
  int result;
  if (path == NULL) {
    int (*real)(int, void*) = (int (*)(int, void*))Next(name);
    result = real(fd, info);
  } else {
    int (*real)(const char*, void*) = (int (*)(const char*, void*))Next(name);
    result = real(path, info);
  }
  Leave();
  return result;
}

int fstat(int fd, struct stat* info) { return StatVia("fstat", "fstat", fd, NULL, info); }
int fstat64(int fd, struct stat64* info) { return StatVia("fstat", "fstat64", fd, NULL, info); }
int lstat(const char* path, struct stat* info) { return StatVia("lstat", "lstat", -1, path, info); }
int stat(const char* path, struct stat* info) { return StatVia("stat", "stat", -1, path, info); }
int stat64(const char* path, struct stat64* info) {
  return StatVia("stat", "stat64", -1, path, info);
}
int lstat64(const char* path, struct stat64* info) {
  return StatVia("lstat", "lstat64", -1, path, info);
}

ssize_t read(int fd, void* data, size_t count) {
  if (Enter("read")) SHIM_FAIL(g_failError == 0 ? 0 : -1);
  ssize_t (*real)(int, void*, size_t) = (ssize_t(*)(int, void*, size_t))Next("read");
  const ssize_t result = real(fd, data, count);
  Leave();
  return result;
}

// The most bytes a transfer that writes may move, armed.
static size_t Chunk(size_t count) {
  return g_armed && g_writeChunk > 0 && count > g_writeChunk ? g_writeChunk : count;
}

ssize_t write(int fd, const void* data, size_t count) {
  if (Enter("write")) SHIM_FAIL(g_failError == 0 ? 0 : -1);
  ssize_t (*real)(int, const void*, size_t) = (ssize_t(*)(int, const void*, size_t))Next("write");
  const ssize_t result = real(fd, data, Chunk(count));
  Leave();
  return result;
}

// The track library asks for the 64-bit offset forms of these.
ssize_t pread64(int fd, void* data, size_t count, off64_t offset) {
  if (Enter("pread")) SHIM_FAIL(g_failError == 0 ? 0 : -1);
  ssize_t (*real)(int, void*, size_t, off64_t) =
      (ssize_t(*)(int, void*, size_t, off64_t))Next("pread64");
  const ssize_t result = real(fd, data, count, offset);
  Leave();
  return result;
}

ssize_t pwrite64(int fd, const void* data, size_t count, off64_t offset) {
  if (Enter("pwrite")) SHIM_FAIL(g_failError == 0 ? 0 : -1);
  ssize_t (*real)(int, const void*, size_t, off64_t) =
      (ssize_t(*)(int, const void*, size_t, off64_t))Next("pwrite64");
  const ssize_t result = real(fd, data, Chunk(count), offset);
  Leave();
  return result;
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t count,
                        unsigned int flags) {
  if (Enter("copy")) SHIM_FAIL(g_failError == 0 ? 0 : -1);
  ssize_t (*real)(int, off64_t*, int, off64_t*, size_t, unsigned int) =
      (ssize_t(*)(int, off64_t*, int, off64_t*, size_t, unsigned int))Next("copy_file_range");
  const ssize_t result = real(in, inOffset, out, outOffset, Chunk(count), flags);
  Leave();
  return result;
}

int fsync(int fd) {
  if (Enter("fsync")) SHIM_FAIL(-1);
  int (*real)(int) = (int (*)(int))Next("fsync");
  const int result = real(fd);
  Leave();
  return result;
}

int close(int fd) {
  const int fail = Enter("close");
  int (*real)(int) = (int (*)(int))Next("close");
  const int result = real(fd);
  if (fail) SHIM_FAIL(-1);
  Leave();
  return result;
}

int flock(int fd, int operation) {
  if (Enter("flock")) SHIM_FAIL(-1);
  int (*real)(int, int) = (int (*)(int, int))Next("flock");
  const int result = real(fd, operation);
  Leave();
  return result;
}

int unlink(const char* path) {
  if (Enter("unlink")) SHIM_FAIL(-1);
  int (*real)(const char*) = (int (*)(const char*))Next("unlink");
  const int result = real(path);
  Leave();
  return result;
}

int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
  if (Enter("renameat")) SHIM_FAIL(-1);
  int (*real)(int, const char*, int, const char*) =
      (int (*)(int, const char*, int, const char*))Next("renameat");
  const int result = real(olddirfd, oldpath, newdirfd, newpath);
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

int link(const char* from, const char* to) {
  if (Enter("link")) SHIM_FAIL(-1);
  int (*real)(const char*, const char*) = (int (*)(const char*, const char*))Next("link");
  const int result = real(from, to);
  Leave();
  return result;
}
