// The command-line parser: any arguments, no crash, numbers in range.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args = {"quillomar-cli"};
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\0') {
            args.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::string error;
    auto options = CliOptions::parse(static_cast<int>(argv.size()), argv.data(), error);
    if (options && options->connections && (*options->connections < 0 || *options->connections > 16)) __builtin_trap();
    return 0;
}
