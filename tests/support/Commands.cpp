#include "Commands.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>

CommandRun runCommand(const std::string& command) {
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool xmlValid(const std::string& files, const std::string& schema) {
    std::string command = "xmllint --noout ";
    if (!schema.empty()) command += "--schema '" + std::string(QUILLOMAR_SCHEMA_DIR) + "/" + schema + "' ";
    return std::system((command + files + " 2>/dev/null").c_str()) == 0;
}
#else
CommandRun runCommand(const std::string&) { return {}; }

bool xmlValid(const std::string&, const std::string&) { return true; }
#endif
