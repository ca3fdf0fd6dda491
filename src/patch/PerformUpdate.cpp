#include "PerformUpdate.h"

#include "ByteReplace.h"
#include "PatchTable.h"
#include "TargetFile.h"

namespace corvane {
namespace {

const std::string kProgramTitle = "Corvane 2000";
const std::string kInvalidPathMessage = "File Path is Invalid.  Enter correct path and try again.";
const std::string kTextMissingMessage =
    "Can not update now.  Program has already been updated or File Path is invalid.";
const std::string kCompleteMessage = "Update is complete!";

} // namespace

void PerformUpdate(const std::string& path, UserNotifier& notifier) {
    notifier.SetWaitNoticeVisible(true);
    notifier.PumpEvents();

    PatchTable table = BuildPatchTable();
    WidenPatchTable(table);

    if (!CanOpenForReading(path)) {
        notifier.SetWaitNoticeVisible(false);
        notifier.ShowMessage(kInvalidPathMessage, "Error");
        return;
    }

    TargetBytes target = ReadTargetBytes(path);
    if (!ReplaceFirstOccurrences(table, target.bytes())) {
        notifier.ShowMessage(kTextMissingMessage, kProgramTitle);
        notifier.SetWaitNoticeVisible(false);
        return;
    }

    ReplaceFileContents(path, target.bytes());
    notifier.ShowMessage(kCompleteMessage, kProgramTitle);
    notifier.EndProgram();
}

} // namespace corvane
