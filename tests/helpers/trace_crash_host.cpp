// A host of Trace's code linked in whole (its trace object included), for crashes at places a host cannot
// reach through the exports: with the queue's lock held, as a crash inside TracePrint holds it, and on the
// print thread itself. Runs the commands of its command line in order ("trace_crash_host help").
#include "Trace.h"
#include "command_table.h"
#include "crash_ways.h"
#include "trace_instance.h"
#include "trace_workload.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Standard output, except that a text holding the marker faults on the thread that writes it (the print
// thread).
class FaultingConsole final : public ConsoleOutput {
public:
    void Write(const char* text) override {
        if (std::strstr(text, kMarker))
            CrashBy("segv");
        std::fputs(text, stdout);
    }
    void Flush() override { std::fflush(stdout); }

    static constexpr const char* kMarker = "fault-here";
};

FaultingConsole faultingConsole;

void crashWithQueueLocked(const std::string& way) {
    if (!TheTrace().Queue().TryLock()) {
        std::fprintf(stderr, "queue-lock=0\n");
        std::exit(3);
    }
    CrashBy(way);
}

using host_commands::Arguments;
using Command = host_commands::Command<void>;

// clang-format off
const Command kCommands[] = {
    {"setup", "PREFIX", "trace files \"<this folder>PREFIX...\", size rotation, level 255, leveled trace to "
                        "files only, console off, output file \"output.txt\" beside this program",
     [](const Arguments& a) { trace_workload::setup(a[0].c_str()); }},
    {"start", "", "TraceStart", [](const Arguments&) { TraceStart(); }},
    {"flood", "N", "4 threads write N plain and N leveled messages in all (\"plain T I\", \"level T I\")",
     [](const Arguments& a) { trace_workload::flood(std::atoi(a[0].c_str())); }},
    {"print", "TEXT", "TracePrint(\"%s\\n\", TEXT)", [](const Arguments& a) { TracePrint("%s\n", a[0].c_str()); }},
    {"faulting-console", "", "console output on, through a console whose write faults on a text holding "
                             "\"fault-here\"",
     [](const Arguments&) {
         TheTrace().SetConsoleOutput(faultingConsole);
         TraceSetConsole(true);
     }},
    {"level-console", "", "leveled trace to the console too", [](const Arguments&) {
         TraceSetLevelOutput(true, true, true);
     }},
    {"level", "TEXT", "TraceLevelPrint(1, 0, \"%s\\n\", TEXT)",
     [](const Arguments& a) { TraceLevelPrint(1, 0, "%s\n", a[0].c_str()); }},
    {"crash", "WAY", "the process crashes that WAY (see trace_host)", [](const Arguments& a) { CrashBy(a[0]); }},
    {"queue-locked-crash", "WAY", "takes the queue's lock (as TracePrint holds it), then crashes that WAY",
     [](const Arguments& a) { crashWithQueueLocked(a[0]); }},
    {"wait", "SECONDS", "sleeps", [](const Arguments& a) {
         std::this_thread::sleep_for(std::chrono::seconds(std::atoi(a[0].c_str())));
     }},
};
// clang-format on

const host_commands::CommandTable kTable("trace_crash_host COMMAND [ARGUMENTS] [COMMAND [ARGUMENTS]]...",
                                         kCommands);

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const Arguments args(argv + 1, argv + argc);
    if (kTable.AnsweredHelp(args))
        return 0;
    Arguments taken;
    for (std::size_t next = 0; next < args.size();)
        kTable.Take(args, next, taken).run(taken);
    return 0;
}
