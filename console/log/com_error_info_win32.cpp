#include "com_error_info.h"

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <vector>

void PublishComErrorInfo(const std::string& text) {
    int characters = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (characters <= 0)
        return;
    std::vector<wchar_t> wide(static_cast<std::size_t>(characters));
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), characters);

    ICreateErrorInfo* creator = nullptr;
    if (FAILED(CreateErrorInfo(&creator)) || !creator)
        return;
    creator->SetDescription(wide.data());
    IErrorInfo* errorInfo = nullptr;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&errorInfo))) &&
        errorInfo) {
        SetErrorInfo(0, errorInfo);
        errorInfo->Release();
    }
    creator->Release();
}
