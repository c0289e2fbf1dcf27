// A preloadable shim over the C library's file calls, for tests: it traces the calls a repair or
// a fix of the track library makes, fails the nth call of one kind, and can kill the process
// after any call. It changes nothing until armed, and counts only while armed.
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

// Each write, pwrite and copy_file_range moves at most chunk bytes (0: as asked), so that one
// large transfer becomes many calls and kills land inside it.
void ShimLimitWrites(size_t chunk);

// renameat2 with flags fails with EINVAL, as on a file system that has no RENAME_NOREPLACE.
void ShimRefuseRenameFlags(int refuse);

// The nth armed call of kind op fails with errno error. For the transfers (read write pread
// pwrite copy), error 0 makes the call move no bytes and return 0 instead. Kinds: open fstat
// stat lstat read write pread pwrite copy (copy_file_range) fsync close flock unlink renameat
// renameat2 link. A failing close still releases the descriptor, as Linux's does. Each call adds
// one such fault, up to four; ShimReset forgets them.
void ShimFailNth(const char* op, long nth, int error);

// How many calls the shim has made fail since it was armed.
long ShimFailures(void);

// The kinds of the armed calls so far, in order, separated by single spaces.
const char* ShimTrace(void);

// For a driver that a test runs and kills: takes the settings TMF_KILL_AFTER, TMF_WRITE_CHUNK
// and TMF_REFUSE_RENAME_FLAGS (1: refuse) from the environment and arms. The end disarms and
// writes the trace to the file TMF_TRACE names, if any.
void ShimStartDriver(void);
void ShimEndDriver(void);

#ifdef __cplusplus
}
#endif
