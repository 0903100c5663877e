#include "thread_error_info.h"

#include <windows.h>

#include <oleauto.h>

std::string ThreadErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return "none";
    BSTR description = nullptr;
    std::string text = "none";
    if (SUCCEEDED(info->GetDescription(&description)) && description) {
        int length = WideCharToMultiByte(CP_ACP, 0, description, -1, nullptr, 0, nullptr, nullptr);
        std::string narrow(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
        WideCharToMultiByte(CP_ACP, 0, description, -1, narrow.data(), length, nullptr, nullptr);
        text = narrow.c_str();
        SysFreeString(description);
    }
    info->Release();
    return text;
}
