// The qwbdcawm-emu command: argument errors, init, and serve driven by the fault command
// through its control socket, ended by SIGTERM.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "EmuTestUtil.h"

extern char** environ;

namespace wmemu::test {
namespace {

int RunEmu(const std::string& args) {
  int status = std::system((std::string(QWB_EMU_EXE) + " " + args + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Cli, ArgumentErrorsAndInit) {
  EXPECT_NE(RunEmu("init"), 0);
  auto dir = TempDir("cli");
  EXPECT_NE(RunEmu("init " + dir.string() + "/x --preset huge"), 0);
  EXPECT_EQ(RunEmu("init " + dir.string() + "/img --preset empty --model 'Aster S2'"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "img/image.sqlite"));
  EXPECT_NE(RunEmu("init " + dir.string() + "/img --preset empty"), 0);  // already an image
  EXPECT_NE(RunEmu("serve " + dir.string() + "/missing --listen tcp:127.0.0.1:0"), 0);
  EXPECT_NE(RunEmu("fault --control unix:" + dir.string() + "/none.sock unplug"), 0);
  std::filesystem::remove_all(dir);
}

TEST(Cli, ServeAnswersAndTakesFaultsUntilSigterm) {
  auto dir = TempDir("cli-serve");
  ASSERT_EQ(RunEmu("init " + dir.string() + "/img --preset empty"), 0);
  std::string ctl = "unix:" + (dir / "ctl.sock").string();
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  std::string img = (dir / "img").string();
  const char* argv[] = {QWB_EMU_EXE,       "serve",     img.c_str(), "--listen",
                        "tcp:127.0.0.1:0", "--control", ctl.c_str(), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, QWB_EMU_EXE, &fa, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  std::string address;
  char ch;
  while (::read(out[0], &ch, 1) == 1 && ch != '\n') address += ch;
  ::close(out[0]);
  ASSERT_EQ(address.rfind("tcp:127.0.0.1:", 0), 0u) << address;

  Client c(address);
  EXPECT_EQ(c.Cmd(rapi2::kGetVersionEx).size(), 288u);
  // The control socket is opened right after the address is printed: retry until it is
  // there, without a tight bound for a slow machine.
  int rc = 1;
  for (int i = 0; i < 500 && rc != 0; ++i) {
    rc = RunEmu("fault --control " + ctl + " fail --name CeGetVersionEx --error 31");
    if (rc) usleep(20000);
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Word(c.Cmd(rapi2::kGetVersionEx), 0), 31u);
  EXPECT_EQ(RunEmu("fault --control " + ctl + " unplug"), 0);
  c.Cmd(rapi2::kGetVersionEx);
  EXPECT_FALSE(c.ok());
  EXPECT_EQ(RunEmu("fault --control " + ctl + " replug"), 0);
  EXPECT_NE(RunEmu("fault --control " + ctl + " drop"), 0);
  EXPECT_EQ(Client(address).Cmd(rapi2::kGetVersionEx).size(), 288u);

  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace wmemu::test
