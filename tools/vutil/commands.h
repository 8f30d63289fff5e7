// Subcommands of the vutil tool.
#pragma once

#include <string>
#include <vector>

namespace vutil::tool {

using Args = std::vector<std::string>;

/// A subcommand. Every command answers --help (exit 0) and exits 0 when done, 1 when
/// the operation failed (reported through failure() in output.h) and 2 on wrong usage
/// (usageError); files it writes go through OutputFile, so a failure destroys nothing.
struct Command {
    const char *name;
    const char *usage;    ///< arguments after the name
    /// One line for the list of commands; further lines, if any, complete `vutil NAME --help`.
    const char *summary;
    int (*run)(const Args &args);
};

/// Every subcommand, in the order the help text lists them.
const std::vector<Command> &commands();

int runInfo(const Args &args);
int runDemo(const Args &args);
int runRecords(const Args &args);
int runUncompress(const Args &args);
int runPalette(const Args &args);
int runFax(const Args &args);
int runText(const Args &args);
int runOle(const Args &args);
int runPath(const Args &args);
int runIni(const Args &args);
int runView(const Args &args);

/// The command of that name; every name used here is in the table.
const Command &findCommand(const char *name);

/// Prints a usage error for a command and returns the exit code 2.
int usageError(const Command &command, const std::string &message);

}  // namespace vutil::tool
