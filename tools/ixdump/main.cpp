// ixdump: the command-line host of ixadapter.
#include <cstdio>
#include <cstring>
#include <string>

#include "ix_adapter.h"

namespace {

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) {
        const uint32_t u = static_cast<uint32_t>(*text);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | ((u >> 18) & 0x07));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

void printVersion() {
    std::printf("ixdump %s, vision library %s\n", IX_PROJECT_VERSION, narrow(ix_adapter_halcon_version()).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        printVersion();
        return 0;
    }
    std::fprintf(stderr, "usage: ixdump --version\n");
    return 2;
}
