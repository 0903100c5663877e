// A stand-in for a host's problem-report component, for the tests: an in-process COM server whose object
// answers the interface Console asks for. Each entry of its function table after IUnknown's records, in the
// file named by PL_PROBLEM_REPORT_RECORD, which entry was called and with what text.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const CLSID kComponentClass = {0xAEA746EA, 0x82EB, 0x11D3, {0x89, 0x1E, 0x00, 0x80, 0xAD, 0x87, 0x77, 0x81}};
const IID kComponentInterface = {
    0xAEA746E9, 0x82EB, 0x11D3, {0x89, 0x1E, 0x00, 0x80, 0xAD, 0x87, 0x77, 0x81}};

void record(int entry, BSTR text) {
    const char* path = std::getenv("PL_PROBLEM_REPORT_RECORD");
    if (!path)
        return;
    if (std::FILE* file = std::fopen(path, "ab")) {
        std::fprintf(file, "entry %d text=%s\n", entry, text ? "given" : "null");
        std::fclose(file);
    }
}

// Entries 3 to 16 of the function table, each taking one string.
class ProblemReport final {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, kComponentInterface)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    virtual ULONG STDMETHODCALLTYPE AddRef() { return ++m_references; }
    virtual ULONG STDMETHODCALLTYPE Release() {
        ULONG left = --m_references;
        if (left == 0) {
            record(-1, nullptr); // released
            delete this;
        }
        return left;
    }
    virtual HRESULT STDMETHODCALLTYPE Entry3(BSTR text) { return called(3, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry4(BSTR text) { return called(4, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry5(BSTR text) { return called(5, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry6(BSTR text) { return called(6, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry7(BSTR text) { return called(7, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry8(BSTR text) { return called(8, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry9(BSTR text) { return called(9, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry10(BSTR text) { return called(10, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry11(BSTR text) { return called(11, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry12(BSTR text) { return called(12, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry13(BSTR text) { return called(13, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry14(BSTR text) { return called(14, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry15(BSTR text) { return called(15, text); }
    virtual HRESULT STDMETHODCALLTYPE Entry16(BSTR text) { return called(16, text); }

private:
    HRESULT called(int entry, BSTR text) {
        record(entry, text);
        return S_OK;
    }
    std::atomic<ULONG> m_references{1};
};

class Factory final {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IClassFactory)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    virtual ULONG STDMETHODCALLTYPE AddRef() { return 2; } // a static object
    virtual ULONG STDMETHODCALLTYPE Release() { return 1; }
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* report = new ProblemReport;
        HRESULT result = report->QueryInterface(id, object);
        report->Release();
        return result;
    }
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL) { return S_OK; }
};

Factory factory;

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID classId, REFIID id, void** object) {
    if (!IsEqualCLSID(classId, kComponentClass)) {
        *object = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(id, object);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}
