#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/Process.h"

using namespace qv;

TEST(Process, ArgumentsReachTheChildUnchangedAndNoShellRunsThem) {
    qvtest::TempDir dir;
    std::string marker = dir.file("marker");
    std::vector<std::string> arguments = {
        "[%s]\n",
        "/photos/My Trip 2009/IMG 0001.JPG",
        "it's \"quoted\"",
        "$(touch " + marker + ")",
        "`touch " + marker + "`; touch " + marker,
        "*",
        "",
        "tab\there\nnewline",
        "Objektiv \u00d8 \u2026",
    };
    auto result = runProcess("/usr/bin/printf", arguments);
    ASSERT_TRUE(result);
    std::string expected;
    for (std::size_t i = 1; i < arguments.size(); ++i) expected += "[" + arguments[i] + "]\n";
    EXPECT_EQ(result->output, expected);
    EXPECT_EQ(result->exitStatus, 0);
    EXPECT_FALSE(files::exists(marker));
}

TEST(Process, OutputAndErrorArriveInOneStreamWithTheExitStatus) {
    auto result = runProcess("/bin/sh", {"-c", "echo out; echo err 1>&2; exit 3"});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->output, "out\nerr\n");
    EXPECT_EQ(result->exitStatus, 3);
    EXPECT_FALSE(result->timedOut);

    auto found = runProcess("printf", {"%s", "searched in PATH"});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->output, "searched in PATH");

    auto killed = runProcess("/bin/sh", {"-c", "kill -9 $$"});
    ASSERT_TRUE(killed);
    EXPECT_EQ(killed->exitStatus, 128 + 9);
}

TEST(Process, AMissingProgramCannotBeStarted) {
    EXPECT_FALSE(runProcess("/nonexistent/exiftool", {"-lensinfo", "a.jpg"}));
    EXPECT_FALSE(runProcess("no-such-program-anywhere", {}));
    EXPECT_FALSE(launchProcess("/nonexistent/tool", {}));
    EXPECT_FALSE(StartedProcess::start("/nonexistent/exiftool", {"-@", "-"}));
}

TEST(Process, LargeOutputIsReadToTheEnd) {
    auto result = runProcess("/usr/bin/head", {"-c", "3000000", "/dev/zero"});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->output.size(), 3000000u);
    EXPECT_EQ(result->exitStatus, 0);
}

TEST(Process, AChildThatRunsPastItsTimeOutIsKilled) {
    auto result = runProcess("/bin/sleep", {"60"}, 0.2);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->timedOut);
    EXPECT_EQ(result->exitStatus, 128 + 9);

    auto quick = runProcess("/bin/sh", {"-c", "echo done"}, 60);
    ASSERT_TRUE(quick);
    EXPECT_FALSE(quick->timedOut);
    EXPECT_EQ(quick->output, "done\n");
}

TEST(Process, ChildrenDoNotInheritOurOpenFiles) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::writeWhole(dir.file("open"), std::string_view("x")));
    int fd = ::open(dir.file("open").c_str(), O_RDONLY);  // deliberately not close-on-exec
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::dup2(fd, 57), 57);
    auto result = runProcess("/bin/ls", {"/proc/self/fd"});
    ::close(57);
    ::close(fd);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->output.find("57\n"), std::string::npos) << result->output;
}

TEST(Process, ALaunchedChildIsReapedAndLeavesNoZombie) {
    auto pid = launchProcess("/bin/sh", {"-c", "echo this goes nowhere; exit 0"});
    ASSERT_TRUE(pid);
    std::string proc = "/proc/" + std::to_string(*pid);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (files::exists(proc) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(files::exists(proc)) << "process " << *pid << " was not reaped";
}

TEST(Process, WithFilesTheChildReadsAndWritesTheCallersDescriptors) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::writeWhole(dir.file("in"), std::string_view("from the caller\n")));
    const int in = ::open(dir.file("in").c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    auto result = runProcessWithFiles("/bin/sh", {"-c", "cat; echo to stderr >&2; exit 3"}, in, out, 30);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 3);
    EXPECT_FALSE(result->timedOut);
    ::close(in);
    ::close(out);
    const auto written = files::readWhole(dir.file("out"));
    ASSERT_TRUE(written);
    EXPECT_EQ(std::string(written->begin(), written->end()), "from the caller\n") << "standard error goes nowhere";

    const int none = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    auto killed = runProcessWithFiles("/bin/sh", {"-c", "kill -SEGV $$"}, none, none, 30);
    ASSERT_TRUE(killed);
    EXPECT_EQ(killed->exitStatus, 128 + SIGSEGV);
    auto slow = runProcessWithFiles("/bin/sleep", {"30"}, none, none, 0.2);
    ASSERT_TRUE(slow);
    EXPECT_TRUE(slow->timedOut);
    EXPECT_EQ(slow->exitStatus, 128 + SIGKILL);
    EXPECT_FALSE(runProcessWithFiles("/nonexistent/program", {}, none, none));
    ::close(none);
}

