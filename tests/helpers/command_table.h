// The command line of the test hosts: a table of named commands, each with the names of its arguments and
// what it does, read in the order given. Every host answers "help" with its table, and an unknown command
// or a missing argument with the table on standard error and exit code 2.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace host_commands {

using Arguments = std::vector<std::string>;

// Result: what a command answers (void, or the host's exit code).
template <typename Result> struct Command {
    const char* name;
    // The arguments' names, separated by blanks: their count is the number of arguments taken.
    const char* arguments;
    const char* description;
    Result (*run)(const Arguments& arguments);
};

template <typename Result, std::size_t Count> class CommandTable {
public:
    // usage: the program's name and the shape of its command line, as the first line of the usage shows.
    CommandTable(const char* usage, const Command<Result> (&commands)[Count])
        : m_usage(usage), m_commands(commands) {}

    // True when the arguments ask only for help: the usage has then been printed to standard output.
    bool AnsweredHelp(const Arguments& arguments) const {
        if (arguments.size() != 1 || arguments[0] != "help")
            return false;
        PrintUsage(stdout);
        return true;
    }

    // The command named at arguments[next] with the arguments it takes after it; next moves past them.
    // Ends the host when the name is unknown or arguments are missing.
    const Command<Result>& Take(const Arguments& arguments, std::size_t& next, Arguments& taken) const {
        const std::string& name = arguments.at(next++);
        const Command<Result>* command = Find(name);
        if (!command)
            FailWithUsage("unknown command " + name);
        const std::size_t count = ArgumentCount(*command);
        if (arguments.size() - next < count)
            FailWithUsage("missing argument: " + name + " " + command->arguments);
        taken.assign(arguments.begin() + static_cast<std::ptrdiff_t>(next),
                     arguments.begin() + static_cast<std::ptrdiff_t>(next + count));
        next += count;
        return *command;
    }

    [[noreturn]] void FailWithUsage(const std::string& message) const {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", message.c_str());
        PrintUsage(stderr);
        std::exit(2);
    }

private:
    static std::size_t ArgumentCount(const Command<Result>& command) {
        std::istringstream names(command.arguments);
        std::size_t count = 0;
        for (std::string name; names >> name;)
            ++count;
        return count;
    }

    static std::string Call(const Command<Result>& command) {
        return std::string(command.name) + (*command.arguments ? " " : "") + command.arguments;
    }

    const Command<Result>* Find(const std::string& name) const {
        for (const Command<Result>& command : m_commands) {
            if (name == command.name)
                return &command;
        }
        return nullptr;
    }

    void PrintUsage(std::FILE* out) const {
        std::size_t width = 0;
        for (const Command<Result>& command : m_commands)
            width = std::max(width, Call(command).size());
        std::fprintf(out, "usage: %s\n", m_usage);
        for (const Command<Result>& command : m_commands)
            std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), Call(command).c_str(),
                         command.description);
    }

    const char* m_usage;
    const Command<Result> (&m_commands)[Count];
};

} // namespace host_commands
