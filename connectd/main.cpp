// qwbdcawm-connectd: the device connection manager. Phones dial its TCP port; programs ask
// its Unix socket for the phones it knows and for RAPI2 sessions with them.
#include <grp.h>
#include <pwd.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "connectd/Manager.h"

namespace {

connectd::Manager* g_manager = nullptr;

void OnSignal(int) {
  if (g_manager) g_manager->Stop();
}

bool LookUpUser(const std::string& text, uid_t* uid) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    *uid = static_cast<uid_t>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
  }
  passwd* pw = ::getpwnam(text.c_str());
  if (!pw) return false;
  *uid = pw->pw_uid;
  return true;
}

bool LookUpGroup(const std::string& text, gid_t* gid) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    *gid = static_cast<gid_t>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
  }
  group* gr = ::getgrnam(text.c_str());
  if (!gr) return false;
  *gid = gr->gr_gid;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Connection manager for Windows Mobile 5/6 phones dialling in over USB (RNDIS)",
               "qwbdcawm-connectd"};
  connectd::Options o;
  std::vector<std::string> users, groups;
  app.add_option("--listen", o.listen, "ADDR:PORT the phones dial")->capture_default_str();
  app.add_option("--socket", o.socketPath,
                 "Unix socket for programs (default $XDG_RUNTIME_DIR/qwbdcawm/connectd.sock, "
                 "else /run/qwbdcawm/connectd.sock)");
  app.add_option("--allow-user", users, "Also serve this user (name or uid); repeatable");
  app.add_option("--allow-group", groups, "Also serve members of this group; repeatable");
  app.add_option("--session-timeout-ms", o.sessionTimeoutMs,
                 "How long a session request waits for the phone's connection")
      ->capture_default_str()
      ->check(CLI::Range(100, 600000));
  app.add_option("--keepalive-ms", o.keepAliveMs, "Keep-alive interval (0: none)")
      ->capture_default_str()
      ->check(CLI::Range(0, 600000));
  app.add_option("--log-level", o.logLevel, "3 errors, 4 warnings, 5 notices, 6 info, 7 debug")
      ->capture_default_str()
      ->check(CLI::Range(0, 7));
  CLI11_PARSE(app, argc, argv);
  for (const auto& u : users) {
    uid_t uid;
    if (!LookUpUser(u, &uid)) {
      std::fprintf(stderr, "<3>no user %s\n", u.c_str());
      return 2;
    }
    o.allowUsers.push_back(uid);
  }
  for (const auto& g : groups) {
    gid_t gid;
    if (!LookUpGroup(g, &gid)) {
      std::fprintf(stderr, "<3>no group %s\n", g.c_str());
      return 2;
    }
    o.allowGroups.push_back(gid);
  }
  connectd::Manager manager(o);
  std::string error;
  if (!manager.Start(&error)) {
    std::fprintf(stderr, "<3>%s\n", error.c_str());
    return 1;
  }
  g_manager = &manager;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Tests that listen on port 0 read the port from this line.
  std::printf("%u\n", manager.port());
  std::fflush(stdout);
  return manager.Run();
}
