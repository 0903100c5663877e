// A second process for the Kitbag tests: reads and writes the store named by KITBAG_SETTINGS (or the
// default one) through the public API and prints what it read.
//
// The commands are the table kCommands below: each with its arguments and what it does. "kitbag_helper
// help" prints them; an unknown command or a missing argument prints them too, on standard error, and
// ends the helper with exit code 2. A read prints the value or "<missing>"; a write exits 0 when stored
// and 1 when refused.
#include "Kitbag.h"
#include "command_table.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using host_commands::Arguments;
using Command = host_commands::Command<int>;

int print(bool found, const std::string& text) {
    std::printf("%s\n", found ? text.c_str() : "<missing>");
    return 0;
}

int stored(bool ok) {
    return ok ? 0 : 1;
}

int number(const std::string& text) {
    return std::atoi(text.c_str());
}

// clang-format off
const Command kCommands[] = {
    {"get-bool", "S K", "prints KB_GetBoolA(S, K) as 0 or 1",
     [](const Arguments& a) {
         bool value = false;
         const bool found = KB_GetBoolA(a[0].c_str(), a[1].c_str(), &value);
         return print(found, value ? "1" : "0");
     }},
    {"get-int", "S K", "prints KB_GetIntA(S, K)",
     [](const Arguments& a) {
         int value = 0;
         const bool found = KB_GetIntA(a[0].c_str(), a[1].c_str(), &value);
         return print(found, std::to_string(value));
     }},
    {"get-string", "S K", "prints KB_GetStringA(S, K) read into 260 characters",
     [](const Arguments& a) {
         char buffer[260] = {};
         const bool found = KB_GetStringA(a[0].c_str(), a[1].c_str(), buffer, sizeof buffer);
         return print(found, buffer);
     }},
    {"set-bool", "S K 0|1", "KB_SetBoolA(S, K, the value is 1)",
     [](const Arguments& a) { return stored(KB_SetBoolA(a[0].c_str(), a[1].c_str(), a[2] == "1")); }},
    {"set-int", "S K N", "KB_SetIntA(S, K, N)",
     [](const Arguments& a) { return stored(KB_SetIntA(a[0].c_str(), a[1].c_str(), number(a[2]))); }},
    {"set-string", "S K V", "KB_SetStringA(S, K, V)",
     [](const Arguments& a) { return stored(KB_SetStringA(a[0].c_str(), a[1].c_str(), a[2].c_str())); }},
    {"boolean-value", "S K DEFAULT", "prints BooleanValue(S, K, DEFAULT is 1).GetValue()",
     [](const Arguments& a) {
         BooleanValue value(a[0].c_str(), a[1].c_str(), a[2] == "1");
         return print(true, value.GetValue() ? "1" : "0");
     }},
    {"write-many", "S PREFIX N", "stores PREFIX0..PREFIX(N-1) = their index; exits 1 at the first refusal",
     [](const Arguments& a) {
         const int count = number(a[2]);
         for (int i = 0; i < count; ++i) {
             const std::string key = a[1] + std::to_string(i);
             if (!KB_SetStringA(a[0].c_str(), key.c_str(), std::to_string(i).c_str()))
                 return 1;
         }
         return 0;
     }},
    {"write-loop", "S PREFIX", "stores PREFIX0..PREFIX9 over and over until killed",
     [](const Arguments& a) {
         for (unsigned long round = 0;; ++round) {
             const std::string key = a[1] + std::to_string(round % 10);
             KB_SetStringA(a[0].c_str(), key.c_str(), std::to_string(round).c_str());
         }
         return 0;
     }},
};
// clang-format on

const host_commands::CommandTable kTable("kitbag_helper COMMAND ARGUMENTS", kCommands);

} // namespace

int main(int argc, char** argv) {
    const Arguments args(argv + 1, argv + argc);
    if (kTable.AnsweredHelp(args))
        return 0;
    if (args.empty())
        kTable.FailWithUsage("no command");
    std::size_t next = 0;
    Arguments taken;
    const Command& command = kTable.Take(args, next, taken);
    if (next != args.size())
        kTable.FailWithUsage("wrong arguments: " + args[0] + " " + command.arguments);
    return command.run(taken);
}
