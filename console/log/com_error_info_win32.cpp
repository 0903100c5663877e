// COM error information on Windows: a new error object with the text as its description, installed as
// the calling thread's (SetErrorInfo keeps a reference of its own).
#include "log/com_error_info.h"

#include "win32/handles_win32.h"

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

    platform::win32::ComPointer<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(creator.put())) || !creator)
        return;
    creator->SetDescription(wide.data());
    platform::win32::ComPointer<IErrorInfo> errorInfo;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, errorInfo.putVoid())) && errorInfo)
        SetErrorInfo(0, errorInfo.get());
}
