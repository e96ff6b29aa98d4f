#pragma once
// Running part of a test as an ordinary user. CI runs the tests as root, whom file permissions do
// not bind, so the cases about them run in a child process that has given up root for an
// unprivileged user (a child of a test already run by an ordinary user stays that user).
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Process.h"

namespace qvtest {

// The user the children run as: "nobody" (65534) under root, else the user running the tests.
uid_t ordinaryUserID();
// Another user still, to own files the ordinary user may not write; nothing when files cannot be
// given away (the tests do not run as root).
std::optional<uid_t> otherUserID();

// Gives the folder and everything in it to the ordinary user, so that its children may work there.
bool giveToOrdinaryUser(const std::string& path);
// Gives a file to the other user (see otherUserID); false when that cannot be done.
bool giveToOtherUser(const std::string& path);

// Runs `work` in a child process as the ordinary user and answers whether it ran to its end without
// a failed expectation (the child prints its failures as gtest does). Start nothing in the test
// process before (no thread pool, no run loop): the child gets only the calling thread.
bool runAsOrdinaryUser(const std::function<void()>& work);

// Runs a program as the ordinary user with this process's environment, its standard output and
// error collected in one stream as qv::runProcess does; killed after `timeoutSeconds`.
qv::ProcessResult runProgramAsOrdinaryUser(const std::string& program, const std::vector<std::string>& arguments,
                                           unsigned timeoutSeconds = 300);

}  // namespace qvtest
