// Links against the installed libraries and uses the settings store once.
#include <Kitbag.h>

#include <cstdio>

int main() {
    if (!KB_SetBoolA("Debug", "PackageCheck", true))
        return 1;
    bool value = false;
    if (!KB_GetBoolA("Debug", "PackageCheck", &value) || !value)
        return 1;
    BooleanValue check("Debug", "PackageCheck", false);
    std::printf("package consumer: %s\n", check.GetValue() ? "ok" : "wrong value");
    return check.GetValue() ? 0 : 1;
}
