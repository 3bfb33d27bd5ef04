#pragma once
// Standard output is checked like any file written: a command whose output was
// lost (a full disk, a closed file) must say so and not exit 0.
namespace hubdat {

// Flushes and closes standard output. When that or any earlier write failed,
// prints the reason on standard error and returns kFileError; otherwise code.
int finishStdout(const char* program, int code);

} // namespace hubdat
