// What the window opens is read as the command reads it: a regular file of at most 1 GiB, so that
// an endless device or a pipe with no writer is refused at once instead of taking all memory or
// waiting for ever.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "kit/core/files.h"
#include "kit/testing/fixtures.h"
#include "session/edit_session.h"

namespace {

class EditSessionInputTest : public kit::AppHomeTest {};

TEST_F(EditSessionInputTest, OnlyRegularFilesOfAtMostTheLimitOpen) {
  const std::string pipeText = home_.path() + "/pipe.txt", pipeMap = home_.path() + "/pipe.qlm";
  ASSERT_EQ(::mkfifo(pipeText.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(pipeMap.c_str(), 0600), 0);
  // Sparse: no data blocks.
  const std::string huge = home_.path() + "/huge.txt";
  const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kit::kReadLimit + 1)), 0);
  ::close(fd);
  const struct {
    std::string path;
    const char* says;
  } cases[] = {
      {"/dev/zero", "it is not a regular file"},
      {pipeText, "it is not a regular file"},
      {pipeMap, "it is not a regular file"},
      {huge, "it is larger than 1 GiB"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(EditSession::open(c.path, error)) << c.path;
    EXPECT_EQ(error, "cannot open '" + c.path + "': " + c.says);
  }
}

}  // namespace
