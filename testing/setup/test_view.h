// A CSetupView that records what the jobs do to the dialog.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "setup/setup_view.h"

namespace orvella::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned flags;
};

class CTestView : public CSetupView {
  public:
    void AppendStatus(const std::string& line) override { status.push_back(line); }
    void ClearStatus() override { status.clear(); }
    void ShowProgress(const JobProgress& shown) override {
        progressShown.push_back(shown);
        if (onProgress)
            onProgress(shown);
    }
    void SetProgress(int position) override { progress = position; }
    void ShowJobResult(const std::string& line, bool failed) override {
        result = line;
        resultFailed = failed;
    }
    void ShowCancel(bool shown) override { cancelShown = shown; }
    void DisableButtons() override {
        buttonsEnabled = false;
        ++disabledCount;
    }
    void EnableButtons() override { buttonsEnabled = true; }
    void BeginWaitCursor() override { ++waitDepth; }
    void EndWaitCursor() override { --waitDepth; }
    void ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override {
        messages.push_back({text, caption, flags});
    }
    void PumpEvents() override {
        ++pumps;
        if (onPump)
            onPump();
    }

    std::string WebsiteText() const override { return website; }
    std::string PortText() const override { return port; }
    std::string DirectoryText() const override { return directory; }
    void SetEditTexts(const std::string& w, const std::string& p, const std::string& d) override {
        website = w;
        port = p;
        directory = d;
    }
    bool IsChecked(Check box) const override;
    void SetChecked(Check box, bool checked) override { checks[box] = checked; }
    bool GetTime(int picker, SetupTime* time) const override;
    void SetTime(int picker, const SetupTime& time) override {
        times[picker] = time;
        timeValid[picker] = true;
    }

    // Whether any status line contains text.
    bool HasStatus(const std::string& text) const;

    std::vector<std::string> status;
    std::vector<ShownMessage> messages;
    int progress = 0;
    std::string result;
    bool resultFailed = false;
    std::vector<JobProgress> progressShown;
    bool cancelShown = false;
    int pumps = 0;
    // Run when the job shows its progress, and when it lets events run.
    std::function<void(const JobProgress&)> onProgress;
    std::function<void()> onPump;
    bool buttonsEnabled = true;
    int disabledCount = 0;
    int waitDepth = 0;
    std::string website, port, directory;
    std::map<Check, bool> checks;
    SetupTime times[2];
    bool timeValid[2] = {true, true};
};

}  // namespace orvella::test
