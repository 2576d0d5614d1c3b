// Test doubles of the download page: a view that records what the page
// shows, a core whose status a test scripts, and answered message boxes and
// a scripted folder browser on the platform's hooks.
#pragma once

#include "app/DownloadPage.h"
#include "platform/WinDefs.h"
#include "skin/BitmapDialog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zdl {

class RecordingView : public PageView {
public:
    std::map<PageButton, bool> buttons { { PageButton::kInstall, true }, { PageButton::kStop, false },
        { PageButton::kContinue, false }, { PageButton::kFinish, false } };
    std::string status;
    std::string info;
    std::string folder;
    bool accept = true;
    std::map<PercentPart, bool> parts;
    std::map<PercentPart, int> digits;
    int progress = -1;
    bool headShown = false;
    int headX = 100;
    int headY = 384;
    bool banner = true;

    void ShowButton(PageButton b, bool show) override { buttons[b] = show; }
    bool IsButtonVisible(PageButton b) override { return buttons[b]; }
    void SetStatusLine(const std::string& text) override { status = text; }
    void SetInfoLine(const std::string& text) override { info = text; }
    bool SetFolderText(const std::string& text) override
    {
        if (text.size() > kMaxInstallDirBytes)
            return false;
        folder = text;
        return true;
    }
    bool IsAcceptChecked() override { return accept; }
    void ShowPercentPart(PercentPart part, bool show) override { parts[part] = show; }
    void SetDigitImage(PercentPart part, int digit) override { digits[part] = digit; }
    void SetProgressValue(int value) override { progress = value; }
    void ShowProgressHead(bool show) override { headShown = show; }
    void MoveProgressHead(int x, int y) override
    {
        headX = x;
        headY = y;
    }
    void ShowBanner(bool show) override { banner = show; }

    // Only the visible one of the four action buttons, or -1 if not one.
    int State()
    {
        int visible = -1;
        for (auto& b : buttons) {
            if (b.second) {
                if (visible != -1)
                    return -1;
                visible = static_cast<int>(b.first);
            }
        }
        return visible;
    }
};

// Holds the threads that reach it until opened: a core start that takes
// long (writing the program out), a message box the player leaves open.
class Gate {
public:
    void Close()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    void Open()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = false;
        }
        changed_.notify_all();
    }
    void Pass()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ++held_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !closed_; });
        --held_;
    }
    // Whether a thread waits here within 20 s.
    bool SomeoneHeld()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return held_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    int held_ = 0;
};

// Records every start and stop in order ("start 4", "stop"); a start takes
// the next scripted result (startResult once they are used up) and waits at
// `startGate` first.
class ScriptedCore : public PageCore {
public:
    bool Start(const CoreStartRequest& request) override
    {
        startGate.Pass();
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(request);
        bool result = startResult;
        if (!startResults.empty()) {
            result = startResults.front();
            startResults.pop_front();
        }
        ops.push_back("start " + std::to_string(request.httpThreads) + (result ? "" : " failed"));
        return result;
    }
    void Stop() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stops;
        ops.push_back("stop");
    }
    std::vector<std::string> Ops()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return ops;
    }
    void Poll(CoreStatus& out) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++polls;
        out = status;
    }
    int Starts()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(requests.size());
    }
    int Stops()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stops;
    }
    int Polls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return polls;
    }
    void SetStatus(const CoreStatus& s)
    {
        std::lock_guard<std::mutex> lock(mutex);
        status = s;
    }

    std::mutex mutex;
    std::vector<CoreStartRequest> requests;
    std::vector<std::string> ops;
    CoreStatus status;
    bool startResult = true;
    std::deque<bool> startResults;
    Gate startGate;
    int stops = 0;
    int polls = 0;
};

struct ShownBox {
    std::string text;
    std::string caption;
    unsigned flags = 0;
};

// Answers every message box (IDYES for questions unless told otherwise)
// and the folder browser with the next scripted choice.
class PlatformScript {
public:
    PlatformScript()
    {
        SetMessageBoxHook([this](NativeWindow, const std::string& text, const std::string& caption, unsigned flags) {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(ShownBox { text, caption, flags });
            if ((flags & 0xF) != MB_YESNO)
                return IDOK;
            int answer = answers_.empty() ? IDYES : answers_.front();
            if (!answers_.empty())
                answers_.pop_front();
            return answer;
        });
        SetFolderBrowserHook([this](const FolderBrowseRequest& request, std::string* chosen) {
            std::lock_guard<std::mutex> lock(mutex_);
            browses_.push_back(request);
            if (choices_.empty())
                return false;
            *chosen = choices_.front();
            choices_.pop_front();
            return true;
        });
    }
    ~PlatformScript()
    {
        SetMessageBoxHook(nullptr);
        SetFolderBrowserHook(nullptr);
    }
    void Answer(int answer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back(answer);
    }
    void Choose(const std::string& folder)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        choices_.push_back(folder);
    }
    std::vector<ShownBox> Boxes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    std::vector<FolderBrowseRequest> Browses()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return browses_;
    }

private:
    std::mutex mutex_;
    std::vector<ShownBox> boxes_;
    std::deque<int> answers_;
    std::deque<std::string> choices_;
    std::vector<FolderBrowseRequest> browses_;
};

// A control of |page| by its layout name, as the player finds it.
template <typename T> T* Named(const CSBitmapDialog* page, const char* name, int32_t typeCode)
{
    return static_cast<T*>(page->FindControlByName(name, typeCode));
}

// Runs |queue|'s work as the user-interface thread would until |done|
// holds; false after 20 s (a bound for loaded machines, never reached when
// the page works).
template <typename Pred> bool RunUiUntil(UiTaskQueue& queue, Pred done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        queue.RunPending();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace zdl
