// A recording operator and script shell: the run's seams, answered and observed by the tests.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/RunOperator.h"
#include "run/ScriptShell.h"
#include "support/TestSupport.h"

namespace orlenta::test {

struct Prompt {
    std::string prompt;
    std::string caption;
    std::string defaultAnswer;
};

class RecordingOperator : public RunOperator {
public:
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        events.push_back("message: " + text);
    }
    std::string InputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) override {
        prompts.push_back({prompt, caption, defaultAnswer});
        events.push_back("prompt: " + caption);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected prompt: " << prompt;
            return {};
        }
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void SetStatusText(const std::string& text) override {
        status = text;
        statusTexts.push_back(text);
    }
    void RefreshStatus() override { ++refreshes; }
    void SetProgressMinimum(long value) override { progressMinimum = value; }
    void SetProgressMaximum(long value) override { progressMaximum = value; }
    void SetProgressValue(long value) override { progressValues.push_back(value); }
    void EnableControls(bool bEnabled) override {
        enabled = bEnabled;
        events.push_back(bEnabled ? "enable" : "disable");
        if (!bEnabled && onDisable) {
            onDisable();
        }
    }
    void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                      const std::string& strDirectory, long lShowCmd) override {
        documents.push_back(strOperation + "|" + strFile + "|" + strParameters + "|" + strDirectory + "|" +
                            std::to_string(lShowCmd));
    }

    bool StopRequested() override { return stopWhen && stopWhen(); }

    std::deque<std::string> answers;
    std::function<void()> onDisable;
    std::function<bool()> stopWhen;

    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::vector<Prompt> prompts;
    std::string status = "untouched";
    std::vector<std::string> statusTexts;
    int refreshes = 0;
    long progressMinimum = -999;
    long progressMaximum = -999;
    std::vector<long> progressValues;
    bool enabled = true;
    std::vector<std::string> documents;
};

// What the script saw in one pass.
struct ScriptPass {
    std::string command;
    long windowStyle = 0;
    bool wait = false;
    std::string inputFile;  // the input file's bytes while the script ran
    bool controlsEnabled = true;
    std::string status;
};

class RecordingShell : public ScriptShell {
public:
    RecordingShell(std::vector<ScriptPass>& passes, const RecordingOperator& op) : passes_(passes), op_(op) {}

    long Run(const std::string& command, long windowStyle, bool bWaitOnReturn) override {
        ScriptPass pass;
        pass.command = command;
        pass.windowStyle = windowStyle;
        pass.wait = bWaitOnReturn;
        const DWORD attributes = GetFileAttributesA("InputData.txt");
        pass.inputFile = attributes == INVALID_FILE_ATTRIBUTES             ? "<missing>"
                         : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "<folder>"
                                                                         : ReadBytes("InputData.txt");
        pass.controlsEnabled = op_.enabled;
        pass.status = op_.status;
        passes_.push_back(pass);
        return 0;
    }

protected:
    std::vector<ScriptPass>& Passes() { return passes_; }

private:
    std::vector<ScriptPass>& passes_;
    const RecordingOperator& op_;
};

}  // namespace orlenta::test
