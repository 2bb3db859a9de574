// Runs a hostile case in a child process: the load must end
// with the expected message (or succeed when none is expected), by a normal
// exit, and its peak memory must stay within the case's bound. Outside the
// sanitizers the child's address space is also limited, so that an
// allocation beyond the bound fails inside the library instead of succeeding.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "Hostile.h"
#include "ix_adapter.h"

#ifndef IX_UNDER_ASAN  // defined by the build under AddressSanitizer
#define IX_UNDER_ASAN 0
#endif

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmSize").
size_t statusKB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return std::stoul(line.substr(field.size() + 1));
    return 0;
}

}  // namespace

// Loads the case in a child process: its message, how it ended, the memory it added.
void ixhostile::run(const std::string& name, Maker maker) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("ixhostile_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::create_directories(dir);
    const ixhostile::Case c = maker(dir.string());
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const size_t baselineKB = statusKB("VmRSS");
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!IX_UNDER_ASAN) {
            const rlim_t space = static_cast<rlim_t>(statusKB("VmSize")) * 1024 + (c.memoryLimitMB << 20);
            const struct rlimit limit = {space, space};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ReaderHandle* reader = ix_reader_create();
        const std::wstring path(c.path.begin(), c.path.end());
        // Nothing when the load succeeds (the last error is then empty).
        std::string result = ix_reader_parse_any_file(reader, path.c_str(), nullptr, 0) ? "" : "failed: ";
        for (const wchar_t* t = ix_reader_last_error(reader); *t; ++t) result += *t < 128 ? static_cast<char>(*t) : '?';
        ix_reader_destroy(reader);
        (void)!::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string message;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    struct rusage usage = {};
    ::wait4(pid, &status, 0, &usage);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);

    // A signal, or a sanitizer's report, ends the child before it exits with 0.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the load ended with wait status " << status;
    EXPECT_TRUE(c.expectError.empty() ? message.empty() : message.find(c.expectError) != std::string::npos)
        << "message: \"" << message << "\", expected \"" << c.expectError << "\"";
    // The sanitizers' shadow memory and quarantine roughly triple what a load touches.
    const size_t addedKB = static_cast<size_t>(usage.ru_maxrss) > baselineKB ? usage.ru_maxrss - baselineKB : 0;
    EXPECT_LE(addedKB, (c.memoryLimitMB << 10) * (IX_UNDER_ASAN ? 3 : 1)) << "peak memory grew by " << addedKB / 1024 << " MB";
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
