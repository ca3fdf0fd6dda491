#pragma once

#include "patch/UserNotifier.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace corvane::test {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Names of the entries in a folder, sorted.
std::vector<std::string> EntriesOf(const std::filesystem::path& folder);

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// The widened English and Dutch texts of the four rows, in table order.
std::vector<std::string> WideSearchTexts();
std::vector<std::string> WideReplacementTexts();

// Runs body in a forked child process and returns the text it returned.
std::string RunInChildProcess(const std::function<std::string()>& body);

// Runs body without root's rights (as user nobody, in a child process, when
// this process is root), so that file permissions apply to it.
std::string RunWithoutRootRights(const std::function<std::string()>& body);

// A stand-in for the program file: size bytes of filler that holds no
// widened text, with the given texts written at the given offsets.
struct Placement {
    std::size_t offset;
    std::string bytes;
};
std::string MakeProgramImage(std::size_t size, const std::vector<Placement>& placements);

// A program image holding all four English texts once, out of table order
// and at even and odd offsets.
std::string MakeUnpatchedImage();
// What the update must turn MakeUnpatchedImage() into.
std::string MakePatchedImage();

// Records every call, in order, as text such as "ShowMessage(Error: ...)".
class RecordingNotifier : public UserNotifier {
public:
    void SetWaitNoticeVisible(bool visible) override;
    void PumpEvents() override;
    void ShowMessage(const std::string& prompt, const std::string& title) override;
    void EndProgram() override;

    std::vector<std::string> calls;
};

} // namespace corvane::test
