// Runs every registered hostile case in a child process: the load must end
// with the expected message (or succeed when none is expected), by a normal
// exit, and its peak memory must stay within the case's bound. Outside the
// sanitizers the child's address space is also limited, so that an
// allocation beyond the bound fails inside the library instead of succeeding.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "Hostile.h"
#include "ix_adapter.h"

#if defined(__SANITIZE_ADDRESS__)
#define IX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define IX_UNDER_ASAN 1
#endif
#endif
#ifndef IX_UNDER_ASAN
#define IX_UNDER_ASAN 0
#endif

namespace ixhostile {

namespace {

std::map<std::string, Maker>& registry() {
    static std::map<std::string, Maker> cases;
    return cases;
}

// A field of /proc/self/status in kB ("VmRSS", "VmSize").
size_t statusKB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0) return std::stoul(line.substr(prefix.size()));
    return 0;
}

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

struct Outcome {
    std::string message;  // "" when the load succeeded
    int signal = 0;
    size_t addedKB = 0;
};

Outcome loadInChild(const Case& c) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {"pipe failed", 0, 0};
    const size_t baselineKB = statusKB("VmRSS");
    const size_t limitBytes = c.memoryLimitMB << 20;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (!IX_UNDER_ASAN) {
            const rlim_t space = static_cast<rlim_t>(statusKB("VmSize")) * 1024 + limitBytes;
            const struct rlimit limit = {space, space};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ReaderHandle* reader = ix_reader_create();
        const std::wstring path(c.path.begin(), c.path.end());
        const NativeNode* root = ix_reader_parse_object_file(reader, path.c_str());
        const std::string result = root ? std::string("OK") : "ERR:" + narrow(ix_reader_last_error(reader));
        ix_reader_destroy(reader);
        (void)!::write(pipeFds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage = {};
    ::wait4(pid, &status, 0, &usage);
    Outcome outcome;
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    outcome.message = result == "OK" ? "" : result.rfind("ERR:", 0) == 0 ? result.substr(4) : "no result: " + result;
    outcome.addedKB = static_cast<size_t>(usage.ru_maxrss) > baselineKB ? usage.ru_maxrss - baselineKB : 0;
    return outcome;
}

class HostileCase : public testing::Test {
public:
    HostileCase(const char* name, Maker maker) : name_(name), maker_(maker) {}
    void TestBody() override {
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("ixhostile_" + std::to_string(::getpid()) + "_" + name_);
        std::filesystem::create_directories(dir);
        const Case c = maker_(dir.string());
        const Outcome outcome = loadInChild(c);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);

        EXPECT_EQ(outcome.signal, 0) << "the load was killed by signal " << outcome.signal;
        if (c.expectError.empty())
            EXPECT_EQ(outcome.message, "");
        else
            EXPECT_NE(outcome.message.find(c.expectError), std::string::npos)
                << "message: \"" << outcome.message << "\", expected to contain \"" << c.expectError << "\"";
        // The sanitizers' shadow memory and quarantine roughly triple what a load touches.
        const size_t boundKB = (c.memoryLimitMB << 10) * (IX_UNDER_ASAN ? 3 : 1);
        EXPECT_LE(outcome.addedKB, boundKB) << "peak memory grew by " << outcome.addedKB / 1024 << " MB";
    }

private:
    std::string name_;
    Maker maker_;
};

}  // namespace

Registration::Registration(const char* name, Maker maker) {
    registry()[name] = maker;
}

std::string writeFile(const std::string& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace ixhostile

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (const auto& [name, maker] : ixhostile::registry()) {
        const std::string caseName = name;
        const ixhostile::Maker m = maker;
        testing::RegisterTest("Hostile", caseName.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                              [caseName, m]() -> testing::Test* { return new ixhostile::HostileCase(caseName.c_str(), m); });
    }
    return RUN_ALL_TESTS();
}
