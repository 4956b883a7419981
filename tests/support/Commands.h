#pragma once

#include <string>

// What a shell command printed on standard output, and how it ended.
struct CommandRun {
    int exitCode = -1;  // -1 when it did not exit by itself
    std::string output;
};

// Runs a command through the shell (POSIX only).
CommandRun runCommand(const std::string& command);

// Whether the XML file is valid against a schema of tests/schemas
// ("sitemap-all.xsd", "siteindex.xsd"), or, with no schema, well-formed;
// files may be a shell pattern. Checked with xmllint on Linux; on Windows
// true, where the same bytes are compared with the Linux build's instead.
bool xmlValid(const std::string& files, const std::string& schema = {});
