#pragma once

#include <string>

namespace corvane {

// What the update needs of the window: the wait notice, one round of pending
// window events, modal messages, and the end of the program.
class UserNotifier {
public:
    virtual ~UserNotifier() = default;

    virtual void SetWaitNoticeVisible(bool visible) = 0;
    // Lets the events that are pending right now run once (above all repainting).
    virtual void PumpEvents() = 0;
    // A modal message with one OK button and no icon; returns when dismissed.
    virtual void ShowMessage(const std::string& prompt, const std::string& title) = 0;
    virtual void EndProgram() = 0;
};

} // namespace corvane
