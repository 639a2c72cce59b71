// The scripting shell "WScript.Shell", created by ProgID and called late-bound through IDispatch.
#include "run/ScriptShell.h"

#include <windows.h>
#include <oleauto.h>

#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/ComPtr.h"
#include "util/Text.h"

namespace orlenta {

namespace {

class WScriptShell final : public ScriptShell {
public:
    explicit WScriptShell(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

    long Run(const std::string& command, long windowStyle, bool bWaitOnReturn) override {
        std::wstring name = L"Run";
        LPOLESTR names[] = {name.data()};
        DISPID run = 0;
        Check(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &run));

        // Arguments travel in reverse order.
        VARIANT args[3];
        for (VARIANT& arg : args) {
            VariantInit(&arg);
        }
        UniqueBstr commandText(command);
        args[2].vt = VT_BSTR;
        args[2].bstrVal = commandText.get();
        args[1].vt = VT_I4;
        args[1].lVal = windowStyle;
        args[0].vt = VT_BOOL;
        args[0].boolVal = bWaitOnReturn ? VARIANT_TRUE : VARIANT_FALSE;
        DISPPARAMS params{args, nullptr, 3, 0};

        UniqueVariant result;
        EXCEPINFO exception{};
        const HRESULT hr = dispatch_->Invoke(run, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                             result.get(), &exception, nullptr);
        if (hr == DISP_E_EXCEPTION) {
            RaiseException(exception);
        }
        Check(hr);

        UniqueVariant exitCode;
        Check(VariantChangeType(exitCode.get(), result.get(), 0, VT_I4));
        return exitCode.get()->lVal;
    }

private:
    static void Check(HRESULT hr) {
        if (FAILED(hr)) {
            throw AppError::FromHresult(hr, ProgramName());
        }
    }

    // The object's own error: its code and text when it gives them, else the system's text.
    [[noreturn]] static void RaiseException(EXCEPINFO& exception) {
        if (exception.pfnDeferredFillIn != nullptr) {
            exception.pfnDeferredFillIn(&exception);
        }
        const std::string source = exception.bstrSource ? WideToAnsi(exception.bstrSource) : ProgramName();
        std::string description = exception.bstrDescription ? WideToAnsi(exception.bstrDescription) : "";
        const HRESULT code = exception.scode != 0 ? exception.scode : DISP_E_EXCEPTION;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        if (description.empty()) {
            description = SystemMessage(static_cast<DWORD>(code));
        }
        throw AppError(static_cast<long>(code), source, description);
    }

    ComPtr<IDispatch> dispatch_;
};

}  // namespace

std::unique_ptr<ScriptShell> CreateWScriptShell() {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(L"WScript.Shell", &clsid);
    if (SUCCEEDED(hr)) {
        ComPtr<IDispatch> dispatch;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              dispatch.put_void());
        if (SUCCEEDED(hr)) {
            return std::make_unique<WScriptShell>(std::move(dispatch));
        }
    }
    throw AppError::FromHresult(hr, ProgramName());
}

}  // namespace orlenta
