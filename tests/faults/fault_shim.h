// A preloadable shim over the C library's file calls, for tests: it counts the calls a repair
// makes, fails the nth call of one kind, and can kill the process after any call. It changes
// nothing until armed, and counts only while armed.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Starts counting from zero (and forgets the trace); stops counting. Settings stay.
void ShimArm(void);
void ShimDisarm(void);

// Forgets every setting below.
void ShimReset(void);

// Raises SIGKILL right after the nth armed call (of any kind) returns; 0 never.
void ShimKillAfter(long nth);

// Each write moves at most chunk bytes (0: as asked), so one large write becomes many calls.
void ShimLimitWrites(size_t chunk);

// renameat2 with flags fails with EINVAL, as on a file system that has no RENAME_NOREPLACE.
void ShimRefuseRenameFlags(int refuse);

// The nth armed call of kind op fails with errno error. For "read" and "write", error 0 makes
// the call move no bytes and return 0 instead. Kinds: open fstat stat lstat read write close
// flock unlink renameat2 link. A failing close still releases the descriptor, as Linux's does.
void ShimFailNth(const char* op, long nth, int error);

// How many calls the shim has made fail since it was armed.
long ShimFailures(void);

// The kinds of the armed calls so far, in order, separated by single spaces.
const char* ShimTrace(void);

#ifdef __cplusplus
}
#endif
