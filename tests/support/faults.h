#pragma once
// Faults made to order for the tests of failure paths, in ways that also work for root (CI
// runs as root, for whom read-only files and folders do not fail):
//
//     FileSizeLimit full(0);        // every write that grows a file fails, as on a full disk
//     window.save();
//
//     int main(int argc, char **argv)   // the whole test as an ordinary user, so that a
//     {                                 // file made unreadable (chmod 000) really is
//         return runUnprivileged([&] { ... });
//     }

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

#include <string>

#include <grp.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace faults {

// The user and group "nobody": no rights beyond what everybody has.
constexpr uid_t UnprivilegedId = 65534;

// While it lives, this process may not make any file larger than `bytes`: a write beyond it
// fails with EFBIG instead of raising SIGXFSZ, as a write to a full disk fails with ENOSPC.
// Only the soft limit moves, so an ordinary user can put it back as well.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_before;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }

    // For a child process between fork and exec: the same limit, for good (only calls that
    // are safe there).
    static void applyInChild(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    rlimit m_before{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_set = false;
};

// Gives up root's rights for good; true when this process is now the unprivileged user.
inline bool dropToUnprivilegedUser()
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(UnprivilegedId) == 0 && ::setuid(UnprivilegedId) == 0
        && ::geteuid() == UnprivilegedId;
}

// Runs `body` as an ordinary user and returns its result. Root forks first, and the child
// gives up its rights, gets a home folder of its own and runs `body`; the parent returns the
// child's exit status. The child has only the thread that called: call it before other
// threads exist (at the top of main), or let `body` use only threads it starts itself.
inline int runUnprivileged(const std::function<int()> &body)
{
    if (::geteuid() != 0)
        return body();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        if (!dropToUnprivilegedUser()) {
            std::fputs("cannot become the unprivileged user\n", stderr);
            ::_exit(1);
        }
        char home[] = "/tmp/lumo-test-home-XXXXXX";
        if (!::mkdtemp(home))
            ::_exit(1);
        ::setenv("HOME", home, 1);
        // Root's own runtime folder is not the child's to use.
        const std::string runtime = std::string(home) + "/runtime";
        ::mkdir(runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        const int status = body();
        std::fflush(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
        ::_exit(status);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return 1;
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "the unprivileged test ended by signal %d\n", WTERMSIG(status));
        return 1;
    }
    return WEXITSTATUS(status);
}

} // namespace faults
