// An operator that passes everything on to the operator it wraps: the base of those that keep a
// record of the run (the log and JUnit results, the history) and override only what they record.
#pragma once

#include "run/RunOperator.h"

namespace orlenta {

class ForwardingOperator : public RunOperator {
public:
    explicit ForwardingOperator(RunOperator& inner) noexcept : inner_(inner) {}

    void ShowMessage(const std::string& text) override { inner_.ShowMessage(text); }
    std::string InputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) override {
        return inner_.InputBox(prompt, caption, defaultAnswer);
    }
    void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
    void RefreshStatus() override { inner_.RefreshStatus(); }
    void SetProgressMinimum(long value) override { inner_.SetProgressMinimum(value); }
    void SetProgressMaximum(long value) override { inner_.SetProgressMaximum(value); }
    void SetProgressValue(long value) override { inner_.SetProgressValue(value); }
    void EnableControls(bool bEnabled) override { inner_.EnableControls(bEnabled); }
    void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                      const std::string& strDirectory, long lShowCmd) override {
        inner_.OpenDocument(strOperation, strFile, strParameters, strDirectory, lShowCmd);
    }
    void RunStarted(const RunSettings& settings) override { inner_.RunStarted(settings); }
    void PassesPlanned(const AveSelection& selection) override { inner_.PassesPlanned(selection); }
    void PassStarted(const PassRecord& record) override { inner_.PassStarted(record); }
    void PassEnded(const PassRecord& record) override { inner_.PassEnded(record); }
    std::optional<double> UsualSeconds(std::int32_t aveNumber) override { return inner_.UsualSeconds(aveNumber); }
    bool StopRequested() override { return inner_.StopRequested(); }
    std::wstring PicturesFolder() override { return inner_.PicturesFolder(); }

protected:
    RunOperator& inner_;
};

}  // namespace orlenta
