// Runs a test body as an ordinary user: directly when the tests do not run
// as root, else in a child process that has become nobody and owns dir.
// Root reads and writes where others may not, so permission cases would show
// nothing as root; they are run as nobody rather than skipped.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

namespace scrivane::testing {

inline void AsOrdinaryUser(const std::filesystem::path& dir, const std::function<void()>& body) {
    if (geteuid() != 0) {
        body();
        return;
    }
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nullptr, nobody);
    ASSERT_EQ(0, chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid));
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
            setuid(nobody->pw_uid) != 0)
            _exit(3);
        body();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the case failed as nobody (status " << status << ")";
}

}  // namespace scrivane::testing
