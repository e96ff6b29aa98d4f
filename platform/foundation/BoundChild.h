#pragma once
// Starting a child that ends with this process. A child kept open for a whole session (a tool
// that answers request after request) is ended by its owner's destructor; a crash or a kill of
// this process skips every destructor, and such a child would live on without its parent, some
// of them waking many times a second for input that never comes. The kernel ends a bound child
// (SIGKILL) when this process ends, however it ends.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qv::detail {

// Starts `program` (a path with a slash; no PATH search) with `arguments`, its standard input
// `input` and its standard output and error `output` (descriptors the caller keeps), every other
// descriptor closed, every signal at its default and none blocked. Any thread may call it. Nothing
// when it could not be started.
std::optional<pid_t> startBoundChild(const std::string& program, const std::vector<std::string>& arguments,
                                     int input, int output);

}  // namespace qv::detail
