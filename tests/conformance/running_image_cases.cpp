// The image of a running program: Windows will not delete it, and a deletion left to
// the next start is recorded for the session manager in PendingFileRenameOperations.
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

std::string OwnImage() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// The pending operations as they stand, or empty when there are none.
bool ReadPending(std::string* data, DWORD* type) {
  ScopedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.receive()))
    return false;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), kPending, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  data->assign(size, '\0');
  return size == 0 || RegQueryValueExA(key.get(), kPending, nullptr, type,
                                       reinterpret_cast<BYTE*>(&(*data)[0]), &size) == 0;
}

// Puts the pending operations back as they were, so that no restart of the machine
// that runs the cases deletes anything.
class PendingOperationsKeeper {
 public:
  PendingOperationsKeeper() { had_ = ReadPending(&data_, &type_); }
  ~PendingOperationsKeeper() {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.receive())) return;
    if (had_) {
      RegSetValueExA(key.get(), kPending, 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                     static_cast<DWORD>(data_.size()));
    } else {
      RegDeleteValueA(key.get(), kPending);
    }
  }

 private:
  bool had_ = false;
  std::string data_;
  DWORD type_ = REG_MULTI_SZ;
};

TEST(RunningImage, ItsOwnImageCannotBeDeleted) {
  const std::string image = OwnImage();
  ASSERT_FALSE(image.empty());
  SetLastError(0);
  EXPECT_FALSE(DeleteFileA(image.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(image.c_str()));
}

TEST(RunningImage, ADeletionAtTheNextStartIsAppendedToThePendingOperations) {
  const std::string image = OwnImage();
  ASSERT_FALSE(image.empty());
  PendingOperationsKeeper keeper;
  std::string before;
  DWORD type = 0;
  if (!ReadPending(&before, &type)) before.clear();
  // The list's end marker is replaced by the new entry and a marker of its own.
  if (!before.empty() && before.back() == '\0') before.pop_back();

  EXPECT_TRUE(MoveFileExA(image.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  std::string after;
  ASSERT_TRUE(ReadPending(&after, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  // The source's NT name, an empty target (a deletion), the end of the list.
  EXPECT_EQ(before + "\\??\\" + image + std::string(3, '\0'), after);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(image.c_str()));  // nothing yet
}

// Windows maps a running program's image and will not delete it, but its name may change
// within its folder: the uninstaller moves its own copy aside this way, so that the
// deletion it leaves to the next start names no file a later installation writes.
TEST(RunningImage, ItsOwnImageCanBeRenamedWithinItsFolder) {
  const std::string image = OwnImage();
  ASSERT_FALSE(image.empty());
  const std::string aside = image + ".aside";
  ASSERT_TRUE(MoveFileA(image.c_str(), aside.c_str())) << GetLastError();
  const bool movedAway = GetFileAttributesA(image.c_str()) == INVALID_FILE_ATTRIBUTES;
  const bool found = GetFileAttributesA(aside.c_str()) != INVALID_FILE_ATTRIBUTES;
  SetLastError(0);
  const BOOL deleted = DeleteFileA(aside.c_str());
  const DWORD deleteError = GetLastError();
  // Back, so that the program can be run again.
  ASSERT_TRUE(MoveFileA(aside.c_str(), image.c_str())) << GetLastError();
  EXPECT_TRUE(movedAway);
  EXPECT_TRUE(found);
  EXPECT_FALSE(deleted);  // still the running image under its new name
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), deleteError);
}

}  // namespace
}  // namespace conformance