TEST(StartedProcess, InputWrittenAfterTheStartReachesTheChildAndItsOutputIsReadToTheEnd) {
    auto child = StartedProcess::start("/bin/sh", {"-c", "while read -r line; do echo \"[$line]\"; done; echo err >&2; exit 5"});
    ASSERT_TRUE(child);
    EXPECT_TRUE(child->write("first\n"));
    EXPECT_TRUE(child->write("/photos/My Trip/IMG 0001.JPG\n"));
    const ProcessResult result = child->finish(30);
    EXPECT_EQ(result.output, "[first]\n[/photos/My Trip/IMG 0001.JPG]\nerr\n");
    EXPECT_EQ(result.exitStatus, 5);
    EXPECT_FALSE(result.timedOut);
    EXPECT_FALSE(child->write("late\n")) << "the input ended with finish";
    EXPECT_EQ(child->finish().exitStatus, -1) << "a child is finished once";

    // More output than a pipe holds, while the child still reads its input.
    auto chatty = StartedProcess::start("/bin/sh", {"-c", "head -c 300000 /dev/zero; cat"});
    ASSERT_TRUE(chatty);
    EXPECT_TRUE(chatty->write("tail"));
    const ProcessResult whole = chatty->finish(30);
    ASSERT_EQ(whole.output.size(), 300004u);
    EXPECT_EQ(whole.output.substr(300000), "tail");
}

TEST(StartedProcess, WritingToAChildThatHasGoneFailsWithoutStoppingThisProcess) {
    auto child = StartedProcess::start("/bin/sh", {"-c", "exit 4"});
    ASSERT_TRUE(child);
    // Once the child has gone, its input has no reader: the write fails (no SIGPIPE ends us).
    bool refused = false;
    for (int attempt = 0; attempt < 500 && !refused; ++attempt) {
        refused = !child->write("lost\n");
        if (!refused) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(refused);
    const ProcessResult result = child->finish(30);
    EXPECT_EQ(result.exitStatus, 4);
}

TEST(StartedProcess, AChildNeverFinishedIsKilledAndWaitedForWhenItGoes) {
    pid_t pid = 0;
    {
        auto child = StartedProcess::start("/bin/sleep", {"100"});
        ASSERT_TRUE(child);
        pid = child->processID();
        ASSERT_EQ(::kill(pid, 0), 0) << "running";
    }
    // Killed and reaped: no process, not even a zombie, has the id any more.
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);

    auto slow = StartedProcess::start("/bin/sleep", {"30"});
    ASSERT_TRUE(slow);
    const ProcessResult late = slow->finish(0.2);
    EXPECT_TRUE(late.timedOut);
    EXPECT_EQ(late.exitStatus, 128 + SIGKILL);
}

// A child kept open serves request after request whichever thread started it, and ends with this
// process even when nothing ends it: here a process that started one is killed, and the child,
// reparented to the test (a subreaper), is seen to end by SIGKILL.
TEST(StartedProcess, AKeptOpenChildOutlivesTheThreadThatStartedItButNotItsProcess) {
    std::unique_ptr<StartedProcess> echo;
    std::thread([&] { echo = StartedProcess::start("/bin/cat", {}); }).join();
    ASSERT_TRUE(echo);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(echo->write("still here\n"));
    EXPECT_EQ(echo->readUntil("\n", 30), std::optional<std::string>("still here"));

    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        ::close(ends[0]);
        std::unique_ptr<StartedProcess> kept = StartedProcess::start("/bin/sleep", {"100"});
        const pid_t child = kept ? kept->processID() : -1;
        kept.release();  // never ended by its owner: only the owner's death can end it
        if (::write(ends[1], &child, sizeof child) != sizeof child) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ends[1]);
    pid_t child = -1;
    ASSERT_EQ(::read(ends[0], &child, sizeof child), ssize_t(sizeof child));
    ::close(ends[0]);
    ::kill(owner, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(owner, &status, 0), owner);
    ASSERT_GT(child, 0);
    // The orphan comes to the test; a child left running would make this wait run out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pid_t reaped = 0;
    while ((reaped = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (reaped == 0) ::kill(child, SIGKILL), ::waitpid(child, &status, 0);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_EQ(reaped, child) << "the kept-open child outlived the process that started it";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}
