/* Linked into a test build of the command, ahead of the C library: every file call the command
 * makes through these functions is counted, and with TMF_KILL_AFTER=n the process raises SIGKILL
 * right after the nth returns, so that a test can stop a fix at each step boundary. With
 * TMF_CALL_COUNT=path it writes the count of calls to path at exit. */
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

static long g_calls;     /* counted calls so far */
static long g_killAfter; /* the call after which SIGKILL comes; 0 never */

__attribute__((constructor)) static void ReadSettings(void) {
  const char* kill = getenv("TMF_KILL_AFTER");
  g_killAfter = kill == NULL ? 0 : strtol(kill, NULL, 10);
}

__attribute__((destructor)) static void WriteCount(void) {
  const char* path = getenv("TMF_CALL_COUNT");
  if (path == NULL) return;
  FILE* out = fopen(path, "w");
  if (out == NULL) return;
  fprintf(out, "%ld\n", g_calls);
  fclose(out);
}

static void Counted(void) {
  if (++g_calls == g_killAfter) raise(SIGKILL);
}

static void* Next(const char* name) { return dlsym(RTLD_NEXT, name); }

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? (mode_t)va_arg(arguments, int) : 0;
  va_end(arguments);
  int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))Next("open64");
  const int result = real(path, flags, mode);
  Counted();
  return result;
}

ssize_t pread64(int fd, void* data, size_t count, off64_t offset) {
  ssize_t (*real)(int, void*, size_t, off64_t) =
      (ssize_t(*)(int, void*, size_t, off64_t))Next("pread64");
  const ssize_t result = real(fd, data, count, offset);
  Counted();
  return result;
}

ssize_t pwrite64(int fd, const void* data, size_t count, off64_t offset) {
  ssize_t (*real)(int, const void*, size_t, off64_t) =
      (ssize_t(*)(int, const void*, size_t, off64_t))Next("pwrite64");
  const ssize_t result = real(fd, data, count, offset);
  Counted();
  return result;
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t count,
                        unsigned int flags) {
  ssize_t (*real)(int, off64_t*, int, off64_t*, size_t, unsigned int) =
      (ssize_t(*)(int, off64_t*, int, off64_t*, size_t, unsigned int))Next("copy_file_range");
  /* Small steps, so that kills also land inside the copy. */
  if (count > 65536) count = 65536;
  const ssize_t result = real(in, inOffset, out, outOffset, count, flags);
  Counted();
  return result;
}

int fsync(int fd) {
  int (*real)(int) = (int (*)(int))Next("fsync");
  const int result = real(fd);
  Counted();
  return result;
}

int close(int fd) {
  int (*real)(int) = (int (*)(int))Next("close");
  const int result = real(fd);
  Counted();
  return result;
}

int link(const char* from, const char* to) {
  int (*real)(const char*, const char*) = (int (*)(const char*, const char*))Next("link");
  const int result = real(from, to);
  Counted();
  return result;
}

int unlink(const char* path) {
  int (*real)(const char*) = (int (*)(const char*))Next("unlink");
  const int result = real(path);
  Counted();
  return result;
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  int (*real)(int, const char*, int, const char*) =
      (int (*)(int, const char*, int, const char*))Next("renameat");
  const int result = real(fromDir, from, toDir, to);
  Counted();
  return result;
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
  int (*real)(int, const char*, int, const char*, unsigned int) =
      (int (*)(int, const char*, int, const char*, unsigned int))Next("renameat2");
  const int result = real(fromDir, from, toDir, to, flags);
  Counted();
  return result;
}
