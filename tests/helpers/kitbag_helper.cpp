// A second process for the Kitbag tests: reads and writes the store named by KITBAG_SETTINGS (or the
// default one) through the public API and prints what it read.
//   get-bool S K | get-int S K | get-string S K      prints the value, or "<missing>"
//   set-bool S K 0|1 | set-int S K N | set-string S K V   exits 0 when stored, 1 when refused
//   boolean-value S K DEFAULT                        prints BooleanValue(S, K, DEFAULT).GetValue()
//   write-many S PREFIX N                            stores PREFIX0..PREFIX(N-1) = their index
//   write-loop S PREFIX                              stores PREFIX0..PREFIX9 over and over until killed
#include "Kitbag.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int print(bool found, const std::string& text) {
    std::printf("%s\n", found ? text.c_str() : "<missing>");
    return 0;
}

int stored(bool ok) {
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    std::string command = argv[1];
    const char* section = argv[2];
    const char* key = argv[3];
    if (command == "get-bool") {
        bool value = false;
        bool found = KB_GetBoolA(section, key, &value);
        return print(found, value ? "1" : "0");
    }
    if (command == "get-int") {
        int value = 0;
        bool found = KB_GetIntA(section, key, &value);
        return print(found, std::to_string(value));
    }
    if (command == "get-string") {
        char buffer[260] = {};
        bool found = KB_GetStringA(section, key, buffer, sizeof buffer);
        return print(found, buffer);
    }
    if (command == "set-bool" && argc == 5)
        return stored(KB_SetBoolA(section, key, std::string(argv[4]) == "1"));
    if (command == "set-int" && argc == 5)
        return stored(KB_SetIntA(section, key, std::atoi(argv[4])));
    if (command == "set-string" && argc == 5)
        return stored(KB_SetStringA(section, key, argv[4]));
    if (command == "boolean-value" && argc == 5) {
        BooleanValue value(section, key, std::string(argv[4]) == "1");
        return print(true, value.GetValue() ? "1" : "0");
    }
    if (command == "write-many" && argc == 5) {
        int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            std::string name = std::string(key) + std::to_string(i);
            if (!KB_SetStringA(section, name.c_str(), std::to_string(i).c_str()))
                return 1;
        }
        return 0;
    }
    if (command == "write-loop") {
        for (unsigned long round = 0;; ++round) {
            std::string name = std::string(key) + std::to_string(round % 10);
            KB_SetStringA(section, name.c_str(), std::to_string(round).c_str());
        }
    }
    return 2;
}
