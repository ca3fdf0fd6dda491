// Runs the real update on one file, for measuring it from outside. Exits 0
// when the update completed and 1 otherwise, with the reason on stderr.
#include "patch/PerformUpdate.h"
#include "patch/UpdateFailure.h"
#include "patch/UserNotifier.h"

#include <iostream>
#include <string>

namespace {

// Shows nothing; remembers how the update ended.
class SilentNotifier : public corvane::UserNotifier {
public:
    void SetWaitNoticeVisible(bool) override {}
    void PumpEvents() override {}
    void ShowMessage(const std::string& prompt, const std::string&) override {
        lastMessage = prompt;
    }
    void EndProgram() override { ended = true; }

    std::string lastMessage;
    bool ended = false;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: corvane-update-bench <file>\n";
        return 1;
    }
    SilentNotifier notifier;
    try {
        corvane::PerformUpdate(argv[1], notifier);
    } catch (const corvane::UpdateFailure& failure) {
        std::cerr << failure.what() << '\n';
        return 1;
    }
    if (!notifier.ended) {
        std::cerr << notifier.lastMessage << '\n';
        return 1;
    }
    return 0;
}
